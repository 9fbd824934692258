"""The collection vexal.hub driven by ansible-playbook against 8 simulated
hubs on 127.0.0.2-127.0.0.9 (connection: local): changes, idempotence,
check and diff mode, a faulty hub, backups and a clone restore onto a
second set of hubs, and every module's documentation."""

import os
import subprocess

import pytest

import vexal
from hubsim import HubSim
from playbook import Playbook

MODULES = ["hub_info", "hub_settings", "hub_backup", "hub_restore", "hub_custom_device"]


@pytest.fixture(scope="module")
def hubs():
    sims = []
    try:
        for n in range(2, 10):
            sims.append(HubSim("127.0.0.%d" % n))
        yield sims
    finally:
        for s in sims:
            s.close()


def comparable(state):
    """A simulator's settings without what a clone leaves out (name and addresses)."""
    del state["bluetooth"]["name"], state["lan"]["ip"], state["wlan"]["ip"], state["wlan"]["block"]
    return {k: state[k] for k in ("bluetooth", "lan", "wlan", "custom_devices", "serial", "interfaces", "telnet",
                                  "snmp", "snmp_ro", "snmp_rw")}


def settings_task(values):
    return {"vexal.hub.hub_settings": {"ethernet": "{{ hub_target }}", "group": "lan", "values": values}}


def test_settings_change_once_check_mode_writes_nothing_and_diff_names_keys(tmp_path, hubs):
    book = Playbook(tmp_path, hubs)
    wanted = {"gateway": "10.20.0.1", "dns": "10.20.0.2", "dhcp": False}
    run, results = book.run([settings_task(wanted)], "--diff")
    assert run.returncode == 0, run.stdout + run.stderr
    assert len(results) == 8 and all(r["changed"] for r in results.values())
    assert all(s.get("lan.gateway") == "10.20.0.1" for s in hubs)
    assert {c["key"] for c in results["hub2"]["changes"]} == {"gateway", "dns"}

    for s in hubs:
        s.clear_writes()
    run, results = book.run([settings_task(wanted)])
    assert run.returncode == 0 and not any(r["changed"] for r in results.values())
    assert "changed=0" in run.stdout and all(s.writes() == [] for s in hubs)

    run, results = book.run([settings_task(dict(wanted, gateway="10.30.0.1"))], "--check", "--diff")
    assert run.returncode == 0, run.stdout + run.stderr
    assert all(r["changed"] and [c["key"] for c in r["changes"]] == ["gateway"] for r in results.values())
    assert all(r["values"]["gateway"] == "10.30.0.1" for r in results.values())
    assert run.stdout.count('-    "gateway": "10.20.0.1"') == 8 and run.stdout.count('+    "gateway": "10.30.0.1"') == 8
    assert '-    "dns"' not in run.stdout
    assert all(s.writes() == [] and s.get("lan.gateway") == "10.20.0.1" for s in hubs)


def test_a_faulty_hub_fails_alone(tmp_path, hubs):
    book = Playbook(tmp_path, hubs)
    assert hubs[3].control("FAULT REFUSE ON") == "OK"
    try:
        run, results = book.run([settings_task({"dns": "10.40.0.2"})])
    finally:
        assert hubs[3].control("FAULT CLEAR") == "OK"
    assert run.returncode != 0
    assert results["hub5"]["code"] == 1006 and "127.0.0.5" in results["hub5"]["msg"]
    assert [h for h, r in results.items() if "msg" in r] == ["hub5"] and "hub5" in run.stdout.split("PLAY RECAP")[1]
    assert "failed=1" in run.stdout
    assert all(s.get("lan.dns") == "10.40.0.2" for s in hubs if s is not hubs[3])


def test_backup_per_hub_and_clone_restore_onto_a_second_set(tmp_path, hubs):
    book = Playbook(tmp_path, hubs)
    custom = {"vexal.hub.hub_custom_device": {"ethernet": "{{ hub_target }}", "type": "msr", "vid": "1A2B",
                                              "pid": "00ff"}}
    run, results = book.run([custom], "--diff")
    assert run.returncode == 0 and all(r["changed"] and r["entries"] == ["1a2b&00ff"] for r in results.values())
    run, results = book.run([custom])
    assert not any(r["changed"] for r in results.values())

    for s in hubs:  # each hub an address of its own, which a clone leaves out
        assert s.control("SET lan.ip " + s.address) == "OK"
    backup = {"vexal.hub.hub_backup": {"ethernet": "{{ hub_target }}", "dest": str(tmp_path) + "/{{ inventory_hostname }}.json"}}
    run, results = book.run([backup])
    assert run.returncode == 0 and all(r["changed"] for r in results.values())
    files = sorted(p.name for p in tmp_path.glob("hub*.json"))
    assert files == ["hub%d.json" % n for n in range(2, 10)]
    assert vexal.Backup.load(tmp_path / "hub4.json").source == hubs[2].target

    clones_dir = tmp_path / "clones"
    clones_dir.mkdir()
    clones = [HubSim("127.0.0.%d" % n) for n in range(10, 18)]
    try:
        # The second set's inventory names each clone after the hub it copies.
        targets = Playbook(clones_dir, clones, group="clones")
        lines = ["[clones]"] + ["hub%d hub_target=%s" % (n, c.target) for n, c in zip(range(2, 10), clones)]
        (clones_dir / "inventory").write_text("\n".join(lines) + "\n")
        restore = {"vexal.hub.hub_restore": {"ethernet": "{{ hub_target }}", "clone": True,
                                             "src": str(tmp_path) + "/{{ inventory_hostname }}.json"}}
        run, results = targets.run([restore])
        assert run.returncode == 0, run.stdout + run.stderr
        assert all(r["changed"] for r in results.values())
        outcomes = {g["group"]: g["outcome"] for g in results["hub2"]["groups"]}
        assert outcomes["lan"] == outcomes["custom msr"] == "written"
        for original, clone in zip(hubs, clones):
            left, right = comparable(original.get("")), comparable(clone.get(""))
            assert left == right and right["custom_devices"]["types"]["2"] == ["1a2b&00ff"]
            assert (original.get("lan.ip"), clone.get("lan.ip")) == (original.address, "192.168.0.10")
    finally:
        for c in clones:
            c.close()


def test_every_module_documents_itself():
    env = dict(os.environ)
    for module in MODULES:
        doc = subprocess.run(["ansible-doc", "vexal.hub." + module], env=env, capture_output=True, text=True,
                             timeout=120)
        assert doc.returncode == 0, doc.stderr
        assert "ethernet" in doc.stdout and "EXAMPLES" in doc.stdout and "RETURN VALUES" in doc.stdout, module

