"""The backend under a real cupsd: each test starts a scheduler of its own
(its own socket, spool, logs and ServerBin in a temporary folder, nothing of
the machine's CUPS touched), adds a queue on a simulated hub and prints with
lp, as a store PC would."""

import os
import re
import shlex
import shutil
import socket
import subprocess
import tempfile
import time

import pytest

from hubsim import HubSim

CUPSD = os.environ.get("VEXAL_CUPSD", "/usr/sbin/cupsd")
BACKEND = os.environ["VEXAL_CUPS_BACKEND"]


def until(what, check, timeout=20.0, step=0.1):
    deadline = time.monotonic() + timeout
    while True:
        result = check()
        if result:
            return result
        if time.monotonic() > deadline:
            raise AssertionError("timed out waiting for " + what)
        time.sleep(step)


class Cupsd:
    def __init__(self):
        # Under /tmp and open to all: cupsd runs the backend as its user lp,
        # which must reach the spool and the backend's link.
        self.root = tempfile.mkdtemp(prefix="vexal-cups-", dir="/tmp")
        os.chmod(self.root, 0o755)
        for d in ("etc", "bin/backend", "spool/tmp", "cache", "state", "log"):
            os.makedirs(os.path.join(self.root, d))
        for d in ("daemon", "notifier", "filter", "cgi-bin", "monitor", "driver"):
            if os.path.isdir("/usr/lib/cups/" + d):
                os.symlink("/usr/lib/cups/" + d, os.path.join(self.root, "bin", d))
        # A link keeps the backend beside its libraries (its RUNPATH is $ORIGIN-relative).
        backend = os.path.join(self.root, "bin/backend/vexal")
        if os.environ.get("LD_LIBRARY_PATH"):
            # A sanitizer build's dlopen is the runtime's, which does not search the
            # backend's RUNPATH, and cupsd passes no LD_ variable on: a wrapper names
            # the library folder.
            with open(backend, "w") as f:
                f.write('#!/bin/bash\nLD_LIBRARY_PATH=%s exec -a "$0" %s "$@"\n'
                        % (shlex.quote(os.environ["LD_LIBRARY_PATH"]), shlex.quote(BACKEND)))
            os.chmod(backend, 0o755)
        else:
            os.symlink(BACKEND, backend)
        self.socket = os.path.join(self.root, "cups.sock")
        self.error_log = os.path.join(self.root, "log/error_log")
        with open(os.path.join(self.root, "etc/cups-files.conf"), "w") as f:
            f.write("\n".join([
                "ServerRoot %s/etc" % self.root, "ServerBin %s/bin" % self.root, "DataDir /usr/share/cups",
                "RequestRoot %s/spool" % self.root, "TempDir %s/spool/tmp" % self.root,
                "CacheDir %s/cache" % self.root, "StateDir %s/state" % self.root,
                "ErrorLog %s" % self.error_log, "AccessLog %s/log/access_log" % self.root,
                "PageLog %s/log/page_log" % self.root, "FileDevice No", ""]))
        with open(os.path.join(self.root, "etc/cupsd.conf"), "w") as f:
            f.write("\n".join([
                "Listen %s" % self.socket, "LogLevel debug", "Browsing No", "WebInterface No",
                "DefaultAuthType None", "JobRetryInterval 300",
                "<Policy default>", "  <Limit All>", "    Order deny,allow", "  </Limit>", "</Policy>", ""]))
        self.env = dict(os.environ, CUPS_SERVER=self.socket)
        self.proc = subprocess.Popen(
            [CUPSD, "-f", "-c", self.root + "/etc/cupsd.conf", "-s", self.root + "/etc/cups-files.conf"],
            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        until("cupsd to answer", lambda: self.proc.poll() is None and os.path.exists(self.socket)
              and "is running" in self.run("lpstat", "-r", check=False))

    def run(self, *args, check=True):
        p = subprocess.run(args, env=self.env, capture_output=True, text=True, timeout=30)
        if check:
            assert p.returncode == 0, "%s: %s%s" % (" ".join(args), p.stdout, p.stderr)
        return p.stdout + p.stderr

    def add_queue(self, name, uri):
        out = self.run("lpadmin", "-p", name, "-E", "-v", uri)
        assert "deprecated" not in out, out  # no driver: a raw queue without complaint

    def lp(self, queue, path, *options):
        out = self.run("lp", "-d", queue, *options, path)
        return re.search(r"request id is (\S+)", out).group(1)

    def completed(self, job):
        return job in self.run("lpstat", "-W", "completed", "-o")

    def pending(self, job):
        return job in self.run("lpstat", "-W", "not-completed", "-o")

    def job_log(self, job):
        number = job.rpartition("-")[2]
        with open(self.error_log, errors="replace") as f:
            return [line for line in f if "[Job %s]" % number in line]

    def close(self):
        self.proc.terminate()
        try:
            self.proc.wait(timeout=10)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()
        shutil.rmtree(self.root, ignore_errors=True)


@pytest.fixture
def cups():
    c = Cupsd()
    yield c
    c.close()


@pytest.fixture
def sim():
    with HubSim("127.0.0.31") as s:
        yield s


def printed(sim):
    return int(re.search(r"printed=(\d+)", sim.control("PRINTER 10")).group(1))


def payloads(sim):
    """What device 10 received as data: the frames' payloads, less the watch's GS a."""
    frames = [bytes.fromhex(p) for p in sim.control("RX 10")[3:].split()]
    return b"".join(p for p in frames if not (len(p) == 3 and p[:2] == b"\x1da"))


def connected(sim):
    out = subprocess.run(["ss", "-Htn", "state", "established", "dst", sim.target],
                         capture_output=True, text=True, check=True).stdout
    return out.strip() != ""


def write_file(path, data):
    with open(path, "wb") as f:
        f.write(data)
    os.chmod(path, 0o644)
    return path


def test_a_job_reaches_the_printer_byte_for_byte_and_copies_are_kept(cups, sim, tmp_path):
    data = bytes(range(256)) * 40 + b"end\n"  # every byte value, more than one 4096-byte frame
    path = write_file(tmp_path / "receipt.bin", data)
    cups.add_queue("receipt", "vexal://%s/10" % sim.target)
    job = cups.lp("receipt", str(path))
    until("the job to complete", lambda: cups.completed(job))
    assert payloads(sim) == data
    assert printed(sim) == len(data)
    assert any("STATE: -connecting-to-device" in line for line in cups.job_log(job))

    sim.control("RX CLEAR")
    job = cups.lp("receipt", str(path), "-n", "2")
    until("the second job to complete", lambda: cups.completed(job))
    assert payloads(sim) == data + data
    assert not connected(sim), "the session closes with the job"


def test_a_printer_out_of_paper_holds_the_job_until_paper_is_back(cups, sim, tmp_path):
    data = b"Table 4\r\n" * 500
    path = write_file(tmp_path / "receipt.bin", data)
    cups.add_queue("receipt", "vexal://%s/10" % sim.target)
    sim.control("PRINTER 10 PAPER OUT")
    job = cups.lp("receipt", str(path))
    status = until("the paper-out reason", lambda: (lambda out: "media-empty-error" in out and out)(
        cups.run("lpstat", "-l", "-p", "receipt")))
    assert "offline-report" in status
    assert "out of paper" in status, status  # the backend's INFO line as the printer's message
    time.sleep(1)
    assert cups.pending(job) and printed(sim) == 0, "nothing is sent to a printer without paper"

    sim.control("PRINTER 10 PAPER OK")
    until("the job to complete", lambda: cups.completed(job))
    assert payloads(sim) == data and printed(sim) == len(data)
    log = "".join(cups.job_log(job))
    assert "STATE: +media-empty-error" in log and "STATE: -media-empty-error" in log
    assert "media-empty-error" not in cups.run("lpstat", "-l", "-p", "receipt")


def test_an_unreachable_hub_leaves_the_job_queued_with_the_reason(cups, tmp_path):
    with socket.socket() as s:  # a port nobody listens on
        s.bind(("127.0.0.31", 0))
        port = s.getsockname()[1]
    path = write_file(tmp_path / "receipt.bin", b"not lost\n")
    cups.add_queue("receipt", "vexal://127.0.0.31:%d/10" % port)
    job = cups.lp("receipt", str(path))
    until("the backend to give up", lambda: any("Backend returned status 6" in line for line in cups.job_log(job)),
          timeout=30)
    log = "".join(cups.job_log(job))
    assert "the hub cannot be reached" in log and "127.0.0.31:%d" % port in log
    assert cups.pending(job), "the job stays queued for the next try"
    assert "the hub cannot be reached" in cups.run("lpstat", "-l", "-p", "receipt") + cups.run(
        "lpstat", "-l", "-o", "receipt")


def test_a_cancelled_job_stops_the_transfer_and_closes_the_session(cups, sim, tmp_path):
    # No GS (0x1d): the simulated printer takes GS a and GS I for commands, not print.
    data = os.urandom(3 << 20).replace(b"\x1d", b"\x1c")
    path = write_file(tmp_path / "big.bin", data)
    cups.add_queue("receipt", "vexal://%s/10" % sim.target)
    job = cups.lp("receipt", str(path))
    until("the first bytes to print", lambda: printed(sim) > 0, timeout=30, step=0.02)
    cups.run("cancel", job)
    until("the session to close", lambda: not connected(sim), timeout=10, step=0.05)
    stopped_at = printed(sim)
    time.sleep(0.5)
    assert printed(sim) == stopped_at < len(data)
    assert payloads(sim) == data[:stopped_at], "what went, went in order"


def test_a_write_alarm_fails_the_job_with_the_alarm_named(sim, tmp_path):
    # The backend as cupsd runs it, without cupsd: the paper runs out part-way
    # and the hub answers what follows with the printer's write alarm.
    path = write_file(tmp_path / "long.bin", b"x" * (256 << 10))
    sim.control("PRINTER 10 PAPER OUT AFTER 1000")
    sim.control("PRINTER 10 OFFLINE-ALARM 2")
    env = dict(os.environ, DEVICE_URI="vexal://%s/10" % sim.target)
    p = subprocess.run([BACKEND, "7", "anna", "receipt", "1", "", str(path)], env=env, capture_output=True,
                       text=True, timeout=60)
    assert p.returncode == 1, p.stderr  # CUPS_BACKEND_FAILED
    assert "ERROR: %s: the hub raised write alarm 1202 (device-offline) for device 10" % sim.target in p.stderr
    assert "STATE: +media-empty-error" in p.stderr
    assert printed(sim) == 1000


def test_without_arguments_the_printers_on_usb_and_serial_hubs_are_listed(tmp_path):
    usb, devices = tmp_path / "usb", tmp_path / "dev"
    usb.mkdir()
    devices.mkdir()
    extra = ["--usb-sim", str(usb), "--pty", "--com-link", str(devices / "COM4")]
    with HubSim("127.0.0.31", extra_args=extra) as s:
        assert s.control("PLUG 11 printer").startswith("OK")
        env = dict(os.environ, VEXAL_USB_SIM_DIR=str(usb), VEXAL_DEVICE_DIR=str(devices))
        p = subprocess.run([BACKEND], env=env, capture_output=True, text=True, timeout=60)
        assert p.returncode == 0, p.stderr
        uris = [line.split()[1] for line in p.stdout.splitlines()]
        assert uris == ["vexal:/usb/10", "vexal:/usb/11", "vexal:/serial/COM4/10", "vexal:/serial/COM4/11"], p.stdout
        assert p.stdout.startswith('direct vexal:/usb/10 "Vexal VX-H400_VXL printer 10" '), p.stdout
        assert '"USB 1-1"' in p.stdout

        # A job on a URI the list gave, and one that insists on another place on the bus.
        path = write_file(tmp_path / "j.bin", b"usb job\n")
        for uri, code in (("vexal:/usb/1-1/10", 0), ("vexal:/usb/2-3/10", 6)):
            job = subprocess.run([BACKEND, "1", "u", "t", "1", "", str(path)], env=dict(env, DEVICE_URI=uri),
                                 capture_output=True, text=True, timeout=60)
            assert job.returncode == code, job.stderr
        assert "is at 1-1, not at 2-3" in job.stderr
        assert payloads(s) == b"usb job\n"
