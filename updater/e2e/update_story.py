#!/usr/bin/env python3
"""The updater's whole story on this machine, as a user meets it.

    update_story.py --build BUILD_WIN64 --xrelease XRELEASE --pictures DIR [--work DIR] [--wine WINE64]

A vendor makes a key pair and publishes release 1.0.0.1 with xrelease, signed
and expiring in 30 days, served over HTTPS by nginx (its certificate from a
test authority that only the Wine prefix trusts) in front of the local update
server, which keeps its faults and records; an installation of client
1.0.0.0, whose programs carry the release key, calls UpdateWeb, which starts
"Updater_new.exe"; the updater ends the client, shows its window while it
fetches the new and changed files, installs them and starts the client again
with "-withoutupdater". A second installation meets a release whose file the
server refuses (status 404) and shows the failed look until its button is
pressed. The updater's window is photographed at its start, during progress
and in the failed look (PNG files in DIR). Every step is checked; the script
ends with status 1 and says why when the story does not happen.

Runs the Windows programs of BUILD_WIN64 under Wine: the caller provides the
Wine prefix, its running wineserver and the display (see scripts/updater.sh).
"""

import argparse
import filecmp
import math
import os
import random
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import time
import urllib.parse
import wave

HERE = os.path.dirname(os.path.abspath(__file__))
SERVER = os.path.join(HERE, "..", "tests", "update_server.py")
HTTPS_SERVER = os.path.join(HERE, "..", "tests", "https_server.py")
CLIENT = "Castwright PC.exe"
UPDATER_COPY = "Updater_new.exe"
OLD_VERSION = "1.0.0.0"
NEW_VERSION = "1.0.0.1"
WAIT_SECONDS = 60
# Server delays that hold the window in one look long enough to photograph it
# (and to watch it): the manifest at the updater's start, the big file.
START_DELAY = 3
PROGRESS_DELAY = 4
BIG_FILE = "media/intro.pak"
REFUSED_FILE = "data/themes/dark.theme"


class StoryFailed(Exception):
    pass


def wine_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def wait_for(condition, what, seconds=WAIT_SECONDS):
    """Waits until condition() is true, looking every 50 ms."""
    deadline = time.monotonic() + seconds
    while not condition():
        if time.monotonic() > deadline:
            raise StoryFailed("%s did not happen within %d s" % (what, seconds))
        time.sleep(0.05)


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb" if isinstance(data, bytes) else "w", encoding=None if isinstance(data, bytes) else "utf-8") as f:
        f.write(data)


def place(source, folder, name):
    """Copies the file `source` to `name` below `folder`."""
    target = os.path.join(folder, name)
    os.makedirs(os.path.dirname(target), exist_ok=True)
    shutil.copyfile(source, target)


def lines_of(path):
    try:
        with open(path, encoding="utf-8", errors="replace") as f:
            return f.read().splitlines()
    except OSError:
        return []


def chime(seconds, tones):
    """A small stereo WAV of a chord: the client's notification sound."""
    rate = 44100
    frames = bytearray()
    for i in range(int(rate * seconds)):
        fade = 1.0 - i / (rate * seconds)
        value = sum(math.sin(2 * math.pi * tone * i / rate) for tone in tones) / len(tones)
        sample = int(12000 * fade * value)
        frames += struct.pack("<hh", sample, sample)
    with tempfile.NamedTemporaryFile(suffix=".wav", delete=False) as f:
        name = f.name
    with wave.open(name, "wb") as out:
        out.setnchannels(2)
        out.setsampwidth(2)
        out.setframerate(rate)
        out.writeframes(bytes(frames))
    with open(name, "rb") as f:
        data = f.read()
    os.remove(name)
    return data


def data_files(version):
    """The client's data files of a version (1.0.0.0 or 1.0.0.1), by name."""
    readme = ("Castwright PC %s\n\nRelease notes\n" % version +
              "- Chat: pictures and buttons in messages.\n" +
              ("- Faster start-up; the chat keeps its place when you scroll.\n"
               "- New: dark theme, Chinese (Simplified) interface, a notification sound and an intro.\n"
               if version == NEW_VERSION else ""))
    english = ["app.title = Castwright", "chat.send = Send", "chat.placeholder = Write a message"]
    if version == NEW_VERSION:
        english += ["chat.sound = Notification sound", "theme.dark = Dark", "intro.skip = Skip intro"]
    files = {
        "readme.txt": readme,
        "data/lang/en-US.lang": "\n".join(english) + "\n",
        "data/emoji/map.txt": "".join(":%s: U+%04X\n" % (name, code) for name, code in
                                      [("smile", 0x1F604), ("heart", 0x2764), ("thumbs_up", 0x1F44D)]),
    }
    if version == NEW_VERSION:
        files.update({
            "data/lang/zh-CN.lang": "app.title = 卡斯特莱特\nchat.send = 发送\nchat.placeholder = 输入消息\n"
                                    "chat.sound = 提示音\ntheme.dark = 深色\nintro.skip = 跳过片头\n",
            REFUSED_FILE: "background = #292727\ntext = #EDEFF4\naccent = #38686A\nbar = #373739\n",
            "data/sounds/message.wav": chime(4.0, [523.25, 659.25, 783.99]),
            # Packed video frames: incompressible, a little over 2 MiB.
            BIG_FILE: random.Random(1001).randbytes(2 * 1024 * 1024 + 4321),
        })
    return files


class Story:
    def __init__(self, args):
        self.build = os.path.abspath(args.build)
        self.xrelease_program = args.xrelease
        self.wine = args.wine
        self.work = os.path.abspath(args.work)
        self.pictures = os.path.abspath(args.pictures)
        self.server_root = os.path.join(self.work, "server")
        self.pid_file = os.path.join(self.work, "server.pid")
        self.port = None
        self.https_port = None
        self.https_state = os.path.join(self.work, "https")
        self.keys = os.path.join(self.work, "keys")
        self.started = []  # Wine processes started here

    # --- tools --------------------------------------------------------------
    def probe(self, *arguments):
        """Runs demo_probe under Wine; returns the lines it printed."""
        # Output through a file, not a pipe: a Wine service started along the
        # way would inherit a pipe and hold it open.
        with tempfile.TemporaryFile() as out:
            status = subprocess.run([self.wine, os.path.join(self.build, "e2e", "demo_probe.exe"), *arguments],
                                    stdin=subprocess.DEVNULL, stdout=out, stderr=subprocess.STDOUT).returncode
            out.seek(0)
            text = out.read().decode("utf-8", "replace").strip()
        if status != 0:
            raise StoryFailed(text or "demo_probe %s failed with status %d" % (arguments[0], status))
        return text.splitlines() or [""]

    def xrelease(self, *arguments):
        """Runs the native xrelease; returns (exit status, its output lines)."""
        done = subprocess.run([self.xrelease_program, *arguments], stdin=subprocess.DEVNULL, capture_output=True,
                              text=True)
        if done.returncode == 2:
            raise StoryFailed("xrelease %s: %s" % (arguments[0], done.stderr.strip()))
        return done.returncode, done.stdout.splitlines()

    def url(self, path):
        return "https://localhost:%d/%s" % (self.https_port, path)

    def requests(self, scope):
        """The paths requested in a scope so far, in order."""
        return [line.split()[3] for line in lines_of(os.path.join(self.server_root, scope, "_requests.log"))
                if line.startswith("@ ")]

    def sent(self, scope):
        """The paths (relative to the scope) whose bodies were sent so far."""
        return [line.rsplit(" ", 1)[0] for line in lines_of(os.path.join(self.server_root, scope, "_sent.log"))]

    def program(self, *parts):
        path = os.path.join(self.build, *parts)
        if not os.path.isfile(path):
            raise StoryFailed("%s is missing: build the win64 preset first" % path)
        return path

    # --- the set-up ---------------------------------------------------------
    def start_server(self):
        subprocess.run([sys.executable, SERVER, "stop", "--pid-file", self.pid_file], check=True)
        port_file = os.path.join(self.work, "server.port")
        subprocess.run([sys.executable, SERVER, "serve", "--daemon", "--root", self.server_root,
                        "--port-file", port_file, "--pid-file", self.pid_file], check=True)
        with open(port_file, encoding="ascii") as f:
            self.port = int(f.read())
        subprocess.run([sys.executable, HTTPS_SERVER, "serve", "--proxy", "--root", self.server_root,
                        "--state", self.https_state, "--http-port-file", port_file], check=True)
        with open(os.path.join(self.server_root, "https-ports"), encoding="ascii") as f:
            self.https_port = int(dict(line.split() for line in f)["good"])
        # Only this Wine prefix trusts the test authority.
        if subprocess.run([self.wine, self.program("tests", "trust_ca.exe"),
                           wine_path(os.path.join(self.https_state, "tls", "ca.pem"))],
                          stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL).returncode != 0:
            raise StoryFailed("the Wine prefix does not trust the test authority")

    def stop_server(self):
        subprocess.run([sys.executable, HTTPS_SERVER, "stop", "--state", self.https_state])
        subprocess.run([sys.executable, SERVER, "stop", "--pid-file", self.pid_file])

    def button_picture(self):
        """The updater's button picture from the build, when it makes one."""
        path = os.path.join(self.build, "ui", "res", "login_normal.png")
        return path if os.path.isfile(path) else None

    def place_programs(self, folder, client_build):
        """The client of a build, the updater and its button picture."""
        place(self.program("e2e", client_build, CLIENT), folder, CLIENT)
        place(self.program("ui", "signed", "Updater.exe"), folder, "Updater.exe")
        if self.button_picture():
            place(self.button_picture(), folder, "res/login_normal.png")

    def publish(self, scope, faults):
        """Publishes release 1.0.0.1 in a scope of the server, as a vendor does."""
        release = os.path.join(self.server_root, scope, NEW_VERSION)
        self.place_programs(release, "demo_client_1_0_0_1")
        for name, content in data_files(NEW_VERSION).items():
            write(os.path.join(release, name), content)
        status, output = self.xrelease("create", "--version", NEW_VERSION, "--base-url",
                                       self.url("%s/%s/" % (scope, NEW_VERSION)), "--expires-days", "30",
                                       "--sign-key", os.path.join(self.keys, "private.pem"), release)
        if status != 0:
            raise StoryFailed("xrelease create: %s" % output)
        write(os.path.join(self.server_root, scope, "_faults.txt"),
              "".join("%s/%s\n" % (NEW_VERSION, fault) for fault in faults))
        return release, output[0]

    def install(self, folder, scope):
        """A fresh installation of client 1.0.0.0 that asks `scope` for updates."""
        self.place_programs(folder, "demo_client_1_0_0_0")
        for name, content in data_files(OLD_VERSION).items():
            write(os.path.join(folder, name), content)
        write(os.path.join(folder, "baseinfo.xconfig"),
              "url : {\nUpdaterConfigeUrl : %s\n}\n" % self.url("%s/%s/update.xconfig" % (scope, NEW_VERSION)))

    def verify(self, release, folder):
        """xrelease verify of an installation against the release: the files
        that differ ("missing: NAME", "changed: NAME (...)") and the summary."""
        # Whatever the client and the updater leave beside the files is no news.
        ignored = ["baseinfo.xconfig", "update.xconfig", "update.xconfig.sig", "client-starts.txt", "updateweb.txt",
                   UPDATER_COPY, "XT.log", "Temp"]
        _, output = self.xrelease("verify", "--manifest", os.path.join(release, "update.xconfig"),
                                  "--public-key", os.path.join(self.keys, "public.pem"),
                                  *[word for name in ignored for word in ("--exclude", name)], folder)
        return [line for line in output[:-1] if not line.startswith(("extra: ", "signature: good", "expires "))], \
            output[-1]

    def version_of(self, folder):
        return self.probe("product-version", wine_path(os.path.join(folder, CLIENT)))[0]

    def start_client(self, folder):
        """Starts the installed client under Wine as a user would, with the
        option that makes the stand-in call UpdateWeb."""
        self.started.append(subprocess.Popen([self.wine, wine_path(os.path.join(folder, CLIENT)), "--call-updateweb"],
                                             cwd=folder, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                             stderr=subprocess.DEVNULL))

    def update_web_result(self, folder):
        """The result UpdateWeb gave the client: "true" or "false"."""
        records = os.path.join(folder, "updateweb.txt")
        wait_for(lambda: "called" in lines_of(records), "the client's UpdateWeb call")
        return lines_of(records)[0].split()[0]

    def photograph(self, name, held=None):
        """Photographs the updater's window. With `held`, a question whether
        the server is still holding back the answer that keeps the window in
        one look: the picture shows that look only if it still is afterwards.
        Without, waits for the failed look."""
        path = os.path.join(self.pictures, name)
        arguments = ["capture", UPDATER_COPY, wine_path(path)] + ([] if held else ["--failed"])
        printed = self.probe(*arguments)
        if held and not held():
            raise StoryFailed("%s: the updater went on while its window was photographed (a slow machine?): "
                              "the picture may show a later look" % name)
        rect = printed[0].split()
        return path, "%s x %s at (%s, %s)" % (rect[2], rect[3], rect[0], rect[1]), printed[1:]

    @staticmethod
    def show_log(folder):
        """Prints the updater's log in `folder`, if it wrote one; returns its text."""
        log = os.path.join(folder, "XT.log")
        if not os.path.exists(log):
            print("XT.log: none (the updater wrote no log: no error, no leak report)")
            return ""
        with open(log, encoding="utf-8-sig", errors="replace") as f:
            text = f.read()
        print("XT.log (%s):\n%s" % (log, text))
        return text

    # --- the runs -----------------------------------------------------------
    def run(self):
        shutil.rmtree(self.work, ignore_errors=True)
        os.makedirs(self.pictures, exist_ok=True)
        for old in os.listdir(self.pictures):
            if old.startswith("updater-"):
                os.remove(os.path.join(self.pictures, old))
        os.makedirs(self.server_root)
        self.start_server()
        print("updater demo: nginx serves HTTPS on %s, in front of the update server on http://127.0.0.1:%d "
              "(files in %s)" % (self.url(""), self.port, self.server_root))
        # The release key: the demo's programs are built with the build
        # tree's key pair; the vendor signs with its private half.
        shutil.copytree(os.path.join(self.build, "test-keys", "signing"), self.keys)
        print("release key: %s (the programs carry %s)" % (os.path.join(self.keys, "private.pem"),
                                                           os.path.join(self.keys, "public.pem")))
        if not self.button_picture():
            print("updater demo: the build makes no button picture (ui/res/login_normal.png) yet: none installed")
        pictures = self.update_run()
        pictures.append(self.failing_run())
        print("\nupdater demo: pictures of the updater's window in %s:" % self.pictures)
        for path, what in pictures:
            print("  %-28s %s" % (os.path.basename(path), what))

    def update_run(self):
        scope = "pc"
        release, published = self.publish(scope, ["update.xconfig delay %d" % START_DELAY,
                                                   "%s delay %d" % (BIG_FILE, PROGRESS_DELAY)])
        folder = os.path.join(self.work, "install")
        os.makedirs(folder)
        self.install(folder, scope)
        before = self.version_of(folder)
        differences, _ = self.verify(release, folder)
        print("\n== The update run")
        print("release %s: %s" % (NEW_VERSION, published))
        _, checked = self.xrelease("verify", "--public-key", os.path.join(self.keys, "public.pem"), release)
        print("  " + "; ".join(line for line in checked if line.startswith(("signature", "expires"))))
        print("  manifest %s" % self.url("%s/%s/update.xconfig" % (scope, NEW_VERSION)))
        print("installation %s: client %s, Updater.exe, baseinfo.xconfig and the data files of %s" %
              (folder, before, OLD_VERSION))
        print("xrelease verify before the run (what the updater has to fetch):")
        for line in differences:
            print("  " + line)
        if before != OLD_VERSION or not differences:
            raise StoryFailed("the installation is not the one the story starts from")

        print('starting "%s" --call-updateweb in the installation' % CLIENT)
        self.start_client(folder)
        result = self.update_web_result(folder)
        print("UpdateWeb returned %s%s" % (result, ": a newer client exists, %s was started" % UPDATER_COPY
                                            if result == "false" else ""))
        if result != "false":
            raise StoryFailed("UpdateWeb found no update to start")
        if not filecmp.cmp(os.path.join(folder, "Updater.exe"), os.path.join(folder, UPDATER_COPY), shallow=False):
            raise StoryFailed("UpdateWeb did not refresh %s from Updater.exe" % UPDATER_COPY)
        print("%s: refreshed from Updater.exe by UpdateWeb" % UPDATER_COPY)

        # The updater's own manifest request: the window shows, nothing fetched yet.
        manifest = "/%s/%s/update.xconfig" % (scope, NEW_VERSION)
        wait_for(lambda: self.requests(scope).count(manifest) >= 2, "the updater's manifest request")
        # Nothing else is asked for before the manifest's answer.
        starting, where, _ = self.photograph("updater-1-starting.png",
                                             held=lambda: self.requests(scope)[-1] == manifest)
        pictures = [(starting, "starting: " + where)]
        big = "/%s/%s/%s" % (scope, NEW_VERSION, BIG_FILE)
        wait_for(lambda: big in self.requests(scope), "the request of %s" % BIG_FILE)
        # Downloads run side by side: the picture waits until every other file
        # has been sent, so that its look lasts until the big file's answer.
        big_body = "%s/%s" % (NEW_VERSION, BIG_FILE)
        others = len(differences) - 1
        wait_for(lambda: len({path for path in self.sent(scope) if path != big_body
                              and not path.endswith((".xconfig", ".sig"))}) >= others, "the other files' answers")
        time.sleep(0.5)
        progress, where, _ = self.photograph("updater-2-progress.png", held=lambda: big_body not in self.sent(scope))
        pictures.append((progress, "progress: " + where))
        print("pictures taken while the server held back the updater's manifest and %s" % BIG_FILE)

        status = self.probe("wait-exit", UPDATER_COPY)[0]
        starts = os.path.join(folder, "client-starts.txt")
        wait_for(lambda: len(lines_of(starts)) >= 2, "the client's restart")
        restart = lines_of(starts)[1]
        after = self.version_of(folder)
        differences, summary = self.verify(release, folder)
        fetched = [urllib.parse.unquote(path) for path in self.requests(scope) if path != manifest]
        print("%s ended (%s), having fetched %d files:" % (UPDATER_COPY, status, len(fetched)))
        for path in fetched:
            print("  " + path)
        print("client restarted: %s" % restart.split("|", 1)[1])
        print("  in %s" % restart.split("|", 1)[0])
        print("client version: before %s, after %s" % (before, after))
        print("xrelease verify after the run: %s" % summary)
        for line in differences:
            print("  " + line)
        log = self.show_log(folder)
        if not restart.endswith(" -withoutupdater") or wine_path(os.path.join(folder, CLIENT)) not in restart:
            raise StoryFailed("the client was not restarted with -withoutupdater: %s" % restart)
        if after != NEW_VERSION or differences or status != "exit code 0" or log:
            raise StoryFailed("the update did not install release %s cleanly" % NEW_VERSION)
        # The restarted client would run on for a minute; the next run must
        # not meet it.
        self.probe("end-folder", wine_path(folder))
        return pictures

    def failing_run(self):
        scope = "failing"
        release, _ = self.publish(scope, ["%s status 404" % REFUSED_FILE])
        folder = os.path.join(self.work, "install-failing")
        os.makedirs(folder)
        self.install(folder, scope)
        print("\n== A run that fails: the server answers %s with status 404" % REFUSED_FILE)
        print("installation %s: client %s" % (folder, self.version_of(folder)))
        self.start_client(folder)
        result = self.update_web_result(folder)
        print("UpdateWeb returned %s" % result)
        if result != "false":
            raise StoryFailed("UpdateWeb found no update to start")
        failed, where, text = self.photograph("updater-3-failed.png")
        print("the window shows the failed look, saying: %s" % " / ".join(text))
        print("pressing its button")
        status = self.probe("finish", UPDATER_COPY)[0]
        starts = lines_of(os.path.join(folder, "client-starts.txt"))
        version = self.version_of(folder)
        differences, summary = self.verify(release, folder)
        left = self.probe("end-folder", wine_path(folder))[0]
        print("%s ended (%s); client starts recorded: %d (the client is not started again after a failure)" %
              (UPDATER_COPY, status, len(starts)))
        print("client version: %s; xrelease verify: %s (nothing was installed)" % (version, summary))
        self.show_log(folder)
        if status != "exit code 0" or len(starts) != 1 or version != OLD_VERSION or left != "0":
            raise StoryFailed("the failed run did not end as it should (%s, %d client starts, version %s, "
                              "%s processes left)" % (status, len(starts), version, left))
        return failed, "failed: " + where

    def close(self):
        # Clients still running after a failure are Wine processes, which the
        # caller's wineserver -k ends.
        for process in self.started:
            process.poll()
        self.stop_server()


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", required=True, help="the win64 build folder")
    parser.add_argument("--xrelease", required=True, help="the native release tool")
    parser.add_argument("--pictures", required=True, help="folder for the window's pictures")
    parser.add_argument("--work", help="folder for the server, release and installations (default BUILD/../demo/updater)")
    parser.add_argument("--wine", default="/usr/lib/wine/wine64" if os.path.exists("/usr/lib/wine/wine64") else "wine")
    args = parser.parse_args()
    if not args.work:
        args.work = os.path.join(args.build, "..", "demo", "updater")
    # Ended from outside, the story still stops its server.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))
    story = Story(args)
    try:
        story.run()
    except StoryFailed as failure:
        print("\nupdater demo: FAILED: %s" % failure, file=sys.stderr)
        return 1
    finally:
        story.close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
