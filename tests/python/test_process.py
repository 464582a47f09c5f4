"""Interpreter exit, fork and refused threads while calls run: each in a child interpreter with
a timeout, since the faults guarded against end or hang the process."""

import re
import subprocess
import sys

from conftest import chain_text

PRELUDE = """
import os, resource, signal, sys, threading, time
import numpy as np, vormek
from vormek.batch import RobotBatch
robot, batch = vormek.Robot(sys.argv[1]), RobotBatch(sys.argv[1], threads=2)
n = robot.joint_count
q, out, Q, OUT = np.zeros(n), np.empty(n * n), np.zeros((200, n)), np.empty((200, n, n))
def loop(call):
    while True:
        call()
for call in (lambda: robot.mass_matrix(q, out=out), lambda: batch.mass_matrix(Q, out=OUT)):
    threading.Thread(target=loop, args=(call,), daemon=True).start()
time.sleep(0.1)
"""


def run(script, path):
    return subprocess.run([sys.executable, "-c", PRELUDE + script, str(path)], capture_output=True, text=True,
                          timeout=120)


def test_exit_while_daemon_threads_are_inside_calls(write_urdf):
    path = write_urdf(chain_text(30))
    for _ in range(5):
        done = run("", path)
        assert (done.returncode, done.stderr) == (0, "")


def test_fork_while_other_threads_are_inside_calls(write_urdf):
    # the child inherits the locks and `out`'s borrow, mostly held mid-computation
    done = run("""
for _ in range(10):
    if (pid := os.fork()) == 0:
        signal.alarm(20)
        robot.mass_matrix(q, out=out), batch.mass_matrix(Q[:10], out=OUT[:10]), robot.close(), batch.close()
        os._exit(0)
    assert os.waitpid(pid, 0)[1] == 0
""", write_urdf(chain_text(100)))
    assert (done.returncode, done.stderr) == (0, "")


def test_threads_the_system_refuses(write_urdf):
    # room for a few more thread stacks, not for a thousand, nor for the 63 helpers that a forked
    # child must start again for `keep` (once `hog` has taken the stacks the parent's threads left)
    done = run("""
keep = RobotBatch(sys.argv[1], threads=64)
vm = next(int(line.split()[1]) for line in open("/proc/self/status") if line.startswith("VmSize:"))
resource.setrlimit(resource.RLIMIT_AS, ((vm << 10) + (64 << 20), resource.RLIM_INFINITY))
try:
    RobotBatch(sys.argv[1], threads=1024)
except RuntimeError as e:
    print(e, flush=True)
if (pid := os.fork()) == 0:
    try:
        hog = RobotBatch(sys.argv[1], threads=64)
        keep.gravity(Q)
    except RuntimeError as e:
        print(e, flush=True)
    keep.close()
    os._exit(0)
assert os.waitpid(pid, 0)[1] == 0
""", write_urdf(chain_text(3)))
    assert done.returncode == 0, done.stderr
    refused = re.fullmatch(r"could start only (\d+) of 1024 threads\ncould start only (\d+) of 64 threads\n",
                           done.stdout)
    assert refused and all(1 <= int(k) < 64 for k in refused.groups()), done.stdout
