#!/usr/bin/python3
"""Runs a command under ptrace and ends it with SIGKILL on entry to its N-th file or network
system call, counted over all its threads in the order they make them.

    syscall_kill.py --at N --report FILE -- COMMAND [ARGS...]

With --at 0 the command runs to its end and the report lists every call of the set it made:
that list is the set of points a crash can hit. With --at N the process (all its threads) is
killed before the N-th call runs, so the disk holds exactly what the earlier calls left.

strace's own injection (-e inject=...:when=N) counts per thread; certquorix-cli writes its
prepared files in worker threads, so only a count over the whole process reaches every call.
The processes the command starts (openssl) are not traced: killing them is a failed helper,
not a crash of the tool. Calls that change nothing (read, stat, close) are not points: a kill
there leaves what a kill at the next call of the set leaves. x86_64 only.

The report is JSON: {"killed": bool, "calls": [{"n", "call", "thread", "path"}...]} (with --at N
only the call killed), and the tracer exits with the command's status (128 + signal when a
signal ended it)."""

import argparse
import ctypes
import json
import os
import platform
import signal
import sys

# x86_64 numbers of the calls that write, create, rename, remove, lock or talk to the network.
SYSCALLS = {
    1: "write", 2: "open", 18: "pwrite64", 20: "writev", 40: "sendfile", 41: "socket",
    42: "connect", 44: "sendto", 45: "recvfrom", 46: "sendmsg", 47: "recvmsg", 73: "flock",
    74: "fsync", 75: "fdatasync", 76: "truncate", 77: "ftruncate", 82: "rename", 83: "mkdir",
    84: "rmdir", 85: "creat", 86: "link", 87: "unlink", 88: "symlink", 90: "chmod",
    91: "fchmod", 92: "chown", 93: "fchown", 94: "lchown", 257: "openat", 258: "mkdirat",
    260: "fchownat", 263: "unlinkat", 264: "renameat", 265: "linkat", 266: "symlinkat",
    268: "fchmodat", 285: "fallocate", 296: "pwritev", 299: "recvmmsg", 307: "sendmmsg",
    316: "renameat2", 326: "copy_file_range", 328: "pwritev2", 437: "openat2", 452: "fchmodat2",
}
# Which argument holds a path ("p") or a file descriptor ("f"), for the report.
PATH_ARGS = {
    "open": "p", "creat": "p", "unlink": "p", "mkdir": "p", "rmdir": "p", "chmod": "p",
    "truncate": "p", "chown": "p", "lchown": "p", "rename": "pp", "link": "pp",
    "symlink": "-p", "openat": "-p", "openat2": "-p", "unlinkat": "-p", "mkdirat": "-p",
    "fchmodat": "-p", "fchmodat2": "-p", "fchownat": "-p", "renameat": "-p-p",
    "renameat2": "-p-p", "linkat": "-p-p", "symlinkat": "--p",
}

PTRACE_TRACEME = 0
PTRACE_CONT = 7
PTRACE_SETOPTIONS = 0x4200
PTRACE_GET_SYSCALL_INFO = 0x420E
PTRACE_O_TRACEFORK = 0x2
PTRACE_O_TRACEVFORK = 0x4
PTRACE_O_TRACECLONE = 0x8
PTRACE_O_TRACEEXEC = 0x10
PTRACE_O_TRACESECCOMP = 0x80
PTRACE_O_EXITKILL = 0x100000
PTRACE_EVENT_SECCOMP = 7
WALL = 0x40000000
PR_SET_NO_NEW_PRIVS = 38
PR_SET_SECCOMP = 22
SECCOMP_MODE_FILTER = 2
SECCOMP_RET_ALLOW = 0x7FFF0000
SECCOMP_RET_TRACE = 0x7FF00000
AUDIT_ARCH_X86_64 = 0xC000003E

libc = ctypes.CDLL(None, use_errno=True)
libc.ptrace.argtypes = [ctypes.c_long, ctypes.c_long, ctypes.c_void_p, ctypes.c_void_p]
libc.ptrace.restype = ctypes.c_long


class SockFilter(ctypes.Structure):
    _fields_ = [("code", ctypes.c_uint16), ("jt", ctypes.c_uint8), ("jf", ctypes.c_uint8),
                ("k", ctypes.c_uint32)]


class SockFprog(ctypes.Structure):
    _fields_ = [("len", ctypes.c_uint16), ("filter", ctypes.POINTER(SockFilter))]


class SyscallInfo(ctypes.Structure):
    _fields_ = [("op", ctypes.c_uint8), ("pad", ctypes.c_uint8 * 3), ("arch", ctypes.c_uint32),
                ("ip", ctypes.c_uint64), ("sp", ctypes.c_uint64), ("nr", ctypes.c_uint64),
                ("args", ctypes.c_uint64 * 6), ("rest", ctypes.c_uint64 * 2)]


def ptrace(request, tid, addr=0, data=0):
    return libc.ptrace(request, tid, ctypes.c_void_p(addr), ctypes.c_void_p(data))


def install_filter():
    """Makes every call of the set stop the process for its tracer, and no other call: the
    tracer then sees a few hundred stops instead of every call of the run."""
    load, jump_equal, give = 0x20, 0x15, 0x06
    numbers = sorted(SYSCALLS)
    count = len(numbers)
    program = [SockFilter(load, 0, 0, 4), SockFilter(jump_equal, 0, count + 1, AUDIT_ARCH_X86_64),
               SockFilter(load, 0, 0, 0)]
    program += [SockFilter(jump_equal, count - index, 0, number)
                for index, number in enumerate(numbers)]
    program += [SockFilter(give, 0, 0, SECCOMP_RET_ALLOW), SockFilter(give, 0, 0, SECCOMP_RET_TRACE)]
    filters = (SockFilter * len(program))(*program)
    fprog = SockFprog(len(program), filters)
    if libc.prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0:
        return False
    return libc.prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, ctypes.byref(fprog), 0, 0) == 0


def call_of(tid):
    """The call a thread stopped at (its number and arguments)."""
    info = SyscallInfo()
    if ptrace(PTRACE_GET_SYSCALL_INFO, tid, ctypes.sizeof(info), ctypes.addressof(info)) <= 0:
        return None
    return info


def thread_group(tid):
    try:
        with open(f"/proc/{tid}/status", encoding="utf-8") as status:
            for line in status:
                if line.startswith("Tgid:"):
                    return int(line.split()[1])
    except OSError:
        pass
    return -1


def read_string(tid, address):
    try:
        with open(f"/proc/{tid}/mem", "rb") as memory:
            memory.seek(address)
            return memory.read(4096).split(b"\0", 1)[0].decode("utf-8", "replace")
    except (OSError, ValueError, OverflowError):
        return "?"


def describe(tid, name, args):
    """The paths (or the file a descriptor names) a call works on."""
    kinds = PATH_ARGS.get(name, "f")
    parts = []
    for index, kind in enumerate(kinds):
        if kind == "p":
            parts.append(read_string(tid, args[index]))
        elif kind == "f":
            try:
                parts.append(os.readlink(f"/proc/{tid}/fd/{ctypes.c_int(args[index]).value}"))
            except OSError:
                parts.append("?")
    return " -> ".join(parts)


def start_traced(command):
    pid = os.fork()
    if pid == 0:
        try:
            if ptrace(PTRACE_TRACEME, 0) == 0 and install_filter():
                os.execvp(command[0], command)
        finally:
            os._exit(127)
    os.waitpid(pid, 0)  # stopped at its exec
    options = (PTRACE_O_TRACESECCOMP | PTRACE_O_TRACECLONE | PTRACE_O_TRACEFORK |
               PTRACE_O_TRACEVFORK | PTRACE_O_TRACEEXEC | PTRACE_O_EXITKILL)
    ptrace(PTRACE_SETOPTIONS, pid, 0, options)
    ptrace(PTRACE_CONT, pid)
    return pid


def trace(command, kill_at):
    """Runs the command to its end, and the processes it started to theirs (they inherit the
    filter, so they stay traced); (exit status, killed, calls recorded)."""
    pid = start_traced(command)
    count = 0
    calls = []
    killed = False
    code = None
    attached = {pid}
    while attached:
        tid, status = os.waitpid(-1, WALL)
        if os.WIFEXITED(status) or os.WIFSIGNALED(status):
            attached.discard(tid)
            if tid == pid:
                code = (os.WEXITSTATUS(status) if os.WIFEXITED(status)
                        else 128 + os.WTERMSIG(status))
            continue
        if not os.WIFSTOPPED(status):
            continue
        stop = os.WSTOPSIG(status)
        deliver = 0
        if status >> 8 == signal.SIGTRAP | (PTRACE_EVENT_SECCOMP << 8):
            info = call_of(tid)
            name = SYSCALLS.get(info.nr) if info is not None else None
            if name is not None and not killed and thread_group(tid) == pid:
                count += 1
                if kill_at == 0 or count == kill_at:
                    calls.append({"n": count, "call": name,
                                  "thread": "main" if tid == pid else "worker",
                                  "path": describe(tid, name, list(info.args))})
                if count == kill_at:
                    killed = True
                    os.kill(pid, signal.SIGKILL)
                    continue
        elif status >> 16 != 0 or stop == signal.SIGTRAP:
            pass  # a clone, fork or exec event
        elif stop == signal.SIGSTOP and tid not in attached:
            attached.add(tid)  # a new thread's or process's first stop
        else:
            deliver = stop
        attached.add(tid)
        ptrace(PTRACE_CONT, tid, 0, deliver)
    return code, killed, calls


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--at", type=int, default=0, help="kill at this call (0: record all)")
    parser.add_argument("--report", required=True, help="where the JSON report goes")
    parser.add_argument("command", nargs=argparse.REMAINDER)
    options = parser.parse_args()
    command = options.command[1:] if options.command[:1] == ["--"] else options.command
    if platform.machine() != "x86_64":
        sys.exit("syscall_kill.py: x86_64 only")
    code, killed, calls = trace(command, options.at)
    with open(options.report, "w", encoding="utf-8") as report:
        json.dump({"killed": killed, "calls": calls}, report)
    sys.exit(code)


if __name__ == "__main__":
    main()
