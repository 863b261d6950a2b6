#!/usr/bin/python
# -*- coding: utf-8 -*-

from __future__ import absolute_import, division, print_function
__metaclass__ = type

DOCUMENTATION = r'''
module: zorvi_spi_image
short_description: Program a range of a board's SPI flash from a binary file
description:
  - Programs the file into SPI flash chip I(chip) at I(address) with zorviutil
    C(spi-program-bin +skip-same), which leaves alone every erase block that already
    holds its part of the file, then reads the range back with C(spi-verify-bin).
  - The task reports a change when a block was erased or programmed, also when the
    run then failed or was stopped part way (zorviutil's error document counts what
    it had sent to the chip).
  - The SPI verbs need the uC's normal firmware (not service mode).
version_added: "1.0.0"
author: zorviutil maintainers (!UNKNOWN)
options:
  port:
    required: true
  chip:
    description:
      - The SPI chip index (C(spi-info) tells what the chip is).
    type: int
    required: true
  image:
    description:
      - The binary file on the managed host; an empty file is refused.
    type: path
    required: true
  address:
    description:
      - Where the file starts in the chip, 0 to 0xFFFFFFFF.
      - A number, or a string read as zorviutil reads its numbers, decimal digits or C(0x)
        (C(0X)) and hexadecimal digits, the whole string; C(1_0), C(0b101), C(" 16") are refused.
      - Unquoted, YAML reads C(0x1000000) as a number, but also C(010) as 8 and C(1_0) as 10,
        before the module sees them; quote an address to have it read as zorviutil reads it.
    type: raw
    default: 0
extends_documentation_fragment:
  - zorvi.boards.common
  - zorvi.boards.common.attributes
  - ansible.builtin.action_common_attributes
  - ansible.builtin.action_common_attributes.flow
  - ansible.builtin.action_common_attributes.actiongroups
attributes:
  check_mode:
    support: full
    details: Runs C(spi-verify-bin) only; reports a change when the range differs from the file.
  diff_mode:
    support: none
'''

EXAMPLES = r'''
- name: FPGA image into the first flash chip at 16 MiB
  zorvi.boards.zorvi_spi_image:
    port: /dev/ttyACM0
    chip: 0
    image: /var/tmp/fpga.bin
    address: 0x1000000
'''

RETURN = r'''
program:
  description:
    - The C(+json) summary of C(spi-program-bin +skip-same); null in check mode.
    - Its fields C(blocks_unchanged), C(blocks_programmed), C(blocks_erased) and C(bytes_sent)
      count what the run did.
    - When the run failed, its error document, whose C(bytes_sent) and C(blocks_erased) count
      what had been sent to the chip.
  returned: always
  type: dict
  sample: {"verb": "spi-program-bin", "result": {"code": 0, "name": "ok"}, "bytes": 70000, "blocks": 2,
           "blocks_unchanged": 0, "blocks_programmed": 1, "blocks_erased": 1, "bytes_sent": 70000,
           "message": "..."}
verify:
  description: The C(+json) summary of C(spi-verify-bin) (its error object when the range differs).
  returned: always
  type: dict
  sample: {"verb": "spi-verify-bin", "result": {"code": 0, "name": "ok"}, "bytes": 70000, "blocks": 2,
           "message": "..."}
msg:
  description: What was done, or what would be done in check mode; when the task failed, why.
  returned: always
  type: str
  sample: 1 block(s) programmed, 1 erased and programmed, 3 unchanged
stopped:
  description: Why the module stopped zorviutil (a signal, or I(time_limit)).
  returned: when the module was stopped
  version_added: "1.1.0"
  type: str
  sample: stopped at the time limit of 4 s
rc:
  description: zorviutil's exit code when the task fails.
  returned: failure
  type: int
  sample: 102
error:
  description: zorviutil's error object (code, name, message; reason when a serial link did not open, e.g. port_busy) when the task fails.
  returned: failure
  type: dict
  sample: {"code": 102, "name": "link_failure", "message": "*** Failed to send command to ZORVI uC via USB: ..."}
'''

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.zorvi.boards.plugins.module_utils.zorviutil import (
    REFUSED_IN_SERVICE_MODE, Zorviutil, common_argument_spec, image_size, parse_number)


def block_count(summary, key):
    value = summary.get(key) if isinstance(summary, dict) else None
    return value if isinstance(value, int) else None


def main():
    module = AnsibleModule(
        argument_spec=common_argument_spec(
            port=dict(type='str', required=True),
            chip=dict(type='int', required=True),
            image=dict(type='path', required=True),
            address=dict(type='raw', default=0),
        ),
        supports_check_mode=True,
    )
    p = module.params
    address = parse_number(module, 'address', p['address'])
    image_size(module, p['image'])
    tool = Zorviutil(module, hints={REFUSED_IN_SERVICE_MODE: 'the SPI verbs need the normal firmware: leave service mode first'})
    words = [p['chip'], p['image'], address]

    if module.check_mode:
        differs, verify = tool.differs(['spi-verify-bin'] + words, changed=False, program=None)
        module.exit_json(changed=differs, program=None, verify=verify.document,
                         msg='range differs from the image: would program' if differs
                         else 'range already holds the image')

    program = tool.run(['spi-program-bin'] + words, options=['+skip-same'])
    written = program.written
    if program.rc != 0 or program.stopped:
        # What reached the chip before the failure, as the tool counted it.
        tool.fail(program, 'spi-program-bin', changed=any(written.values()), program=program.document, verify=None)
    programmed = block_count(program.document, 'blocks_programmed')
    erased = block_count(program.document, 'blocks_erased')
    if programmed is None or erased is None:
        # A zorviutil without the block counts: the range may have been written.
        module.warn('zorviutil gave no block counts; the task reports a change')
        changed = True
        msg = 'programmed'
    else:
        changed = programmed + erased > 0
        msg = '%d block(s) programmed, %d erased and programmed, %s unchanged' % (
            programmed, erased, block_count(program.document, 'blocks_unchanged'))

    verify = tool.run(['spi-verify-bin'] + words)
    if verify.rc != 0 or verify.stopped:
        tool.fail(verify, 'spi-verify-bin', written=written, changed=changed, program=program.document,
                  verify=verify.document)
    module.exit_json(changed=changed, program=program.document, verify=verify.document, msg=msg)


if __name__ == '__main__':
    main()
