"""vexal-exporter against simulated hubs: what a probe answers (checked by
promtool), bad requests, a dead or silent hub kept to the scrape's time-out
without holding up another hub, overlapping probes of one hub, and the
probe slots."""

import os
import subprocess
import threading
import time

import pytest

from exporter import Exporter, samples
from hubsim import HubSim


def promtool_check(text):
    r = subprocess.run([os.environ["PROMTOOL"], "check", "metrics"], input=text, capture_output=True, text=True)
    return r.returncode, r.stdout + r.stderr


def in_threads(*calls):
    results = [None] * len(calls)

    def run(i, fn):
        results[i] = fn()

    threads = [threading.Thread(target=run, args=(i, fn)) for i, fn in enumerate(calls)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    return results


@pytest.fixture(scope="module")
def exporter():
    with Exporter() as e:
        yield e


def test_a_probe_tells_the_hub_its_devices_and_printers_and_passes_promtool(exporter):
    with HubSim("127.0.0.21") as sim:
        assert sim.control("PLUG 40 echo 1234 ABCD") == "OK"
        assert sim.control("PRINTER 10 PAPER OUT").startswith("OK")
        status, content_type, body, seconds = exporter.probe(sim.target, timeout_header=10)
    assert status == 200, body
    assert content_type.startswith("text/plain; version=0.0.4")
    rc, out = promtool_check(body)
    assert rc == 0, out + body
    s = samples(body)
    assert s[("vexal_hub_up", ())] == 1
    assert s[("vexal_hub_info", (("model", "VX-H400_VXL"), ("firmware", "2.10.3")))] == 1
    present = sorted(dict(labels)["id"] for name, labels in s if name == "vexal_device_present")
    assert present == ["10", "100", "101", "20", "40"]
    assert s[("vexal_device_present", (("id", "40"), ("vid", "1234"), ("pid", "abcd"), ("type", "")))] == 1
    reasons = sorted(dict(labels)["reason"] for name, labels in s if name == "vexal_printer_reason")
    assert reasons == ["media-empty", "media-low", "offline-report"]
    assert 0 < s[("vexal_probe_duration_seconds", ())] <= seconds

    # The exporter's own figures count it and pass promtool too.
    status, content_type, body, _ = exporter.get("/metrics")
    assert status == 200 and content_type.startswith("text/plain; version=0.0.4")
    rc, out = promtool_check(body)
    assert rc == 0, out + body
    assert samples(body)[("vexal_exporter_probes_total", ())] >= 1


def test_bad_requests_get_a_clear_answer_and_the_exporter_goes_on(exporter):
    for path, code, words in [
        ("/probe", 400, "target: missing"),
        ("/probe?target=", 400, "target: missing"),
        ("/probe?target=hub.local", 400, "target: 'hub.local' is not an IPv4 address"),
        ("/probe?target=10.0.0.5:0", 400, "is not a TCP port"),
        ("/probe?target=10.0.0.5%00:9100", 400, "NUL byte"),
        ("/probe?target=" + "9" * 5000, 400, "is not an IPv4 address"),
        ("/nothing", 404, "no such page"),
    ]:
        status, _, body, _ = exporter.get(path)
        assert (status, words in body) == (code, True), (path, status, body)
    status, _, body, _ = exporter.get("/probe?target=10.0.0.5", timeout_header="soon")
    assert status == 400 and "X-Prometheus-Scrape-Timeout-Seconds: 'soon'" in body
    assert exporter.get("/probe?target=10.0.0.5", method="POST")[0] == 405
    assert exporter.alive()
    status, _, body, _ = exporter.get("/metrics")
    assert samples(body)[("vexal_exporter_bad_requests_total", ())] >= 7


def test_dead_and_silent_hubs_keep_to_the_time_out_and_hold_up_no_other(exporter):
    with HubSim("127.0.0.22") as good, HubSim("127.0.0.23") as silent, HubSim("127.0.0.24") as gone:
        dead_target = gone.target
        gone.close()  # nothing listens there any more: the connect is refused
        assert silent.control("FAULT SILENT ON") == "OK"  # takes the connection, never answers
        _, _, _, alone = exporter.probe(good.target, timeout_header=10)
        results = in_threads(lambda: exporter.probe(dead_target, timeout_header=8),
                             lambda: exporter.probe(silent.target, timeout_header=8),
                             lambda: (time.sleep(0.3), exporter.probe(good.target, timeout_header=10))[1])
    for status, _, body, seconds in results[:2]:
        assert status == 200
        # Given up by the worker (a refused connect, after the library's 3 s of
        # retries) or killed at the budget: the time-out less 0.5 s.
        assert 2.5 < seconds < 8.0, seconds
        s = samples(body)
        assert s[("vexal_hub_up", ())] == 0
        assert {name for name, _ in s} == {"vexal_hub_up", "vexal_probe_duration_seconds"}
        assert promtool_check(body)[0] == 0
    status, _, body, seconds = results[2]
    assert samples(body)[("vexal_hub_up", ())] == 1
    # Well before the dead ones, about as fast as alone.
    assert seconds < min(alone * 1.5 + 0.5, 6.0), (seconds, alone)


def test_overlapping_probes_of_one_hub_share_one_and_slots_are_waited_for():
    with Exporter("--max-probes", "1") as exporter, HubSim("127.0.0.25") as hub, HubSim("127.0.0.26") as silent, \
            HubSim("127.0.0.27") as other:
        results = in_threads(*[lambda: exporter.probe(hub.target, timeout_header=10)] * 3)
        assert [samples(body)[("vexal_hub_up", ())] for _, _, body, _ in results] == [1, 1, 1]
        figures = samples(exporter.get("/metrics")[2])
        assert figures[("vexal_exporter_probes_shared_total", ())] == 2
        assert figures[("vexal_exporter_probes_total", ())] == 3

        # The one slot held by a silent hub: a probe with a shorter time-out
        # gets 503, one with a longer time-out waits for the slot.
        assert silent.control("FAULT SILENT ON") == "OK"
        results = in_threads(lambda: exporter.probe(silent.target, timeout_header=2),
                             lambda: (time.sleep(0.3), exporter.probe(hub.target, timeout_header=1))[1],
                             lambda: (time.sleep(0.3), exporter.probe(other.target, timeout_header=10))[1])
        assert samples(results[0][2])[("vexal_hub_up", ())] == 0
        assert 1.5 < results[0][3] < 2.0, results[0]  # its worker killed at the budget, 1.8 s
        assert results[1][0] == 503 and "--max-probes 1" in results[1][2], results[1]
        assert results[2][0] == 200 and samples(results[2][2])[("vexal_hub_up", ())] == 1, results[2]
        assert results[2][3] > 1.5  # it waited for the silent hub's probe to end
        assert samples(exporter.get("/metrics")[2])[("vexal_exporter_probes_refused_total", ())] == 1
