# -*- coding: utf-8 -*-
# The options every module of the collection takes (module_utils/zorviutil.py
# common_argument_spec).

from __future__ import absolute_import, division, print_function
__metaclass__ = type


class ModuleDocFragment(object):

    DOCUMENTATION = r'''
options:
  port:
    description:
      - The board's port as zorviutil's link option takes it, for example
        C(/dev/ttyACM0) or C(/dev/serial/by-id/...) for I(link=usbcom),
        C(/dev/ttyPS1,171428) for I(link=psuart), a card index for I(link=index) and I(link=quenta).
    type: str
  link:
    description:
      - The link option of zorviutil the port is given with (C(-usbcom), C(-psuart), ...).
      - C(index) and C(quenta) need the PCIe driver libraries of the board maker on the host.
    type: str
    default: usbcom
    choices: [usbcom, psuart, index, quenta]
  zorviutil_path:
    description:
      - The zorviutil program on the managed host; a bare name is looked up on C(PATH).
    type: str
    default: zorviutil
  timeout:
    description:
      - Time-out for each uC command in milliseconds (zorviutil's C(-timeout), 1 .. 3600000);
        zorviutil's default when not given.
    type: int
  time_limit:
    description:
      - Seconds the module may run. Past them it stops zorviutil as Ctrl-C does (between two
        exchanges with the uC, handing the board back) and fails the task, saying so and what
        had been written.
      - When not given and the task runs with C(async), the C(async) value less 10 seconds
        (less half of it below 20 seconds), so that the task ends with this report before
        Ansible gives up on it; when not given otherwise, no limit.
    type: float
    version_added: "1.1.0"
notes:
  - The modules run the installed zorviutil with C(+json) and read its one JSON document;
    they speak no uC protocol themselves. A failing run fails the task with zorviutil's
    message, its exit code in C(rc) and its error object in C(error).
  - A stop of the module (SIGTERM, SIGINT, SIGHUP, I(time_limit)) reaches zorviutil as SIGTERM;
    zorviutil runs in a session of its own and, on Linux, gets SIGTERM too when the module's
    process ends in any way, also by the SIGKILL with which C(async) ends a job past its time.
  - An inherited C(ZORVIUTIL_FLAGS) is never passed on to zorviutil.
  - Files named by the options are paths on the managed host.
requirements:
  - zorviutil with the C(+json) option on the managed host
'''

    ATTRIBUTES = r'''
attributes:
  action_group:
    support: full
    membership: [zorvi.boards.zorvi]
  async:
    support: full
  action:
    support: none
  bypass_host_loop:
    support: none
  platform:
    platforms: posix
'''
