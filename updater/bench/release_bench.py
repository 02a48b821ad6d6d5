#!/usr/bin/env python3
"""Release tool benchmark: xrelease create and verify over a release of 2,000
files totalling 200 MB, the native build (libcrypto) and the Windows build
under Wine (CryptoAPI), against sha1sum over the same files in the same run
(the hashing that no publisher can avoid). The files are read once first, so
every run reads from the page cache. Best of 3 runs each.

Usage: release_bench.py --native XRELEASE --windows XRELEASE.EXE --wine WINE --work FOLDER [--short]

With --short it is the check that the tests run: 20 files, one run of each
command, no figures; it fails when a command fails or verify finds a change.
"""
import argparse
import os
import pathlib
import shutil
import subprocess
import sys
import time

FILES = 2000
FILE_BYTES = 100_000
FOLDERS = 40
RUNS = 3
SHORT_FILES = 20
SHORT_FILE_BYTES = 10_000


def best_seconds(command):
    best = float("inf")
    for _ in range(RUNS):
        start = time.perf_counter()
        result = subprocess.run(command, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                stderr=subprocess.PIPE)
        took = time.perf_counter() - start
        if result.returncode != 0:
            sys.exit(f"{' '.join(command)} failed:\n{result.stderr.decode(errors='replace')}")
        best = min(best, took)
    return best


def windows_path(path):
    return "Z:" + str(path).replace("/", "\\")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    for option in ("--native", "--windows", "--wine", "--work"):
        parser.add_argument(option, required=True)
    parser.add_argument("--short", action="store_true", help="the tests' check: small, one run, no figures")
    args = parser.parse_args()
    global FILES, FILE_BYTES, RUNS
    if args.short:
        FILES, FILE_BYTES, RUNS = SHORT_FILES, SHORT_FILE_BYTES, 1

    work = pathlib.Path(args.work)
    release = work / "release"
    shutil.rmtree(work, ignore_errors=True)
    for i in range(FILES):
        path = release / f"pack{i % FOLDERS:02d}" / f"asset{i:05d}.dat"
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_bytes(os.urandom(FILE_BYTES))
    names = sorted(str(p) for p in release.rglob("*.dat"))
    for name in names:  # into the page cache
        pathlib.Path(name).read_bytes()
    manifest = work / "update.xconfig"
    megabytes = FILES * FILE_BYTES / 1e6

    create = ["create", "--version", "1.0.0.1", "--base-url", "http://127.0.0.1:8080/pc/"]
    figures = [
        ("sha1sum (baseline)", best_seconds(["sha1sum", *names])),
        ("native create", best_seconds([args.native, *create, "--output", str(manifest), str(release)])),
        ("native verify", best_seconds([args.native, "verify", "--manifest", str(manifest), str(release)])),
        ("Wine create", best_seconds([args.wine, args.windows, *create, "--output", windows_path(manifest),
                                      windows_path(release)])),
        ("Wine verify", best_seconds([args.wine, args.windows, "verify", "--manifest", windows_path(manifest),
                                      windows_path(release)])),
    ]
    if args.short:
        print(f"release_bench: create and verify over {FILES} files succeeded in both builds")
        shutil.rmtree(work, ignore_errors=True)
        return
    print(f"xrelease over {FILES} files, {megabytes:.0f} MB, best of {RUNS} runs")
    print(f"{'':20} {'seconds':>8} {'MB/s':>8} {'time / sha1sum':>15}")
    baseline = figures[0][1]
    for name, seconds in figures:
        print(f"{name:20} {seconds:8.3f} {megabytes / seconds:8.0f} {seconds / baseline:15.2f}")
    shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
