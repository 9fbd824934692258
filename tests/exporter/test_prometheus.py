"""A real Prometheus server with the shipped example configuration (its
relabelling for the multi-target pattern, its file_sd list, its alert
rules) scraping vexal-exporter every 5 s for four simulated hubs, one of
them stopped: vexal_hub_up reads 1 for three and 0 for the fourth. (A
probe takes about 2.3 s: the session's open and one exchange per device and
custom type, each paced by the port library; no shorter interval fits.)"""

import json
import os
import socket
import subprocess
import time
import urllib.parse
import urllib.request

import yaml

from exporter import Exporter
from hubsim import HubSim

TOP = os.path.join(os.path.dirname(__file__), "..", "..")


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def query(address, expr):
    url = "http://%s/api/v1/query?query=%s" % (address, urllib.parse.quote(expr))
    with urllib.request.urlopen(url, timeout=5) as r:
        answer = json.load(r)
    assert answer["status"] == "success", answer
    return {s["metric"]["instance"]: s["value"][1] for s in answer["data"]["result"]}


def test_prometheus_sees_three_hubs_up_and_the_stopped_one_down(tmp_path):
    sims = [HubSim("127.0.0.%d" % n) for n in (31, 32, 33, 34)]
    prometheus = None
    try:
        targets = [s.target for s in sims]
        sims[3].close()  # stopped: nothing listens at its address any more
        with Exporter() as exporter:
            with open(os.path.join(TOP, "data", "exporter", "prometheus.yml")) as f:
                config = yaml.safe_load(f)
            # The example as shipped, pointed at this run's files and exporter, and quick.
            config["global"].update(scrape_interval="5s", scrape_timeout="5s", evaluation_interval="5s")
            config["rule_files"] = [os.path.abspath(os.path.join(TOP, "data", "exporter", "vexal-alerts.yml"))]
            hubs_job, exporter_job = config["scrape_configs"]
            sd_file = tmp_path / "vexal-hubs.json"
            sd_file.write_text(json.dumps([{"targets": targets, "labels": {"site": "test"}}]))
            hubs_job["file_sd_configs"][0]["files"] = [str(sd_file)]
            assert hubs_job["relabel_configs"][-1]["replacement"] == "127.0.0.1:9817"
            hubs_job["relabel_configs"][-1]["replacement"] = exporter.address
            exporter_job["static_configs"][0]["targets"] = [exporter.address]
            config_file = tmp_path / "prometheus.yml"
            config_file.write_text(yaml.safe_dump(config))

            address = "127.0.0.1:%d" % free_port()
            log = open(tmp_path / "prometheus.log", "w")
            prometheus = subprocess.Popen(
                [os.environ["PROMETHEUS"], "--config.file=%s" % config_file,
                 "--storage.tsdb.path=%s" % (tmp_path / "data"), "--web.listen-address=%s" % address],
                stdout=log, stderr=subprocess.STDOUT)
            expected = {targets[0]: "1", targets[1]: "1", targets[2]: "1", targets[3]: "0"}
            seen = {}
            deadline = time.monotonic() + 40
            while time.monotonic() < deadline:
                assert prometheus.poll() is None, (tmp_path / "prometheus.log").read_text()
                try:
                    seen = query(address, "vexal_hub_up")
                except OSError:
                    seen = {}
                if seen == expected:
                    break
                time.sleep(0.5)
            assert seen == expected, (tmp_path / "prometheus.log").read_text()
            # The file_sd labels reach the series; the exporter's own job is up.
            assert set(query(address, 'vexal_hub_up{site="test",job="vexal-hubs"}')) == set(targets)
            assert query(address, 'up{job="vexal-exporter"}') == {exporter.address: "1"}
            assert set(query(address, 'vexal_device_present{id="10"}')) == set(targets[:3])
    finally:
        if prometheus is not None:
            prometheus.terminate()
            prometheus.wait(timeout=15)
        for s in sims:
            s.close()
