"""Starts vexal-hubsim for Python tests and benchmarks, as HubSimFixture.h
does for C++: TCP on a loopback address with a free port, the control
socket for faults and state, stopped again on close (and when the test
process dies, through its standard input)."""

import json
import os
import socket
import subprocess
import threading

# The hub's commands that change a setting, by their first byte.
WRITE_COMMANDS = ("14", "59", "25", "21", "D1", "D3", "D5", "D7", "0F", "02", "41", "42", "43")


class HubSim:
    def __init__(self, address="127.0.0.1", extra_args=(), binary=None, port=0):
        binary = binary or os.environ["VEXAL_HUBSIM"]
        self.address = address
        self._proc = subprocess.Popen(
            [binary, "--listen", "%s:%d" % (address, port), "--greet", "--exit-on-stdin-eof", *extra_args],
            stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        self.port = None
        self.pty = None  # the serial link's device path, with "--pty"
        control = None
        # A start that hangs is ended; its output then ends too.
        watchdog = threading.Timer(10, self._proc.kill)
        watchdog.start()
        try:
            for line in self._proc.stdout:
                word, _, rest = line.strip().partition(" ")
                if word == "LISTEN":
                    self.port = int(rest.rpartition(":")[2])
                elif word == "PTY":
                    self.pty = rest
                elif word == "CONTROL":
                    host, _, port = rest.rpartition(":")
                    control = (host, int(port))
                elif word == "READY":
                    break
                elif word == "ERROR":
                    raise RuntimeError("vexal-hubsim: " + rest)
            if self.port is None or control is None:
                raise RuntimeError("vexal-hubsim did not start")
            self._control = socket.create_connection(control, timeout=10)
            self._control_file = self._control.makefile("rw", encoding="utf-8", newline="\n")
        except BaseException:
            self.close()
            raise
        finally:
            watchdog.cancel()
            watchdog.join()

    @property
    def target(self):
        return "%s:%d" % (self.address, self.port)

    def control(self, line):
        """Sends one control command; returns its answer line."""
        self._control_file.write(line + "\n")
        self._control_file.flush()
        return self._control_file.readline().rstrip("\n")

    def get(self, path):
        answer = self.control("GET " + path)
        assert answer.startswith("OK "), answer
        try:
            return json.loads(answer[3:])
        except ValueError:
            return answer[3:]  # texts come back bare

    def writes(self):
        """The write commands device 0 received since the last clear_writes()."""
        return [p for p in self.control("RX 0")[2:].split() if p[:2].upper() in WRITE_COMMANDS]

    def clear_writes(self):
        assert self.control("RX CLEAR") == "OK"

    def close(self):
        if self._proc.poll() is None:
            self._proc.stdin.close()
            try:
                self._proc.wait(timeout=5)
            except subprocess.TimeoutExpired:
                self._proc.kill()
                self._proc.wait()
        if getattr(self, "_control", None) is not None:
            self._control_file.close()
            self._control.close()
            self._control = None
        self._proc.stdout.close()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()
        return False
