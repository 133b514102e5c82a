"""The crash harness's tracer: a kill at call N leaves exactly what calls 1..N-1 did, counted over
all threads of the process, and the processes it starts run untouched."""

import json
import os
import platform
import subprocess
import sys
import tempfile
import unittest

TRACER = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts", "lib",
                      "syscall_kill.py")

# Writes "first" in one thread, then (after that thread ended) "second" in another, then runs a
# child process that writes "child".
WORKLOAD = """
import subprocess, sys, threading
def write(name):
    with open(name, "w") as file:
        file.write(name)
for name in ("first", "second"):
    thread = threading.Thread(target=write, args=(name,))
    thread.start()
    thread.join()
subprocess.run(["/bin/sh", "-c", "echo child > child"], check=True)
"""


def traced(folder, at):
    report = os.path.join(folder, "report.json")
    status = subprocess.run([sys.executable, "-I", "-S", TRACER, "--at", str(at), "--report",
                             report, "--", sys.executable, "-I", "-S", "-c", WORKLOAD],
                            cwd=folder).returncode
    with open(report, encoding="utf-8") as file:
        return status, json.load(file)


def traceable():
    if platform.machine() != "x86_64":
        return False
    with tempfile.TemporaryDirectory() as folder:
        try:
            return traced(folder, 0)[0] == 0
        except (OSError, ValueError):
            return False


@unittest.skipUnless(traceable(), "no ptrace with a seccomp filter here (or not x86_64)")
class SyscallKillTest(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.mkdtemp()

    def tearDown(self):
        subprocess.run(["rm", "-rf", self.folder], check=True)

    @staticmethod
    def opening(calls, name):
        return next(call for call in calls if call["call"] == "openat" and call["path"] == name)

    def test_a_run_to_its_end_lists_the_calls_of_every_thread_but_not_of_its_children(self):
        status, report = traced(self.folder, 0)
        self.assertEqual(status, 0)
        self.assertFalse(report["killed"])
        self.assertEqual(self.opening(report["calls"], "first")["thread"], "worker")
        self.assertEqual(self.opening(report["calls"], "second")["thread"], "worker")
        self.assertFalse(any(call["path"] == "child" for call in report["calls"]))
        self.assertEqual(sorted(os.listdir(self.folder)),
                         ["child", "first", "report.json", "second"])
        numbers = [call["n"] for call in report["calls"]]
        self.assertEqual(numbers, list(range(1, len(numbers) + 1)))

    def test_a_kill_leaves_what_the_calls_before_it_did(self):
        calls = traced(self.folder, 0)[1]["calls"]
        cases = [  # (the call killed, the files left)
            (self.opening(calls, "first"), []),
            (self.opening(calls, "second"), ["first"]),
        ]
        for call, left in cases:
            with self.subTest(killed_at=call["path"]):
                for name in ("first", "second", "child"):
                    if os.path.exists(os.path.join(self.folder, name)):
                        os.unlink(os.path.join(self.folder, name))
                status, report = traced(self.folder, call["n"])
                self.assertEqual(status, 128 + 9)
                self.assertTrue(report["killed"])
                self.assertEqual(report["calls"], [call])
                self.assertEqual(sorted(set(os.listdir(self.folder)) - {"report.json"}), left)


if __name__ == "__main__":
    unittest.main()
