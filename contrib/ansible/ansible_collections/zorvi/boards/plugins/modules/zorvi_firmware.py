#!/usr/bin/python
# -*- coding: utf-8 -*-

from __future__ import absolute_import, division, print_function
__metaclass__ = type

DOCUMENTATION = r'''
module: zorvi_firmware
short_description: Bring a board's uC firmware to a given image
description:
  - Compares the uC's application flash with a firmware image file (zorviutil C(verify-firmware))
    and writes the image only when they differ (C(update-firmware), which verifies what it wrote).
  - The image verbs need the uC's service-mode firmware. Over C(-usbcom) zorviutil switches into
    service mode and back only when allowed, see I(allow_service_mode); a board started in service
    mode (its service switch) needs no switching.
version_added: "1.0.0"
author: zorviutil maintainers (!UNKNOWN)
options:
  port:
    required: true
  image:
    description:
      - The firmware image (.bin) on the managed host, at most 0x1FC00 bytes.
    type: path
    required: true
  allow_service_mode:
    description:
      - Let zorviutil enter service mode for each image verb and leave it afterwards
        (C(ZORVIUTIL_FLAGS=7) for the runs). Each switch over USB takes five seconds.
      - When false, C(ZORVIUTIL_FLAGS) is left as the environment has it.
    type: bool
    default: false
extends_documentation_fragment:
  - zorvi.boards.common
notes:
  - Check mode runs C(verify-firmware) only (switching service mode in and out when allowed)
    and reports whether the image would be written.
'''

EXAMPLES = r'''
- name: Copy the firmware to the host
  ansible.builtin.copy:
    src: files/uc-firmware-2.4.bin
    dest: /var/tmp/uc-firmware.bin
    mode: "0644"

- name: Bring the board's uC firmware to it
  zorvi.boards.zorvi_firmware:
    port: /dev/serial/by-id/usb-zorvi-board-if00
    image: /var/tmp/uc-firmware.bin
    allow_service_mode: true
'''

RETURN = r'''
verify:
  description: The C(+json) summary of C(verify-firmware) (its error object when the image differs).
  returned: always
  type: dict
  sample: {"verb": "verify-firmware", "result": {"code": 0, "name": "ok"}, "message": "Verified OK."}
update:
  description: The C(+json) summary of C(update-firmware); null when nothing was written.
  returned: always
  type: dict
  sample: {"verb": "update-firmware", "result": {"code": 0, "name": "ok"}, "message": "Verified OK."}
msg:
  description: What was done, or what would be done in check mode.
  returned: always
  type: str
  sample: firmware updated
rc:
  description: zorviutil's exit code when the task fails.
  returned: failure
  type: int
  sample: 100
error:
  description: zorviutil's error object (code, name, message) when the task fails.
  returned: failure
  type: dict
  sample: {"code": 100, "name": "open_failed", "message": "*** Failed to open the port."}
'''

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.zorvi.boards.plugins.module_utils.zorviutil import (
    SERVICE_MODE_NOT_PERMITTED, Zorviutil, common_argument_spec)


def main():
    module = AnsibleModule(
        argument_spec=common_argument_spec(
            port=dict(type='str', required=True),
            image=dict(type='path', required=True),
            allow_service_mode=dict(type='bool', default=False),
        ),
        supports_check_mode=True,
    )
    image = module.params['image']
    environ = {'ZORVIUTIL_FLAGS': '7'} if module.params['allow_service_mode'] else {}
    hints = {} if module.params['allow_service_mode'] else {
        SERVICE_MODE_NOT_PERMITTED: 'allow_service_mode: true lets zorviutil switch into service mode and back'}
    tool = Zorviutil(module, environ=environ, hints=hints)

    differs, verify = tool.differs(['verify-firmware', image])
    result = dict(changed=differs, verify=verify.document, update=None)
    if not differs:
        module.exit_json(msg='firmware already matches the image', **result)
    if module.check_mode:
        module.exit_json(msg='firmware differs from the image: would update', **result)
    update = tool.run(['update-firmware', image])
    result['update'] = update.document
    if update.rc != 0:
        tool.fail(update, 'update-firmware', **result)
    module.exit_json(msg='firmware updated', **result)


if __name__ == '__main__':
    main()
