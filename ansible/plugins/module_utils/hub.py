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
    module = AnsibleModule(argument_spec=args, supports_check_mode=True, **kwargs)
    # usb: false names no connection, so it goes with ethernet or serial.
    chosen = [name for name in ('ethernet', 'serial', 'usb') if module.params[name]]
    if len(chosen) > 1:
        module.fail_json(msg='parameters are mutually exclusive: %s' % '|'.join(chosen))
    if vexal is None:
        module.fail_json(msg=missing_required_lib('vexal (the Vexal hub software)'), exception=VEXAL_IMPORT_ERROR)
    place_log_dir()
    return module


def place_log_dir():
    """The libraries' log folder, as the desktop utility places it, rather than the working directory."""
    if not os.environ.get('VEXAL_LOG_DIR'):
        state = os.environ.get('XDG_STATE_HOME') or os.path.join(os.path.expanduser('~'), '.local', 'state')
        os.environ['VEXAL_LOG_DIR'] = os.path.join(state, 'vexal')
        try:
            os.makedirs(os.environ['VEXAL_LOG_DIR'])
        except OSError:
            pass


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
        keep_secret(module, e.result)
        module.fail_json(msg=str(e), code=e.code, meaning=e.meaning, changed=e.result.changed,
                         groups=restore_groups(e.result))
    except vexal.HubError as e:
        module.fail_json(msg=str(e), code=e.code, meaning=e.meaning)
    # RuntimeError: the package's SessionError and LibraryError, and what the compiled part raises of its own.
    except (ValueError, TypeError, OSError, RuntimeError) as e:
        module.fail_json(msg=str(e))
    module.exit_json(**result)


def keep_secret(module, *sources, **kwargs):
    """Hides every secret that is set in the sources (value objects, a group's
    dict with group=..., the settings of a backup, a RestoreResult) from all
    the module's output, whatever field it turns up in."""
    for source in sources:
        if isinstance(source, vexal.RestoreResult):
            for g in source.groups:
                if g.current is not None:
                    keep_secret(module, g.current, g.target, group=g.kind)
        elif source is not None:
            module.no_log_values.update(vexal.secret_values(source, **kwargs))


def changes(change_list):
    """The writable keys that differ, a secret among them as ********."""
    return [dict(key=c.key, before=c.before, after=c.after) for c in (c.masked() for c in change_list)
            if not c.read_only]


def restore_groups(result):
    return [dict(group=g.group, outcome=g.outcome, detail=g.detail, changes=changes(g.changes),
                 add=g.add, delete=g.delete) for g in result.groups]
