#!/usr/bin/env python3
"""Transfer benchmark: the updater's hashing and downloading under Wine against
Unix baselines (sha1sum, sha256sum, curl) measured in the same run, over the
local update server. Prints throughputs and ratios. A 256 MiB download goes
against two bare WinHTTP read loops, one writing each block to the file as it
comes (the target's baseline: the updater must store what it fetches) and one
keeping nothing (the network side alone). The whole update run goes twice:
unsigned, comparing SHA-1 (also up to the install pass alone), and signed with
the build tree's key, comparing SHA-256; the signature check is timed on its own (at most 50 ms).
Beside the run, what Wine allows its downloads: bare WinHTTP over the same files
and connections, storing them or keeping nothing, and the updater's own
download queue storing them.
Then a 256 MiB transfer that the server cuts at 90 % and that resumes (bytes
sent in all over the file's size), and runs over 10,000 and 100,000 installed
files that are all current (scan time ratio, peak working set).

    transfer_bench.py --build BUILD_DIR --xrelease XRELEASE [--wine WINE64] [--work DIR] [--short]

With --short it is the check that the tests run: small files, one run of each
of the updater's operations, no baselines and no figures; it fails when an
operation fails.
"""

import argparse
import filecmp
import hashlib
import os
import re
import shutil
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
SERVER = os.path.join(HERE, "..", "tests", "update_server.py")
FULL = {"big_bytes": 256 * 1024 * 1024, "run_files": 2000, "run_file_bytes": 100000,  # a 200 MB run
        "scan_files": (10000, 100000)}
SHORT = {"big_bytes": 1024 * 1024, "run_files": 20, "run_file_bytes": 10000, "scan_files": (20, 200)}
RESUME_LIMIT = 1.15


def wine_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def best_of_three(command):
    best = None
    for _ in range(3):
        start = time.perf_counter()
        subprocess.run(command, check=True, stdout=subprocess.DEVNULL)
        took = time.perf_counter() - start
        best = took if best is None else min(best, took)
    return best


def ensure_file(path, size):
    if os.path.exists(path) and os.path.getsize(path) == size:
        return
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        left = size
        while left:
            chunk = min(left, 16 * 1024 * 1024)
            f.write(os.urandom(chunk))
            left -= chunk


class Bench:
    def __init__(self, args):
        self.exe = os.path.join(args.build, "bench", "transfer_bench.exe")
        self.keys = os.path.join(args.build, "test-keys", "signing")
        self.xrelease = args.xrelease
        self.wine = args.wine
        self.work = os.path.abspath(args.work or os.path.join(args.build, "bench-data"))
        self.root = os.path.join(self.work, "root")
        self.short = args.short
        self.size = SHORT if args.short else FULL

    def windows_figure(self, *arguments):
        """Seconds that transfer_bench.exe reports for one of its modes."""
        # Through a file, not a pipe: a Wine service started along the way would
        # inherit the pipe and keep it open.
        report = os.path.join(self.work, "figure.txt")
        short = ["--short"] if self.short else []
        with open(report, "w") as out:
            subprocess.run([self.wine, self.exe, *short, *arguments], check=True, stdout=out, stdin=subprocess.DEVNULL)
        words = open(report).read().split()
        self.peak = int(words[2]) if len(words) > 2 else None
        self.fetch = float(words[3]) if len(words) > 3 else None
        return float(words[1])

    def row(self, what, size, seconds, baselines):
        print("%-44s %9.1f MB/s  %s" % (what, size / seconds / 1e6,
              "  ".join("%s %.1f MB/s (x%.2f)" % (name, size / t / 1e6, t / seconds) for name, t in baselines)),
              flush=True)

    def run(self):
        big = os.path.join(self.root, "big.bin")
        big_bytes = self.size["big_bytes"]
        ensure_file(big, big_bytes)
        port_file = os.path.join(self.work, "port")
        if os.path.exists(port_file):
            os.remove(port_file)
        server = subprocess.Popen([sys.executable, SERVER, "serve", "--root", self.root, "--port-file", port_file],
                                  stdout=subprocess.DEVNULL)
        try:
            for _ in range(200):
                if os.path.exists(port_file):
                    break
                time.sleep(0.05)
            base = "http://127.0.0.1:%d/" % int(open(port_file).read())
            out = os.path.join(self.work, "out.bin")
            if self.short:
                self.windows_figure("hash", wine_path(big))
                self.windows_figure("hash256", wine_path(big))
                self.windows_figure("bare", base + "big.bin")
                self.windows_figure("bare", base + "big.bin", wine_path(out))
                self.windows_figure("download", base + "big.bin", wine_path(out))
                if open(out, "rb").read() != open(big, "rb").read():
                    sys.exit("transfer_bench: the downloaded file differs from the served one")
                self.full_run(base)
                self.resumed(base, big, out)
                self.scans(base)
                print("transfer_bench: hash, bare read, download, resumed download, an update run of %d files and "
                      "scans of %d and %d current files succeeded" % ((self.size["run_files"],) + self.size["scan_files"]))
                return
            print("256 MiB file, best of 3 runs each; (xN) = the updater's speed over that baseline's", flush=True)
            sha1sum = best_of_three(["sha1sum", big])
            self.row("HashFileSha1", big_bytes, self.windows_figure("hash", wine_path(big)), [("sha1sum", sha1sum)])
            sha256sum = best_of_three(["sha256sum", big])
            self.row("FileHasher SHA-256", big_bytes, self.windows_figure("hash256", wine_path(big)),
                     [("sha256sum", sha256sum)])
            curl = best_of_three(["curl", "-s", "-o", out, base + "big.bin"])
            bare = self.windows_figure("bare", base + "big.bin")
            bare_stored = self.windows_figure("bare", base + "big.bin", wine_path(out))
            ours = self.windows_figure("download", base + "big.bin", wine_path(out))
            self.row("HttpDownloadToFile (target x0.95 of the first)", big_bytes, ours,
                     [("bare WinHTTP loop + WriteFile", bare_stored), ("bare loop keeping nothing", bare),
                      ("curl", curl)])
            self.full_run(base)
            self.resumed(base, big, out)
            self.scans(base)
        finally:
            server.terminate()
            server.wait()


    def full_run(self, base):
        """A whole update run of 2,000 missing files against one curl fetching
        them all (one process, connections reused) followed by sha1sum."""
        run_files, run_file_bytes = self.size["run_files"], self.size["run_file_bytes"]
        release = os.path.join(self.root, "release")
        names = ["files/f%04d.bin" % i for i in range(run_files)]
        for name in names:
            path = os.path.join(release, name)
            if not (os.path.exists(path) and os.path.getsize(path) == run_file_bytes):
                os.makedirs(os.path.dirname(path), exist_ok=True)
                with open(path, "wb") as f:
                    f.write(os.urandom(run_file_bytes))
        # Published as a vendor publishes a release, signed: "signed.xconfig"
        # and its signature. "update.xconfig" is the same release without
        # "Sha256", as an updater without a key compares it (SHA-1).
        # The server keeps its records of a folder in it ("_requests.log"): no release files.
        signed = os.path.join(release, "signed.xconfig")
        subprocess.run([self.xrelease, "create", "--version", "2.0.0.0", "--base-url", base + "release/",
                        "--exclude", "_*", "--exclude", "*.xconfig", "--output", signed,
                        "--sign-key", os.path.join(self.keys, "private.pem"), release],
                       check=True, stdout=subprocess.DEVNULL)
        with open(signed, encoding="utf-8", newline="") as f:
            unsigned_text = re.sub(r"\t*Sha256 : [0-9a-f]+\r\n", "", f.read())
        if "Sha256" in unsigned_text:
            sys.exit("transfer_bench: the unsigned manifest still names SHA-256 digests")
        with open(os.path.join(release, "update.xconfig"), "w", encoding="utf-8", newline="") as f:
            f.write(unsigned_text)
        public_key = wine_path(os.path.join(self.keys, "public.pem"))

        install = os.path.join(self.work, "install")
        fetched = os.path.join(self.work, "fetched")
        curl_config = os.path.join(self.work, "curl.config")
        with open(curl_config, "w") as f:
            for name in names:
                f.write('url = "%srelease/%s"\noutput = "%s"\n' % (base, name, os.path.join(fetched, name)))
        total = run_files * run_file_bytes

        def updater_run(with_key=False):
            shutil.rmtree(install, ignore_errors=True)
            os.makedirs(install)
            with open(os.path.join(install, "baseinfo.xconfig"), "w") as f:
                f.write("url : {\nUpdaterConfigeUrl : %srelease/%s\n}\n"
                        % (base, "signed.xconfig" if with_key else "update.xconfig"))
            seconds = self.windows_figure("run", wine_path(os.path.join(install, "Castwright PC.exe")), "1.0.0.0",
                                          *([public_key] if with_key else []))
            return seconds, self.fetch

        def curl_and_sha1sum():
            shutil.rmtree(fetched, ignore_errors=True)
            start = time.perf_counter()
            subprocess.run(["curl", "-s", "--create-dirs", "-K", curl_config], check=True)
            subprocess.run(["sha1sum"] + [os.path.join(fetched, name) for name in names], check=True,
                           stdout=subprocess.DEVNULL)
            return time.perf_counter() - start

        file_list = os.path.join(self.work, "files.txt")
        with open(file_list, "w") as f:
            f.write("".join(name + "\n" for name in names))
        stored = os.path.join(self.work, "stored")

        def files_run(mode):
            """Seconds of transfer_bench.exe's "files" or "queue" storing the
            release's files into a new folder."""
            shutil.rmtree(stored, ignore_errors=True)
            os.makedirs(stored)
            seconds = self.windows_figure(mode, base + "release/", wine_path(file_list), wine_path(stored))
            for name in names if self.short else ():
                if not filecmp.cmp(os.path.join(release, name), os.path.join(stored, name), shallow=False):
                    sys.exit("transfer_bench: %s stored %s wrongly" % (mode, name))
            return seconds

        if self.short:
            files_run("files")
            files_run("queue")
            for with_key in (False, True):
                updater_run(with_key)
                for name in names:
                    if not filecmp.cmp(os.path.join(release, name), os.path.join(install, name), shallow=False):
                        sys.exit("transfer_bench: the update run installed %s wrongly" % name)
            self.windows_figure("verify", wine_path(signed), public_key)
            return

        print("\nFull run: %d files of %d bytes, best of 2 runs each" % (run_files, run_file_bytes), flush=True)
        ours, fetch = min(updater_run() for _ in range(2))
        signed_run, _ = min(updater_run(True) for _ in range(2))
        baseline = min(curl_and_sha1sum() for _ in range(2))
        self.row("update run, unsigned, SHA-1 (target x0.5)", total, ours, [("curl + sha1sum", baseline)])
        self.row("  of it: up to the install pass", total, fetch, [("curl + sha1sum", baseline)])
        print("%-44s %9.2f s  (moves and journal of %d files)" % ("  of it: the install pass", ours - fetch,
                                                                   run_files))
        # What Wine allows the downloads of a run: bare WinHTTP over the same
        # files and connections, storing each file (as a run must) or nothing.
        bare_stored = min(files_run("files") for _ in range(2))
        bare = self.windows_figure("files", base + "release/", wine_path(file_list))
        self.row("  bare WinHTTP, 4 connections, files stored", total, bare_stored, [("curl + sha1sum", baseline)])
        self.row("  bare WinHTTP, keeping nothing", total, bare, [("curl + sha1sum", baseline)])
        self.row("  updater's downloads alone, files stored", total, min(files_run("queue") for _ in range(2)),
                 [("bare WinHTTP, files stored", bare_stored)])
        self.row("update run, signed, SHA-256", total, signed_run, [("unsigned SHA-1 run", ours)])
        print("%-44s %9.1f files/s  curl + sha1sum %.1f files/s" % ("", run_files / ours, run_files / baseline))
        check = self.windows_figure("verify", wine_path(signed), public_key)
        print("%-44s %9.1f ms (limit 50 ms; fetching the signature: one more request)"
              % ("signature check (VerifyManifestFile)", check * 1000))
        if check > 0.05:
            sys.exit("transfer_bench: the signature check took %.1f ms, over 50 ms" % (check * 1000))


    def resumed(self, base, big, out):
        """A transfer of the big file that the server cuts at 90 % once: the
        bytes it sent in all, over the file's size."""
        faults = os.path.join(self.root, "_faults.txt")
        sent_log = os.path.join(self.root, "_sent.log")
        with open(faults, "w") as f:
            f.write("big.bin cut 0.9 times=1\n")
        before = os.path.getsize(sent_log) if os.path.exists(sent_log) else 0
        try:
            seconds = self.windows_figure("resume", base + "big.bin", wine_path(out))
        finally:
            os.remove(faults)
        with open(sent_log) as f:
            f.seek(before)
            sent = [int(line.split()[1]) for line in f if line.startswith("big.bin ")]
        size = os.path.getsize(big)
        if len(sent) != 2 or not filecmp.cmp(big, out, shallow=False):
            sys.exit("transfer_bench: the cut transfer did not resume into the whole file (bodies sent: %s)" % sent)
        ratio = sum(sent) / size
        print("%-44s %9.1f MB/s  bytes sent %d + %d = x%.3f of the file (limit x%.2f)"
              % ("resumed after a cut at 90 %", size / seconds / 1e6, sent[0], sent[1], ratio, RESUME_LIMIT), flush=True)
        if ratio > RESUME_LIMIT:
            sys.exit("transfer_bench: the resumed transfer fetched x%.3f of the file" % ratio)

    def scans(self, base):
        """Update runs over installations whose files are all current: only
        the scan works. Time and peak working set, small against large."""
        figures = []
        for count in self.size["scan_files"]:
            scope = os.path.join(self.root, "scan%d" % count)
            install = os.path.join(self.work, "scan-install-%d" % count)
            manifest = os.path.join(scope, "update.xconfig")
            if not os.path.exists(manifest):
                os.makedirs(scope, exist_ok=True)
                entries = []
                for i in range(count):
                    name = "d%03d\\f%06d.txt" % (i % 100, i)
                    data = b"file %d\n" % i
                    path = os.path.join(install, name.replace("\\", "/"))
                    os.makedirs(os.path.dirname(path), exist_ok=True)
                    with open(path, "wb") as f:
                        f.write(data)
                    entries.append("\t%s : {\r\n\t\tHash : %s\r\n\t\tSize : %d\r\n\t}\r\n"
                                   % (name, hashlib.sha1(data).hexdigest(), len(data)))
                with open(manifest + ".tmp", "w", newline="") as f:
                    f.write("BaseInfo : {\r\n\tVersion : 2.0.0.0\r\n\tBaseUrl : %sscan%d/\r\n}\r\nFileList : {\r\n"
                            % (base, count))
                    f.write("".join(entries))
                    f.write("}\r\n")
                os.replace(manifest + ".tmp", manifest)
            with open(os.path.join(install, "baseinfo.xconfig"), "w") as f:
                f.write("url : {\nUpdaterConfigeUrl : %sscan%d/update.xconfig\n}\n" % (base, count))
            seconds = self.windows_figure("run", wine_path(os.path.join(install, "Castwright PC.exe")), "1.0.0.0")
            figures.append((count, seconds, self.peak))
        if self.short:
            return
        (small, small_s, small_peak), (large, large_s, large_peak) = figures
        print("\nUpdate runs over installations whose files are all current (scan only)")
        for count, seconds, peak in figures:
            print("%-44s %9.2f s  %7.0f files/s  peak working set %.1f MB"
                  % ("%d files" % count, seconds, count / seconds, peak / 1e6))
        print("%-44s time x%.2f (limit x11), peak %.1f MB (limit 100 MB)"
              % ("%d against %d files" % (large, small), large_s / small_s, large_peak / 1e6), flush=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", required=True, help="the win64 build folder")
    parser.add_argument("--xrelease", required=True, help="the native release tool, which publishes the release")
    parser.add_argument("--wine", default="/usr/lib/wine/wine64" if os.path.exists("/usr/lib/wine/wine64") else "wine")
    parser.add_argument("--work", help="folder for the data (default BUILD/bench-data)")
    parser.add_argument("--short", action="store_true", help="the tests' check: small, one run, no figures")
    Bench(parser.parse_args()).run()
    return 0


if __name__ == "__main__":
    sys.exit(main())
