#!/usr/bin/python3
"""Crash consistency of certquorix-cli: every command that writes is killed (SIGKILL) at its
file and network system calls, the user's next command runs, and the world is checked.

    scripts/crash-harness.py [--build DIR] [--full] [--case NAME]... [--keep-failed]

The cases (tests/crash/cases.py) say how the world looks before a command, the command and the
command the user runs next. For a case the harness builds that world once, runs the command to
its end under the tracer (scripts/lib/syscall_kill.py) to list its calls, and then, for each
point N, runs the command on a fresh copy of the world, killed at its N-th call, and the next
command after it. Without --full a fixed sample of the points runs (the first and last few and
every k-th), which CI runs; --full runs every point.

What must hold after the next command (the invariant):
  - the certificate folder holds the old state or the new one, never a mixture; the settings
    file likewise, and the containers kept before are all there, unchanged;
  - the next command behaves as on the old state or as on the new (the same exit status): with
    the old state, check still finds the working key that decrypts with its password and matches
    the certificate; an RSA key file in the folder always decrypts with the password (openssl),
    and a new PKCS#12 file always opens with it;
  - no clear private key in any file of the world (program folder, data folder, TMPDIR), right
    after the kill and after the next command;
  - nothing outside the folder changed (every other file of the world hashed before and after);
  - no temporaries (*.cqtmp-*), backups (.bak) or journal left, nothing left in TMPDIR.

With --full every case is also killed at each of the tool's named kill points
(CERTQUORIX_TEST_KILL_AT, honoured by builds with the tests) that its command reaches.

The table printed at the end: case, calls counted, points run, failures, and for each failure the
call killed and what broke. Exit status: 0 all held, 1 a failure, 77 when the harness cannot run
here (no ptrace, not x86_64, a missing program)."""

import argparse
import ctypes
import hashlib
import json
import os
import platform
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

REPO = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.dont_write_bytecode = True  # no __pycache__ in the source tree
sys.path.insert(0, os.path.join(REPO, "tests", "crash"))
from cases import CASES  # noqa: E402

TRACER = os.path.join(REPO, "scripts", "lib", "syscall_kill.py")
SKIP = 77
PR_SET_PDEATHSIG = 1
KEY_PASSWORD = "Crash-key-pw 7"
CONTAINER_PASSWORD = "crash-container-pw"
CLIENT_PASSWORD = "Hrkwp(3mzqtbv"
PROGRAM = "certquorix-cli"

# Parts of a world, relative to its top folder.
PROGRAM_FOLDER = "prog"
SETTINGS = "prog/CertQuorix.ini"
LOGS = "prog/Logs"
HOME = "home"
CONTAINERS = "home/CertQuorix/containers"
TMPDIR = "tmp"

# A scrambled password is salted afresh on every write: the settings are compared without it.
SCRAMBLED = re.compile(rb"(?m)^((?:Request)?Password)=[0-9A-F]+")
STRAY = re.compile(r"(\.cqtmp-|\.bak(\.\d+)?$|^\.request-journal|^\.renewal-journal)")
# The folder a renewal keeps the previous pair in is named by the moment of the swap.
PREVIOUS = re.compile(r"(^|/)Previous-\d{8}-\d{6}(-\d+)?(?=/|$)")
PREVIOUS_NAME = "Previous-(date)"
CLEAR_PEM = re.compile(rb"-----BEGIN (RSA |EC )?PRIVATE KEY-----(?:(?!-----END).){0,80}", re.S)
CLEAR_DER = re.compile(  # PrivateKeyInfo, version 0, of an RSA or GOST R 34.10-2012 key
    rb"\x02\x01\x00\x30[\x00-\x7f]\x06(\x09\x2a\x86\x48\x86\xf7\x0d\x01\x01\x01"
    rb"|\x08\x2a\x85\x03\x07\x01\x01\x01[\x01\x02])")


# ---------------------------------------------------------------- the service and the worlds


class Sandbox:
    """sandbox-ca on loopback, its state in the harness's work folder."""

    def __init__(self, build, work):
        self.program = os.path.join(build, "sandbox-ca")
        self.dir = os.path.join(work, "sandbox") + "/"
        self.client = os.path.join(work, "client") + "/"
        run_checked([self.program, "init", "--dir", self.dir])
        run_checked([self.program, "client-cert", "--dir", self.dir, "--out", self.client,
                     "--password", CLIENT_PASSWORD])
        port_file = self.dir + "port"
        with open(self.dir + "serve.log", "wb") as log:
            self.process = subprocess.Popen(
                [self.program, "serve", "--dir", self.dir, "--port", "0", "--port-file",
                 port_file], stdout=subprocess.DEVNULL, stderr=log, preexec_fn=end_with_parent)
        for _ in range(500):  # waits for the port file, or for the server's end
            if os.path.exists(port_file) and read_text(port_file).strip():
                break
            if self.process.poll() is not None:
                raise RuntimeError("sandbox-ca serve ended: " + read_text(self.dir + "serve.log"))
            time.sleep(0.02)
        self.port = int(read_text(port_file))

    def url(self, path):
        return f"https://localhost:{self.port}{path}"

    def issue(self, email):
        run_checked([self.program, "issue", "--dir", self.dir, "--email", email])

    def stop(self):
        self.process.terminate()
        self.process.wait()


def make_base_world(path, build, sandbox):
    """A program folder with the tool, act templates, the operator's files and settings for the
    service; an empty home and TMPDIR; and files the tool has no business touching: another
    address's folder and a tree beside the program folder."""
    program = os.path.join(path, PROGRAM_FOLDER)
    os.makedirs(program)
    shutil.copy2(os.path.join(build, PROGRAM), program)
    for name in ("PublicKeyAct RSA.rtf", "PublicKeyAct Gost.rtf"):
        shutil.copy2(os.path.join(REPO, "resources", name), program)
    for name in ("Request.cer", "Request.key"):
        shutil.copy2(sandbox.client + name, program)
    lines = [
        "[HTTPS]", "CaFile=" + sandbox.dir + "ca.crt",
        "UrlRequestRSACertificate=" + sandbox.url("/requp/"),
        "UrlReceiveRSACertificate=" + sandbox.url("/certget/"),
        "UrlRequestGostCertificate=" + sandbox.url("/gost/requp/"),
        "UrlReceiveGostCertificate=" + sandbox.url("/gost/certget/"),
    ]
    write_text(os.path.join(program, "CertQuorix.ini"), "\r\n".join(lines) + "\r\n")
    for folder in (HOME, TMPDIR, "outside/nested", "prog/other@mail.example"):
        os.makedirs(os.path.join(path, folder), exist_ok=True)
    write_text(os.path.join(path, "outside/notes.txt"), "not the tool's\n")
    write_text(os.path.join(path, "outside/nested/Certificate.cer"), "another program's file\n")
    write_text(os.path.join(path, "prog/other@mail.example/Request.ini"), "[Cert]\r\nGost=0\r\n")
    write_text(os.path.join(path, "prog/other@mail.example/Certificate.key"), "another key\n")


def copy_world(source, target):
    """A copy of a world; the tool itself is a hard link (it is large and never changes)."""
    def copy(src, dst):
        if os.path.basename(src) == PROGRAM:
            os.link(src, dst)
        else:
            shutil.copy2(src, dst)
    shutil.copytree(source, target, symlinks=True, copy_function=copy)


def environment(world):
    env = {
        "PATH": "/usr/local/bin:/usr/bin:/bin",
        "HOME": os.path.join(world, HOME),
        "XDG_DATA_HOME": os.path.join(world, HOME),
        "TMPDIR": os.path.join(world, TMPDIR),
        "LANG": "C.UTF-8",
        "CERTQUORIX_PASSWORD": KEY_PASSWORD,
        "CERTQUORIX_CONTAINER_PASSWORD": CONTAINER_PASSWORD,
        # LeakSanitizer stops the threads with ptrace at exit, which a traced process refuses.
        "ASAN_OPTIONS": "detect_leaks=0",
    }
    for name in ("CERTQUORIX_GOST_ENGINE", "OPENSSL_ENGINES", "OPENSSL_MODULES"):
        if name in os.environ:
            env[name] = os.environ[name]
    return env


def expand(args, case, world):
    return [arg.format(email=case.email, world=world) for arg in args]


def run_tool(world, args, kill_at=None, extra_env=None):
    """Runs the tool in a world; with kill_at, under the tracer. (status, output, report)."""
    command = [os.path.join(world, PROGRAM_FOLDER, PROGRAM)] + args
    report_file = os.path.join(os.path.dirname(world), os.path.basename(world) + ".calls.json")
    if kill_at is not None:
        command = [sys.executable, "-I", "-S", TRACER, "--at", str(kill_at),
                   "--report", report_file, "--"] + command
    env = dict(environment(world), **(extra_env or {}))
    result = subprocess.run(command, cwd=world, env=env, stdin=subprocess.DEVNULL,
                            stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    report = None
    if kill_at is not None:
        with open(report_file, encoding="utf-8") as file:
            report = json.load(file)
        os.unlink(report_file)
    return result.returncode, result.stdout.decode("utf-8", "replace"), report


def run_setup(world, case, sandbox):
    for step in case.setup:
        if step[0] == "cli":
            status, output, _ = run_tool(world, expand(step[1:], case, world))
            if status != 0:
                raise RuntimeError(f"{case.name}: setup {step[1:]} ended with {status}: {output}")
        elif step[0] == "issue":
            sandbox.issue(case.email)
        elif step[0] == "keep-p12":
            shutil.copy2(os.path.join(world, PROGRAM_FOLDER, case.email, "Certificate.p12"),
                         os.path.join(world, "import.p12"))
        elif step[0] == "open-request-password":
            settings = os.path.join(world, SETTINGS)
            text = read_text(settings).replace("[HTTPS]\r\n", f"[HTTPS]\r\nOpenRequestPassword="
                                                              f"{CLIENT_PASSWORD}\r\n", 1)
            write_text(settings, text)
        else:
            raise ValueError(f"{case.name}: unknown setup step {step}")


# ---------------------------------------------------------------- what a world holds


def snapshot(world):
    """Every entry of the world but the logs and the tool: relative path -> (kind, mode, hash)."""
    entries = {}
    for top, folders, files in os.walk(world):
        relative_top = os.path.relpath(top, world)
        if relative_top == LOGS:
            folders[:] = []
            continue
        for name in folders + files:
            path = os.path.join(top, name)
            relative = os.path.normpath(os.path.join(relative_top, name))
            if relative in (LOGS, f"{PROGRAM_FOLDER}/{PROGRAM}"):
                continue
            info = os.lstat(path)
            mode = info.st_mode & 0o7777
            if os.path.islink(path):
                entries[relative] = ("link", 0, os.readlink(path))
            elif os.path.isdir(path):
                entries[relative] = ("dir", mode, "")
            else:
                with open(path, "rb") as file:
                    data = file.read()
                if relative == SETTINGS:
                    data = SCRAMBLED.sub(rb"\1=(scrambled)", data)
                entries[relative] = ("file", mode, hashlib.sha256(data).hexdigest())
    return entries


def under(relative, folder):
    return relative == folder or relative.startswith(folder + "/")


def part(entries, folder):
    """The entries under a folder but the strays, each previous pair's folder under one name."""
    return {PREVIOUS.sub(r"\1" + PREVIOUS_NAME, path): entry for path, entry in entries.items()
            if under(path, folder) and not STRAY.search(os.path.basename(path))}


class Reference:
    """A case's world before the command and after an uninterrupted run, each after the next
    command, with that command's exit status."""

    def __init__(self, case, template, work):
        self.case = case
        self.folder = f"{PROGRAM_FOLDER}/{case.email}"
        old_world = os.path.join(work, case.name + "-old")
        copy_world(template, old_world)
        self.before = snapshot(old_world)
        self.old_status = run_tool(old_world, expand(case.next_command, case, old_world))[0]
        self.old = snapshot(old_world)
        shutil.rmtree(old_world)
        new_world = os.path.join(work, case.name + "-new")
        copy_world(template, new_world)
        status, output, report = run_tool(new_world, expand(case.command, case, new_world), 0)
        if status != 0:
            raise RuntimeError(f"{case.name}: the command itself ended with {status}: {output}")
        self.calls = report["calls"]
        self.new_status = run_tool(new_world, expand(case.next_command, case, new_world))[0]
        self.new = snapshot(new_world)
        shutil.rmtree(new_world)

    def points(self, world_prefix, full):
        """The calls a kill can hit: from the first call on a file of the world (before it, the
        loader opens libraries and nothing of the user's can change); a sample without `full`."""
        first = next((call["n"] for call in self.calls if world_prefix in call["path"]),
                     len(self.calls))
        numbers = [call["n"] for call in self.calls if call["n"] >= first]
        if full or len(numbers) <= 12:
            return numbers
        step = len(numbers) // 8
        chosen = set(numbers[:2] + numbers[-2:] + numbers[::step])
        return sorted(chosen)


# ---------------------------------------------------------------- the invariant


def folder_state(reference, entries, folder):
    """"old", "new" or what makes the folder a mixture of the two."""
    old = part(reference.old, folder)
    new = part(reference.new, folder)
    now = part(entries, folder)
    if now == old:
        return "old"
    if not old and set(now) == {folder}:
        # An empty folder holds nothing of the address: a first request killed before its
        # first file, or while its recovery removed them, leaves it as it was.
        return "old"
    mixture = []
    for path in sorted(set(old) | set(new) | set(now)):
        name = "the folder itself" if path == folder else os.path.relpath(path, folder)
        if path not in now:
            if path in new:
                mixture.append(f"{name} missing")
        elif path not in new:
            mixture.append(f"{name} {'old' if now[path] == old.get(path) else 'extra'}")
        elif old.get(path) == new[path]:
            if now[path] != new[path]:
                mixture.append(f"{name} changed")
        elif now[path] == old.get(path):
            mixture.append(f"{name} old")
        elif now[path][:2] != new[path][:2]:
            mixture.append(f"{name} mode {oct(now[path][1])}")
    return "new" if not mixture else "mixture: " + ", ".join(mixture)


def outside_changes(reference, entries):
    """Paths outside the certificate folder, the settings file, the containers and TMPDIR that
    are neither as before the command nor as an uninterrupted run leaves them (the data folder
    it makes, an empty cache folder a library makes); temporaries are counted as strays."""
    own = (reference.folder, SETTINGS, CONTAINERS, TMPDIR)
    changed = []
    for path in sorted(set(reference.before) | set(entries)):
        if any(under(path, folder) for folder in own) or STRAY.search(os.path.basename(path)):
            continue
        if entries.get(path) not in (reference.before.get(path), reference.old.get(path),
                                     reference.new.get(path)):
            changed.append(path)
    return changed


def lost_containers(reference, entries):
    return [path for path, entry in reference.before.items()
            if under(path, CONTAINERS) and entries.get(path) != entry]


def strays(world, entries):
    found = [path for path in entries if STRAY.search(os.path.basename(path))]
    found += [f"{TMPDIR}/{name}" for name in os.listdir(os.path.join(world, TMPDIR))
              if f"{TMPDIR}/{name}" not in found]
    return sorted(set(found))


def clear_keys(world):
    found = []
    for top, _, files in os.walk(world):
        for name in files:
            path = os.path.join(top, name)
            if name == PROGRAM or os.path.islink(path):
                continue
            with open(path, "rb") as file:
                data = file.read()
            pem = [match for match in CLEAR_PEM.finditer(data)
                   if b"Proc-Type: 4,ENCRYPTED" not in match.group(0)]
            if pem or CLEAR_DER.search(data):
                found.append(os.path.relpath(path, world))
    return found


def openssl(args):
    env = dict(os.environ, CQ_HARNESS_PASSWORD=KEY_PASSWORD)
    return subprocess.run(["openssl"] + args, env=env, stdin=subprocess.DEVNULL,
                          capture_output=True).returncode == 0


def key_failures(world, folder, state, pair_always=False):
    """The key file decrypts with its password (and, in the old state or for a case whose
    working pair must serve throughout, belongs to the certificate); so does a pending renewal's
    key; a PKCS#12 file that is not the old one opens with the password."""
    failures = []
    key = os.path.join(world, folder, "Certificate.key")
    certificate = os.path.join(world, folder, "Certificate.cer")
    pending = os.path.join(world, folder, "Renewal.key")
    if os.path.isfile(pending) and not openssl(["pkey", "-in", pending, "-passin",
                                                "env:CQ_HARNESS_PASSWORD", "-noout"]):
        failures.append("Renewal.key does not decrypt with its password")
    if os.path.isfile(key):
        decrypted = subprocess.run(
            ["openssl", "pkey", "-in", key, "-passin", "env:CQ_HARNESS_PASSWORD", "-pubout"],
            env=dict(os.environ, CQ_HARNESS_PASSWORD=KEY_PASSWORD), capture_output=True)
        if decrypted.returncode != 0:
            failures.append("Certificate.key does not decrypt with its password")
        elif (state == "old" or pair_always) and os.path.isfile(certificate):
            public = subprocess.run(["openssl", "x509", "-in", certificate, "-pubkey", "-noout"],
                                    capture_output=True)
            if public.returncode == 0 and public.stdout != decrypted.stdout:
                failures.append("Certificate.key does not match Certificate.cer")
    p12 = os.path.join(world, folder, "Certificate.p12")
    if state == "new" and os.path.isfile(p12):
        opens = ["pkcs12", "-in", p12, "-passin", "env:CQ_HARNESS_PASSWORD", "-noout"]
        if not openssl(opens) and not openssl(opens + ["-engine", "gost"]):
            failures.append("Certificate.p12 does not open with the password")
    return failures


def previous_pair_failures(reference, entries):
    """Each file of a previous pair's folder is the working file of the old state it keeps."""
    failures = []
    folder = reference.folder
    old = part(reference.old, folder)
    prefix = f"{folder}/{PREVIOUS_NAME}/"
    for path, entry in part(entries, folder).items():
        if path.startswith(prefix):
            kept = folder + "/" + path[len(prefix):]
            if old.get(kept, (None,))[::2] != entry[::2]:
                failures.append(f"{path[len(folder) + 1:]} is not the old {kept[len(folder) + 1:]}")
    return failures


def check_world(reference, world, next_status):
    """Every way the world breaks the invariant, as short texts."""
    entries = snapshot(world)
    failures = []
    state = folder_state(reference, entries, reference.folder)
    if state not in ("old", "new"):
        failures.append("certificate folder: " + state)
    else:
        expected = reference.old_status if state == "old" else reference.new_status
        if next_status != expected:
            failures.append(f"next command ended with {next_status} ({expected} on the "
                            f"{state} state)")
        failures += key_failures(world, reference.folder, state, reference.case.pair_always)
        failures += previous_pair_failures(reference, entries)
    settings = entries.get(SETTINGS)
    if settings not in (reference.old.get(SETTINGS), reference.new.get(SETTINGS)):
        failures.append("settings file is neither the old nor the new one")
    failures += [f"container changed or gone: {path}" for path in lost_containers(reference,
                                                                                   entries)]
    failures += [f"changed outside the folder: {path}" for path in
                 outside_changes(reference, entries)]
    failures += [f"left behind: {path}" for path in strays(world, entries)]
    failures += [f"clear private key in {path}" for path in clear_keys(world)]
    return failures


# ---------------------------------------------------------------- running the cases


def named_kill_points():
    """The tool's own kill points (KillPoint("name") in src/), which a build with the tests
    honours when CERTQUORIX_TEST_KILL_AT names one."""
    names = set()
    for top, _, files in os.walk(os.path.join(REPO, "src")):
        for name in files:
            if name.endswith(".cpp"):
                text = read_text(os.path.join(top, name))
                names.update(re.findall(r'KillPoint\("([\w-]+)"\)', text))
    return sorted(names)


def kill(case, world, point):
    """Runs the command killed at a point: a call number or a named kill point. (reached,
    where it was killed)."""
    args = expand(case.command, case, world)
    if isinstance(point, str):
        status, _, _ = run_tool(world, args, extra_env={"CERTQUORIX_TEST_KILL_AT": point})
        return status == 128 + signal.SIGKILL, f"kill point {point}"
    status, _, report = run_tool(world, args, point)
    if not report["calls"]:
        return False, f"#{point} not reached (exit {status})"
    call = report["calls"][0]
    path = call["path"].replace(world + "/", "")
    return True, f"{call['call']} #{point} ({call['thread']}) {path}"


def run_point(case, reference, template, work, point, keep_failed):
    """Kills the command at a point, runs the next command, checks the world. (reached, where,
    failures)."""
    world = os.path.join(work, f"{case.name}-{point}")
    copy_world(template, world)
    reached, where = kill(case, world, point)
    # A clear key on disk at the moment of the kill is a leak even when the next run removes it.
    failures = [f"clear private key in {path} after the kill" for path in clear_keys(world)]
    next_status = run_tool(world, expand(case.next_command, case, world))[0]
    failures += check_world(reference, world, next_status)
    if not (failures and keep_failed):
        shutil.rmtree(world)
    return reached, where, failures


def run_case(case, build, sandbox, work, options):
    template = os.path.join(work, case.name + "-template")
    make_base_world(template, build, sandbox)
    run_setup(template, case, sandbox)
    reference = Reference(case, template, work)
    points = reference.points(os.path.join(work, case.name + "-new/"), options.full)
    failed = []
    run = 0
    for point in points + (named_kill_points() if options.full else []):
        reached, where, failures = run_point(case, reference, template, work, point,
                                             options.keep_failed)
        if not reached and isinstance(point, str):
            continue  # a named point this command never passes
        run += 1
        if failures:
            failed.append((where, failures))
        if options.verbose:
            print(f"  {case.name} {where}: {'; '.join(failures) or 'ok'}", flush=True)
    shutil.rmtree(template)
    return len(reference.calls), run, failed


def print_table(rows):
    print(f"\n{'command':<24} {'calls':>6} {'points':>7} {'failures':>9}")
    for name, calls, points, failed in rows:
        print(f"{name:<24} {calls:>6} {points:>7} {len(failed):>9}")
    for name, _, _, failed in rows:
        for where, failures in failed:
            print(f"\n{name}: killed at {where}")
            for failure in failures:
                print(f"    {failure}")


def cannot_run(build):
    """Why the harness cannot run here, or None."""
    if platform.machine() != "x86_64":
        return "the tracer knows the system calls of x86_64 only"
    for program in (os.path.join(build, PROGRAM), os.path.join(build, "sandbox-ca")):
        if not os.access(program, os.X_OK):
            return f"{program} is not built"
    if shutil.which("openssl") is None:
        return "openssl is not installed"
    with tempfile.TemporaryDirectory() as folder:
        report = os.path.join(folder, "probe.json")
        probe = subprocess.run([sys.executable, "-I", "-S", TRACER, "--at", "0", "--report",
                                report, "--", "/bin/true"], capture_output=True)
        if probe.returncode != 0 or not os.path.exists(report):
            return "a traced process cannot be started here (ptrace or seccomp refused)"
    return None


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--build", default=os.path.join(REPO, "build"),
                        help="the build folder with certquorix-cli and sandbox-ca")
    parser.add_argument("--full", action="store_true", help="every point, not the sample")
    parser.add_argument("--case", action="append", help="only this case (repeatable)")
    parser.add_argument("--work", help="where the worlds are made (a new folder by default)")
    parser.add_argument("--keep-failed", action="store_true", help="keep the failed worlds")
    parser.add_argument("--verbose", action="store_true", help="a line per point")
    options = parser.parse_args()
    build = os.path.abspath(options.build)
    reason = cannot_run(build)
    if reason:
        print("crash harness skipped: " + reason)
        return SKIP
    cases = [case for case in CASES if not options.case or case.name in options.case]
    if not cases:
        parser.error("no case named " + ", ".join(options.case))
    work = os.path.abspath(options.work) if options.work else tempfile.mkdtemp(
        prefix="crash-harness-", dir=build)
    os.makedirs(work, exist_ok=True)
    sandbox = Sandbox(build, work)
    rows = []
    started = time.monotonic()
    try:
        for case in cases:
            try:
                calls, points, failed = run_case(case, build, sandbox, work, options)
            except (RuntimeError, OSError, ValueError) as error:
                calls, points, failed = 0, 0, [("its setup", [str(error)])]
            rows.append((case.name, calls, points, failed))
            print(f"{case.name}: {points} points, {len(failed)} failures", flush=True)
    finally:
        sandbox.stop()
        if not options.keep_failed:
            shutil.rmtree(work, ignore_errors=True)
    print_table(rows)
    print(f"\n{'full run' if options.full else 'sample'}: {time.monotonic() - started:.0f} s")
    if options.keep_failed:
        print(f"the failed worlds are in {work}")
    return 1 if any(failed for *_, failed in rows) else 0


# ---------------------------------------------------------------- small helpers


def end_with_parent():
    """In a child before its exec: SIGTERM when the harness ends, however it ends."""
    ctypes.CDLL(None).prctl(PR_SET_PDEATHSIG, signal.SIGTERM)


def run_checked(command):
    result = subprocess.run(command, capture_output=True)
    if result.returncode != 0:
        raise RuntimeError(f"{command[1]} failed: {result.stderr.decode(errors='replace')}")


def read_text(path):
    with open(path, encoding="utf-8", errors="replace", newline="") as file:
        return file.read()


def write_text(path, text):
    with open(path, "w", encoding="utf-8", newline="") as file:
        file.write(text)


if __name__ == "__main__":
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(128 + signal.SIGTERM))  # runs the cleanup
    sys.exit(main())
