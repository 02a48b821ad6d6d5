#!/usr/bin/env python3
"""nginx serving the local update server's root over HTTPS, for the tests
and the demo.

  https_server.py serve --root ROOT --state DIR --http-port-file FILE [--proxy]
  https_server.py stop --state DIR

serve makes (once, in DIR/tls) a test certificate authority and server
certificates with openssl, then starts nginx on free loopback ports, one
server per certificate, each serving ROOT:

  good       issued by the test authority for 127.0.0.1 and localhost; its
             location /to-http/ redirects to the same path on the plain HTTP
             update server whose port is in FILE
  expired    issued by the test authority, valid only in January 2020
  wronghost  issued by the test authority for other.example only
  unknown    self-signed, by no authority anybody trusts

and writes "NAME PORT" lines to ROOT/https-ports. With --proxy the good
server passes every request on to the plain HTTP update server instead (as it
comes, unbuffered), so that its faults and records apply over HTTPS too. The authority's certificate
is DIR/tls/ca.pem; only the Wine prefix of the tests trusts it (trust_ca.exe).
Everything nginx writes (pid, logs, temporary files) stays in DIR. stop ends
that nginx and waits for it. Uses only Python's standard library.
"""
import argparse
import os
import pathlib
import signal
import socket
import subprocess
import sys
import time

SERVERS = ("good", "expired", "wronghost", "unknown")


def openssl(*args, cwd):
    subprocess.run(["openssl", *args], cwd=cwd, check=True, stdin=subprocess.DEVNULL,
                   stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)


def make_certificates(tls):
    """The authority and one certificate per server, made once."""
    if (tls / "unknown.pem").exists():
        return
    tls.mkdir(parents=True, exist_ok=True)
    openssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", "ca.key", "-out", "ca.pem",
            "-days", "3650", "-subj", "/CN=Castwright Test Authority",
            "-addext", "basicConstraints=critical,CA:TRUE",
            "-addext", "keyUsage=critical,keyCertSign,cRLSign", cwd=tls)
    (tls / "local.ext").write_text("subjectAltName=IP:127.0.0.1,DNS:localhost\n"
                                   "extendedKeyUsage=serverAuth\n")
    (tls / "other.ext").write_text("subjectAltName=DNS:other.example\nextendedKeyUsage=serverAuth\n")
    openssl("req", "-newkey", "rsa:2048", "-nodes", "-keyout", "server.key", "-out", "local.csr",
            "-subj", "/CN=127.0.0.1", cwd=tls)
    openssl("req", "-new", "-key", "server.key", "-out", "other.csr", "-subj", "/CN=other.example", cwd=tls)
    openssl("x509", "-req", "-in", "local.csr", "-CA", "ca.pem", "-CAkey", "ca.key", "-CAcreateserial",
            "-days", "825", "-sha256", "-extfile", "local.ext", "-out", "good.pem", cwd=tls)
    openssl("x509", "-req", "-in", "other.csr", "-CA", "ca.pem", "-CAkey", "ca.key", "-CAcreateserial",
            "-days", "825", "-sha256", "-extfile", "other.ext", "-out", "wronghost.pem", cwd=tls)
    # Dates in the past need the ca command and its bookkeeping.
    (tls / "index.txt").write_text("")
    (tls / "ca.cnf").write_text("[ca]\ndefault_ca = test\n[test]\ndatabase = index.txt\n"
                                "new_certs_dir = .\nserial = ca.srl\ndefault_md = sha256\n"
                                "policy = any\n[any]\ncommonName = supplied\n")
    openssl("ca", "-batch", "-config", "ca.cnf", "-cert", "ca.pem", "-keyfile", "ca.key", "-in", "local.csr",
            "-startdate", "20200101000000Z", "-enddate", "20200201000000Z", "-extfile", "local.ext",
            "-notext", "-out", "expired.pem", cwd=tls)
    openssl("req", "-x509", "-key", "server.key", "-out", "unknown.pem", "-days", "825",
            "-subj", "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1,DNS:localhost", cwd=tls)


def free_ports(count):
    sockets = []
    for _ in range(count):
        s = socket.socket()
        s.bind(("127.0.0.1", 0))
        sockets.append(s)
    ports = [s.getsockname()[1] for s in sockets]
    for s in sockets:
        s.close()
    return ports


def configuration(root, state, tls, ports, http_port, proxy):
    temp = state / "temp"
    servers = []
    for name, port in zip(SERVERS, ports):
        redirect = (f"    location /to-http/ {{\n"
                    f"      rewrite ^/to-http/(.*)$ http://127.0.0.1:{http_port}/$1 redirect;\n    }}\n"
                    if name == "good" else "")
        if name == "good" and proxy:
            redirect = (f"    location / {{\n      proxy_pass http://127.0.0.1:{http_port};\n"
                        f"      proxy_buffering off;\n      proxy_read_timeout 600s;\n    }}\n")
        servers.append(f"  server {{\n    listen 127.0.0.1:{port} ssl;\n"
                       f"    ssl_certificate {tls / (name + '.pem')};\n"
                       f"    ssl_certificate_key {tls / 'server.key'};\n"
                       f"    root {root};\n{redirect}  }}\n")
    return (f"daemon on;\nuser root;\nworker_processes 1;\npid {state / 'nginx.pid'};\n"
            f"error_log {state / 'error.log'};\nevents {{\n  worker_connections 64;\n}}\n"
            f"http {{\n  access_log {state / 'access.log'};\n"
            f"  client_body_temp_path {temp / 'body'};\n  proxy_temp_path {temp / 'proxy'};\n"
            f"  fastcgi_temp_path {temp / 'fastcgi'};\n  uwsgi_temp_path {temp / 'uwsgi'};\n"
            f"  scgi_temp_path {temp / 'scgi'};\n"
            "  types {\n    text/plain txt xconfig;\n  }\n  default_type application/octet-stream;\n"
            "  gzip on;\n  gzip_types text/plain;\n  gzip_min_length 1;\n"
            + "".join(servers) + "}\n")


def stop(state):
    pid_file = state / "nginx.pid"
    try:
        pid = int(pid_file.read_text().strip())
    except (OSError, ValueError):
        return
    try:
        os.kill(pid, signal.SIGQUIT)
    except ProcessLookupError:
        return
    for _ in range(200):
        try:
            os.kill(pid, 0)
        except ProcessLookupError:
            return
        time.sleep(0.05)
    os.kill(pid, signal.SIGKILL)


def serve(root, state, http_port_file, proxy):
    root, state = root.resolve(), state.resolve()
    stop(state)
    tls = state / "tls"
    make_certificates(tls)
    (state / "temp").mkdir(parents=True, exist_ok=True)
    root.mkdir(parents=True, exist_ok=True)
    http_port = int(pathlib.Path(http_port_file).read_text().strip())
    ports = free_ports(len(SERVERS))
    conf = state / "nginx.conf"
    conf.write_text(configuration(root, state, tls, ports, http_port, proxy))
    result = subprocess.run(["nginx", "-c", str(conf), "-p", str(state), "-e", str(state / "error.log")],
                            stdin=subprocess.DEVNULL, capture_output=True, text=True)
    if result.returncode != 0:
        sys.exit(f"nginx did not start:\n{result.stderr}")
    (root / "https-ports").write_text("".join(f"{n} {p}\n" for n, p in zip(SERVERS, ports)))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    commands = parser.add_subparsers(dest="command", required=True)
    serve_parser = commands.add_parser("serve")
    serve_parser.add_argument("--root", required=True, type=pathlib.Path)
    serve_parser.add_argument("--state", required=True, type=pathlib.Path)
    serve_parser.add_argument("--http-port-file", required=True)
    serve_parser.add_argument("--proxy", action="store_true")
    stop_parser = commands.add_parser("stop")
    stop_parser.add_argument("--state", required=True, type=pathlib.Path)
    args = parser.parse_args()
    if args.command == "serve":
        serve(args.root, args.state, args.http_port_file, args.proxy)
    else:
        stop(args.state.resolve())


if __name__ == "__main__":
    main()
