"""Runs one play of tasks with ansible-playbook against simulated hubs
(connection: local) and collects each host's last result."""

import json
import os
import subprocess
import sys


class Playbook:
    def __init__(self, tmp_path, sims, group="hubs"):
        self.dir = tmp_path
        lines = ["[%s]" % group]
        for s in sims:
            lines.append("%s hub_target=%s" % (s.address.replace("127.0.0.", "hub"), s.target))
        (tmp_path / "inventory").write_text("\n".join(lines) + "\n")
        (tmp_path / "ansible.cfg").write_text("[defaults]\n")
        self.group = group

    def run(self, tasks, *args):
        play = [{"hosts": self.group, "connection": "local", "gather_facts": False,
                 "vars": {"ansible_python_interpreter": sys.executable}, "tasks": tasks}]
        (self.dir / "play.yml").write_text(json.dumps(play))
        tree = self.dir / "tree"
        for f in tree.glob("*") if tree.exists() else []:
            f.unlink()
        env = dict(os.environ, ANSIBLE_CONFIG=str(self.dir / "ansible.cfg"), ANSIBLE_CALLBACKS_ENABLED="tree",
                   ANSIBLE_CALLBACK_TREE_DIR=str(tree), ANSIBLE_PIPELINING="1", ANSIBLE_FORKS="8",
                   ANSIBLE_LOCAL_TEMP=str(self.dir / "tmp"), ANSIBLE_NOCOLOR="1")
        run = subprocess.run(["ansible-playbook", "-i", str(self.dir / "inventory"), str(self.dir / "play.yml"), *args],
                             env=env, capture_output=True, text=True, timeout=300, cwd=str(self.dir))
        results = {f.name: json.loads(f.read_text()) for f in tree.glob("*")}
        return run, results
