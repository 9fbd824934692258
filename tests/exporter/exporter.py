"""Starts vexal-exporter for the tests: on a free loopback port, stopped
again on close."""

import os
import subprocess
import tempfile
import threading
import time
import urllib.error
import urllib.parse
import urllib.request


class Exporter:
    def __init__(self, *args):
        # Its log in a file: a pipe nobody reads would stop it once full.
        self._log = tempfile.TemporaryFile(mode="w+")
        self._proc = subprocess.Popen(
            [os.environ["VEXAL_EXPORTER"], "--listen", "127.0.0.1:0", *args],
            stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=self._log, text=True)
        watchdog = threading.Timer(10, self._proc.kill)
        watchdog.start()
        try:
            line = self._proc.stdout.readline().strip()
        finally:
            watchdog.cancel()
        if not line.startswith("LISTEN "):
            self._proc.kill()
            raise RuntimeError("vexal-exporter did not start: %r %s" % (line, self.log()))
        self.address = line.split()[1]

    def get(self, path, timeout_header=None, method="GET"):
        """(status, content type, body, seconds taken)"""
        request = urllib.request.Request("http://%s%s" % (self.address, path), method=method)
        if timeout_header is not None:
            request.add_header("X-Prometheus-Scrape-Timeout-Seconds", str(timeout_header))
        start = time.monotonic()
        try:
            with urllib.request.urlopen(request, timeout=60) as r:
                return r.status, r.headers["Content-Type"], r.read().decode(), time.monotonic() - start
        except urllib.error.HTTPError as e:
            return e.code, e.headers["Content-Type"], e.read().decode(), time.monotonic() - start

    def probe(self, target, timeout_header=None):
        return self.get("/probe?target=" + urllib.parse.quote(target), timeout_header)

    def log(self):
        self._log.seek(0)
        return self._log.read()

    def alive(self):
        return self._proc.poll() is None

    def close(self):
        if self._proc.poll() is None:
            self._proc.terminate()
            try:
                self._proc.wait(timeout=15)
            except subprocess.TimeoutExpired:
                self._proc.kill()
                self._proc.wait()
        self._proc.stdout.close()
        self._log.close()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()
        return False


def samples(text):
    """{(name, ((label, value), ...)): value} of a text-format answer."""
    out = {}
    for line in text.splitlines():
        if not line or line.startswith("#"):
            continue
        series, _, value = line.rpartition(" ")
        name, _, labels = series.partition("{")
        pairs = []
        for item in labels.rstrip("}").split('",') if labels else []:
            key, _, val = item.partition('="')
            pairs.append((key, val.rstrip('"')))
        out[(name, tuple(pairs))] = float(value)
    return out
