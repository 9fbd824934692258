"""What a chain's logs and a technician's files can trust, through the
collection vexal.hub against simulated hubs of their own: no secret in any
module's output, check mode that writes nothing, backups of one hub never
taken for another's, failures reported as failures."""

import json
import os
import re
import stat
import sys

import pytest

import vexal
from hubsim import HubSim
from playbook import Playbook


def secret_hubs():
    """Three hubs that hold known secrets, one per kind of WLAN key, each with its own PIN and communities."""
    sims = []
    try:
        for n, wlan in ((20, ["SET wlan.psk Psk-Known-7f3a9"]),
                        (21, ["SET wlan.auth 1", "SET wlan.cipher 1", "SET wlan.wep_key Wep13-k3y-xyz"]),
                        (22, ["SET wlan.auth 5", "SET wlan.eap_method 0", "SET wlan.eap_identity till",
                              "SET wlan.eap_password Eap-pass-5c0d"])):
            sim = HubSim("127.0.0.%d" % n)
            sims.append(sim)
            for line in wlan + ["SET bluetooth.pin Pin-a-%d" % n, "SET snmp_ro Ro-c-%d" % n,
                                "SET snmp_rw Rw-c-%d" % n]:
                assert sim.control(line) == "OK", line
    except BaseException:
        for s in sims:
            s.close()
        raise
    return sims


def test_no_module_shows_a_secret_anywhere_in_verbose_diff_output(tmp_path):
    sims = secret_hubs()
    try:
        for s in sims:  # the secrets as they are now, for a restore
            with vexal.Hub.ethernet(s.target) as hub:
                hub.backup(tmp_path / (s.address.replace("127.0.0.", "hub") + "-kept.json"))
        book = Playbook(tmp_path, sims)
        target = {"ethernet": "{{ hub_target }}"}
        dest = str(tmp_path) + "/{{ inventory_hostname }}"

        def settings(group, values, **task):
            return dict({"vexal.hub.hub_settings": dict(target, group=group, values=values)}, **task)

        tasks = [
            {"vexal.hub.hub_info": target},
            settings("wlan", {"ssid": "Lab-{{ inventory_hostname }}"}),
            {"vexal.hub.hub_backup": dict(target, dest=dest + ".json")},
            settings("netproto", {"rw_community": "Rw-new-{{ inventory_hostname }}"}),
            settings("wlan", {"psk": "short1x"}, ignore_errors=True),  # refused: a failure message
            settings("bluetooth", {"pin": "Pin-new-{{ inventory_hostname }}"}),
            {"vexal.hub.hub_backup": dict(target, dest=dest + ".json")},  # the same file, changed secrets
            {"vexal.hub.hub_restore": dict(target, src=dest + "-kept.json", only=["netproto"])},
            {"vexal.hub.hub_custom_device": dict(target, type="msr", vid="1a2b", pid="00ff")},
        ]
        run, results = book.run(tasks, "-v", "--diff")
        output = run.stdout + run.stderr
        assert run.returncode == 0, output
        secrets = ["Psk-Known-7f3a9", "Wep13-k3y-xyz", "Eap-pass-5c0d", "short1x"]
        for n in (20, 21, 22):
            secrets += ["Pin-a-%d" % n, "Ro-c-%d" % n, "Rw-c-%d" % n, "Rw-new-hub%d" % n, "Pin-new-hub%d" % n]
        assert [s for s in secrets if s in output or s in json.dumps(results)] == []
        # It did what it says, and shows that secrets changed.
        assert [s.get("bluetooth.pin") for s in sims] == ["Pin-new-hub20", "Pin-new-hub21", "Pin-new-hub22"]
        assert [s.get("snmp_rw") for s in sims] == ["Rw-c-20", "Rw-c-21", "Rw-c-22"]  # restored from the file
        assert output.count('"psk": "********"') >= 2 and output.count('"eap_password": "********"') >= 2
        # The PIN's diff line in the set and in the second backup; the changes of PIN and community.
        assert len(re.findall(r'^\+ +"pin": "\*{8} \(changed\)"', output, re.M)) == 6, output
        assert output.count('"after": "******** (changed)"') == 9
        assert stat.S_IMODE(os.stat(tmp_path / "hub20.json").st_mode) == 0o600
    finally:
        for s in sims:
            s.close()


def test_check_mode_writes_nothing_and_connections_and_failures_are_reported(tmp_path):
    sims = [HubSim("127.0.0.%d" % n) for n in (23, 24)]
    try:
        book = Playbook(tmp_path, sims)
        with vexal.Hub.ethernet(sims[0].target) as hub:
            hub.backup(tmp_path / "profile.json")
        for s in sims:
            assert s.control("SET lan.gateway 10.9.9.1") == "OK"
            s.clear_writes()
        # usb: false names no connection, so it goes with ethernet.
        target = {"ethernet": "{{ hub_target }}", "usb": False}
        tasks = [{"vexal.hub.hub_backup": dict(target, dest=str(tmp_path) + "/{{ inventory_hostname }}.json")},
                 {"vexal.hub.hub_custom_device": dict(target, type="scale", vid="0001", pid="0002")},
                 {"vexal.hub.hub_restore": dict(target, src=str(tmp_path / "profile.json"), clone=True)}]
        run, results = book.run(tasks, "--check")
        assert run.returncode == 0, run.stdout + run.stderr
        assert "changed=3" in run.stdout and all(s.writes() == [] for s in sims)
        assert sorted(p.name for p in tmp_path.glob("hub*.json")) == []
        assert {g["group"]: g["outcome"] for g in results["hub23"]["groups"]}["lan"] == "would write"

        # A file with a hub's settings is replaced by another hub's identical ones (their source differs),
        # and kept for the same hub's.
        (tmp_path / "one").mkdir()
        backups = [{"vexal.hub.hub_backup": {"ethernet": s.target, "dest": str(tmp_path / "one.json")}}
                   for s in (sims[0], sims[1], sims[1])]
        both = {"vexal.hub.hub_info": {"ethernet": "{{ hub_target }}", "serial": "COM1"}, "ignore_errors": True}
        run, results = Playbook(tmp_path / "one", sims[:1]).run(backups + [both])
        assert run.returncode == 0 and "changed=2" in run.stdout.split("PLAY RECAP")[1], run.stdout
        assert vexal.Backup.load(tmp_path / "one.json").source == sims[1].target
        assert "parameters are mutually exclusive: ethernet|serial" in results["hub23"]["msg"]
    finally:
        for s in sims:
            s.close()


def test_a_session_or_runtime_error_ends_in_fail_json():
    sys.path.insert(0, os.environ["ANSIBLE_COLLECTIONS_PATH"])
    from ansible_collections.vexal.hub.plugins.module_utils import hub as hub_utils

    class Ended(Exception):
        pass

    sim = HubSim("127.0.0.25")

    class Module:
        params = dict(ethernet=sim.target, serial=None, usb=None, timeout=0)
        no_log_values = set()

        def fail_json(self, **result):
            raise Ended(result)

        def exit_json(self, **result):
            raise Ended(dict(result, exited=True))

    def closed_then_read(hub):
        hub.close()
        return hub.lan

    def runtime_error(hub):
        raise RuntimeError("from the compiled part")

    try:
        for action, words in ((closed_then_read, "the session is closed"), (runtime_error, "from the compiled part")):
            with pytest.raises(Ended) as ended:
                hub_utils.run(Module(), action)
            assert words in ended.value.args[0]["msg"] and "exited" not in ended.value.args[0]
    finally:
        sim.close()
