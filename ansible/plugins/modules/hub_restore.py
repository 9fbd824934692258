#!/usr/bin/python
# -*- coding: utf-8 -*-
# Copyright 2026 Vexal developers. All rights reserved.

from __future__ import absolute_import, division, print_function
__metaclass__ = type

DOCUMENTATION = r'''
module: hub_restore
short_description: Restore a backup file onto a Vexal hub
description:
  - Reads the hub, plans every group of the backup against it and writes only the groups that
    differ (custom device lists by adding and deleting entries), reading each back, as
    C(vexalcfg restore) does.
  - A group of the backup that breaks the hub's rules, or that the file holds in a form that cannot be used, is
    refused and not written; the other groups are restored all the same, and the task fails naming the refused ones.
  - Secrets are shown as C(********) in C(groups), the diff and failure messages (a changed one as
    C(******** (changed))), and no secret of the hub or the file shows anywhere in the task's output.
  - C(mac) and C(device_name) are compared, never written.
  - Check mode is a dry run; diff mode shows each group that differs before and after.
version_added: "0.1.0"
author: Vexal developers (@vexal)
options:
  src:
    description:
      - The backup file, on the host that runs the module.
    type: path
    required: true
  clone:
    description:
      - Leave out what belongs to one hub (C(bluetooth.name), C(lan.ip), C(wlan.ip)) unless I(include) names it,
        to make another hub like the one backed up.
    type: bool
    default: false
  include:
    description:
      - Per-hub keys to restore all the same with I(clone).
    type: list
    elements: str
    choices: [bluetooth.name, lan.ip, wlan.ip]
  only:
    description:
      - Restore only these groups.
    type: list
    elements: str
    choices: [bluetooth, lan, wlan, netproto, usage, serial, custom]
extends_documentation_fragment:
  - vexal.hub.connection
attributes:
  check_mode:
    support: full
  diff_mode:
    support: full
'''

EXAMPLES = r'''
- name: Make the new till's hub like till 1's
  vexal.hub.hub_restore:
    ethernet: "{{ hub_address }}"
    src: backups/till1.json
    clone: true
  delegate_to: localhost

- name: Put back only the custom device table
  vexal.hub.hub_restore:
    usb: true
    src: /var/backups/hub.json
    only: [custom]
'''

RETURN = r'''
groups:
  description:
    - Each group of the plan with its outcome (C(same), C(written), C(would write), C(skipped), C(refused),
      C(failed)), why, the keys that differ and, for custom lists, the entries added and deleted.
  returned: always, also when a group is refused or fails
  type: list
  elements: dict
  sample: [{"group": "lan", "outcome": "written", "detail": "", "add": [], "delete": [],
            "changes": [{"key": "gateway", "before": "192.168.0.1", "after": "192.168.0.254"}]}]
code:
  description: The library's result code of a failure.
  returned: failure from the hub
  type: int
  sample: 1011
'''

from ansible_collections.vexal.hub.plugins.module_utils.hub import hub_module, keep_secret, restore_groups, run, vexal


def main():
    module = hub_module(dict(
        src=dict(type='path', required=True),
        clone=dict(type='bool', default=False),
        include=dict(type='list', elements='str', choices=['bluetooth.name', 'lan.ip', 'wlan.ip']),
        only=dict(type='list', elements='str',
                  choices=['bluetooth', 'lan', 'wlan', 'netproto', 'usage', 'serial', 'custom']),
    ))
    p = module.params

    def action(hub):
        r = hub.restore(p['src'], clone=p['clone'], only=p['only'], include=p['include'], dry_run=module.check_mode)
        keep_secret(module, r)
        writing = [g for g in r.groups if g.outcome in ('written', 'would write')]
        result = dict(changed=bool(writing), groups=restore_groups(r))
        if module._diff:
            before, after = {}, {}
            for g in writing:
                if g.kind == 'custom':
                    before[g.group], after[g.group] = sorted(g.delete), sorted(g.add)
                else:
                    before[g.group] = vexal.mask_secrets(g.current, group=g.kind)
                    after[g.group] = vexal.mask_secrets(g.target, g.current, group=g.kind)
            result['diff'] = dict(before=before, after=after, before_header=hub.label, after_header=p['src'])
        return result

    run(module, action)


if __name__ == '__main__':
    main()
