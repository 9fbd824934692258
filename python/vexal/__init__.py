"""Configure Vexal point-of-sale hubs from Python.

A session with one hub is a context manager::

    import vexal

    with vexal.Hub.ethernet("192.168.0.10") as hub:     # also Hub.serial("COM3"), Hub.usb()
        print(hub.info().model)                          # "VX-H400_VXL"
        lan = hub.lan                                    # a vexal.Lan: lan.ip, lan.mask, lan.dhcp ...
        hub.lan = lan.replace(dhcp=False, ip="192.168.0.20")   # writes what differs, reads it back
        hub.set_wlan(auth="wpa2-psk", psk="store-key-7")       # changes only the keys given
        hub.set_serial_line(100, baud="115200")
        hub.add_custom_device("msr", "1a2b", "00ff")
        hub.backup("till1.json")
        print(hub.status().printers[0].reasons)          # ["media-low"]
        hub.send(10, open("receipt.bin", "rb").read())  # a receipt to the printer
        for event in hub.watch(timeout=60):              # DeviceEvent: device-added, status, alarm, link
            print(event.event, event.id, event.reasons)
    with vexal.Hub.ethernet("192.168.0.11") as hub:
        plan = hub.restore("till1.json", clone=True, dry_run=True)
        for group in plan.groups:
            print(group.group, group.outcome, [c.key for c in group.changes])

Groups and their value classes: bluetooth (Bluetooth), lan (Lan), wlan
(Wlan), netproto (NetProto), usage (Usage), serial (SerialLine, one per
USB-to-serial adapter, device IDs 100-129). Values are immutable and check
themselves with the same rules as the command-line tool vexalcfg (lengths
in the hub's code page, WEP and PSK lengths, ranges, the rules between
keys): a refused value raises ValueError and sends nothing. Flags are bool,
numbers int, everything else str, in the forms vexalcfg shows.

Secrets (the Bluetooth PIN, the WLAN psk, wep_key and eap_password, the
SNMP communities: the keys groups() marks secret) are given as the hub holds
them when you ask for them: an attribute (hub.wlan.psk), as_dict(),
Hub.settings(), Backup.settings. Everything the package shows on its own
never holds one: repr() of value objects and changes shows a secret that is
set as "********", and no exception message quotes one. To show values in
your own output or logs, pass them through mask_secrets(); secret_values()
lists the secrets to filter. Backup files hold the secrets and are created
readable and writable by their owner only (mode 0600).

The devices behind the hub: status() (the devices present, each printer's
status record as reasons), watch() (an iterator of DeviceEvent), send() and
receive() of a device's bytes; a device that cannot be reached raises
DeviceError, a HubError.

Hubs on a network: scan("192.168.10.0/24") (a str of ranges or a list,
each at most a /22) returns a FoundHub (address, port, is_hub, model,
firmware) per address that accepted on the hub's port, as vexalcfg scan
finds them; OSError when an address could not be tried at all.

Failures of the hub or the library raise HubError with ``code`` (the
library's result code, e.g. 1011) and ``meaning``. A session is driven by
one thread at a time (a second thread is refused with SessionError); the
GIL is released while the library works, and calls into the library take
turns across the whole process, so configure many hubs at once from several
processes (the Ansible collection vexal.hub does).

The package loads the configuration library libZamoCfg.so by name, from the
private library folder of its installation.
"""

from ._errors import DeviceError, HubError, LibraryError, RestoreError, SessionError
from ._vexal import (
    Backup,
    Bluetooth,
    Change,
    Device,
    DeviceEvent,
    DeviceState,
    FoundHub,
    GroupValue,
    Hub,
    HubInfo,
    HubStatus,
    Lan,
    NetProto,
    PrinterStatus,
    RestoreGroup,
    RestoreResult,
    SerialLine,
    SetResult,
    Usage,
    Watch,
    Wlan,
    __version__,
    custom_types,
    groups,
    mask_secrets,
    scan,
    secret_values,
    usb_id,
)

__all__ = [
    "Backup",
    "Bluetooth",
    "Change",
    "Device",
    "DeviceError",
    "DeviceEvent",
    "DeviceState",
    "FoundHub",
    "GroupValue",
    "Hub",
    "HubError",
    "HubInfo",
    "HubStatus",
    "Lan",
    "LibraryError",
    "NetProto",
    "PrinterStatus",
    "RestoreError",
    "RestoreGroup",
    "RestoreResult",
    "SerialLine",
    "SessionError",
    "SetResult",
    "Usage",
    "Watch",
    "Wlan",
    "__version__",
    "custom_types",
    "groups",
    "mask_secrets",
    "scan",
    "secret_values",
    "usb_id",
]
