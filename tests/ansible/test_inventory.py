"""The inventory plugin vexal.hub.hubs against two simulated hubs of two
models on 127.0.0.50 and 127.0.0.53 (addresses no other test uses): the
listing, a play over it, the cache with the hubs gone, and the messages for
bad sources."""

import json
import os
import socket
import subprocess
import sys

from hubsim import HubSim


def ansible(tmp_path, *args):
    env = dict(os.environ, ANSIBLE_CONFIG=str(tmp_path / "ansible.cfg"), ANSIBLE_NOCOLOR="1",
               ANSIBLE_LOCAL_TEMP=str(tmp_path / "tmp"), ANSIBLE_PIPELINING="1")
    (tmp_path / "ansible.cfg").write_text("[defaults]\n")
    return subprocess.run(list(args), env=env, capture_output=True, text=True, timeout=120, cwd=str(tmp_path))


def source(tmp_path, name, **options):
    path = tmp_path / name
    path.write_text(json.dumps(dict(plugin="vexal.hub.hubs", **options)))  # JSON is YAML
    return str(path)


def listing(tmp_path, path):
    run = ansible(tmp_path, "ansible-inventory", "-i", path, "--list")
    assert run.returncode == 0, run.stderr
    return json.loads(run.stdout), run


def test_hubs_found_by_model_a_play_over_them_and_the_cache_without_them(tmp_path):
    first = HubSim("127.0.0.50")
    sims = [first]
    printer = socket.socket()  # on the hubs' port, but no hub: left out
    try:
        second = HubSim("127.0.0.53", port=first.port)
        sims.append(second)
        assert second.control("SET model VX-H410_HMX-T302") == "OK"
        printer.bind(("127.0.0.51", first.port))
        printer.listen(4)
        path = source(tmp_path, "hubs.vexal.yml", ranges=["127.0.0.48/29"], port=first.port, connect_timeout=200,
                      timeout=1, cache=True, cache_plugin="ansible.builtin.jsonfile",
                      cache_connection=str(tmp_path / "cache"),
                      keyed_groups=[dict(key="hub_firmware", prefix="firmware")])
        inventory, _ = listing(tmp_path, path)
        hostvars = inventory["_meta"]["hostvars"]
        assert sorted(hostvars) == ["127.0.0.50", "127.0.0.53"]
        assert hostvars["127.0.0.53"] == {"hub_address": "127.0.0.53:%d" % first.port, "hub_port": first.port,
                                         "hub_model": "VX-H410_HMX-T302", "hub_firmware": "2.10.3"}
        assert sorted(inventory["vexal"]["children"]) == ["vexal_vx_h400_vxl", "vexal_vx_h410_hmx_t302"]
        assert inventory["vexal_vx_h400_vxl"]["hosts"] == ["127.0.0.50"]
        assert inventory["vexal_vx_h410_hmx_t302"]["hosts"] == ["127.0.0.53"]
        assert sorted(inventory["firmware_2_10_3"]["hosts"]) == ["127.0.0.50", "127.0.0.53"]

        play = [{"hosts": "vexal", "connection": "local", "gather_facts": False,
                 "vars": {"ansible_python_interpreter": sys.executable},
                 "tasks": [{"vexal.hub.hub_info": {"ethernet": "{{ hub_address }}", "gather": ["lan"]},
                            "register": "hub"},
                           {"ansible.builtin.assert": {"that": ["hub.model == hub_model",
                                                                "hub.firmware == hub_firmware"]}}]}]
        (tmp_path / "play.yml").write_text(json.dumps(play))
        run = ansible(tmp_path, "ansible-playbook", "-i", path, str(tmp_path / "play.yml"))
        assert run.returncode == 0, run.stdout + run.stderr
        recap = run.stdout.split("PLAY RECAP")[1]
        assert recap.count("ok=2") == 2 and "127.0.0.53" in recap and "failed=0" in recap, recap
    finally:
        printer.close()
        for s in sims:
            s.close()

    # The hubs are gone: the cache still lists them; a changed option scans anew and finds none.
    inventory, _ = listing(tmp_path, path)
    assert sorted(inventory["_meta"]["hostvars"]) == ["127.0.0.50", "127.0.0.53"]
    assert inventory["vexal_vx_h410_hmx_t302"]["hosts"] == ["127.0.0.53"]
    options = json.loads(open(path).read())
    options["connect_timeout"] = 250
    open(path, "w").write(json.dumps(options))
    inventory, _ = listing(tmp_path, path)
    assert inventory["_meta"]["hostvars"] == {} and "vexal_vx_h400_vxl" not in inventory


def test_bad_sources_are_refused_with_a_clear_text(tmp_path):
    sources = [
        source(tmp_path, "wide.vexal.yml", ranges=["10.0.0.0/21"]),
        source(tmp_path, "port.vexal.yaml", ranges=["127.0.0.1"], port=0),
        source(tmp_path, "empty.vexal.yml", ranges=[]),
        # No route: a scan that cannot try an address finds nothing for sure.
        source(tmp_path, "unreachable.vexal.yml", ranges=["224.0.0.0/30"]),
        source(tmp_path, "named.yml", ranges=["127.0.0.1"]),
    ]
    run = ansible(tmp_path, "ansible-inventory", "--list", *[a for s in sources for a in ("-i", s)])
    err = " ".join(run.stderr.split())  # warnings wrap their lines
    assert "wide.vexal.yml" in err and "/21 is too large a range (at most /22, 1024 addresses)" in err, err
    assert "port: 0 is not a number from 1 to 65535" in err, err
    assert "ranges: give a list of IPv4 ranges" in err, err
    assert "scan: 224.0.0.1: Network is unreachable" in err, err
    assert "named.yml' could not be verified by inventory plugin 'vexal.hub.hubs'" in err, err
    assert json.loads(run.stdout)["_meta"]["hostvars"] == {}

    doc = ansible(tmp_path, "ansible-doc", "-t", "inventory", "vexal.hub.hubs")
    assert doc.returncode == 0, doc.stderr
    assert "ranges" in doc.stdout and "cache_timeout" in doc.stdout and "EXAMPLES" in doc.stdout
