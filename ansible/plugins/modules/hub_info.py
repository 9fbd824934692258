#!/usr/bin/python
# -*- coding: utf-8 -*-
# Copyright 2026 Vexal developers. All rights reserved.

from __future__ import absolute_import, division, print_function
__metaclass__ = type

DOCUMENTATION = r'''
module: hub_info
short_description: Read a Vexal hub's model, firmware, devices and settings
description:
  - Reads the hub's model and firmware, the devices present on its link with their USB identifiers,
    and every settings group (or those named in I(gather)) in the form of a backup file.
  - Changes nothing.
  - Secrets (C(bluetooth.pin), C(wlan.psk), C(wlan.wep_key), C(wlan.eap_password), C(netproto.ro_community),
    C(netproto.rw_community)) are returned as C(********) when they are set, and every secret read is kept out of
    the task's whole output. To see one on purpose, read it where you ask for it, for example
    C(vexalcfg --ethernet ADDR get wlan) on the control node.
version_added: "0.1.0"
author: Vexal developers (@vexal)
options:
  gather:
    description:
      - The settings groups to read; all when not given.
    type: list
    elements: str
    choices: [bluetooth, lan, wlan, netproto, usage, serial, custom]
extends_documentation_fragment:
  - vexal.hub.connection
attributes:
  check_mode:
    support: full
  diff_mode:
    support: none
'''

EXAMPLES = r'''
- name: Read the hub
  vexal.hub.hub_info:
    ethernet: 192.168.0.10
  register: hub

- name: Show its model and address
  ansible.builtin.debug:
    msg: "{{ hub.model }} {{ hub.firmware }} at {{ hub.settings.lan.ip }}"
'''

RETURN = r'''
model:
  description: The hub's model name.
  returned: success
  type: str
  sample: VX-H400_VXL
firmware:
  description: The hub's firmware version.
  returned: success
  type: str
  sample: 2.10.3
device_ids:
  description: The device IDs present on the hub's link.
  returned: success
  type: list
  elements: int
  sample: [10, 20, 100]
usb_devices:
  description: Vendor and product ID of each USB device behind the hub.
  returned: success
  type: list
  elements: str
  sample: ["5a4d&0e28"]
devices:
  description: Each present device with its kind and USB identifiers.
  returned: success
  type: list
  elements: dict
  sample: [{"id": 10, "type": "Local Printer", "vid": "5a4d", "pid": "0e28"}]
settings:
  description:
    - The settings groups as a backup file holds them; C(serial) by adapter device ID, C(custom) by device type.
    - A secret that is set is C(********).
  returned: success
  type: dict
  sample: {"lan": {"dhcp": false, "ip": "192.168.0.10"}, "serial": {"100": {"baud": "9600"}}, "custom": {"msr": []}}
'''

from ansible_collections.vexal.hub.plugins.module_utils.hub import hub_module, keep_secret, run, vexal


def main():
    module = hub_module(dict(
        gather=dict(type='list', elements='str',
                    choices=['bluetooth', 'lan', 'wlan', 'netproto', 'usage', 'serial', 'custom']),
    ))

    def action(hub):
        info = hub.info()
        settings = hub.settings(only=module.params['gather'])
        keep_secret(module, settings)
        return dict(changed=False, model=info.model, firmware=info.firmware, device_ids=info.device_ids,
                    usb_devices=info.usb_devices,
                    devices=[dict(id=d.id, type=d.type, vid=d.vid, pid=d.pid) for d in info.devices],
                    settings=vexal.mask_secrets(settings))

    run(module, action)


if __name__ == '__main__':
    main()
