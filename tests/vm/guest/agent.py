"""The guest's end of the host's control line (a virtio serial port named vellum.agent): runs
what the host asks and answers, one JSON object a line each way. Every request carries an "id"
that its answer repeats; requests are served at once, each on its own thread.

    {"op": "run", "argv": [...], "env": {...}, "cwd": DIR, "timeout": S}
        -> {"status": N, "out": TEXT, "err": TEXT, "timed_out": BOOL}
    {"op": "spawn", "argv": [...], "env": {...}, "cwd": DIR, "out": PATH, "err": PATH}
        -> {"pid": N}                 (output to files, which the host reads through the share)
    {"op": "wait", "pid": N, "timeout": S}  -> {"status": N, or null while it still runs}
    {"op": "signal", "pid": N, "signal": SIG}  -> {}   (to the process's whole group)
    {"op": "quit"}  -> {}, then every process started is killed and the agent ends

A status is the exit code, or minus the signal that ended the process. A failure answers
{"error": TEXT}. The first line the agent sends is {"ready": UPTIME}.
"""

import json
import os
import signal
import subprocess
import sys
import threading
import time

PORT_NAME = "vellum.agent"


def find_port(timeout=20):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        try:
            for entry in os.listdir("/sys/class/virtio-ports"):
                with open("/sys/class/virtio-ports/%s/name" % entry) as f:
                    if f.read().strip() == PORT_NAME and os.path.exists("/dev/" + entry):
                        return "/dev/" + entry
        except OSError:
            pass
        time.sleep(0.05)
    sys.exit("vm agent: no virtio port named %s" % PORT_NAME)


class Agent:
    def __init__(self, fd):
        self.fd = fd
        self.write_lock = threading.Lock()
        self.children = {}  # pid -> Popen
        self.children_lock = threading.Lock()

    def send(self, message):
        data = (json.dumps(message) + "\n").encode()
        with self.write_lock:
            while data:
                data = data[os.write(self.fd, data):]

    @staticmethod
    def _env(request):
        env = dict(os.environ)
        for k, v in (request.get("env") or {}).items():
            if v is None:
                env.pop(k, None)
            else:
                env[k] = str(v)
        return env

    def _popen(self, request, **kw):
        p = subprocess.Popen(request["argv"], env=self._env(request), cwd=request.get("cwd"),
                             stdin=subprocess.DEVNULL, start_new_session=True, **kw)
        with self.children_lock:
            self.children[p.pid] = p
        return p

    def op_run(self, request):
        p = self._popen(request, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        try:
            out, err = p.communicate(timeout=request.get("timeout"))
            timed_out = False
        except subprocess.TimeoutExpired:
            os.killpg(p.pid, signal.SIGKILL)
            out, err = p.communicate()
            timed_out = True
        return {"status": p.returncode, "out": out.decode(errors="replace"),
                "err": err.decode(errors="replace"), "timed_out": timed_out}

    def op_spawn(self, request):
        with open(request["out"], "wb") as out, open(request["err"], "wb") as err:
            p = self._popen(request, stdout=out, stderr=err)
        return {"pid": p.pid}

    def _child(self, request):
        with self.children_lock:
            p = self.children.get(request["pid"])
        if p is None:
            raise KeyError("no process %s was started here" % request["pid"])
        return p

    def op_wait(self, request):
        try:
            return {"status": self._child(request).wait(request.get("timeout"))}
        except subprocess.TimeoutExpired:
            return {"status": None}

    def op_signal(self, request):
        p = self._child(request)
        if p.poll() is None:
            try:
                os.killpg(p.pid, request["signal"])
            except ProcessLookupError:
                pass
        return {}

    def end_children(self):
        with self.children_lock:
            running = [p for p in self.children.values() if p.poll() is None]
        for p in running:
            try:
                os.killpg(p.pid, signal.SIGKILL)
            except ProcessLookupError:
                pass

    def serve(self, request):
        try:
            answer = getattr(self, "op_" + request["op"])(request)
        except Exception as e:  # the host hears of every failure, the agent goes on
            answer = {"error": "%s: %s" % (type(e).__name__, e)}
        answer["id"] = request.get("id")
        self.send(answer)

    def loop(self):
        settled = os.environ.get("VELLUM_VM_SETTLED")
        while settled and not os.path.exists(settled):
            time.sleep(0.05)
        with open("/proc/uptime") as f:
            self.send({"ready": float(f.read().split()[0])})
        pending = b""
        while True:
            chunk = os.read(self.fd, 65536)
            if not chunk:
                time.sleep(0.05)  # no host on the line yet, or it went away for a moment
                continue
            pending += chunk
            while b"\n" in pending:
                line, pending = pending.split(b"\n", 1)
                request = json.loads(line)
                if request.get("op") == "quit":
                    self.end_children()
                    self.send({"id": request.get("id")})
                    return
                threading.Thread(target=self.serve, args=(request,), daemon=True).start()


def main():
    fd = os.open(find_port(), os.O_RDWR)
    agent = Agent(fd)
    try:
        agent.loop()
    finally:
        agent.end_children()


if __name__ == "__main__":
    main()
