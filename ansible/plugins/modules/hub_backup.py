#!/usr/bin/python
# -*- coding: utf-8 -*-
# Copyright 2026 Vexal developers. All rights reserved.

from __future__ import absolute_import, division, print_function
__metaclass__ = type

DOCUMENTATION = r'''
module: hub_backup
short_description: Write a backup file of a Vexal hub's settings
description:
  - Reads the hub's model, firmware and every settings group and writes them to I(dest) in the backup
    format of C(vexalcfg backup), on the host that runs the module.
  - A file that already holds the same hub's same settings (the same source, model, firmware and settings) is left
    as it is (C(changed=false)); one that holds another hub's is replaced.
  - The file holds the hub's secrets and is created readable and writable by its owner only (mode C(0600), or the
    stricter mode of the file it replaces). The diff shows each secret that is set as C(********) (a changed one as
    C(******** (changed))), and no secret shows anywhere in the task's output.
  - A group the hub does not give fails the task, and nothing is written.
  - In check mode nothing is written; the task reports whether the file would change.
version_added: "0.1.0"
author: Vexal developers (@vexal)
options:
  dest:
    description:
      - The backup file to write (through a temporary file and a rename).
    type: path
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
- name: One backup per hub on the control node
  vexal.hub.hub_backup:
    ethernet: "{{ hub_address }}"
    dest: "backups/{{ inventory_hostname }}.json"
  delegate_to: localhost
'''

RETURN = r'''
dest:
  description: The file.
  returned: success
  type: str
  sample: backups/till1.json
taken:
  description: When the settings were read (UTC), as the file records it.
  returned: success
  type: str
  sample: "2026-12-08T08:30:00Z"
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
'''

import os

from ansible_collections.vexal.hub.plugins.module_utils.hub import hub_module, keep_secret, run, vexal


def main():
    module = hub_module(dict(dest=dict(type='path', required=True)))
    dest = module.params['dest']

    def action(hub):
        taken = hub.take_backup()
        keep_secret(module, taken.settings)
        if not taken.complete:
            module.fail_json(msg='%s: backup: nothing written: %s' % (hub.label, '; '.join(taken.errors)))
        old = None
        if os.path.exists(dest):
            try:
                old = vexal.Backup.load(dest)
                keep_secret(module, old.settings)
            except (ValueError, OSError):
                old = None

        def content(backup):
            return backup.source, backup.model, backup.firmware, backup.settings

        same = old is not None and content(old) == content(taken)
        if not same and not module.check_mode:
            taken.save(dest)
        result = dict(changed=not same, dest=dest, taken=old.taken if same else taken.taken,
                      model=taken.model, firmware=taken.firmware)
        if module._diff:
            before = old.settings if old is not None else {}
            result['diff'] = dict(before=vexal.mask_secrets(before), after=vexal.mask_secrets(taken.settings, before),
                                  before_header=dest, after_header=dest)
        return result

    run(module, action)


if __name__ == '__main__':
    main()
