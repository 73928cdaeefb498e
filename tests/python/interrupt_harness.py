"""Ctrl-C from outside: run a call in a fresh interpreter, send it SIGINT
from this process, and report what the child saw. Shared by
test_interrupt.py and bench/bench_interrupt.py."""
import json
import os
import signal
import subprocess
import sys
import textwrap
import time

CHILD = """
import json, math, os, signal, sys, time
import zyl_core as z
# A shell that starts background jobs makes them ignore SIGINT; restore it.
signal.signal(signal.SIGINT, signal.default_int_handler)

def rss_kib():
    with open("/proc/self/statm") as f:
        return int(f.read().split()[1]) * os.sysconf("SC_PAGE_SIZE") // 1024

{setup}
report = {{"rss_before": rss_kib(), "outcomes": [], "caught": [], "rss": []}}
def set_aside(signum, frame):
    pass

for _ in range({repeat}):
    sys.stdout.write("ready\\n")
    sys.stdout.flush()
    try:
        {call}
        signal.signal(signal.SIGINT, set_aside)
        report["outcomes"].append("finished")
    except KeyboardInterrupt:
        signal.signal(signal.SIGINT, set_aside)
        report["outcomes"].append("interrupted")
    report["caught"].append(time.time())
    report["rss"].append(rss_kib())
    # The parent's go-ahead for the next round comes after its SIGINT: one
    # that arrives after the call finished is set aside, not raised where it
    # would lose the go-ahead.
    sys.stdin.readline()
    signal.signal(signal.SIGINT, signal.default_int_handler)
cpu = time.process_time()
time.sleep(0.5)
report["cpu_after"] = time.process_time() - cpu
report["rss_after"] = rss_kib()
report["check"] = {check}
sys.stdout.write("report " + json.dumps(report) + "\\n")
"""


def interrupt(setup, call, check="True", delay=0.5, repeat=1, env=None, timeout=300):
    """Runs `setup`, then `call` `repeat` times, each time sending SIGINT
    `delay` seconds after the call starts (or delay[i] in round i). Returns the child's report:
    "outcomes" ("interrupted" or "finished") and "latencies" (seconds from
    SIGINT sent to KeyboardInterrupt caught) per round, "check" (the value
    of the expression `check` evaluated afterwards), "cpu_after" (CPU
    seconds the child used in the 0.5 s after the last round), and its
    resident KiB before the first round ("rss_before") and after each
    ("rss")."""
    code = CHILD.format(setup=textwrap.dedent(setup), call=call, check=check, repeat=repeat)
    full_env = {k: v for k, v in os.environ.items() if not k.startswith("RAYON_")}
    full_env.update(env or {})
    proc = subprocess.Popen([sys.executable, "-c", code], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                            stderr=subprocess.PIPE, text=True, env=full_env)
    sent = []
    deadline = time.time() + timeout
    try:
        for i in range(repeat):
            line = proc.stdout.readline()
            assert line == "ready\n", (line, proc.stderr.read() if line == "" else "")
            time.sleep(delay[i] if isinstance(delay, list) else delay)
            sent.append(time.time())
            proc.send_signal(signal.SIGINT)
            proc.stdin.write("\n")
            proc.stdin.flush()
            assert time.time() < deadline, "child took too long"
        out, err = proc.communicate(timeout=max(1.0, deadline - time.time()))
    finally:
        if proc.poll() is None:
            proc.kill()
            proc.wait()
    assert proc.returncode == 0, err
    report = json.loads(out.split("report ", 1)[1])
    report["latencies"] = [c - s for c, s in zip(report["caught"], sent)]
    return report
