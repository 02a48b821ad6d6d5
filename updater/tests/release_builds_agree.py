#!/usr/bin/env python3
"""The Windows build of xrelease, under Wine, writes the same manifest as the
native build for the same folder, byte for byte, and each build verifies the
other's manifest and sees the same changed byte. A release signed by the
native build checks with openssl and with the Windows build (CryptoAPI), and
neither accepts it changed or checked with another key.

Usage: release_builds_agree.py --native XRELEASE --windows XRELEASE.EXE --wine WINE
"""
import argparse
import difflib
import os
import pathlib
import subprocess
import sys
import tempfile

# Names that exercise sorting, quoting, separators and non-ASCII text.
FILES = {
    "Castwright PC.exe": bytes(range(256)) * 1024,  # several read blocks
    "empty.dat": b"",
    "plugins/chat {beta}, v2.dll": b"abc",
    " lead/Mixed.Case": b"M",
    "res/caf\u00e9/\u4e2d\u6587 \U0001F600.png": b"x" * 70000,
    "res/a.pdb": b"symbols",
    "logs/today.log": b"log",
    "a.b.c": b"dots",
}
CREATE = ["create", "--version", "3.2.1.40", "--base-url", "https://cdn.example/pc/3.2.1.40",
          "--updater-version", "1.0.7", "--must", "1", "--exclude", "*.pdb", "--exclude", "logs"]
VERIFY_EXCLUDES = ["--exclude", "*.pdb", "--exclude", "logs"]


def windows_path(path):
    """The path as a Windows program under Wine names it."""
    return "Z:" + str(path).replace("/", "\\")


def run(command, expected_status=0):
    result = subprocess.run(command, stdin=subprocess.DEVNULL, capture_output=True, text=True,
                            encoding="utf-8", errors="replace")
    if result.returncode != expected_status:
        sys.exit(f"{' '.join(command)}\nexited {result.returncode}, expected {expected_status}\n"
                 f"{result.stdout}{result.stderr}")
    return result.stdout.replace("\r\n", "\n")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--native", required=True)
    parser.add_argument("--windows", required=True)
    parser.add_argument("--wine", required=True)
    args = parser.parse_args()
    if not os.access(args.native, os.X_OK):
        sys.exit(f"no native xrelease at {args.native}: build the native preset first")

    with tempfile.TemporaryDirectory(prefix="xrelease-builds-") as temp:
        root = pathlib.Path(temp)
        release = root / "release"
        for name, content in FILES.items():
            path = release / name
            path.parent.mkdir(parents=True, exist_ok=True)
            path.write_bytes(content)
        native_manifest = root / "native.xconfig"
        windows_manifest = root / "windows.xconfig"

        run([args.native, *CREATE, "--output", str(native_manifest), str(release)])
        run([args.wine, args.windows, *CREATE, "--output", windows_path(windows_manifest), windows_path(release)])
        native_text = native_manifest.read_bytes()
        windows_text = windows_manifest.read_bytes()
        if native_text != windows_text:
            diff = difflib.unified_diff(native_text.decode("utf-8", "replace").splitlines(),
                                        windows_text.decode("utf-8", "replace").splitlines(),
                                        "native", "windows", lineterm="")
            sys.exit("the builds wrote different manifests:\n" + "\n".join(diff))
        listed = native_text.count(b"\tHash : ")
        if listed != 6:
            sys.exit(f"expected 6 files in the manifest, found {listed}:\n{native_text.decode('utf-8', 'replace')}")

        # Each build verifies the other's manifest, and both see one changed byte.
        summary = "6 files listed: 0 missing, 0 changed, 0 extra\n"
        for manifest in (windows_manifest, native_manifest):
            out = run([args.native, "verify", *VERIFY_EXCLUDES, "--manifest", str(manifest), str(release)])
            out += run([args.wine, args.windows, "verify", *VERIFY_EXCLUDES, "--manifest",
                        windows_path(manifest), windows_path(release)])
            if out != summary * 2:
                sys.exit(f"verify of {manifest.name} said:\n{out}")
        changed = release / "res/caf\u00e9/\u4e2d\u6587 \U0001F600.png"
        changed.write_bytes(b"x" * 35000 + b"y" + b"x" * 34999)
        expected = ("changed: res\\caf\u00e9\\\u4e2d\u6587 \U0001F600.png (content differs)\n"
                    "6 files listed: 0 missing, 1 changed, 0 extra\n")
        out_native = run([args.native, "verify", *VERIFY_EXCLUDES, "--manifest", str(native_manifest),
                          str(release)], 1)
        out_windows = run([args.wine, args.windows, "verify", *VERIFY_EXCLUDES, "--manifest",
                           windows_path(native_manifest), windows_path(release)], 1)
        if out_native != expected or out_windows != expected:
            sys.exit(f"after a changed byte, native said:\n{out_native}windows said:\n{out_windows}")
        check_signatures(args, root, release)
    print("release_builds_agree: 1 passed, 0 failed")


def check_signatures(args, root, release):
    keys, stranger = root / "keys", root / "stranger"
    keys.mkdir()
    stranger.mkdir()
    run([args.native, "keygen", str(keys)])
    run([args.native, "keygen", str(stranger)])
    run([args.native, *CREATE, "--sign-key", str(keys / "private.pem"), str(release)])
    manifest = release / "update.xconfig"
    signature = release / "update.xconfig.sig"
    checked = run(["openssl", "dgst", "-sha256", "-verify", str(keys / "public.pem"), "-signature", str(signature),
                   str(manifest)])
    if checked.strip() != "Verified OK":
        sys.exit(f"openssl said: {checked}")
    if b"\tSha256 : " not in manifest.read_bytes():
        sys.exit("no Sha256 in the signed manifest")

    def verify(key, status):
        verify_args = ["verify", *VERIFY_EXCLUDES, "--public-key"]
        out = run([args.native, *verify_args, str(key), str(release)], status)
        out += run([args.wine, args.windows, *verify_args, windows_path(key), windows_path(release)], status)
        return out

    good = verify(keys / "public.pem", 0)
    if good.count("signature: good") != 2:
        sys.exit(f"a good signature was not seen as good:\n{good}")
    for key, change in ((stranger / "public.pem", b""), (keys / "public.pem", b" ")):
        manifest.write_bytes(manifest.read_bytes() + change)
        bad = verify(key, 1)
        if bad.count("does not match the manifest and the key") != 2:
            sys.exit(f"a bad signature was not refused:\n{bad}")


if __name__ == "__main__":
    main()
