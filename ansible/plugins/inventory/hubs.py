# -*- coding: utf-8 -*-
# Copyright 2026 Vexal developers. All rights reserved.

from __future__ import absolute_import, division, print_function
__metaclass__ = type

DOCUMENTATION = r'''
name: hubs
short_description: Vexal hubs found on the network as an inventory
version_added: "0.1.0"
author: Vexal developers (@vexal)
description:
  - Scans address ranges for Vexal hubs as C(vexalcfg scan) does (a bare TCP connect to every address, then a
    short session with each address that accepted, for its model and firmware) and makes one host per hub,
    named by its address.
  - Each host gets C(hub_address) (what the modules' I(ethernet) option takes, C(ADDR) or C(ADDR:PORT) when
    I(port) is not 9100), C(hub_port), C(hub_model) and C(hub_firmware).
  - Each hub is in a group of its model, C(vexal_) and the model name in lower case with every character other
    than a letter, digit or C(_) as C(_) (C(VX-H400_VXL) is C(vexal_vx_h400_vxl)); the model groups are the
    children of the group C(vexal).
  - Addresses that accept a connection but do not answer as a hub are left out. A scan that cannot try an
    address at all (no route to its network) fails rather than report no hubs.
  - The source file's name ends in C(.vexal.yml) or C(.vexal.yaml).
  - Beware that whatever listens on the port receives the hub's identification requests (a network printer on
    its raw port 9100 would), so give only ranges where hubs are.
options:
  plugin:
    description: The name of this plugin, so that Ansible knows the file is for it.
    required: true
    choices: [vexal.hub.hubs]
    type: str
  ranges:
    description:
      - The IPv4 ranges to scan, C(ADDR/BITS) each at most a C(/22) (1024 addresses), or single addresses;
        4096 addresses in all.
    required: true
    type: list
    elements: str
  port:
    description: The hubs' TCP port.
    type: int
    default: 9100
  connect_timeout:
    description: How long a connect to one address may take, in milliseconds (10 to 10000).
    type: int
    default: 300
  parallel:
    description: Connection attempts at once (1 to 1024).
    type: int
    default: 64
  timeout:
    description:
      - The session's wait for each hub's device ID, in seconds (0 to 600); C(0) keeps the library's own (3).
    type: int
    default: 0
extends_documentation_fragment:
  - inventory_cache
  - constructed
requirements:
  - The Python package C(vexal) and the configuration library of the Vexal hub software (the C(vexal) Debian
    package) on the control node.
notes:
  - With C(cache) on, the hubs of the last scan are listed until I(cache_timeout) has passed without scanning
    again; C(ansible-playbook --flush-cache) scans anew, and so does a change of I(ranges) or of a scan
    option. A scan that fails leaves the cache as it was.
  - When C(VEXAL_LOG_DIR) is not set, the libraries' log folder goes under C($XDG_STATE_HOME/vexal)
    (default C(~/.local/state/vexal)).
'''

EXAMPLES = r'''
# stores.vexal.yml
plugin: vexal.hub.hubs
ranges:
  - 192.168.10.0/24
  - 192.168.11.0/24
cache: true
cache_plugin: ansible.builtin.jsonfile
cache_connection: ~/.cache/vexal-inventory
cache_timeout: 3600
keyed_groups:
  - key: hub_firmware
    prefix: firmware

# A play over every hub found (ansible-playbook -i stores.vexal.yml play.yml):
# - hosts: vexal
#   connection: local
#   gather_facts: false
#   tasks:
#     - vexal.hub.hub_info:
#         ethernet: "{{ hub_address }}"
'''

import hashlib
import json
import re

from ansible.errors import AnsibleError, AnsibleOptionsError, AnsibleParserError
from ansible.module_utils.common.text.converters import to_native
from ansible.plugins.inventory import BaseInventoryPlugin, Cacheable, Constructable
from ansible_collections.vexal.hub.plugins.module_utils.hub import VEXAL_IMPORT_ERROR, place_log_dir, vexal

# Never the name of a model's group, which has more after 'vexal_'.
ALL_GROUP = 'vexal'
DEFAULT_PORT = 9100
# Name and limits of each number option, as vexalcfg scan has them.
LIMITS = dict(port=(1, 65535), connect_timeout=(10, 10000), parallel=(1, 1024), timeout=(0, 600))


def model_group(model):
    """The group of a model: vexal_ and the name in lower case, any other character than a letter, digit or _ as _."""
    return 'vexal_' + (re.sub(r'[^a-z0-9_]', '_', model.lower()) or 'unknown')


def checked_options(get_option):
    """The scan's options, checked; AnsibleParserError names the first bad one."""
    ranges = get_option('ranges')
    if not ranges or not isinstance(ranges, list) or not all(isinstance(r, str) and r.strip() for r in ranges):
        raise AnsibleParserError('ranges: give a list of IPv4 ranges such as 192.168.10.0/24')
    options = dict(ranges=[r.strip() for r in ranges])
    for name, (low, high) in LIMITS.items():
        value = get_option(name)
        if isinstance(value, bool) or not isinstance(value, int) or not low <= value <= high:
            raise AnsibleParserError('%s: %r is not a number from %d to %d' % (name, value, low, high))
        options[name] = value
    return options


class InventoryModule(BaseInventoryPlugin, Cacheable, Constructable):

    NAME = 'vexal.hub.hubs'

    def verify_file(self, path):
        return super(InventoryModule, self).verify_file(path) and path.endswith(('.vexal.yml', '.vexal.yaml'))

    def parse(self, inventory, loader, path, cache=True):
        super(InventoryModule, self).parse(inventory, loader, path, cache)
        try:
            self._read_config_data(path)
        except AnsibleOptionsError as e:  # an option of the wrong type
            raise AnsibleParserError(to_native(e))
        options = checked_options(self.get_option)

        # A changed range or option scans anew rather than list what the old ones found.
        digest = hashlib.sha1(json.dumps(options, sort_keys=True).encode()).hexdigest()[:10]
        cache_key = '%s_%s' % (self.get_cache_key(path), digest)
        use_cache = self.get_option('cache')
        hubs = None
        if use_cache and cache:
            try:
                hubs = self._cache[cache_key]
            except KeyError:
                pass
        if hubs is None:
            hubs = self._scan(options)  # a failed scan raises: the cache keeps what it had
            if use_cache:
                self._cache[cache_key] = hubs
        self._populate(hubs)

    def _scan(self, options):
        """The hubs found, as plain data the cache can keep."""
        if vexal is None:
            raise AnsibleError('vexal.hub.hubs needs the Python package vexal (the Vexal hub software): %s'
                               % VEXAL_IMPORT_ERROR)
        place_log_dir()
        try:
            found = vexal.scan(options['ranges'], port=options['port'], parallel=options['parallel'],
                               connect_timeout=options['connect_timeout'], timeout=options['timeout'])
        except ValueError as e:
            raise AnsibleParserError(to_native(e))
        except (OSError, RuntimeError) as e:  # RuntimeError: the library could not be loaded
            raise AnsibleError(to_native(e))
        return [dict(address=h.address, port=h.port, model=h.model, firmware=h.firmware) for h in found if h.is_hub]

    def _populate(self, hubs):
        strict = self.get_option('strict')
        self.inventory.add_group(ALL_GROUP)
        for hub in hubs:
            group = self.inventory.add_group(model_group(hub['model']))
            self.inventory.add_child(ALL_GROUP, group)
            host = self.inventory.add_host(hub['address'], group=group)
            target = hub['address'] if hub['port'] == DEFAULT_PORT else '%s:%d' % (hub['address'], hub['port'])
            variables = dict(hub_address=target, hub_port=hub['port'], hub_model=hub['model'],
                             hub_firmware=hub['firmware'])
            for name, value in variables.items():
                self.inventory.set_variable(host, name, value)
            self._set_composite_vars(self.get_option('compose'), variables, host, strict=strict)
            self._add_host_to_composed_groups(self.get_option('groups'), variables, host, strict=strict)
            self._add_host_to_keyed_groups(self.get_option('keyed_groups'), variables, host, strict=strict)
