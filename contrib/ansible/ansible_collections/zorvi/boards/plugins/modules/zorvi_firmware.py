#!/usr/bin/python
# -*- coding: utf-8 -*-

from __future__ import absolute_import, division, print_function
__metaclass__ = type

DOCUMENTATION = r'''
module: zorvi_firmware
short_description: Bring a board's uC firmware to a given image
description:
  - Compares the uC's application flash with a firmware image file and writes the image only
    when they differ, all in one service-mode session. It reads the firmware version, enters service
    mode (C(enter-service-mode)), compares (C(verify-firmware)), optionally saves what the flash
    holds (C(save-firmware), I(backup)), writes and verifies (C(update-firmware)), leaves service
    mode (C(exit-service-mode)) and reads the version again.
  - A board started in service mode (its service switch) is neither switched in nor out.
  - An update that failed or was stopped after its first page write leaves the uC in service mode,
    where the task can simply be run again; a half-written firmware might never answer.
version_added: "1.0.0"
author: zorviutil maintainers (!UNKNOWN)
options:
  port:
    required: true
  image:
    description:
      - The firmware image (.bin) on the managed host, 1 to 0x1FC00 bytes.
      - An empty file, and a file of one byte value only (all 0x00, all 0xFF, ...), are refused,
        for they hold no firmware. Everything else is zorviutil's to judge; its warnings (such as an
        image shorter than one flash page) become the task's warnings.
    type: path
    required: true
  allow_service_mode:
    description:
      - Whether zorviutil may switch the uC into service mode and back (C(ZORVIUTIL_FLAGS) 7 when
        true, 112 when false). Each switch over USB takes five seconds.
      - When not given, the link's own rule (USB no, PCIe and PS UART yes). An inherited
        C(ZORVIUTIL_FLAGS) never decides.
    type: bool
  backup:
    description:
      - Before writing, save the firmware the flash holds (C(save-firmware)) next to I(image), as
        C(<image>.<pid>.<date>@<time>~), the name Ansible's file modules give a backup; returned in
        C(backup_file). Nothing is saved when the flash already holds the image.
    type: bool
    default: false
    version_added: "1.1.0"
extends_documentation_fragment:
  - zorvi.boards.common
  - zorvi.boards.common.attributes
  - ansible.builtin.action_common_attributes
  - ansible.builtin.action_common_attributes.flow
  - ansible.builtin.action_common_attributes.actiongroups
attributes:
  check_mode:
    support: partial
    details:
      - Check mode never switches modes. A board in service mode is compared with the image
        (C(verify-firmware)); one running its normal firmware cannot be, and is reported as a change.
  diff_mode:
    support: full
    details: The firmware version before and after (the version the normal firmware reports).
'''

EXAMPLES = r'''
- name: Copy the firmware to the host
  ansible.builtin.copy:
    src: files/uc-firmware-2.4.bin
    dest: /var/tmp/uc-firmware.bin
    mode: "0644"

- name: Bring the board's uC firmware to it, keeping the old one
  zorvi.boards.zorvi_firmware:
    port: /dev/serial/by-id/usb-zorvi-board-if00
    image: /var/tmp/uc-firmware.bin
    allow_service_mode: true
    backup: true
  register: firmware

- name: Where the old firmware went
  ansible.builtin.debug:
    msg: "{{ firmware.backup_file }}"
  when: firmware.backup_file
'''

RETURN = r'''
before:
  description:
    - The uC when the task began, C(mode) (C(normal) or C(service)) and C(version), the normal
      firmware's version (null when the board started in service mode).
  returned: when the board answered
  version_added: "1.1.0"
  type: dict
  sample: {"mode": "normal", "version": "4.26.0.7"}
after:
  description: The uC when the task ended, as I(before); null in check mode and when the task failed.
  returned: always
  version_added: "1.1.0"
  type: dict
  sample: {"mode": "normal", "version": "4.26.0.7"}
verify:
  description: The C(+json) summary of C(verify-firmware) (its error object when the image differs); null when not compared.
  returned: always
  type: dict
  sample: {"verb": "verify-firmware", "result": {"code": 0, "name": "ok"}, "file": "/var/tmp/uc-firmware.bin",
           "bytes": 4096, "message": "..."}
update:
  description:
    - The C(+json) summary of C(update-firmware); null when nothing was written.
    - When it failed, its error document, whose C(pages_written) counts the flash pages sent.
  returned: always
  type: dict
  sample: {"verb": "update-firmware", "result": {"code": 0, "name": "ok"}, "file": "/var/tmp/uc-firmware.bin",
           "bytes": 4096, "message": "..."}
backup_file:
  description: The saved firmware (I(backup)); null when none was saved.
  returned: always
  version_added: "1.1.0"
  type: str
  sample: /var/tmp/uc-firmware.bin.4711.2024-05-06@10:11:12~
compared:
  description: Whether the flash was compared with the image (false in check mode on a board in normal mode).
  returned: always
  version_added: "1.1.0"
  type: bool
  sample: true
msg:
  description: What was done, or what would be done in check mode; when the task failed, why.
  returned: always
  type: str
  sample: firmware updated
stopped:
  description: Why the module stopped zorviutil (a signal, or I(time_limit)).
  returned: when the module was stopped
  version_added: "1.1.0"
  type: str
  sample: stopped by SIGTERM
rc:
  description: zorviutil's exit code when the task fails.
  returned: failure
  type: int
  sample: 12
error:
  description: zorviutil's error object (code, name, message; reason when a serial link did not open, e.g. port_busy) when the task fails.
  returned: failure
  type: dict
  sample: {"code": 12, "name": "service_mode_not_permitted", "message": "*** Enter Service Mode via USB is not supported."}
'''

import os
import time

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.zorvi.boards.plugins.module_utils.zorviutil import (
    SERVICE_MODE_NOT_PERMITTED, VERIFY_MISMATCH, Zorviutil, common_argument_spec, image_size)

# The firmware region of the uC's application flash: zorviutil refuses a
# larger file, but only once it is in service mode.
FIRMWARE_REGION = 0x1FC00


def check_image(module, path):
    size = image_size(module, path)
    if size > FIRMWARE_REGION:
        module.fail_json(msg='image %s holds %d bytes, more than the firmware region of 0x%X' % (path, size, FIRMWARE_REGION))
    with open(path, 'rb') as f:
        data = f.read()
    if data.count(data[:1]) == len(data):
        module.fail_json(msg='image %s holds only bytes of value 0x%02X: no firmware' % (path, bytearray(data[:1])[0]))


class Session(object):
    """One service-mode session of the module: what it found and did, and
    how the board is handed back."""

    def __init__(self, module, tool):
        self.module = module
        self.tool = tool
        self.entered = False
        self.result = dict(changed=False, before=None, after=None, verify=None, update=None, backup_file=None,
                           compared=False)

    def read_version(self):
        """({mode, version: the normal firmware's or None}, run), or (None, run) when
        unreadable."""
        run = self.tool.run(['version'])
        doc = run.document if run.rc == 0 and isinstance(run.document, dict) else {}
        if doc.get('mode') not in ('normal', 'service'):
            return None, run
        return dict(mode=doc['mode'], version=doc.get('version') if doc['mode'] == 'normal' else None), run

    def leave(self):
        """Leaves the service mode the module entered (also after a stop
        request); the failed run, or None."""
        if not self.entered:
            return None
        self.entered = False
        run = self.tool.run(['exit-service-mode'], hand_back=True)
        return run if run.rc != 0 else None

    def fail(self, run, what, stay=False, **result):
        """Hands the board back (unless `stay`), then fails with the tool's message."""
        self.result.update(result)
        if stay:
            note = 'the uC stays in service mode, its firmware written in part: run the task again'
        else:
            failed = self.leave()
            note = 'leaving service mode failed too: %s' % failed.message if failed else None
        self.tool.fail(run, what, written=run.written, note=note, **self.result)

    def step(self, words, what):
        run = self.tool.run(words)
        self.tool.warn_stderr(run)
        if run.rc != 0 or run.stopped:
            self.fail(run, what)
        return run

    def compare(self, image):
        """verify-firmware: True when the flash differs from the image."""
        verify = self.tool.run(['verify-firmware', image])
        self.result.update(verify=verify.document, compared=True)
        if verify.rc not in (0, VERIFY_MISMATCH) or verify.stopped:
            self.fail(verify, 'verify-firmware')
        return verify.rc == VERIFY_MISMATCH

    def finish(self, msg):
        if self.module._diff:
            def text(state):
                if not state:
                    return 'version: (not known)\n'
                return 'version: %s\n' % (state['version'] or '(not known in service mode)')
            self.result['diff'] = dict(before_header='uC firmware', after_header='uC firmware',
                                       before=text(self.result['before']), after=text(self.result['after']))
        self.module.exit_json(msg=msg, **self.result)


def main():
    module = AnsibleModule(
        argument_spec=common_argument_spec(
            port=dict(type='str', required=True),
            image=dict(type='path', required=True),
            allow_service_mode=dict(type='bool'),
            backup=dict(type='bool', default=False),
        ),
        supports_check_mode=True,
    )
    image = module.params['image']
    check_image(module, image)
    allow = module.params['allow_service_mode']
    hints = {} if allow else {
        SERVICE_MODE_NOT_PERMITTED: 'allow_service_mode: true lets zorviutil switch into service mode and back'}
    tool = Zorviutil(module, service_mode=allow, hints=hints)
    session = Session(module, tool)
    result = session.result

    before, run = session.read_version()
    if before is None:
        session.fail(run, 'version')
    result['before'] = before
    in_service_mode = before['mode'] == 'service'

    if module.check_mode:
        if not in_service_mode:
            result['changed'] = True
            session.finish('the uC runs its normal firmware: check mode does not switch it into service mode '
                           'to compare the flash with the image; the update would write it if they differ')
        result['changed'] = session.compare(image)
        session.finish('firmware differs from the image: would update' if result['changed']
                       else 'firmware already matches the image')

    if not in_service_mode:
        session.entered = True  # the uC may have switched even when the run failed
        session.step(['enter-service-mode'], 'enter-service-mode')
    differs = session.compare(image)
    if differs:
        if module.params['backup']:
            path = '%s.%s.%s' % (image, os.getpid(), time.strftime('%Y-%m-%d@%H:%M:%S~', time.localtime()))
            session.step(['save-firmware', path], 'save-firmware')
            result['backup_file'] = path
        update = tool.run(['update-firmware', image])
        tool.warn_stderr(update)
        result['update'] = update.document
        if update.rc != 0 or update.stopped:
            # Without a count from the tool the flash may have been written.
            pages = update.written.get('pages_written', 1)
            result['changed'] = pages > 0
            session.fail(update, 'update-firmware', stay=pages > 0 and session.entered)
        result['changed'] = True
    failed = session.leave()
    if failed is not None:
        tool.fail(failed, 'exit-service-mode', note='the firmware %s' % (
            'was updated and verified' if differs else 'already matched the image'), **result)
    after, run = session.read_version()
    if after is None:
        module.warn('the firmware version could not be read afterwards: %s' % (run.message or run.stopped))
    result['after'] = after
    session.finish('firmware updated' if differs else 'firmware already matches the image')


if __name__ == '__main__':
    main()
