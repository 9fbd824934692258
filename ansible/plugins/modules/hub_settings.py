#!/usr/bin/python
# -*- coding: utf-8 -*-
# Copyright 2026 Vexal developers. All rights reserved.

from __future__ import absolute_import, division, print_function
__metaclass__ = type

DOCUMENTATION = r'''
module: hub_settings
short_description: Set the values of one settings group of a Vexal hub
description:
  - Reads one settings group of the hub, merges the values given (keys that follow a changed
    choice follow it, as in C(vexalcfg set)), checks the group's rules, writes only what differs
    and reads the group back to confirm.
  - A value the rules refuse fails the task before anything is written.
  - In check mode the group is read and the would-be changes are reported; nothing is written.
  - In diff mode the group's values before and after are shown.
  - Secrets (C(pin), C(psk), C(wep_key), C(eap_password), C(ro_community), C(rw_community)) are shown as C(********)
    in C(values), C(changes), the diff and failure messages (a changed one as C(******** (changed)) in the diff's
    after side and in C(changes)), and every secret given or read is kept out of the task's whole output.
version_added: "0.1.0"
author: Vexal developers (@vexal)
options:
  group:
    description:
      - The settings group.
    type: str
    required: true
    choices: [bluetooth, lan, wlan, netproto, usage, serial]
  device:
    description:
      - The device ID (100 to 129) of the USB-to-serial adapter, for I(group=serial) only.
    type: int
  values:
    description:
      - The wanted values by key, as C(vexalcfg set) takes them; keys not given keep the hub's values.
      - "bluetooth: name, pin, encryption, mode, auto_connect. lan: dhcp, ip, mask, gateway, dns.
        wlan: mode, dhcp, ip, mask, gateway, ssid, auth, cipher, wep_key, psk, eap, eap_identity,
        eap_password, inactivity. netproto: telnet, snmp, ro_community, rw_community.
        usage: bluetooth, lan, wlan. serial: baud, data, stop, parity."
      - Flags take C(true)/C(false) (or C(on)/C(off)); read-only keys (C(mac), C(device_name), C(usb)) are refused.
      - The secrets among the values never show in the module's output; set C(no_log) on the task as well to keep
        them out of what Ansible itself logs about the task.
    type: dict
    required: true
extends_documentation_fragment:
  - vexal.hub.connection
attributes:
  check_mode:
    support: full
  diff_mode:
    support: full
'''

EXAMPLES = r'''
- name: Fixed address on the wired LAN
  vexal.hub.hub_settings:
    ethernet: "{{ hub_address }}"
    group: lan
    values:
      dhcp: false
      ip: "{{ hub_address }}"
      mask: 255.255.255.0
      gateway: 192.168.0.1

- name: Store Wi-Fi
  vexal.hub.hub_settings:
    ethernet: 192.168.0.10
    group: wlan
    values: {ssid: Store-7, auth: wpa2-psk, psk: "{{ store_psk }}"}
  no_log: true

- name: Line settings of the adapter at device ID 100
  vexal.hub.hub_settings:
    serial: COM3
    group: serial
    device: 100
    values: {baud: 115200, parity: even}
'''

RETURN = r'''
group:
  description: The group.
  returned: always
  type: str
  sample: lan
changes:
  description: The writable keys that differed (and were written, or would be in check mode).
  returned: success
  type: list
  elements: dict
  sample: [{"key": "ip", "before": "192.168.0.10", "after": "192.168.0.20"}]
values:
  description: The group's values read back from the hub (in check mode, the values it would hold); a secret that is
    set as C(********).
  returned: success
  type: dict
  sample: {"mac": "00:1b:5f:40:12:7a", "dhcp": false, "ip": "192.168.0.20", "mask": "255.255.255.0"}
code:
  description: The library's result code of a failure (1011, no reply from the hub in time).
  returned: failure from the hub
  type: int
  sample: 1011
meaning:
  description: The code in words.
  returned: failure from the hub
  type: str
  sample: no reply from the hub in time
'''

from ansible_collections.vexal.hub.plugins.module_utils.hub import changes, hub_module, keep_secret, run, vexal


def main():
    module = hub_module(dict(
        group=dict(type='str', required=True, choices=['bluetooth', 'lan', 'wlan', 'netproto', 'usage', 'serial']),
        device=dict(type='int'),
        values=dict(type='dict', required=True),
    ))
    p = module.params
    keep_secret(module, p['values'], group=p['group'])

    def action(hub):
        r = hub.set(p['group'], p['values'], device=p['device'], dry_run=module.check_mode)
        keep_secret(module, r.before, r.after)
        result = dict(changed=r.changed, group=r.group, changes=changes(r.changes), values=vexal.mask_secrets(r.after))
        if module._diff:
            header = '%s %s%s' % (hub.label, r.group, ' %d' % r.device if r.device else '')
            result['diff'] = dict(before=vexal.mask_secrets(r.before), after=vexal.mask_secrets(r.after, r.before),
                                  before_header=header, after_header=header)
        return result

    run(module, action)


if __name__ == '__main__':
    main()
