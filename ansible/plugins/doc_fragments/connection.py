# -*- coding: utf-8 -*-
# Copyright 2026 Vexal developers. All rights reserved.

from __future__ import absolute_import, division, print_function
__metaclass__ = type


class ModuleDocFragment(object):
    # How every module of the collection reaches its hub.
    DOCUMENTATION = r'''
options:
  ethernet:
    description:
      - The hub's IPv4 address, with C(:PORT) when it does not listen on 9100.
      - Exactly one of I(ethernet), I(serial) and I(usb) is given.
    type: str
  serial:
    description:
      - A serial or Bluetooth link, as C(vexalcfg --serial) takes it
        (C(COM3) linked in C(VEXAL_DEVICE_DIR), C(COM3:115200),
        C(COM3:115200:8:0:0:0)), or a device path in place of C(COMn),
        such as C(/dev/ttyUSB0) or C(/dev/rfcomm0:115200), opened as it stands.
    type: str
  usb:
    description:
      - Reach the first hub on USB.
    type: bool
  timeout:
    description:
      - The session's wait for the hub's device ID, in seconds; C(0) keeps the library's own.
    type: int
    default: 0
requirements:
  - The Python package C(vexal) and the configuration library of the Vexal hub software
    (the C(vexal) Debian package) on the host that runs the module.
notes:
  - "The module runs on the host that reaches the hub (a store PC), or on the control node with
    C(delegate_to) or C(connection: local) for hubs on the network. Each task opens one session."
  - When C(VEXAL_LOG_DIR) is not set, the libraries' log folder goes under C($XDG_STATE_HOME/vexal)
    (default C(~/.local/state/vexal)).
'''
