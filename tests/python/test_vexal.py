"""The Python package against simulated hubs: every group read, written and
read back, refusals that send nothing, failures with the library's codes,
backup and restore, sessions closed by "with", one thread per session, and
stubs that describe the compiled module."""

import ast
import json
import os
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

        # A backup that breaks the hub's rules is refused whole.
        document["settings"]["wlan"].update(auth="shared", cipher="wep", wep_key="")
        document["settings"]["lan"]["gateway"] = "10.0.0.254"
        path.write_text(json.dumps(document))
        other_sim.clear_writes()
        with pytest.raises(vexal.RestoreError) as refused:
            other.restore(path)
        assert {g.group: g.outcome for g in refused.value.result.groups}["lan"] == "not written"
        assert other_sim.writes() == []

    document["settings"]["lan"]["ip"] = "10.0.0.256"
    path.write_text(json.dumps(document))
    with pytest.raises(ValueError, match="settings.lan.ip"):
        vexal.Backup.load(path)
    with pytest.raises(OSError):
        vexal.Backup.load(tmp_path)
    with pytest.raises(TypeError):
        hub.restore(taken, only="lan")


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
