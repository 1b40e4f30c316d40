"""The rig's agent inside the guest: runs the commands the host sends.

One JSON request a line on the console, one answer a line, prefixed with
"@@ " so the host can tell answers from anything else the console shows.
Times are the guest's monotonic clock, so durations measured here do not
depend on how fast the emulation runs against the host's clock.
"""

import glob
import json
import os
import subprocess
import sys
import termios
import threading
import time

jobs = {}  # name -> Job


class Job:
    """A program running in the background. Its end, and the moment the
    device it uses vanishes, are noted as they happen by threads of their
    own, so a late request from the host stretches neither."""

    def __init__(self, argv, env, out_path, watch):
        self.out_path = out_path
        self.ended = None
        self.gone = None
        with open(out_path, "wb") as out:
            self.proc = subprocess.Popen(argv, stdout=out, stderr=subprocess.STDOUT, env=env)
        threading.Thread(target=self.wait, daemon=True).start()
        if watch:
            threading.Thread(target=self.watch, args=(watch,), daemon=True).start()

    def wait(self):
        self.proc.wait()
        self.ended = time.monotonic()

    def watch(self, path):
        while os.path.exists(path):
            time.sleep(0.005)
        self.gone = time.monotonic()

    def join(self, seconds):
        deadline = time.monotonic() + seconds
        while self.ended is None and time.monotonic() < deadline:
            time.sleep(0.002)
        return self.ended is not None

    def output(self):
        with open(self.out_path, "r", errors="replace") as f:
            return f.read()


def answer(message):
    sys.stdout.write("@@ " + json.dumps(message) + "\n")
    sys.stdout.flush()


def op_run(req):
    started = time.monotonic()
    try:
        done = subprocess.run(req["argv"], capture_output=True, text=True, errors="replace",
                              timeout=req.get("timeout", 60), env=environment(req))
    except subprocess.TimeoutExpired as e:
        return {"rc": None, "out": e.stdout or "", "err": "timed out", "secs": req["timeout"]}
    return {"rc": done.returncode, "out": done.stdout, "err": done.stderr,
            "secs": time.monotonic() - started}


def environment(req):
    env = dict(os.environ)
    env.update(req.get("env", {}))
    return env


def op_spawn(req):
    job = Job(req["argv"], environment(req),
              os.path.join(os.environ.get("TMPDIR", "/tmp"), "job-%s.out" % req["name"]),
              req.get("watch"))
    jobs[req["name"]] = job
    return {"pid": job.proc.pid}


def op_wait_output(req):
    job = jobs[req["name"]]
    deadline = time.monotonic() + req.get("timeout", 30)
    while time.monotonic() < deadline and job.ended is None:
        if job.output().count(req["text"]) >= req.get("count", 1):
            return {"ok": True}
        time.sleep(0.01)
    return {"ok": False, "out": job.output()}


def op_join(req):
    # Only the job's own thread waits for it: two waits on one child would
    # leave one of them without its exit status.
    job = jobs.pop(req["name"])
    if not job.join(req.get("timeout", 30)):
        job.proc.kill()
        return {"rc": None, "out": job.output()}
    return {"rc": job.proc.returncode, "out": job.output(), "ended": job.ended, "gone": job.gone}


def op_wait_path(req):
    deadline = time.monotonic() + req.get("timeout", 10)
    while time.monotonic() < deadline:
        found = sorted(glob.glob(req["pattern"]))
        if found:
            return {"path": found[0]}
        time.sleep(0.02)
    return {"path": None}


def op_kill(req):
    job = jobs.pop(req["name"])
    job.proc.send_signal(req.get("signal", 9))
    if not job.join(req.get("timeout", 10)):
        job.proc.kill()
        job.join(10)
    return {"rc": job.proc.returncode, "out": job.output()}


OPS = {
    "run": op_run,
    "spawn": op_spawn,
    "wait_output": op_wait_output,
    "join": op_join,
    "wait_path": op_wait_path,
    "kill": op_kill,
}


def main():
    attrs = termios.tcgetattr(0)
    attrs[3] &= ~termios.ECHO
    termios.tcsetattr(0, termios.TCSANOW, attrs)
    answer({"ready": True, "uname": os.uname().release})
    for line in sys.stdin:
        line = line.strip()
        if not line.startswith("{"):
            continue
        req = json.loads(line)
        if req["op"] == "quit":
            answer({"id": req["id"]})
            return
        try:
            reply = OPS[req["op"]](req)
        except Exception as e:  # an agent that dies would hang the host
            reply = {"error": "%s: %s" % (type(e).__name__, e)}
        reply["id"] = req["id"]
        answer(reply)


main()
