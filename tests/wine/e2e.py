#!/usr/bin/env python3
"""End-to-end cases under Wine: e2e.py PREFIX HELPER EXE runs each case of cases.txt against
EXE and compares a transcript of what its runs did with the one the case expects. The helper
starts the program from exact UTF-16 command lines and, as mstsc.exe, records what it got."""
import base64, codecs, difflib, fcntl, hashlib, itertools, os, pathlib, pty, re, resource, select
import shlex, shutil, signal, ssl, struct, subprocess, sys, termios, time

DATA = pathlib.Path(__file__).resolve().parent.parent / "data"
USAGE = (DATA / "usage.txt").read_text("utf-8").rstrip("\n")
DEFAULT = (DATA / "default.rdp").read_text("utf-8").splitlines() + [""]
WINE, SERVER = "/usr/lib/wine/wine64", "/usr/lib/wine/wineserver"
prefix, helper, exe = (pathlib.Path(p).resolve() for p in sys.argv[1:4])
logs = prefix / "drive_c/morvelan-tests"
THUMBPRINTS = {}  # "{signer-sha1}" and the like: the test certificates' thumbprints
# Without a display a message box returns at once.
ENV = {**{k: v for k, v in os.environ.items() if k != "DISPLAY"}, "WINEPREFIX": str(prefix),
       "WINEDEBUG": "-all", "LANG": "C.UTF-8", "WINEDLLOVERRIDES": "mscoree,mshtml="}
# Where the kernel runs no 32-bit programs, qemu's user-mode emulation still runs the shipped
# exe, at over a minute a start: only the cases marked "qemu" run then, from their words.
QEMU = os.environ.get("MORVELAN_QEMU") == "1" or (b"PE\0\0L\x01" in exe.read_bytes()[:512] and
    subprocess.run(["/usr/lib/wine/wine", "--version"], capture_output=True).returncode != 0)


def wine(*args, **kw):
    return subprocess.run([WINE, *map(str, args)], **{"env": ENV, "timeout": 900, **kw})


def opened(blobs):  # what each protected password opens to, and its description
    out = wine(helper, "unprotect", *blobs, capture_output=True, text=True).stdout.split("\n")
    return {b: f"{bytes.fromhex(o.split()[0]).decode('utf-16-le', 'surrogatepass')!r} "
               f"{o.split()[1]}" if o.strip() else "nothing" for b, o in zip(blobs, out)}


def make_certificates():
    """Test certificates: "signer" with its key in the user's "My" store, "keyless" without one
    in the computer's. Their thumbprints stand in command lines as {NAME-sha1}, {NAME-SHA256}."""
    for name, store in (("signer", "user"), ("keyless", "machine")):
        pem, key, der, blob = (logs / f"{name}.{ext}" for ext in ("pem", "key", "der", "blob"))
        for command in (["req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "9", "-subj",
                         f"/CN=Morvelan {name}", "-out", pem, "-keyout", key],
                        ["rsa", "-in", key, "-outform", "MSBLOB", "-out", blob]):
            subprocess.run(["openssl", *command], check=True, capture_output=True)
        der.write_bytes(ssl.PEM_cert_to_DER_cert(pem.read_text()))
        files = [der, blob] if store == "user" else [der]
        wine(helper, "cert", store, *("C:\\morvelan-tests\\" + f.name for f in files), check=True)
        der = der.read_bytes()
        THUMBPRINTS[f"{{{name}-sha1}}"] = hashlib.sha1(der).hexdigest()
        THUMBPRINTS[f"{{{name}-SHA256}}"] = hashlib.sha256(der).hexdigest().upper()


def verify(text):
    """A signed file's signature, checked by openssl over the message rebuilt from the file's
    own lines: the signed ones in the order of the scope, the scope, a NUL."""
    lines = text.split("\r\n")
    scope = next(line for line in lines if line.startswith("signscope:s:"))
    blob = base64.b64decode(next(line for line in lines if line.startswith("signature:s:"))[12:])
    if struct.unpack("<3I", blob[:12]) != (0x10001, 1, len(blob) - 12):
        return "a signature without its header"
    (logs / "cms").write_bytes(blob[12:])
    signed = [next(line for line in lines if line.startswith(name.lower() + ":"))
              for name in scope[12:].split(",")]
    message = "".join(line + "\r\n" for line in signed + [scope]) + "\0"
    verdicts = []
    for changed in (message, message.replace("full address:s:", "full address:s:x", 1)):
        (logs / "content").write_bytes(changed.encode("utf-16-le"))
        verdicts.append(subprocess.run(
            ["openssl", "cms", "-verify", "-binary", "-inform", "DER", "-in", logs / "cms",
             "-content", logs / "content", "-CAfile", logs / "signer.pem", "-purpose", "any",
             "-out", os.devnull], capture_output=True).returncode == 0)
    return {(True, False): "verified by the test certificate, refused with a changed address"}.get(
        tuple(verdicts), f"openssl verdicts {verdicts}")


def credential(line):  # target, user, secret in hexadecimal, persistence: as the client sees it
    if "\t" not in line:
        return "no credential"
    target, user, secret, persist = line.rstrip("\n").split("\t")
    secret = bytes.fromhex(secret).decode("utf-16-le", "surrogatepass")
    return f"{target}: user {user}, password {secret!r}, " + {"1": "for the session"}.get(
        persist, f"persistence {persist}")


def unescape(text):  # a case's bytes: \xNN, \r and \n, the rest in UTF-8
    return codecs.escape_decode(text.encode())[0]


def collapse(items):  # each fact once: an item repeated in a row is written once, with ×N
    return [f"{k} ×{n}" if (n := len(list(g))) > 1 else k for k, g in itertools.groupby(items)]


def describe(data, blobs):
    """A connection file: its encoding and every line that differs from the defaults."""
    utf16 = data[:2] == b"\xff\xfe"
    text = data[2:].decode("utf-16-le", "surrogatepass") if utf16 else data.decode("cp1252",
                                                                                   "replace")
    changed = ["utf-16"] if utf16 else []
    for got, want in itertools.zip_longest(text.split("\r\n"), DEFAULT):
        blob = re.fullmatch("password 51:b:((?:[0-9A-F]{2})+)", got or "")
        if got == want or not (got or want):  # a signed file's lines go on past the defaults
            continue
        if blob:
            got = f"password opens to {blobs[blob[1]]}"
        elif got.startswith("signature:s:"):
            got = "signature: " + verify(text)
        changed.append(got)
    return " | ".join(changed)


class Case:
    def __init__(self, name):
        self.name, self.items = name, []  # (key, value) in order; ">" is the transcript
        self.dir, self.win = logs / name, "C:\\morvelan-tests\\" + name

    def values(self, key, default=None):
        return [v for k, v in self.items if k == key] or ([default] if default else [])

    def expand(self, text, i=0):
        text = text.replace("{temp}", self.win + "\\te mp").replace("{i}", str(i))
        for name, thumbprint in THUMBPRINTS.items():
            text = text.replace(name, thumbprint)
        text = re.sub(r"\{([^{}*]+)\*(\d+)\}", lambda m: m[1] * int(m[2]), text)  # {ab*2}: abab
        return re.sub(r"\{U\+([0-9A-F]+)\}", lambda m: chr(int(m[1], 16)), text)

    def normal(self, line):  # the case's folders and the random letters, by their names
        line = line.replace(self.win + "\\te mp", "{temp}").replace(self.win, "{dir}")
        for name, thumbprint in THUMBPRINTS.items():
            line = line.replace(thumbprint, name)
        line = re.sub(r"(.)\1{39,}", lambda m: f"{{{m[1]}*{len(m[0])}}}", line)
        return re.sub(r"_[a-y]{10}\.tmp", "_{letters}.tmp", line)

    def prepare(self):
        shutil.rmtree(self.dir, ignore_errors=True)
        (self.dir / "te mp").mkdir(parents=True)
        for value in self.values("put"):  # PATH | TEXT [| AGE in seconds]
            path, text, age = (self.expand(value) + " | 0").split(" | ")[:3]
            (self.dir / path).parent.mkdir(parents=True, exist_ok=True)
            (self.dir / path).write_text(text, "utf-8")
            os.utime(self.dir / path, (time.time() - int(age),) * 2)

    def run(self, io):
        runs = int(self.values("repeat", "1")[0])
        # "run TAIL" starts the program as morvelan.exe; "line" gives the whole command line.
        tails = [self.expand(("morvelan.exe " if k == "run" else "") + v, i) for i in range(runs)
                 for k, v in self.items if k in ("run", "line")]
        env = {**ENV, "MORVELAN_CLIENT_LOG": self.win, "WINEDEBUG": "+relay"}
        env.update(v.split("=", 1) for v in self.values("wine"))
        if QEMU:
            return [str(subprocess.run(
                ["qemu-i386", "/usr/lib/wine/wine", exe, *shlex.split(t)[1:]], timeout=900,
                env={**env, "WINELOADERNOEXEC": "1"}, **io).returncode) for t in tails]
        lines = ["Z:" + str(exe).replace("/", "\\"), "TEMP={temp}", *self.values("env"), "--"]
        (logs / "run").write_bytes("".join(self.expand(item) + "\0" for item in lines + tails)
                                   .encode("utf-16-le", "surrogatepass"))
        (logs / "run.status").unlink(missing_ok=True)
        command = [WINE, helper, "run", "C:\\morvelan-tests\\run"]
        limit = int(self.values("limit", "-1")[0])  # a file size limit makes writes fail
        if self.values("console"):
            self.on_console(command, env, io["stderr"])
            return self.statuses()
        if not self.values("display"):
            stdin = b"".join(unescape(self.expand(v)) for v in self.values("stdin"))
            subprocess.run(command, env=env, timeout=900, **io, input=stdin, preexec_fn=lambda: (
                signal.signal(signal.SIGXFSZ, signal.SIG_IGN),
                resource.setrlimit(resource.RLIMIT_FSIZE, (limit, limit))))
            return self.statuses()
        # On a real display the box is a window that the program waits on until OK.
        subprocess.run([SERVER, "-k"], env=ENV)  # its desktop process had no display
        xvfb = subprocess.Popen(["Xvfb", "-displayfd", "1", "-nolisten", "tcp"],
                                stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        env["DISPLAY"] = ":" + xvfb.stdout.readline().decode().strip()
        program = subprocess.Popen(command, env=env, stdin=subprocess.DEVNULL, **io)
        try:
            find = ["xdotool", "search", "--sync", "--name", r"^Morvelan v1\.51 - Info$"]
            subprocess.run(find, env=env, timeout=60, capture_output=True)
            time.sleep(1)
            waited = program.poll() is None
            subprocess.run(find + ["windowfocus", "--sync", "key", "Return"], env=env, timeout=60)
            if not waited:
                return ["did not wait for OK"]
            program.wait(60)
            return self.statuses()
        finally:
            program.kill()
            subprocess.run([SERVER, "-k"], env=ENV)
            xvfb.terminate()

    @staticmethod
    def statuses():  # each run's, as the helper wrote them
        path = logs / "run.status"
        return path.read_text().splitlines() if path.exists() else ["no status: helper failed"]

    def on_console(self, command, env, trace):
        """Runs on a terminal, which Wine makes a console, types each "console" value at the
        next password prompt, and keeps what the console drew, without escape sequences."""
        master, slave = pty.openpty()
        program = subprocess.Popen(command, env=env, stdin=slave, stdout=slave, stderr=trace,
                                   cwd=self.dir, start_new_session=True,  # Ctrl+C reaches it
                                   preexec_fn=lambda: fcntl.ioctl(0, termios.TIOCSCTTY, 0))
        os.close(slave)
        typing, drawn = [unescape(v) for v in self.values("console")], b""
        deadline = time.time() + 60  # a run that never prompts would wait for ever
        while time.time() < deadline:
            chunk = b""
            if select.select([master], [], [], 0.2)[0]:
                try:
                    chunk = os.read(master, 4096)
                except OSError:  # every process has let go of the terminal
                    pass
            drawn += chunk
            if typing and drawn.count(b"Password:") + len(typing) > len(self.values("console")):
                time.sleep(0.2)
                os.write(master, typing.pop(0))
            if not chunk and program.poll() is not None:
                break
        program.kill()
        os.close(master)
        drawn = re.sub(rb"\x1b\[[0-9;?]*[A-Za-z]", b"", drawn).replace(b"\r", b"").rstrip(b"\n")
        (logs / "out").write_bytes(drawn.replace(b"\n", b"\r\n") + b"\r\n")

    def transcript(self, statuses):
        """What the runs did: exit statuses, output, boxes, clients, and the files they left."""
        out = (logs / "out").read_bytes().decode("cp1252", "replace").replace(
            USAGE.replace("\n", "\r\n"), "{usage}").split("\r\n")[:-1]
        boxes = re.findall(r'MessageBoxW\(00000000,\w+ L"((?:[^"\\]|\\.)*)"\.*,\w+ L"Morvelan '
                           r'v1\.51 - Info",00000000\)', (logs / "trace").read_text("latin-1"))
        started = [(r.read_bytes().decode("utf-16-le", "surrogatepass"),
                    r.with_suffix(".got").read_bytes()) for r in self.dir.glob("*.cmd")]
        files = {p: p.read_bytes() if p.is_file() else b"" for p in self.dir.rglob("*")
                 if p.suffix not in (".cmd", ".got")}
        blobs = opened(re.findall(r"password 51:b:((?:[0-9A-F]{2})+)", b"".join(
            [f for _, f in started] + list(files.values())).replace(b"\0", b"").decode("latin-1")))
        # Wine's trace escapes characters (\n is kept) and cuts long texts: the start is enough.
        lines = ["exit " + " ".join(collapse(statuses)), *("out " + line for line in out)]
        boxes = [re.sub(r"\\([0-9a-f]{4}|[^n])", lambda m: chr(int(m[1], 16)) if len(m[1]) == 4
                        else m[1], text)[:120] for text in boxes]
        lines += ["box " + ("{usage}" if USAGE.replace("\n", "\\n").startswith(text) else text)
                  for text in boxes]
        lines += sorted(self.normal(f"client {line}: " + (
            credential(file.decode()) if " /v:" in line else describe(file, blobs)))
                        for line, file in started)
        if len({line for line, _ in started}) < len(started):
            lines.append("two clients were given the same file")
        lines += sorted(self.normal(str(path.relative_to(self.dir)) + (
            "/" if path.is_dir() else ": " + (describe(data, blobs) if data[:2] in (b"\xff\xfe",
                                              b"sc") else data.decode("utf-8", "replace"))))
                        for path, data in files.items())
        left = wine(helper, "creds", capture_output=True, text=True).stdout.splitlines()
        if left:  # the credentials the runs stored, and not deleted again, by their names
            lines.append("credentials left: " + ", ".join(line.split("\t")[0] for line in left))
        return collapse([self.normal(line) for line in lines])

    def test(self):
        self.prepare()
        # The stand-in client, where 64-bit and 32-bit programs look for it (or nowhere).
        for folder in ("system32", "syswow64"):
            client = prefix / f"drive_c/windows/{folder}/mstsc.exe"
            if self.values("noclient"):
                client.unlink(missing_ok=True)
            else:
                shutil.copy(helper, client)
        with open(logs / "out", "wb") as out, open(logs / "trace", "wb") as trace:
            statuses = self.run({"cwd": self.dir, "stdout": out, "stderr": trace})
        return list(difflib.unified_diff(self.values(">"), self.transcript(statuses), "expected",
                                         "got", lineterm=""))


def main():
    if not (prefix / "system.reg").exists():
        wine("wineboot", "-i", stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    # The relay trace shows the message boxes and nothing else.
    wine("reg", "add", r"HKCU\Software\Wine\Debug", "/v", "RelayInclude", "/d",
         "user32.MessageBoxW", "/f", stdout=subprocess.DEVNULL)
    logs.mkdir(exist_ok=True)
    make_certificates()
    cases = []
    for line in (pathlib.Path(__file__).parent / "cases.txt").read_text("utf-8").splitlines():
        key, _, value = line.partition(" ")
        if key == "case":
            cases.append(Case(value))
        elif key and not key.startswith("#"):
            cases[-1].items.append((key, value))
    subprocess.run([SERVER, "-p"], env=ENV)  # one server for every case: faster starts
    passed = failed = 0
    try:
        only = os.environ.get("MORVELAN_CASES", "").split()  # a developer's choice of cases
        for case in (c for c in cases if (c.values("qemu") or not QEMU) and
                     (not only or c.name in only)):
            diff = case.test()
            passed, failed = passed + (not diff), failed + bool(diff)
            print(("FAIL " if diff else "ok   ") + case.name, *diff, sep="\n    ", flush=True)
    finally:
        subprocess.run([SERVER, "-k"], env=ENV)
    fallback = " (fallback: under qemu-i386, only the cases marked qemu)" if QEMU else ""
    print(f"{exe.parent.name}/{exe.name}{fallback}: {passed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
