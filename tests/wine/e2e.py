#!/usr/bin/env python3
"""End-to-end cases under Wine: runs every case of cases.txt against one morvelan.exe.

Usage: e2e.py PREFIX HELPER EXE [--display]
The helper starts the program from exact UTF-16 command lines and, installed as mstsc.exe,
records what the client was handed. --display instead opens a real message box on Xvfb.
"""
import os
import pathlib
import re
import shlex
import resource
import shutil
import signal
import subprocess
import sys
import time

DATA = pathlib.Path(__file__).resolve().parent.parent / "data"
WINE, WINESERVER = "/usr/lib/wine/wine64", "/usr/lib/wine/wineserver"
USAGE = (DATA / "usage.txt").read_text(encoding="utf-8").rstrip("\n")
DEFAULT = (DATA / "default.rdp").read_text(encoding="utf-8").replace("\n", "\r\n")
prefix, helper, exe = (pathlib.Path(p).resolve() for p in sys.argv[1:4])
logs = prefix / "drive_c/morvelan-tests"
ENV = dict(os.environ, WINEPREFIX=str(prefix), WINEDEBUG="-all", LANG="C.UTF-8",
           WINEDLLOVERRIDES="mscoree,mshtml=")
ENV.pop("DISPLAY", None)  # without a display a message box returns at once
# Where the kernel runs no 32-bit programs, qemu's user-mode emulation still runs the shipped
# exe, at over a minute a start: only the cases marked "qemu" run then, from their words.
image = exe.read_bytes()
QEMU = os.environ.get("MORVELAN_QEMU") == "1" or (
    image[int.from_bytes(image[60:64], "little") + 4:][:2] == b"\x4c\x01" and
    subprocess.run(["/usr/lib/wine/wine", "--version"], capture_output=True).returncode != 0)


def wine(*args, env=ENV, **kw):
    return subprocess.run([WINE, *map(str, args)], env=env, timeout=120, **kw)


def set_up_prefix():
    if not (prefix / "system.reg").exists():
        wine("wineboot", "-i", stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    # The relay trace then shows the message boxes and nothing else.
    wine("reg", "add", r"HKCU\Software\Wine\Debug", "/v", "RelayInclude", "/d",
         "user32.MessageBoxW", "/f", stdout=subprocess.DEVNULL)
    for folder in ("system32", "syswow64"):  # where 64-bit and 32-bit programs look
        if (prefix / "drive_c/windows" / folder).is_dir():
            shutil.copy(helper, prefix / "drive_c/windows" / folder / "mstsc.exe")
    logs.mkdir(exist_ok=True)


def unescape(traced):  # a wide string as Wine's trace prints it
    return re.sub(r"\\([0-9a-f]{4}|.)", lambda m: chr(int(m[1], 16)) if len(m[1]) == 4 else
                  {"n": "\n", "r": "\r", "t": "\t"}.get(m[1], m[1]), traced)


def unix(path):  # a path on drive C: of the prefix
    return prefix / "drive_c" / path[3:].replace("\\", "/")


def ansi(text):  # what standard output can hold of a text
    return text.encode("cp1252", "replace").decode("cp1252")


class Case:
    def __init__(self, name):
        self.name, self.items, self.failures = name, [], []
        self.dir, self.win = logs / name, "C:\\morvelan-tests\\" + name

    def values(self, key):
        return [v for k, v in self.items if k == key]

    def value(self, key, default):
        return (self.values(key) or [default])[0]

    def expand(self, text, i=0):
        text = text.replace("{temp}", "{dir}\\te mp").replace("{dir}", self.win)
        text = text.replace("{usage}", USAGE).replace("{i}", str(i))
        return re.sub(r"\{U\+([0-9A-F]+)\}", lambda m: chr(int(m[1], 16)), text)

    def pattern(self, text, i=0, form=str):  # {letters}: the ten letters of a temporary name
        return "[a-y]{10}".join(re.escape(form(p)) for p in self.expand(text, i).split("{letters}"))

    def check(self, ok, what):
        if not ok:
            self.failures.append(what)

    def prepare(self):
        shutil.rmtree(self.dir, ignore_errors=True)
        (self.dir / "te mp").mkdir(parents=True)
        for path in self.values("mkdir"):
            (self.dir / path).mkdir(parents=True)
        for value in self.values("put"):  # PATH | TEXT [| AGE in seconds]
            path, text, *age = (part.strip() for part in value.split("|"))
            (self.dir / path).write_text(text, encoding="utf-8")
            when = time.time() - int(age[0] if age else 0)
            os.utime(self.dir / path, (when, when))

    def run(self):
        args = [str(exe).replace("/", "\\").replace("\\", "Z:\\", 1), "TEMP={temp}"]
        args += self.values("env") + ["--"]
        tails = [self.expand(t, i) for i in range(self.runs) for t in self.values("run")]
        hexes = [a if a == "--" else self.expand(a).encode("utf-16-le", "surrogatepass").hex()
                 for a in args + tails]
        env = dict(ENV, MORVELAN_CLIENT_LOG=self.win, WINEDEBUG="+relay")
        env.update(v.split("=", 1) for v in self.values("wine"))
        limit = int(self.value("limit", "-1"))  # a file size limit makes writes fail
        with open(logs / "out", "wb") as out, open(logs / "trace", "wb") as trace:
            if QEMU:
                return max(subprocess.run(
                    ["qemu-i386", "/usr/lib/wine/wine", exe, *shlex.split(tail)], cwd=self.dir,
                    env=dict(env, WINELOADERNOEXEC="1"), stdout=out, stderr=trace,
                    timeout=900).returncode for tail in tails)
            return wine(helper, "run", *hexes, env=env, cwd=self.dir, stdout=out, stderr=trace,
                        preexec_fn=lambda: (signal.signal(signal.SIGXFSZ, signal.SIG_IGN),
                                            resource.setrlimit(resource.RLIMIT_FSIZE,
                                                               (limit, limit)))).returncode

    def check_output(self, status):
        self.check(status == int(self.value("exit", "0")), f"exit status {status}")
        said = [(k == "say", v) for k, v in self.items if k in ("say", "print")]
        out = (logs / "out").read_bytes().decode("cp1252", "replace").replace("\r\n", "\n")
        want = "".join(self.pattern(v + "\n", form=ansi) for _, v in said)
        self.check(re.fullmatch(want, out), f"standard output {out!r}")
        trace = (logs / "trace").read_text("latin-1")
        boxes = re.findall(r'MessageBoxW\(00000000,\w+ L"((?:[^"\\]|\\.)*)"(\.*),\w+ '
                           r'L"Morvelan v1\.51 - Info",00000000\)', trace)
        # Under a file size limit the trace is cut short; standard output shows the reports.
        want = [v for boxed, v in said if boxed and not self.values("limit")]
        self.check(len(boxes) == len(want) and all(
            self.expand(w).startswith(unescape(t)) if cut else re.fullmatch(self.pattern(w),
                                                                            unescape(t))
            for (t, cut), w in zip(boxes, want)), f"message boxes {boxes}")

    def expected_file(self, i):
        text = DEFAULT
        for line in map(lambda v: self.expand(v, i), self.values("line")):
            key = line[:line.index(":", line.index(":") + 1) + 1]
            text = "".join(line + "\r\n" if old.startswith(key) else old
                           for old in text.splitlines(True))
        return text

    def check_file(self, data, what):
        """Checks a file against the expected files of the runs, byte for byte; its blob."""
        utf16 = data[:2] == b"\xff\xfe"
        text = data[2:].decode("utf-16-le", "surrogatepass") if utf16 else data.decode("cp1252")
        blob = (re.search("password 51:b:((?:[0-9A-F]{2})+)\r\n", text) or [None, ""])[1]
        for i in range(self.runs):
            want = self.expected_file(i).replace("51:b:\r", "51:b:" + blob + "\r")
            if self.values("utf16"):
                encoded = b"\xff\xfe" + want.encode("utf-16-le", "surrogatepass")
            else:
                encoded = want.encode("cp1252", "replace")
            if blob and data == encoded:
                return blob
        self.check(False, f"{what} holds {text!r}")
        return None

    def check_files(self):
        blobs = []
        records = sorted(self.dir.glob("*.rec"))
        clients = self.values("client")
        self.check(len(records) == self.runs * len(clients), f"{len(records)} clients started")
        paths = set()
        for record in records:
            data = record.read_bytes()
            end = next(i for i in range(0, len(data), 2) if data[i:i + 2] == b"\0\0")
            line = data[:end].decode("utf-16-le", "surrogatepass")
            self.check(any(re.fullmatch(f'mstsc\\.exe "{self.pattern(c, i)}"', line)
                           for c in clients for i in range(self.runs)), f"client ran {line!r}")
            paths.add(line)
            blobs.append(self.check_file(data[end + 2:], line))
            # The file stays for the client; the case's own folder goes with the next run.
            path = unix(line[11:-1])
            self.check(path.exists() and path.read_bytes() == data[end + 2:], "file not kept")
            if self.dir not in path.parents:
                path.unlink(missing_ok=True)
        self.check(len(paths) == len(records), "two clients got the same file")
        for name in self.values("saved"):
            path = self.dir / self.expand(name)
            blobs.append(self.check_file(path.read_bytes() if path.exists() else b"", name))
        return [b for b in blobs if b]

    def check_passwords(self, blobs):
        password = self.expand(self.value("password", ""))
        want = (password + "\0").encode("utf-16-le", "surrogatepass").hex().upper() + " " + \
            "psw".encode("utf-16-le").hex().upper()
        opened = wine(helper, "unprotect", *blobs, capture_output=True, text=True).stdout.split("\n")
        self.check(opened[:-1] == [want] * len(blobs), f"passwords open to {opened}")
        if not password:
            return
        forms = {password.encode(e, "surrogatepass") for e in ("utf-8", "utf-16-le")}
        for path in self.dir.rglob("*"):
            self.check(path.is_dir() or not any(f in path.read_bytes() for f in forms),
                       f"plain password in {path}")

    def check_after(self):
        for value in self.values("holds"):  # PATH | TEXT
            path, text = (part.strip() for part in value.split("|"))
            path = self.dir / self.expand(path)
            self.check(path.exists() and path.read_text() == text, f"{path} lost its content")
        for path in self.values("missing"):
            self.check(not list(self.dir.glob(self.expand(path))), f"{path} exists")
        for path in self.values("exists"):
            self.check(list(self.dir.glob(self.expand(path))), f"{path} is missing")

    def test(self):
        self.runs = int(self.value("repeat", "1"))
        self.prepare()
        aside = list(prefix.glob("drive_c/windows/sys*/mstsc.exe")) if self.values("noclient") else []
        for path in aside:
            path.rename(path.with_suffix(".aside"))
        try:
            self.check_output(self.run())
        finally:
            for path in aside:
                path.with_suffix(".aside").rename(path)
        self.check_passwords(self.check_files())
        self.check_after()
        return not self.failures


def load_cases():
    cases = []
    for line in (pathlib.Path(__file__).parent / "cases.txt").read_text("utf-8").splitlines():
        key, _, value = line.strip().partition(" ")
        if key == "case":
            cases.append(Case(value))
        elif key and not key.startswith("#"):
            cases[-1].items.append((key, value))
    return cases


def display():
    """On a real display the usage text is a window the program waits on until OK."""
    screen = f":{90 + os.getpid() % 100}"
    xvfb = subprocess.Popen(["Xvfb", screen, "-nolisten", "tcp"], stderr=subprocess.DEVNULL)
    subprocess.run([WINESERVER, "-k"], env=ENV)  # its desktop process had no display
    env = dict(ENV, DISPLAY=screen)
    xdotool = lambda *a: subprocess.run(["xdotool", *a], env=env, capture_output=True,
                                        text=True).stdout.split()
    with open(logs / "out", "wb") as out:
        program = subprocess.Popen([WINE, exe], env=env, stdout=out, stderr=subprocess.DEVNULL)
    try:
        for _ in range(120):
            window = xdotool("search", "--name", r"^Morvelan v1\.51 - Info$")
            if window or time.sleep(0.5):
                break
        assert window, "no window titled 'Morvelan v1.51 - Info' appeared"
        time.sleep(1)
        assert program.poll() is None, "the program did not wait for its message box"
        xdotool("windowfocus", "--sync", window[0], "key", "--clearmodifiers", "Return")
        assert program.wait(10) == 0, "exit status after OK"
        assert (logs / "out").read_bytes().startswith(b"Usage:"), "no usage text"
        print("ok   the message box waited for OK; 1 passed, 0 failed")
    finally:
        program.kill()
        subprocess.run([WINESERVER, "-k"], env=ENV)
        xvfb.terminate()
    return 0


def main():
    set_up_prefix()
    if sys.argv[4:] == ["--display"]:
        return display()
    subprocess.run([WINESERVER, "-p"], env=ENV)  # one server for every case: faster starts
    passed = failed = 0
    if QEMU:
        print("fallback: the 32-bit exe runs under qemu-i386, only the cases marked qemu")
    try:
        for case in (c for c in load_cases() if c.values("qemu") or not QEMU):
            ok = case.test()
            passed, failed = passed + ok, failed + (not ok)
            print(("ok   " if ok else "FAIL ") + case.name, *case.failures, sep="\n    ",
                  flush=True)
    finally:
        subprocess.run([WINESERVER, "-k"], env=ENV)
    print(f"{exe.name} ({exe.parent.name}): {passed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
