"""The devices behind a simulated hub from Python: the status as typed
values, a watch that ends on its time-out or when the session closes, bytes
to a device and back, and the failures a send or a read can meet."""

import threading
import time

import pytest

import vexal
from hubsim import HubSim


@pytest.fixture
def sim():
    with HubSim("127.0.0.3") as s:
        yield s


@pytest.fixture
def hub(sim):
    with vexal.Hub.ethernet(sim.address, sim.port) as h:
        yield h


def until(watch, event, device=None):
    for e in watch:
        if e.event == event and (device is None or e.id == device):
            return e
    raise AssertionError("no %s event of %s" % (event, device))


def test_status_and_watch_are_typed_and_follow_the_devices(sim, hub):
    status = hub.status()
    assert (status.link, status.model, status.firmware) == ("on-line", "VX-H400_VXL", "2.10.3")
    assert [(d.id, d.vid, d.pid, d.type, d.kind) for d in status.devices][:2] == [
        (10, "5a4d", "0e28", None, "Local Printer"),
        (20, "5a4d", "1200", None, "HID Input"),
    ]
    assert [(p.id, p.record, p.reasons) for p in status.printers] == [(10, "10000000", ["none"])]

    watch = hub.watch(timeout=20)
    assert isinstance(watch, vexal.Watch)
    first = next(watch)
    assert (first.event, first.state, first.id) == ("link", "on-line", None)
    until(watch, "status", 10)  # the picture it began with ends with the printers' records
    assert sim.control("PLUG 11 printer 5A4D 0E29") == "OK"
    added = until(watch, "device-added", 11)
    assert (added.vid, added.pid, added.type) == ("5a4d", "0e29", None)
    assert until(watch, "status", 11).reasons == ["none"]
    assert sim.control("PRINTER 11 PAPER OUT").startswith("OK")
    out = until(watch, "status", 11)
    assert (out.record, out.kind, out.reasons) == ("18000f00", "status", ["offline-report", "media-low", "media-empty"])
    assert sim.control("IASB 11 35 48 40 00") == "OK"
    second = until(watch, "status", 11)
    assert (second.record, second.kind, second.reasons) == ("35484000", "second", [])
    assert sim.control("ALARM WRITE 11 2") == "OK"
    alarm = until(watch, "alarm", 11)
    assert (alarm.alarm, alarm.detail) == (1202, "device-offline")
    assert [p.reasons for p in hub.status().printers] == [["none"], ["offline-report", "media-low", "media-empty"]]

    # A time-out ends the iteration; so does closing the session.
    start = time.monotonic()
    assert list(hub.watch(timeout=0.5))[0].event == "link"
    assert 0.4 < time.monotonic() - start < 5
    later = hub.watch()
    closer = threading.Timer(0.5, hub.close)
    closer.start()
    start = time.monotonic()
    assert len(list(later)) >= 1
    assert time.monotonic() - start < 10
    closer.join()
    assert hub.closed


def test_bytes_reach_a_device_and_come_back_and_failures_say_why(sim, hub):
    assert sim.control("PLUG 40 echo") == "OK"
    hub.status()  # the device is seen
    assert hub.receive(40, 0) == b""  # from now on its bytes are kept
    data = bytes(range(256)) * 20
    assert hub.send(40, data) == len(data)
    echoed = b""
    deadline = time.monotonic() + 5
    while len(echoed) < len(data) and time.monotonic() < deadline:
        echoed += hub.receive(40, 1)
    assert echoed == data

    with pytest.raises(vexal.DeviceError) as absent:
        hub.send(41, b"x")
    assert (absent.value.device, absent.value.sent, absent.value.alarm) == (41, 0, None)
    assert "not present; nothing sent" in str(absent.value)
    assert sim.control("RX 41") == "OK"
    with pytest.raises(vexal.DeviceError, match="session's own device"):
        hub.receive(10, 0.1)
    with pytest.raises(ValueError):
        hub.send(255, b"x")

    assert sim.control("PRINTER 10 OFFLINE-ALARM 3").startswith("OK")
    assert sim.control("PRINTER 10 COVER OPEN").startswith("OK")
    with pytest.raises(vexal.DeviceError) as alarmed:
        hub.send(10, b"receipt")
    assert isinstance(alarmed.value, vexal.HubError)
    assert (alarmed.value.alarm, alarmed.value.code, alarmed.value.meaning) == (1204, 1204, "write-error")
    assert alarmed.value.sent == 7  # written, then the alarm came
    # The session goes on as before.
    assert hub.info().model == "VX-H400_VXL"
