"""The Python package against simulated hubs: every group read, written and
read back, refusals that send nothing, failures with the library's codes,
backup and restore, serial sessions by device path, sessions closed by
"with", one thread per session, and stubs that describe the compiled module."""

import ast
import ctypes
import json
import os
import socket
import stat
import threading
import time

import pytest

import vexal
from hubsim import HubSim


@pytest.fixture
def sim():
    with HubSim("127.0.0.2") as s:
        yield s


@pytest.fixture
def hub(sim):
    with vexal.Hub.ethernet(sim.address, sim.port) as h:
        yield h


def test_every_group_is_read_written_and_read_back(sim, hub):
    assert hub.info().model == "VX-H400_VXL"
    assert [(d.id, d.type) for d in hub.info().devices][:2] == [(10, "Local Printer"), (20, "HID Input")]

    hub.lan = hub.lan.replace(ip="10.1.2.3", gateway="10.1.2.1")
    assert (sim.get("lan.ip"), sim.get("lan.gateway")) == ("10.1.2.3", "10.1.2.1")
    assert hub.lan.ip == "10.1.2.3" and hub.lan.dhcp is False

    result = hub.set_bluetooth(name="Till 9", pin="4711", encryption=False)
    assert [c.key for c in result.changes] == ["name", "pin", "encryption"]
    assert result.after == hub.bluetooth and hub.bluetooth.encryption is False
    assert (sim.get("bluetooth.name"), str(sim.get("bluetooth.encryption"))) == ("Till 9", "0")

    hub.wlan = {"auth": "wpa-psk", "psk": "another-key-1", "ssid": "Backroom"}
    assert (hub.wlan.auth, hub.wlan.cipher, hub.wlan.ssid) == ("wpa-psk", "aes", "Backroom")
    assert sim.get("wlan.psk") == "another-key-1"

    hub.netproto = {"snmp": True, "ro_community": "shop"}
    assert (sim.get("snmp"), sim.get("snmp_ro")) == (1, "shop")
    hub.set_usage(wlan="off")
    assert sim.get("interfaces.wlan") == 0 and hub.usage.wlan == "off"
    hub.set_serial_line(100, baud=115200, parity="even")
    assert (hub.serial_line(100).baud, hub.get("serial", 100).parity) == ("115200", "even")
    assert hub.serial_adapters() == [100, 101]

    # The same values again change nothing and send no write.
    sim.clear_writes()
    assert not hub.set_lan(ip="10.1.2.3").changed
    hub.netproto = hub.netproto
    assert sim.writes() == []


def test_refused_values_send_nothing(sim, hub):
    sim.clear_writes()
    refusals = [
        (lambda: hub.set_lan(ip="10.0.0.300"), "is not an IPv4 address"),
        (lambda: hub.set_lan(mac="00:00:00:00:00:01"), "read-only"),
        (lambda: hub.set_lan(speed="fast"), "unknown key"),
        (lambda: hub.set_bluetooth(pin="12"), "minimum length is 4"),
        (lambda: hub.set_bluetooth(name="Kass\u0101"), "code page"),
        (lambda: hub.set_wlan(psk="short"), "psk"),
        (lambda: hub.set_wlan(auth="shared"), "wep"),  # the rule between keys needs the hub's values
        (lambda: hub.set("serial", {"baud": 1200}, device=100), "baud"),
        (lambda: hub.lan.replace(dhcp="maybe"), "is not on or off"),
        (lambda: vexal.Lan(dhcp=False, ip="10.0.0.1"), "missing"),
        (lambda: hub.add_custom_device("msr", "12345", "00ff"), "four hexadecimal digits"),
    ]
    for call, words in refusals:
        with pytest.raises(ValueError, match=words):
            call()
    with pytest.raises(TypeError):
        hub.set_lan(ip=10.5)
    assert sim.writes() == []
    assert sim.get("bluetooth.pin") == "0000"


def test_failures_carry_the_library_code_and_the_session_recovers(sim, hub):
    assert sim.control("FAULT NOREPLY D0") == "OK"
    started = time.monotonic()
    with pytest.raises(vexal.HubError) as failure:
        hub.netproto
    assert 2.5 < time.monotonic() - started < 15
    assert (failure.value.code, failure.value.meaning) == (1011, "no reply from the hub in time")
    assert "getTelnetAvailable" in str(failure.value) and sim.target in str(failure.value)
    assert sim.control("FAULT CLEAR") == "OK"
    assert hub.netproto.telnet is True

    hub.add_custom_device("msr", "1A2B", "00ff")
    with pytest.raises(vexal.HubError) as failure:
        hub.add_custom_device("MSR", "1a2b", "00FF")
    assert (failure.value.code, failure.value.meaning) == (4, "Fail-OverlapID")
    assert hub.custom_devices("msr") == {"msr": ["1a2b&00ff"]}
    hub.delete_custom_device(2, "1a2b", "00ff")
    hub.add_custom_device("scale", "0001", "0002")
    hub.reset_custom_devices("scale")
    assert all(entries == [] for entries in hub.custom_devices().values())

    assert sim.control("FAULT REFUSE ON") == "OK"
    with pytest.raises(vexal.HubError) as failure:
        vexal.Hub.ethernet("127.0.0.3", sim.port)
    assert failure.value.code == 1006
    with pytest.raises(ValueError, match="not an IPv4 address"):
        vexal.Hub.ethernet("127.0.0.300")


def test_backup_restore_and_clone(tmp_path, sim, hub):
    hub.add_custom_device("barcode-scanner", "5a4d", "1200")
    hub.set_serial_line(101, baud="19200")
    path = tmp_path / "till1.json"
    taken = hub.backup(path)
    assert stat.S_IMODE(os.stat(path).st_mode) == 0o600  # it holds the secrets
    document = json.loads(path.read_text())
    assert document["settings"]["custom"]["barcode-scanner"] == ["5a4d&1200"]
    assert vexal.Backup.load(path).settings == taken.settings == document["settings"]

    with HubSim("127.0.0.3") as other_sim, vexal.Hub.ethernet(other_sim.target) as other:
        other.set_lan(ip="10.9.9.9")
        other_sim.clear_writes()
        plan = other.restore(str(path), clone=True, dry_run=True)
        outcomes = {g.group: g.outcome for g in plan.groups}
        assert outcomes["custom barcode-scanner"] == "would write" and outcomes["serial 101"] == "would write"
        assert outcomes["lan"] == "same"  # the clone leaves out lan.ip, the only difference
        assert other_sim.writes() == [] and not plan.changed

        result = other.restore(taken, clone=True)
        assert result.ok and result.changed
        assert other.custom_devices("barcode-scanner")["barcode-scanner"] == ["5a4d&1200"]
        assert other.serial_line(101).baud == "19200" and other.lan.ip == "10.9.9.9"
        assert other.restore(path, clone=True, include=["lan.ip"]).changed and other.lan.ip == hub.lan.ip

        # A group that breaks the hub's rules is refused alone: the others are written.
        document["settings"]["wlan"].update(auth="shared", cipher="wep", wep_key="")
        document["settings"]["lan"]["gateway"] = "10.0.0.254"
        path.write_text(json.dumps(document))
        with pytest.raises(vexal.RestoreError, match="wlan cannot be restored") as refused:
            other.restore(path)
        outcomes = {g.group: g.outcome for g in refused.value.result.groups}
        assert (outcomes["wlan"], outcomes["lan"]) == ("refused", "written")
        assert other.lan.gateway == "10.0.0.254" and other.wlan.auth != "shared"

    document["settings"]["lan"]["ip"] = "10.0.0.256"
    path.write_text(json.dumps(document))
    loaded = vexal.Backup.load(path)  # the bad group is left out and named, the others stay
    assert not loaded.complete and loaded.errors == ["lan: cannot be restored: settings.lan.ip: '10.0.0.256' is "
                                                     "not an IPv4 address"]
    assert "lan" not in loaded.settings and "wlan" in loaded.settings
    path.write_text("{}")
    with pytest.raises(ValueError, match="not a vexalcfg backup"):
        vexal.Backup.load(path)
    with pytest.raises(OSError):
        vexal.Backup.load(tmp_path)
    with pytest.raises(TypeError):
        hub.restore(taken, only="lan")


def process_getenv(name):
    """The variable as the libraries see it (os.environ is Python's own copy)."""
    libc = ctypes.CDLL(None)
    libc.getenv.restype = ctypes.c_char_p
    value = libc.getenv(name.encode())
    return None if value is None else value.decode()


def test_serial_sessions_by_device_path_leave_the_device_directory_alone(tmp_path, monkeypatch):
    devices = tmp_path / "devices"
    devices.mkdir()
    monkeypatch.setenv("VEXAL_DEVICE_DIR", str(devices))
    with HubSim("127.0.0.3", ("--pty",)) as a, HubSim("127.0.0.4", ("--pty",)) as b, \
            HubSim("127.0.0.5", ("--pty",)) as c:
        # Two device paths side by side, and a COM<n> name of the process's
        # device directory beside them.
        os.symlink(c.pty, devices / "COM5")
        with vexal.Hub.serial(a.pty + ":9600") as by_path, vexal.Hub.serial(b.pty) as by_other_path:
            assert process_getenv("VEXAL_DEVICE_DIR") == str(devices)
            with vexal.Hub.serial("COM5") as by_name:
                for hub, sim, name in ((by_path, a, "A"), (by_other_path, b, "B"), (by_name, c, "C")):
                    hub.set_bluetooth(name="Till " + name)
                    assert sim.get("bluetooth.name") == "Till " + name
        assert process_getenv("VEXAL_DEVICE_DIR") == str(devices)


def thread_count():
    return len(os.listdir("/proc/self/task"))


def wait_for_threads(count):
    deadline = time.monotonic() + 5
    while thread_count() != count and time.monotonic() < deadline:
        time.sleep(0.05)
    return thread_count()


def test_with_closes_the_session_even_when_the_body_raises(sim):
    before = wait_for_threads(threading.active_count())  # threads of earlier sessions have left
    with pytest.raises(ZeroDivisionError):
        with vexal.Hub.ethernet(sim.target) as hub:
            assert thread_count() > before  # the port's reader and the session's poll thread
            hub.info()
            1 / 0
    assert hub.closed
    assert wait_for_threads(before) == before
    with pytest.raises(vexal.SessionError, match="closed"):
        hub.lan
    hub.close()


def test_one_thread_per_session_and_the_gil_is_released(sim, hub):
    assert sim.control("FAULT DELAY 1500") == "OK"
    outcome = {}

    def slow_read():
        outcome["lan"] = hub.lan
        outcome["done"] = time.monotonic()

    reader = threading.Thread(target=slow_read)
    reader.start()
    time.sleep(0.2)
    spins = 0
    spin_end = time.monotonic() + 0.5
    while time.monotonic() < spin_end:  # Python runs while the reader waits in the library
        spins += 1
    with pytest.raises(vexal.SessionError, match="another thread"):
        hub.usage
    finished = time.monotonic()
    reader.join()
    assert isinstance(outcome["lan"], vexal.Lan)
    assert outcome["done"] > finished and spins > 1000
    assert sim.control("FAULT CLEAR") == "OK"
    assert hub.usage.usb == "on"


def test_dropping_an_open_hub_leaves_the_other_threads_running(sim):
    with HubSim("127.0.0.3") as other_sim, vexal.Hub.ethernet(sim.target) as slow:
        dropped = vexal.Hub.ethernet(other_sim.target)
        assert sim.control("FAULT DELAY 2000") == "OK"
        reader = threading.Thread(target=lambda: slow.lan)  # holds the library while it waits
        reader.start()
        time.sleep(0.3)
        ticks, stop = [time.monotonic()], threading.Event()

        def tick():
            while not stop.is_set():
                ticks.append(time.monotonic())
                time.sleep(0.01)

        ticker = threading.Thread(target=tick)
        ticker.start()
        time.sleep(0.1)
        started = time.monotonic()
        del dropped  # never closed: its session closes when the object goes, once the library is free
        waited = time.monotonic() - started
        stop.set()
        ticker.join()
        reader.join()
        assert sim.control("FAULT CLEAR") == "OK"
    assert waited > 0.8, "the close waited for the other thread's call"
    assert max(b - a for a, b in zip(ticks, ticks[1:])) < 0.6, "and the other threads ran meanwhile"


def test_paths_are_taken_as_python_takes_them(tmp_path, hub):
    folder = os.fsencode(tmp_path)
    taken = hub.backup(folder + b"/bytes.json")
    for path in (tmp_path / "pathlike.json", str(tmp_path / "str.json"), folder + b"/caf\xe9.json"):
        taken.save(path)
        assert stat.S_IMODE(os.stat(path).st_mode) == 0o600
        assert vexal.Backup.load(path).settings == taken.settings
    assert sorted(os.listdir(folder)) == [b"bytes.json", b"caf\xe9.json", b"pathlike.json", b"str.json"]
    assert hub.restore(folder + b"/bytes.json", dry_run=True).ok
    with pytest.raises(OSError, match=r"caf\\xe9\.json: cannot read"):
        vexal.Backup.load(folder + b"/missing/caf\xe9.json")
    with pytest.raises(TypeError):
        vexal.Backup.load(3)


def test_secrets_show_where_they_are_asked_for_and_nowhere_else(sim, hub):
    for line in ("SET bluetooth.pin Pin-4b1d", "SET wlan.psk Psk-Known-7f3a9", "SET snmp_ro Ro-5e2a-c",
                 "SET snmp_rw Rw-9c4f-c"):
        assert sim.control(line) == "OK"
    secrets = ["Pin-4b1d", "Psk-Known-7f3a9", "Ro-5e2a-c", "Rw-9c4f-c", "Pin-new-2"]
    assert {(g["name"], k["name"]) for g in vexal.groups() for k in g["keys"] if k["secret"]} == {
        ("bluetooth", "pin"), ("wlan", "wep_key"), ("wlan", "psk"), ("wlan", "eap_password"),
        ("netproto", "ro_community"), ("netproto", "rw_community")}
    # Asked for: the attributes and the dicts.
    assert hub.wlan.psk == "Psk-Known-7f3a9" and hub.netproto.as_dict()["rw_community"] == "Rw-9c4f-c"
    result = hub.set_bluetooth(pin="Pin-new-2")
    (change,) = result.changes
    assert (change.secret, change.before, change.after) == (True, "Pin-4b1d", "Pin-new-2")
    assert (change.masked().before, change.masked().after) == ("********", "******** (changed)")
    # What the package shows on its own: repr() and messages.
    shown = [repr(hub.wlan), repr(hub.netproto), repr(result.after), repr(result.changes)]
    assert "psk='********'" in shown[0] and "wep_key=''" in shown[0]
    for call in (lambda: hub.set_bluetooth(pin="Pin\x01new"), lambda: hub.set_wlan(auth="open", psk="Psk-Known-7f3a9"),
                 lambda: vexal.Bluetooth(name="Till", pin="Pin-4b1d")):
        with pytest.raises(ValueError) as refused:
            call()
        shown.append(str(refused.value))
    assert not [s for s in secrets if any(s in text for text in shown)], shown
    # Masked for the caller's own output, in every shape values come in.
    settings = hub.settings()
    masked = vexal.mask_secrets(settings)
    assert (masked["wlan"]["psk"], masked["wlan"]["wep_key"], masked["wlan"]["ssid"]) == (
        "********", "", settings["wlan"]["ssid"])
    assert masked["bluetooth"]["pin"] == "********" and settings["wlan"]["psk"] == "Psk-Known-7f3a9"
    assert vexal.mask_secrets(result.after, result.before)["pin"] == "******** (changed)"
    other = dict(settings["netproto"], rw_community="Rw-other")
    assert vexal.mask_secrets(other, settings["netproto"], group="netproto")["rw_community"] == "******** (changed)"
    assert set(vexal.secret_values(settings)) == {"Pin-new-2", "Psk-Known-7f3a9", "Ro-5e2a-c", "Rw-9c4f-c"}
    given = {"PSK": 12345678, "ssid": "Shop"}  # as a set takes them
    assert vexal.secret_values(given, group="wlan") == ["12345678"]
    assert vexal.mask_secrets(given, group="wlan") == {"PSK": "********", "ssid": "Shop"}
    with pytest.raises(ValueError):
        vexal.mask_secrets({}, group="colour")


def test_scan_tells_hubs_from_other_listeners_and_refuses_to_guess():
    with HubSim("127.0.0.60") as hub, socket.socket() as printer:
        # Something on the hub's port that never answers as a hub.
        printer.bind(("127.0.0.62", hub.port))
        printer.listen(4)
        found = vexal.scan("127.0.0.60/31, 127.0.0.62", port=hub.port, connect_timeout=200, timeout=1)
        assert [(h.address, h.port, h.is_hub) for h in found] == [("127.0.0.60", hub.port, True),
                                                                ("127.0.0.62", hub.port, False)]
        assert (found[0].model, found[0].firmware, found[0].error) == ("VX-H400_VXL", "2.10.3", "")
        assert "127.0.0.62" in found[1].error and found[1].model == ""
    with pytest.raises(ValueError, match=r"/21 is too large a range"):
        vexal.scan(["10.0.0.0/24", "10.0.0.0/21"])
    with pytest.raises(ValueError, match="connect_timeout: 10 to 10000 ms"):
        vexal.scan("10.0.0.1", connect_timeout=5)
    with pytest.raises(OSError, match="scan: 224.0.0.1: Network is unreachable"):
        vexal.scan("224.0.0.0/30")


def test_stubs_describe_the_compiled_module():
    stub = ast.parse(open(os.path.join(os.path.dirname(vexal.__file__), "_vexal.pyi")).read())
    classes = {node.name: node for node in stub.body if isinstance(node, ast.ClassDef)}
    functions = {node.name for node in stub.body if isinstance(node, ast.FunctionDef)}
    compiled = vars(vexal._vexal)
    assert set(classes) == {n for n, v in compiled.items() if isinstance(v, type)}
    assert functions == {n for n, v in compiled.items() if callable(v) and not isinstance(v, type)}
    for name, node in classes.items():
        declared = {f.name for f in node.body if isinstance(f, ast.FunctionDef) and not f.name.startswith("_")}
        actual = {n for n in vars(compiled[name]) if not n.startswith("_")}
        assert declared == actual, name
    typed = {"bool": "bool", "int": "int"}
    for group in vexal.groups():
        node = classes[group["class_name"]]
        annotations = {f.name: ast.unparse(f.returns) for f in node.body if isinstance(f, ast.FunctionDef)}
        for key in group["keys"]:
            assert annotations[key["name"]] == typed.get(key["kind"], "str"), (group["name"], key["name"])
    assert "Hub.ethernet" in vexal.__doc__ and vexal.Hub.__doc__ and vexal.Lan.ip.__doc__ == "IP address"
