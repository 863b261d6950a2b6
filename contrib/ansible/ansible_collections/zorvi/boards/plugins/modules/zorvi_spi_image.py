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
  - The task reports a change only when a block was erased or programmed.
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
      - The binary file on the managed host.
    type: path
    required: true
  address:
    description:
      - Where the file starts in the chip, a number or a string in decimal or C(0x) hexadecimal.
    type: raw
    default: 0
extends_documentation_fragment:
  - zorvi.boards.common
notes:
  - Check mode runs C(spi-verify-bin) only; it reports a change when the range differs from the file.
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
  returned: always
  type: dict
  sample: {"verb": "spi-program-bin", "result": {"code": 0, "name": "ok"}, "blocks_unchanged": 3,
           "blocks_programmed": 1, "blocks_erased": 1, "bytes_sent": 65536}
verify:
  description: The C(+json) summary of C(spi-verify-bin) (its error object when the range differs).
  returned: always
  type: dict
msg:
  description: What was done, or what would be done in check mode.
  returned: always
  type: str
  sample: 1 block(s) programmed, 1 erased and programmed, 3 unchanged
rc:
  description: zorviutil's exit code when the task fails.
  returned: failure
  type: int
error:
  description: zorviutil's error object (code, name, message) when the task fails.
  returned: failure
  type: dict
'''

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.zorvi.boards.plugins.module_utils.zorviutil import (
    REFUSED_IN_SERVICE_MODE, Zorviutil, common_argument_spec, parse_number)


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
    tool = Zorviutil(module, hints={REFUSED_IN_SERVICE_MODE: 'the SPI verbs need the normal firmware: leave service mode first'})
    words = [p['chip'], p['image'], address]

    if module.check_mode:
        differs, verify = tool.differs(['spi-verify-bin'] + words)
        module.exit_json(changed=differs, program=None, verify=verify.document,
                         msg='range differs from the image: would program' if differs
                         else 'range already holds the image')

    program = tool.run(['spi-program-bin'] + words, options=['+skip-same'])
    programmed = block_count(program.document, 'blocks_programmed')
    erased = block_count(program.document, 'blocks_erased')
    if program.rc != 0:
        # Blocks written before the failure count when the tool tells them.
        tool.fail(program, 'spi-program-bin', changed=bool(programmed or erased), program=program.document,
                  verify=None)
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
    if verify.rc != 0:
        tool.fail(verify, 'spi-verify-bin', changed=changed, program=program.document, verify=verify.document)
    module.exit_json(changed=changed, program=program.document, verify=verify.document, msg=msg)


if __name__ == '__main__':
    main()
