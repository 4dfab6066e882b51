#!/usr/bin/env python3
"""End-to-end cases under Wine: e2e.py PREFIX HELPER VERSION EXE WMI runs each case of cases.txt
against EXE and compares a transcript of what its runs did with the one the case holds. WMI is
the stand-in for WMI's locator that cases with Credential Guard register."""
import base64, codecs, difflib, fcntl, hashlib, itertools, os, pathlib, pty, re, resource, select
import shutil, signal, ssl, struct, subprocess, sys, termios, time

DATA = pathlib.Path(__file__).resolve().parent.parent / "data"
USAGE = (DATA / "usage.txt").read_text("utf-8").rstrip("\n")
DEFAULT = (DATA / "default.rdp").read_text("utf-8").splitlines() + [""]
WINE, SERVER = "/usr/lib/wine/wine64", "/usr/lib/wine/wineserver"
prefix, helper, exe, standin = (pathlib.Path(sys.argv[i]).resolve() for i in (1, 2, 4, 5))
IS_32_BIT = b"PE\0\0L\x01" in exe.read_bytes()[:512]
CAPTION = re.escape(f"Morvelan v{sys.argv[3]} - Info")  # the message boxes' caption
logs = prefix / "drive_c/morvelan-tests"
THUMBPRINTS = {}  # "{signer-sha1}" and the like: the test certificates' thumbprints
# Without a display a message box returns at once.
ENV = {**{k: v for k, v in os.environ.items() if k != "DISPLAY"}, "WINEPREFIX": str(prefix),
       "WINEDEBUG": "-all", "LANG": "C.UTF-8", "WINEDLLOVERRIDES": "mscoree,mshtml="}


def wine(*args, **kw):
    return subprocess.run([WINE, *map(str, args)], **{"env": ENV, "timeout": 900, **kw})


def windows(path):  # a Linux path as Wine's drive Z: gives it
    return "Z:" + str(path).replace("/", "\\")


def serve_wmi(dll):  # which DLL serves WMI's locator to the exe: the stand-in, or Wine's own
    wine("reg", "add", r"HKLM\Software\Classes\CLSID\{4590F811-1D3A-11D0-891F-00AA004B2E24}"
         r"\InprocServer32", "/ve", "/d", dll, "/f", "/reg:32" if IS_32_BIT else "/reg:64",
         stdout=subprocess.DEVNULL, check=True)


def utf16(data):
    return data.decode("utf-16-le", "surrogatepass")


def opened(blobs):  # "password 'TEXT'": TEXT, its terminator and "psw", as the client expects
    out = wine(helper, "unprotect", *blobs, capture_output=True, text=True).stdout.split("\n")
    found = {}
    for blob, line in zip(blobs, out):
        plain, _, description = line.partition(" ")
        text = utf16(bytes.fromhex(plain))
        found[blob] = f"password opens to {text!r} {description}"
        if text.endswith("\0") and description == "psw":
            found[blob] = f"password {text[:-1]!r}"
    return found


def make_certificates():  # "signer" with its key in the user's "My" store, "keyless" without
    # one in the computer's; their thumbprints stand in command lines as {NAME-sha1}, {NAME-SHA256}
    for name, store in (("signer", "user"), ("keyless", "machine")):
        pem, key, der, blob = (logs / f"{name}.{ext}" for ext in ("pem", "key", "der", "blob"))
        for command in (["req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "9", "-subj",
                         f"/CN=Morvelan {name}", "-out", pem, "-keyout", key],
                        ["rsa", "-in", key, "-outform", "MSBLOB", "-out", blob]):
            subprocess.run(["openssl", *command], check=True, capture_output=True)
        der.write_bytes(ssl.PEM_cert_to_DER_cert(pem.read_text()))
        files = [der, blob] if store == "user" else [der]
        wine(helper, "cert", store, *("C:\\morvelan-tests\\" + f.name for f in files), check=True)
        THUMBPRINTS[f"{{{name}-sha1}}"] = hashlib.sha1(der.read_bytes()).hexdigest()
        THUMBPRINTS[f"{{{name}-SHA256}}"] = hashlib.sha256(der.read_bytes()).hexdigest().upper()


def verify(lines):  # openssl's verdict over the signed lines in the scope's order, the scope, NUL
    scope = next(line for line in lines if line.startswith("signscope:s:"))
    blob = base64.b64decode(next(line for line in lines if line.startswith("signature:s:"))[12:],
                            validate=True)
    if struct.unpack("<3I", blob[:12]) != (0x10001, 1, len(blob) - 12):
        return "without its header"
    signed = [next(line for line in lines if line.startswith(name.lower() + ":"))
              for name in scope[12:].split(",")]
    (logs / "cms").write_bytes(blob[12:])
    (logs / "content").write_bytes(("\r\n".join(signed + [scope]) + "\r\n\0").encode("utf-16-le"))
    return "verified by the test certificate" if subprocess.run(
        ["openssl", "cms", "-verify", "-binary", "-inform", "DER", "-in", logs / "cms", "-content",
         logs / "content", "-CAfile", logs / "signer.pem", "-purpose", "any", "-out", os.devnull],
        capture_output=True).returncode == 0 else "refused by openssl"


def describe(data, blobs):  # a connection file: its encoding, each line not as by default
    text = utf16(data[2:]) if data[:2] == b"\xff\xfe" else data.decode("cp1252", "replace")
    lines = text.split("\r\n")
    changed = ["utf-16"] if data[:2] == b"\xff\xfe" else []
    for got, want in itertools.zip_longest(lines, DEFAULT):
        blob = re.fullmatch("password 51:b:((?:[0-9A-F]{2})+)", got or "")
        if got == want or not (got or want):  # a signed file's lines go on past the defaults
            continue
        if blob:
            got = blobs[blob[1]]
        elif got.startswith("signature:s:"):
            got = "signature " + verify(lines)
        changed.append(got)
    return " | ".join(changed)


POLICIES = r"\Software\Policies\Microsoft\Windows NT\Terminal Services"
TYPES, KEPT = {"generic": "1", "domain": "2"}, {"session": "1", "local": "2", "enterprise": "3"}


def credential(line):  # as the helper gives it: target, type, user, secret in hex, persistence
    target, kind, user, secret, persist = line.split("\t")
    kind = {v: k for k, v in TYPES.items()}.get(kind, kind)
    persist = {v: k for k, v in KEPT.items()}.get(persist, persist)
    return f"credential {target} ({kind}, {persist}): user {user}, password " + repr(
        utf16(bytes.fromhex(secret)))


def found(got):  # what a "/v:" client found as it started and, when it stayed, as it left
    first, _, left = got.decode("utf-8").partition("\n")
    return ("found " + credential(first)[11:] if first else "found no credential") + (
        f", and {left} as it left" if left else "")


def said(out, boxes):  # "out+box" where a box says what the line says; the trace cuts boxes
    lines = []
    for line in out:
        paired = bool(boxes) and line.startswith(boxes[0])
        lines.append(("out+box " if paired else "out ") + line)
        boxes = boxes[paired:]
    return lines + ["box " + box for box in boxes]


def factor(entries, kind, label):  # says once, as "LABEL:", what each entry of a kind holds
    group = [entry for entry in entries if entry[2] == kind]
    common = [item for item in group[0][1].split(" | ")
              if all(item in entry[1].split(" | ") for entry in group)] if len(group) > 1 else []
    for entry in group:
        entry[1] = " | ".join(item for item in entry[1].split(" | ") if item not in common)
    return [f"{label}: " + " | ".join(common)] if common else []


def collapse(items):  # each fact once: an item repeated in a row is written once, with ×N
    return [f"{k} ×{n}" if (n := len(list(g))) > 1 else k for k, g in itertools.groupby(items)]


class Case:
    def __init__(self, name):
        self.name, self.items = name, []  # (key, value) in order; ">" is the transcript
        self.dir, self.win = logs / name, "C:\\morvelan-tests\\" + name

    def values(self, key, default=None):
        return [v for k, v in self.items if k == key] or ([default] if default else [])

    def expand(self, text):
        text = text.replace("{temp}", self.win + "\\te mp")
        for name, thumbprint in THUMBPRINTS.items():
            text = text.replace(name, thumbprint)
        text = re.sub(r"\{([^{}*]+)\*(\d+)\}", lambda m: m[1] * int(m[2]), text)  # {ab*2}: abab
        return re.sub(r"\{U\+([0-9A-F]+)\}", lambda m: chr(int(m[1], 16)), text)

    def bytes(self, key):  # "stdin" and "console" values: \xNN, \r and \n, the rest in UTF-8
        return [codecs.escape_decode(self.expand(v).encode())[0] for v in self.values(key)]

    def normal(self, line):  # the case's folders, long runs and random letters, by their names
        line = line.replace(self.win + "\\te mp", "{temp}").replace(self.win, "{dir}")
        for name, thumbprint in THUMBPRINTS.items():
            line = line.replace(thumbprint, name)
        line = re.sub(r"(.)\1{39,}", lambda m: f"{{{m[1]}*{len(m[0])}}}", line)
        line = re.sub(r"/[a-y]\.tmp:", "/{a-y}.tmp:", line)  # the files of a "put" of {a-y}
        return re.sub(r"_[a-y]{10}\.tmp", "_{letters}.tmp", line)

    def prepare(self):
        shutil.rmtree(self.dir, ignore_errors=True)
        (self.dir / "te mp").mkdir(parents=True)
        for value in self.values("put"):  # PATH | TEXT [| AGE in seconds]
            path, text, age = (self.expand(value) + " | 0").split(" | ")[:3]
            for letter in "abcdefghijklmnopqrstuvwxy" if "{a-y}" in path else "-":
                file = self.dir / path.replace("{a-y}", letter)
                file.parent.mkdir(parents=True, exist_ok=True)
                file.write_text(text, "utf-8")
                os.utime(file, (time.time() - int(age),) * 2)
        self.sources, path = {}, None  # the user's connection files: "rdp", then its "+" lines
        for key, value in self.items:
            if key == "rdp":
                path, codec = value.split(" | ")
                self.sources[path] = (codec, [])
            elif key == "+":
                self.sources[path][1].append(self.expand(value))
        for path, (codec, lines) in self.sources.items():
            text = ("\n" if codec.endswith(" lf") else "\r\n").join(lines + [""])
            self.sources[path] = text.encode(codec.split()[0], "surrogatepass")
            (self.dir / path).write_bytes(self.sources[path])
        for value in self.values("stored"):  # TYPE PERSISTENCE TARGET USER SECRET [COMMENT]
            kind, persist, *rest = value.split(" ", 5)
            wine(helper, "store", TYPES[kind], KEPT[persist], *rest, check=True)
        for value in self.values("policy"):  # ROOT NAME TYPE VALUE, in the native view
            root, name, kind, data = self.expand(value).split(" ", 3)
            wine("reg", "add", root + POLICIES, "/v", name, "/t", kind, "/d", data, "/f",
                 "/reg:64", stdout=subprocess.DEVNULL, check=True)
        # The stand-in client, where 64-bit and 32-bit programs look for it (or nowhere).
        for folder in ("system32", "syswow64"):
            client = prefix / f"drive_c/windows/{folder}/mstsc.exe"
            client.unlink(missing_ok=True)
            if not self.values("noclient"):
                shutil.copy(helper, client)

    def run(self, io):  # runs "run TAIL" as morvelan.exe TAIL, "line LINE" as LINE
        tails = [("morvelan.exe " if k == "run" else "") + v for k, v in self.items
                 if k in ("run", "line")]
        items = [windows(exe), "TEMP={temp}", *self.values("env"), "--"]
        (logs / "run").write_bytes("".join(self.expand(item) + "\0" for item in items + tails)
                                   .encode("utf-16-le", "surrogatepass"))
        (logs / "run.status").unlink(missing_ok=True)
        command = [WINE, helper, "run", "C:\\morvelan-tests\\run"]
        env = {**ENV, "WINEDEBUG": "+relay"}
        env.update(v.split("=", 1) for v in self.values("wine"))
        limit = int(self.values("limit", "-1")[0])

        def limited():  # a file size limit makes writes fail
            signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
            resource.setrlimit(resource.RLIMIT_FSIZE, (limit, limit))

        if self.values("console"):
            self.on_console(command, env, io["stderr"])
        else:
            stdin = b"".join(self.bytes("stdin"))
            code = subprocess.run(command, env=env, timeout=900, **io, input=stdin,
                                  preexec_fn=limited).returncode
            if not (logs / "run.status").exists():  # the helper itself failed: say how
                raise RuntimeError(f"the helper ended with {code} and no statuses")
        return (logs / "run.status").read_text().splitlines(), utf16(
            (logs / "run.creds").read_bytes())

    def on_console(self, command, env, trace):
        """On a terminal, a console under Wine: "console" values typed at the password prompts."""
        master, slave = pty.openpty()
        program = subprocess.Popen(command, env=env, stdin=slave, stdout=slave, stderr=trace,
                                   cwd=self.dir, start_new_session=True,  # Ctrl+C reaches it
                                   preexec_fn=lambda: fcntl.ioctl(0, termios.TIOCSCTTY, 0))
        os.close(slave)
        typing, drawn = self.bytes("console"), b""
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

    def transcript(self, statuses, credentials):  # what the runs did, each fact once
        encoding = "utf-8" if self.values("console") else "cp1252"  # a terminal draws UTF-8
        out = (logs / "out").read_bytes().decode(encoding, "replace").replace(
            USAGE.replace("\n", "\r\n"), "{usage}").split("\r\n")[:-1]
        boxes = re.findall(r'MessageBoxW\(00000000,\w+ L"((?:[^"\\]|\\.)*)"\.*,\w+ L"' + CAPTION +
                           r'",00000000\)', (logs / "trace").read_text("latin-1"))
        # Wine's trace escapes characters (\n is kept) and cuts long texts: the start is enough.
        boxes = [re.sub(r"\\([0-9a-f]{4}|[^n])", lambda m: chr(int(m[1], 16)) if len(m[1]) == 4
                        else m[1], text)[:120] for text in boxes]
        boxes = ["{usage}" if USAGE.replace("\n", "\\n").startswith(b) else b for b in boxes]
        started = [(utf16(r.read_bytes()), r.with_suffix(".got").read_bytes())
                   for r in self.dir.glob("*.cmd")]
        # Files and empty folders: a folder that holds something shows in their paths. The file
        # a client opened is shown with it, and not again if it stays as the client read it.
        read = {self.dir / path[len(self.win) + 1:].replace("\\", "/"): got
                for line, got in started for path in re.findall(r'"(.*)"', line)
                if path.startswith(self.win + "\\")}
        files = {p: p.read_bytes() if p.is_file() else None for p in self.dir.rglob("*")
                 if p.suffix not in (".cmd", ".got") and not (p.is_dir() and any(p.iterdir()))
                 and p != self.dir / "te mp"}
        files = {p: data for p, data in files.items() if p not in read or read[p] != data
                 if self.sources.get(str(p.relative_to(self.dir)), data is None) != data}
        blobs = opened(re.findall(r"password 51:b:((?:[0-9A-F]{2})+)", b"".join(
            [got for _, got in started] + [data or b"" for data in files.values()])
            .replace(b"\0", b"").decode("latin-1")))
        # [head, description, "file" for a connection file]; "/v:" gives no file, but the
        # credential the client found
        entries = [[f"client {line}", found(got), "/v:"] if "/v:" in line else
                   [f"client {line}", describe(got, blobs) if got else "", got and "file"]
                   for line, got in started]
        for path, data in files.items():
            connection = data is not None and data[:2] in (b"\xff\xfe", b"sc")
            entries.append([str(path.relative_to(self.dir)) + "/" * (data is None), describe(
                data, blobs) if connection else (data or b"").decode(), connection and "file"])
        lines = ["exit " + " ".join(collapse(statuses))] + said(out, boxes)
        lines += factor(entries, "file", "every file") + factor(entries, "/v:", "every /v: client")
        lines += sorted((self.normal(head + (": " + text if text else "")) for head, text, _ in
                         entries), key=lambda line: (not line.startswith("client"), line))
        lines += sorted(credential(line) for line in credentials.splitlines())
        return collapse([self.normal(line) for line in lines])

    def test(self, tries=2):
        self.prepare()
        if self.values("guard"):
            serve_wmi(windows(standin))
        try:
            with open(logs / "out", "wb") as out, open(logs / "trace", "wb") as trace:
                statuses, credentials = self.run({"cwd": self.dir, "stdout": out, "stderr": trace})
        except RuntimeError as failed:  # Wine's failure, not the program's: once more, said so
            print(f"note {self.name}: {failed}", flush=True)
            if tries == 1:
                raise
            return self.test(tries - 1)
        finally:
            if self.values("guard"):
                serve_wmi(r"C:\windows\system32\wbem\wbemprox.dll")
            for root in ("HKLM", "HKCU") if self.values("policy") else ():
                wine("reg", "delete", root + POLICIES, "/f", "/reg:64", capture_output=True)
        got, wanted = self.transcript(statuses, credentials), [[]]
        for key, value in self.items:  # runs at once may end in one of a few ways, "or" apart
            if key == "or":
                wanted.append([])
            elif key == ">":
                wanted[-1].append(value)
        return min((list(difflib.unified_diff(w, got, "expected", "got", n=99, lineterm=""))
                    for w in wanted), key=len)


def runs_32_bit():  # a kernel without 32-bit support refuses to start 32-bit Wine at all
    try:
        return subprocess.run(["/usr/lib/wine/wine", "--version"],
                              capture_output=True).returncode == 0
    except OSError:
        return False


def main():
    # Without 32-bit support in the kernel, Wine cannot start the shipped exe.
    if IS_32_BIT and not runs_32_bit():
        print(f"{exe}: skipped, this kernel runs no 32-bit programs")
        return 77
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
    only = os.environ.get("MORVELAN_CASES", "").split()  # a developer's choice of cases
    cases = [case for case in cases if not only or case.name in only]
    subprocess.run([SERVER, "-p"], env=ENV)  # one server for every case: faster starts
    # Wine starts its desktop process at the first message box; started within a case, it would
    # stay in the helper's job, which then never empties.
    wine(exe, "/?", stdout=subprocess.DEVNULL)
    failed = 0
    try:
        for case in cases:
            diff = case.test()
            failed += bool(diff)
            print(("FAIL " if diff else "ok   ") + case.name, *diff, sep="\n    ", flush=True)
    finally:
        subprocess.run([SERVER, "-k"], env=ENV)
    print(f"{exe.parent.name}/{exe.name}: {len(cases) - failed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
