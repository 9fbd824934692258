#!/usr/bin/python
# -*- coding: utf-8 -*-
# Copyright 2026 Vexal developers. All rights reserved.

from __future__ import absolute_import, division, print_function
__metaclass__ = type

DOCUMENTATION = r'''
module: hub_custom_device
short_description: Keep one USB device in or out of a Vexal hub's custom device table
description:
  - The hub treats the USB devices listed in its custom device table as the type they are listed under.
    This module makes sure one vendor and product ID is listed under one type (I(state=present)) or not
    (I(state=absent)).
version_added: "0.1.0"
author: Vexal developers (@vexal)
options:
  type:
    description:
      - The device type, by name (C(pos-printer), C(label-printer), C(msr), C(barcode-scanner), C(rfid),
        C(dallas-key), C(nfc), C(bcd-display), C(usb-to-serial), C(scale)), title or number 0 to 9.
    type: str
    required: true
  vid:
    description:
      - The USB vendor ID, four hexadecimal digits.
    type: str
    required: true
  pid:
    description:
      - The USB product ID, four hexadecimal digits.
    type: str
    required: true
  state:
    description:
      - Whether the pair is listed under the type.
    type: str
    choices: [present, absent]
    default: present
extends_documentation_fragment:
  - vexal.hub.connection
attributes:
  check_mode:
    support: full
  diff_mode:
    support: full
'''

EXAMPLES = r'''
- name: The store's card reader is an MSR
  vexal.hub.hub_custom_device:
    ethernet: 192.168.0.10
    type: msr
    vid: 1a2b
    pid: 00ff
'''

RETURN = r'''
type:
  description: The type's name.
  returned: success
  type: str
  sample: msr
entries:
  description: The type's list afterwards (in check mode, as it would be).
  returned: success
  type: list
  elements: str
  sample: ["1a2b&00ff"]
code:
  description: The library's result code, or the hub's status of the change (6, the list is full).
  returned: failure from the hub
  type: int
  sample: 6
'''

from ansible_collections.vexal.hub.plugins.module_utils.hub import hub_module, run, vexal


def main():
    module = hub_module(dict(
        type=dict(type='str', required=True),
        vid=dict(type='str', required=True),
        pid=dict(type='str', required=True),
        state=dict(type='str', choices=['present', 'absent'], default='present'),
    ))
    p = module.params

    def action(hub):
        entry = '%s&%s' % (vexal.usb_id(p['vid']), vexal.usb_id(p['pid']))
        [(name, before)] = hub.custom_devices(p['type']).items()
        present = p['state'] == 'present'
        changed = (entry in before) != present
        after = before + [entry] if present and changed else [e for e in before if e != entry]
        if changed and not module.check_mode:
            if present:
                hub.add_custom_device(name, p['vid'], p['pid'])
            else:
                hub.delete_custom_device(name, p['vid'], p['pid'])
        result = dict(changed=changed, type=name, entries=after)
        if module._diff:
            result['diff'] = dict(before={name: before}, after={name: after})
        return result

    run(module, action)


if __name__ == '__main__':
    main()
