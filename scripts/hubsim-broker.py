#!/usr/bin/env python3
"""Starts Linux hub simulators for Windows programs running under Wine.

A Windows test cannot start a Linux program and read its output, so the Wine
test harness (scripts/wine-harness.sh) runs this service on loopback. A
client connects and sends one line

    START<TAB>option<TAB>option...

with vexal-hubsim's options. The service starts the simulator (adding
--exit-on-stdin-eof) and passes its start-up lines back (LISTEN, PTY,
CONTROL, READY or ERROR). The simulator lives as long as the connection: the
line STOP, or the connection's end, stops it (its standard input closes; it
is killed if it does not quit in time); STOP is answered with STOPPED once it
has gone.

Two options are the service's own:
  --com-link COM<n>    with --pty: $WINEPREFIX/dosdevices/com<n> links to the
                       pty, so Windows programs open it as COM<n>
  --stderr-file PATH   the simulator's diagnostics are appended there
"""
import argparse
import os
import signal
import socket
import subprocess
import sys
import threading

START_LIMIT_S = 10


def stop_process(process):
    if process.poll() is not None:
        return
    try:
        process.stdin.close()
    except OSError:
        pass
    for sig, limit in ((None, 3), (signal.SIGTERM, 2), (signal.SIGKILL, 5)):
        if sig is not None:
            process.send_signal(sig)
        try:
            process.wait(timeout=limit)
            return
        except subprocess.TimeoutExpired:
            continue


class Client(threading.Thread):
    def __init__(self, connection, options):
        super().__init__(daemon=True)
        self.connection = connection
        self.options = options
        self.process = None
        self.com_link = None
        self.lock = threading.Lock()

    def send(self, line):
        self.connection.sendall((line + "\n").encode())

    def run(self):
        reader = self.connection.makefile("r", encoding="utf-8", newline="\n")
        try:
            request = reader.readline().rstrip("\n")
            fields = request.split("\t")
            if fields[0] != "START":
                self.send("ERROR expected START")
                return
            if not self.launch(fields[1:]):
                return
            for line in reader:  # until STOP or the connection's end
                if line.strip() == "STOP":
                    break
            self.stop()
            self.send("STOPPED")
        except OSError:
            pass
        finally:
            self.stop()
            self.connection.close()

    def launch(self, args):
        sim_args, com_name, stderr_file = [], None, None
        i = 0
        while i < len(args):
            if args[i] == "--com-link" and i + 1 < len(args):
                com_name = args[i + 1]
                i += 2
            elif args[i] == "--stderr-file" and i + 1 < len(args):
                stderr_file = args[i + 1]
                i += 2
            else:
                sim_args.append(args[i])
                i += 1
        if com_name is not None and (not com_name.upper().startswith("COM") or not com_name[3:].isdigit()):
            self.send("ERROR --com-link takes COM<n>")
            return False
        errors = open(stderr_file, "ab") if stderr_file else None
        try:
            self.process = subprocess.Popen([self.options.hubsim, *sim_args, "--exit-on-stdin-eof"],
                                            stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=errors,
                                            close_fds=True)
        except OSError as error:
            self.send("ERROR cannot start %s: %s" % (self.options.hubsim, error))
            return False
        finally:
            if errors:
                errors.close()
        timer = threading.Timer(START_LIMIT_S, stop_process, [self.process])
        timer.start()
        try:
            for raw in self.process.stdout:
                line = raw.decode(errors="replace").rstrip("\n")
                if line.startswith("PTY ") and com_name is not None:
                    self.link_com(com_name, line[4:])
                self.send(line)
                if line == "READY":
                    return True
                if line.startswith("ERROR "):
                    return False
            self.send("ERROR exited before it was ready")
            return False
        finally:
            timer.cancel()

    def link_com(self, com_name, pty):
        devices = os.path.join(self.options.prefix, "dosdevices")
        os.makedirs(devices, exist_ok=True)
        link = os.path.join(devices, com_name.lower())
        if os.path.lexists(link):
            os.unlink(link)
        os.symlink(pty, link)
        self.com_link = (link, pty)

    def stop(self):
        with self.lock:
            if self.process is not None:
                stop_process(self.process)
                self.process = None
            if self.com_link is not None:
                link, pty = self.com_link
                if os.path.islink(link) and os.readlink(link) == pty:
                    os.unlink(link)
                self.com_link = None


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--hubsim", required=True, help="the Linux vexal-hubsim program")
    parser.add_argument("--prefix", required=True, help="the Wine prefix (for COM links)")
    parser.add_argument("--port-file", required=True, help="where the listening port is written")
    options = parser.parse_args()
    if not os.access(options.hubsim, os.X_OK):
        sys.exit("hubsim-broker: %s is not a program" % options.hubsim)

    server = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    server.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    server.bind(("127.0.0.1", 0))
    server.listen(64)
    clients = []
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))
    temp = options.port_file + ".tmp"
    with open(temp, "w") as out:
        out.write("%d\n" % server.getsockname()[1])
    os.replace(temp, options.port_file)
    try:
        while True:
            connection, _ = server.accept()
            client = Client(connection, options)
            clients.append(client)
            client.start()
            clients = [c for c in clients if c.is_alive()]
    finally:
        for client in clients:
            client.stop()


if __name__ == "__main__":
    main()
