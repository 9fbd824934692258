"""Benchmark of vexal-exporter (run by hand, never by ctest; no CMake target): N simulated hubs
on addresses 127.0.1.x, 127.0.2.x ..., probed all at once through an
exporter with --max-probes C, for several rounds.

  goal: a round takes <= 1.25 x the larger of its two floors, measured in
        this run: ceil(N/C) x one probe alone (the waves the slots allow), and
        the CPU floor (the CPU time N probes cost, from one probe alone, over
        the machine's cores);
  and:  the exporter's resident memory after each round, which must stay flat.

  python3 exporter_bench.py BUILD_DIR [N=256] [C=64] [ROUNDS=10]
"""

import math
import os
import resource
import sys
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path[:0] = [os.path.join(HERE, "..", "..", "tests", "support"), os.path.join(HERE, "..", "..", "tests", "exporter")]

from exporter import Exporter, samples  # noqa: E402
from hubsim import HubSim  # noqa: E402

TICKS = os.sysconf("SC_CLK_TCK")


def cpu_seconds(pid):
    """CPU time of a process and of its children it has reaped."""
    with open("/proc/%d/stat" % pid) as f:
        fields = f.read().rpartition(")")[2].split()
    return sum(int(v) for v in fields[11:15]) / TICKS  # utime stime cutime cstime


def rss_kib(pid):
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    return 0


def main():
    build = sys.argv[1] if len(sys.argv) > 1 else "build/dev"
    n = int(sys.argv[2]) if len(sys.argv) > 2 else 256
    c = int(sys.argv[3]) if len(sys.argv) > 3 else 64
    rounds = int(sys.argv[4]) if len(sys.argv) > 4 else 10
    os.environ.setdefault("VEXAL_HUBSIM", os.path.join(build, "out", "vexal-hubsim"))
    os.environ.setdefault("VEXAL_EXPORTER", os.path.join(build, "out", "vexal-exporter"))
    timeout = 60  # the scrape time-out the probes get: long enough for the slowest wave
    # Three descriptors per simulator and one per request in flight.
    soft, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
    resource.setrlimit(resource.RLIMIT_NOFILE, (hard, hard))

    sims = []
    try:
        for i in range(n):
            sims.append(HubSim("127.0.%d.%d" % (1 + i // 250, 1 + i % 250)))
        # --timeout: the later waves wait for their slots within the same time-out.
        with Exporter("--max-probes", str(c), "--timeout", str(timeout), "--verbose") as exporter:
            pid = exporter._proc.pid

            # The exporter with its reaped workers, and the one hub probed.
            def cpu_now():
                return cpu_seconds(pid) + cpu_seconds(sims[0]._proc.pid)

            # One probe alone, the best of three; its CPU cost across every process.
            one, one_cpu = 1e9, 1e9
            for _ in range(3):
                before = cpu_now()
                status, _, body, seconds = exporter.probe(sims[0].target, timeout)
                assert status == 200 and samples(body)[("vexal_hub_up", ())] == 1, body
                time.sleep(3.5)  # the worker's close, counted once it is reaped
                one, one_cpu = min(one, seconds), min(one_cpu, cpu_now() - before)
            cores = os.cpu_count() or 1
            wave_floor = math.ceil(n / c) * one
            cpu_floor = n * one_cpu / cores
            floor = max(wave_floor, cpu_floor)
            print("one probe %.2f s, %.3f CPU s; floors: waves %d x %.2f = %.2f s, CPU %d x %.3f / %d cores = %.2f s"
                  % (one, one_cpu, math.ceil(n / c), one, wave_floor, n, one_cpu, cores, cpu_floor))

            worst = 0
            memory = []
            for r in range(rounds):
                results = [None] * n

                def probe(i):
                    results[i] = exporter.probe(sims[i].target, timeout)

                threads = [threading.Thread(target=probe, args=(i,)) for i in range(n)]
                start = time.monotonic()
                for t in threads:
                    t.start()
                for t in threads:
                    t.join()
                took = time.monotonic() - start
                up = sum(1 for s, _, b, _ in results if s == 200 and samples(b).get(("vexal_hub_up", ())) == 1)
                time.sleep(3.5)  # the last workers' closes
                memory.append(rss_kib(pid))
                worst = max(worst, took / floor)
                print("round %d: %d probes, %d up, %.2f s, ratio %.2f (goal <= 1.25), exporter RSS %d KiB"
                      % (r + 1, n, up, took, took / floor, memory[-1]))
            downs = [line for line in exporter.log().splitlines() if ": down: " in line]
            if downs:
                print("probes that found their hub down: %d, e.g. %s" % (len(downs), downs[0]))
            print("worst ratio %.2f (goal <= 1.25); exporter RSS after rounds (KiB): %s; growth after round 1: %+d KiB"
                  % (worst, " ".join(map(str, memory)), memory[-1] - memory[0]))
    finally:
        for s in sims:
            s.close()


if __name__ == "__main__":
    main()
