# -*- coding: utf-8 -*-
# Copyright 2026 Vexal developers. All rights reserved.
"""What every module of vexal.hub shares: the connection options, one
session per task, and failures reported with the library's code."""

from __future__ import absolute_import, division, print_function
__metaclass__ = type

import os
import traceback

from ansible.module_utils.basic import AnsibleModule, missing_required_lib

try:
    import vexal
    VEXAL_IMPORT_ERROR = None
except ImportError:
    vexal = None
    VEXAL_IMPORT_ERROR = traceback.format_exc()

CONNECTION_ARGS = dict(
    ethernet=dict(type='str'),
    serial=dict(type='str'),
    usb=dict(type='bool'),
    timeout=dict(type='int', default=0),
)


def hub_module(options, **kwargs):
    """An AnsibleModule with the connection options; fails when vexal is missing."""
    args = dict(CONNECTION_ARGS)
    args.update(options)
    module = AnsibleModule(argument_spec=args, mutually_exclusive=[('ethernet', 'serial', 'usb')],
                           supports_check_mode=True, **kwargs)
    if vexal is None:
        module.fail_json(msg=missing_required_lib('vexal (the Vexal hub software)'), exception=VEXAL_IMPORT_ERROR)
    # The libraries' log folder, as the desktop utility places it, rather than the task's working directory.
    if not os.environ.get('VEXAL_LOG_DIR'):
        state = os.environ.get('XDG_STATE_HOME') or os.path.join(os.path.expanduser('~'), '.local', 'state')
        os.environ['VEXAL_LOG_DIR'] = os.path.join(state, 'vexal')
        try:
            os.makedirs(os.environ['VEXAL_LOG_DIR'])
        except OSError:
            pass
    return module


def open_hub(module):
    p = module.params
    if p['ethernet']:
        return vexal.Hub.ethernet(p['ethernet'], timeout=p['timeout'])
    if p['serial']:
        return vexal.Hub.serial(p['serial'], timeout=p['timeout'])
    if p['usb']:
        return vexal.Hub.usb(timeout=p['timeout'])
    module.fail_json(msg='give one of ethernet, serial or usb: true')


def run(module, action):
    """Opens the hub, runs action(hub) for the result and exits with it;
    a failure ends the task with its message and, from the hub, its code."""
    try:
        with open_hub(module) as hub:
            result = action(hub)
    except vexal.RestoreError as e:
        module.fail_json(msg=str(e), code=e.code, meaning=e.meaning, groups=restore_groups(e.result))
    except vexal.HubError as e:
        module.fail_json(msg=str(e), code=e.code, meaning=e.meaning)
    except (ValueError, TypeError, OSError, vexal.LibraryError) as e:
        module.fail_json(msg=str(e))
    module.exit_json(**result)


def changes(change_list):
    return [dict(key=c.key, before=c.before, after=c.after) for c in change_list if not c.read_only]


def restore_groups(result):
    return [dict(group=g.group, outcome=g.outcome, detail=g.detail, changes=changes(g.changes),
                 add=g.add, delete=g.delete) for g in result.groups]
