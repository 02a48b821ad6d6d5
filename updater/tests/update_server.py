#!/usr/bin/env python3
"""Local update server for the updater's tests and benchmarks (standard library only).

    update_server.py serve --root DIR [--host 127.0.0.1] [--port 0] [--port-file F] [--pid-file F] [--daemon]
    update_server.py stop --pid-file F

It serves the files below DIR by HTTP GET. The first component of a request
path names a scope when DIR holds a folder of that name (each test works in a
scope of its own, so tests may run side by side); otherwise the scope is DIR
itself. Per scope:

  _faults.txt    read at every request; one fault a line, "PATH KIND [VALUE] [times=N]",
                 PATH relative to the scope folder, N limiting the fault to the
                 first N requests of that path. Kinds:
                   status CODE   answer CODE (304 and 204 without a body)
                   delay SECONDS wait before answering (other faults still apply)
                   truncate N    announce the whole length, send N bytes, close
                   cut FRACTION  the same with that fraction of the body (0.9: 90 %)
                   norange       answer a Range request with the whole file (200)
                   drop          close the connection without an answer
                   corrupt       serve the content with its last byte changed
                   gzip, deflate serve the content compressed, with its Content-Encoding
                   slow RATE     send the body at RATE bytes a second
  _requests.log  every request appended as "@ TIME METHOD PATH CONNECTION", its
                 header lines as received, then an empty line. TIME is seconds
                 since the epoch; CONNECTION numbers the server's connections
                 from 1, so requests that share one show the same number.
  _sent.log      "PATH BYTES" for every body sent (whole or cut), in order.

A GET with "Range: bytes=N-" (or N-M) is answered 206 with that part of the
file and its Content-Range, 416 when N lies at or beyond the end; faults that
shape the body (truncate, cut, corrupt, slow) apply to the part.

With --daemon the command returns once the port file is written and the server
runs on detached until "stop" (or SIGTERM).
"""

import argparse
import http.server
import os
import re
import signal
import socket
import sys
import threading
import time
import urllib.parse
import zlib

LOG_LOCK = threading.Lock()
FAULT_COUNTS = {}
FAULT_LOCK = threading.Lock()
CONNECTIONS = iter(range(1, 1 << 62))
CONNECTION_LOCK = threading.Lock()


def scope_of(root, path):
    """Returns (scope folder, path relative to it) for a decoded URL path."""
    path = path.lstrip("/")
    first, _, rest = path.partition("/")
    if rest and first not in ("", ".", "..") and os.path.isdir(os.path.join(root, first)):
        return os.path.join(root, first), rest
    return root, path


def read_faults(scope, relative):
    """The faults for one request, in file order, counting limited ones."""
    try:
        with open(os.path.join(scope, "_faults.txt"), encoding="utf-8") as f:
            lines = f.read().splitlines()
    except OSError:
        return []
    faults = []
    for number, line in enumerate(lines):
        words = line.split()
        if len(words) < 2 or words[0].lstrip("/") != relative:
            continue
        times = None
        if words[-1].startswith("times="):
            times = int(words.pop()[6:])
        if times is not None:
            key = (scope, number, line)
            with FAULT_LOCK:
                used = FAULT_COUNTS.get(key, 0)
                FAULT_COUNTS[key] = used + 1
            if used >= times:
                continue
        faults.append((words[1], words[2] if len(words) > 2 else None))
    return faults


def record(scope, head, name="_requests.log"):
    with LOG_LOCK, open(os.path.join(scope, name), "a", encoding="utf-8") as log:
        log.write(head + "\n\n" if name == "_requests.log" else head + "\n")


def requested_range(header, size):
    """(first, last) of a "bytes=N-" or "bytes=N-M" range, None without a
    usable one, "unsatisfiable" when N lies at or beyond the end."""
    match = header and re.fullmatch(r"bytes=(\d+)-(\d*)", header.strip())
    if not match:
        return None
    first = int(match.group(1))
    last = min(int(match.group(2)), size - 1) if match.group(2) else size - 1
    if first >= size or last < first:
        return "unsatisfiable"
    return first, last


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "UpdateServer/1"
    # The head and the body go out in separate writes: without this a client
    # that keeps the connection waits for a delayed acknowledgement per request.
    disable_nagle_algorithm = True

    def setup(self):
        super().setup()
        with CONNECTION_LOCK:
            self.connection_number = next(CONNECTIONS)

    def log_message(self, format, *args):  # noqa: A002 - quiet: the request log is the record
        pass

    def do_GET(self):
        self.answer(with_body=True)

    def do_HEAD(self):
        self.answer(with_body=False)

    def answer(self, with_body):
        raw_path = self.path
        path = urllib.parse.unquote(urllib.parse.urlsplit(raw_path).path)
        scope, relative = scope_of(self.server.root, path)
        head = ["@ %.3f %s %s %d" % (time.time(), self.command, raw_path, self.connection_number)]
        head += ["%s: %s" % (name, value) for name, value in self.headers.items()]
        record(scope, "\n".join(head))

        faults = read_faults(scope, relative)
        for kind, value in faults:
            if kind == "delay":
                time.sleep(float(value))
        kinds = {kind: value for kind, value in reversed(faults)}
        if "drop" in kinds:
            self.close_connection = True
            self.connection.shutdown(socket.SHUT_RDWR)
            return
        if "status" in kinds:
            self.send_status(int(kinds["status"]), with_body)
            return

        file_path = os.path.realpath(os.path.join(scope, relative))
        if (not file_path.startswith(os.path.realpath(self.server.root) + os.sep)
                or os.path.basename(file_path).startswith("_") or not os.path.isfile(file_path)):
            self.send_status(404, with_body)
            return
        size = os.path.getsize(file_path)
        first, last = 0, size - 1
        part = None if "norange" in kinds else requested_range(self.headers.get("Range"), size)
        if part == "unsatisfiable":
            self.send_response(416)
            self.send_header("Content-Range", "bytes */%d" % size)
            self.send_header("Content-Length", "0")
            self.end_headers()
            return
        encoding = "gzip" if "gzip" in kinds else "deflate" if "deflate" in kinds else None
        if encoding:
            part = None
            with open(file_path, "rb") as f:
                # wbits: 31 a gzip member, 15 a zlib stream (HTTP's "deflate")
                packer = zlib.compressobj(9, zlib.DEFLATED, 31 if encoding == "gzip" else 15)
                packed = packer.compress(f.read()) + packer.flush()
            size = len(packed)
        elif part:
            first, last = part
        length = size if encoding else last - first + 1
        self.send_response(206 if part else 200)
        self.send_header("Content-Type", "application/octet-stream")
        self.send_header("Content-Length", str(length))
        if part:
            self.send_header("Content-Range", "bytes %d-%d/%d" % (first, last, size))
        if encoding:
            self.send_header("Content-Encoding", encoding)
        self.end_headers()
        if not with_body:
            return
        cut = int(kinds["truncate"]) if "truncate" in kinds else None
        if "cut" in kinds:
            cut = int(length * float(kinds["cut"]))
        sent = length
        with open(file_path, "rb") as f:
            f.seek(first)
            if encoding:
                self.wfile.write(packed)
            elif "slow" in kinds:
                rate = max(1, int(kinds["slow"]))
                try:
                    left = length
                    for chunk in iter(lambda: f.read(min(rate, left)), b""):
                        self.wfile.write(chunk)
                        self.wfile.flush()
                        left -= len(chunk)
                        time.sleep(1)
                except OSError:
                    self.close_connection = True
            elif cut is not None:
                sent = min(cut, length)
                self.wfile.flush()
                if sent:
                    self.connection.sendfile(f, first, sent)
                self.close_connection = True
                self.connection.shutdown(socket.SHUT_RDWR)
            elif "corrupt" in kinds:
                data = bytearray(f.read(length))
                if data:
                    data[-1] ^= 0xFF
                self.wfile.write(bytes(data))
            else:
                self.wfile.flush()
                if length:
                    self.connection.sendfile(f, first, length)
        record(scope, "%s %d" % (relative, sent), "_sent.log")

    def send_status(self, code, with_body):
        body = b"" if code in (204, 304) else ("status %d\n" % code).encode()
        self.send_response(code)
        if code not in (204, 304):
            self.send_header("Content-Type", "text/plain")
            self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        if with_body and body:
            self.wfile.write(body)


class Server(http.server.ThreadingHTTPServer):
    daemon_threads = True
    allow_reuse_address = True

    def __init__(self, address, root):
        super().__init__(address, Handler)
        self.root = os.path.realpath(root)


def write_atomically(path, text):
    temporary = path + ".tmp"
    with open(temporary, "w", encoding="ascii") as f:
        f.write(text)
    os.replace(temporary, path)


def serve(args):
    if args.pid_file:
        stop(args)  # one left over from an interrupted run
    os.makedirs(args.root, exist_ok=True)
    server = Server((args.host, args.port), args.root)
    if args.daemon:
        read_end, write_end = os.pipe()
        if os.fork() > 0:  # the caller: wait until the server is ready
            os.close(write_end)
            ready = os.read(read_end, 1)
            return 0 if ready == b"1" else 1
        os.close(read_end)
        os.setsid()
        if os.fork() > 0:
            os._exit(0)
        null = os.open(os.devnull, os.O_RDWR)
        for stream in (0, 1, 2):
            os.dup2(null, stream)
    signal.signal(signal.SIGTERM, lambda *_: threading.Thread(target=server.shutdown).start())
    if args.pid_file:
        write_atomically(args.pid_file, "%d\n" % os.getpid())
    if args.port_file:
        write_atomically(args.port_file, "%d\n" % server.server_address[1])
    if args.daemon:
        os.write(write_end, b"1")
        os.close(write_end)
    else:
        print("serving %s on http://%s:%d/" % (server.root, args.host, server.server_address[1]), flush=True)
    try:
        server.serve_forever(poll_interval=0.2)
    finally:
        server.server_close()
        if args.pid_file:
            try:
                os.remove(args.pid_file)
            except OSError:
                pass
    return 0


def stop(args):
    try:
        with open(args.pid_file, encoding="ascii") as f:
            pid = int(f.read())
    except (OSError, ValueError):
        return 0  # not running
    # A pid file left by a server that was killed may name another process by now.
    try:
        with open("/proc/%d/cmdline" % pid, "rb") as f:
            if os.path.basename(__file__).encode() not in f.read():
                raise ProcessLookupError
        os.kill(pid, signal.SIGTERM)
    except OSError:
        try:
            os.remove(args.pid_file)
        except OSError:
            pass
        return 0
    # The server removes its pid file last; the process itself may linger as a
    # zombie until whoever adopted it reaps it.
    for _ in range(100):
        time.sleep(0.02)
        if not os.path.exists(args.pid_file):
            return 0
    try:
        os.kill(pid, signal.SIGKILL)
        os.remove(args.pid_file)
    except OSError:
        pass
    return 0


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    commands = parser.add_subparsers(dest="command", required=True)
    serve_parser = commands.add_parser("serve")
    serve_parser.add_argument("--root", required=True)
    serve_parser.add_argument("--host", default="127.0.0.1")
    serve_parser.add_argument("--port", type=int, default=0)
    serve_parser.add_argument("--port-file")
    serve_parser.add_argument("--pid-file")
    serve_parser.add_argument("--daemon", action="store_true")
    stop_parser = commands.add_parser("stop")
    stop_parser.add_argument("--pid-file", required=True)
    args = parser.parse_args()
    return serve(args) if args.command == "serve" else stop(args)


if __name__ == "__main__":
    sys.exit(main())
