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
        C(/dev/ttyPS1,171428) for I(link=psuart), a card index for I(link=index).
    type: str
  link:
    description:
      - The link option of zorviutil the port is given with (C(-usbcom), C(-psuart), ...).
    type: str
    default: usbcom
    choices: [usbcom, psuart, index, quenta, smbus, ipmi]
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
notes:
  - The modules run the installed zorviutil with C(+json) and read its one JSON document;
    they speak no uC protocol themselves. A failing run fails the task with zorviutil's
    message, its exit code in C(rc) and its error object in C(error).
  - Files named by the options are paths on the managed host.
requirements:
  - zorviutil with the C(+json) option on the managed host
'''
