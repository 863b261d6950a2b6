#!/usr/bin/python
# -*- coding: utf-8 -*-

from __future__ import absolute_import, division, print_function
__metaclass__ = type

DOCUMENTATION = r'''
module: zorvi_facts
short_description: The host's boards with identity, firmware version, VPD and sensor readings
description:
  - Finds the host's boards with zorviutil C(list-boards), or takes the ports given in I(ports)
    (or I(port)), and reads from each board C(version), C(display-vpd) and C(display-sensors)
    as their C(+json) documents.
  - Sets the fact C(zorvi_boards), a list with one entry per board.
  - A board in service mode is no error. Its entry says so in C(mode) and carries every
    document that firmware answers (C(version) of the service firmware, C(vpd)); what it
    refuses (C(sensors)) is null and named in C(unavailable).
version_added: "1.0.0"
author: zorviutil maintainers (!UNKNOWN)
options:
  ports:
    description:
      - The boards' ports, all with the link option I(link); without I(ports) and I(port)
        zorviutil C(list-boards) finds the boards.
    type: list
    elements: str
  gather:
    description:
      - The documents to read from each board.
    type: list
    elements: str
    choices: [version, vpd, sensors]
    default: [version, vpd, sensors]
  fail_on_board_error:
    description:
      - Fail the task when a board cannot be read. When false, such a board's entry
        carries the tool's error object in C(error) and the task succeeds.
    type: bool
    default: true
extends_documentation_fragment:
  - zorvi.boards.common
  - zorvi.boards.common.attributes
  - ansible.builtin.action_common_attributes
  - ansible.builtin.action_common_attributes.facts
  - ansible.builtin.action_common_attributes.flow
  - ansible.builtin.action_common_attributes.actiongroups
attributes:
  check_mode:
    support: full
    details: It only reads; check mode changes nothing.
  diff_mode:
    support: none
  facts:
    support: full
'''

EXAMPLES = r'''
- name: Boards of the host, found by zorviutil
  zorvi.boards.zorvi_facts:

- name: Two boards on known ports, firmware version and VPD only
  zorvi.boards.zorvi_facts:
    ports:
      - /dev/serial/by-id/usb-zorvi-board-A-if00
      - /dev/serial/by-id/usb-zorvi-board-B-if00
    gather: [version, vpd]

- name: Serial numbers of the boards
  ansible.builtin.debug:
    msg: "{{ zorvi_boards | map(attribute='serial') | list }}"
'''

RETURN = r'''
ansible_facts:
  description: Facts set on the host.
  returned: success
  type: dict
  contains:
    zorvi_boards:
      description: One entry per board, the same as I(boards).
      type: list
      elements: dict
boards:
  description:
    - One entry per board, also when the task fails.
    - Identity fields come from C(list-boards) and, when given, the documents; null when unknown.
  returned: always
  type: list
  elements: dict
  contains:
    link:
      description: The link option without its dash.
      type: str
      sample: usbcom
    port:
      description: The port the board was read through.
      type: str
      sample: /dev/ttyACM0
    by_id:
      description: The stable C(/dev/serial/by-id) path, when C(list-boards) knows one.
      type: str
    product_id:
      description: The uC's product ID (from C(list-boards)).
      type: int
    firmware:
      description: The version of the uC firmware that answered (in service mode, the service firmware's).
      type: str
      sample: "4.26.0.7"
    mode:
      description:
        - C(normal) or C(service), the uC firmware that answered (from C(version), else from C(product-id));
          null when the board could not be read.
      type: str
      sample: normal
      version_added: "1.1.0"
    unavailable:
      description: The I(gather) items the board's firmware refuses in its mode (C(sensors) in service mode); their documents are null.
      type: list
      elements: str
      sample: [sensors]
      version_added: "1.1.0"
    drawing:
      description: The board's drawing number.
      type: int
      sample: 1353
    serial:
      description: The board's serial number.
      type: int
      sample: 100001
    version:
      description: The C(+json) document of C(version); null when not read.
      type: dict
    vpd:
      description: The C(+json) document of C(display-vpd) (C(board) and C(fields)); null when not read.
      type: dict
    sensors:
      description: The C(+json) document of C(display-sensors) (C(board), C(sensors) and the counters); null when not read.
      type: dict
    error:
      description: The error object of the first read that failed (its C(verb) added); null when all succeeded.
      type: dict
      sample: {"verb": "version", "code": 100, "name": "link_open_failed",
               "message": "*** Failed to open port '/dev/ttyACM3': ZORVI_DEVICE_NOT_FOUND"}
'''

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.zorvi.boards.plugins.module_utils.zorviutil import (
    REFUSED_IN_SERVICE_MODE, Zorviutil, common_argument_spec)

# gather choice -> the verb that reads it
READS = (('version', 'version'), ('vpd', 'display-vpd'), ('sensors', 'display-sensors'))
IDENTITY = ('link', 'port', 'by_id', 'product_id', 'firmware', 'drawing', 'serial')


def new_board(**identity):
    board = dict((key, identity.get(key)) for key in IDENTITY)
    mode = identity.get('mode')
    board.update(mode=mode if mode in ('normal', 'service') else None, unavailable=[], error=identity.get('error'))
    board.update((key, None) for key, verb in READS)
    return board


def listed_boards(module, tool):
    """The boards zorviutil list-boards finds, as entries."""
    run = tool.run(['list-boards'], needs_link=False)
    if run.rc != 0 or run.stopped or not isinstance(run.document, list):
        tool.fail(run, 'list-boards', boards=[])
    boards = []
    for listed in run.document:
        board = new_board(**listed)
        board['link'] = (board['link'] or module.params['link']).lstrip('-')
        boards.append(board)
    return boards


def read_board(module, board):
    """Fills in a board's documents; the first failing read ends it with
    `error`. A read the firmware refuses in service mode is no failure."""
    # The stable by-id name where list-boards gives one.
    tool = Zorviutil(module, port=board['by_id'] or board['port'], link=board['link'])
    for key, verb in READS:
        if key not in module.params['gather'] or board['error']:
            continue
        run = tool.run([verb])
        if run.stopped:
            tool.fail(run, verb)
        if run.rc == REFUSED_IN_SERVICE_MODE:
            board['mode'] = 'service'
            board['unavailable'].append(key)
        elif run.rc != 0:
            board['error'] = dict(run.error, verb=verb)
        else:
            board[key] = run.document
    version = board.get('version') or {}
    if isinstance(version, dict) and version.get('mode') in ('normal', 'service'):
        board['mode'] = version['mode']
    if board['mode'] is None and not board['error']:
        run = tool.run(['product-id'])
        if run.stopped:
            tool.fail(run, 'product-id')
        if run.rc != 0:
            board['error'] = dict(run.error, verb='product-id')
        elif isinstance(run.document, dict) and run.document.get('firmware') in ('normal', 'service'):
            board['mode'] = run.document['firmware']
    # Identity from the documents where list-boards gave none.
    vpd_board = (board.get('vpd') or {}).get('board') or (board.get('sensors') or {}).get('board') or {}
    if board['firmware'] is None and isinstance(version, dict):
        board['firmware'] = version.get('version')
    for key in ('drawing', 'serial'):
        if board[key] is None and isinstance(vpd_board, dict):
            board[key] = vpd_board.get(key)


def main():
    module = AnsibleModule(
        argument_spec=common_argument_spec(
            ports=dict(type='list', elements='str'),
            gather=dict(type='list', elements='str', choices=[key for key, verb in READS],
                        default=[key for key, verb in READS]),
            fail_on_board_error=dict(type='bool', default=True),
        ),
        mutually_exclusive=[('port', 'ports')],
        supports_check_mode=True,
    )
    p = module.params
    ports = p['ports'] if p['ports'] is not None else ([p['port']] if p['port'] else None)
    if ports is None:
        boards = listed_boards(module, Zorviutil(module))
    else:
        boards = [new_board(link=p['link'], port=port) for port in ports]
    for board in boards:
        read_board(module, board)

    failed = [b for b in boards if b['error']]
    if failed and p['fail_on_board_error']:
        module.fail_json(msg='; '.join('%s %s: %s failed: %s' % (b['link'], b['port'], b['error'].get('verb', 'list-boards'),
                                                                 (b['error'].get('message') or '').strip())
                                       for b in failed),
                         boards=boards)
    module.exit_json(changed=False, boards=boards, ansible_facts=dict(zorvi_boards=boards))


if __name__ == '__main__':
    main()
