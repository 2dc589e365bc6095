"""threeway studio as a process, for the tests: started on an input, its address read from the first
line it prints, plain HTTP requests to it, and stopped with SIGTERM as a user's Ctrl-C would."""
import http.client
import json
import os
import re
import select
import signal
import subprocess
import time

ADDRESS = re.compile(r"^http://127\.0\.0\.1:(\d+)/\?token=([0-9a-f]{32})$")


def tool(build):
    return os.path.join(build, "bin", "threeway")


def run_tool(build, *args, cwd=None):
    """Runs threeway with `args`; fails with its stderr when it fails."""
    done = subprocess.run([tool(build), *args], cwd=cwd, capture_output=True, text=True, timeout=600)
    if done.returncode != 0:
        raise AssertionError("threeway %s failed (%d): %s" % (" ".join(args), done.returncode, done.stderr))
    return done


class Studio:
    def __init__(self, build, *args, cwd=None, start_timeout=120):
        self.process = subprocess.Popen([tool(build), "studio", *args], cwd=cwd, stdout=subprocess.PIPE,
                                        stderr=subprocess.PIPE, text=True)
        ready, _, _ = select.select([self.process.stdout], [], [], start_timeout)
        line = self.process.stdout.readline().strip() if ready else ""
        match = ADDRESS.match(line)
        if not match:
            self.process.kill()
            raise AssertionError("threeway studio printed %r, not its address; stderr: %s"
                                 % (line, self.process.stderr.read()))
        self.address = line
        self.port = int(match.group(1))
        self.token = match.group(2)
        self.host = "127.0.0.1:%d" % self.port

    def request(self, method, path, body=None, headers=None, timeout=300):
        """One request on a new connection: (status, headers, body bytes). `headers` replaces the
        defaults (Host and the token)."""
        connection = http.client.HTTPConnection("127.0.0.1", self.port, timeout=timeout)
        try:
            sent = {"Host": self.host, "X-Threeway-Token": self.token} if headers is None else headers
            if isinstance(body, (dict, list)):
                body = json.dumps(body)
                sent = dict(sent, **{"Content-Type": "application/json"})
            connection.putrequest(method, path, skip_host=True, skip_accept_encoding=True)
            for name, value in (sent.items() if isinstance(sent, dict) else sent):
                connection.putheader(name, value)
            if body is not None:
                data = body.encode() if isinstance(body, str) else body
                connection.putheader("Content-Length", str(len(data)))
                connection.endheaders(data)
            else:
                if method == "POST":
                    connection.putheader("Content-Length", "0")
                connection.endheaders()
            response = connection.getresponse()
            return response.status, dict(response.getheaders()), response.read()
        finally:
            connection.close()

    def api(self, method, path, body=None, expect=200):
        status, _, data = self.request(method, "/api/" + path, body)
        answer = json.loads(data)
        if status != expect:
            raise AssertionError("%s /api/%s: %d %s (expected %d)" % (method, path, status, answer, expect))
        return answer

    def wait_render(self, timeout=300):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            status = self.api("GET", "render")
            if status["state"] != "running":
                return status
            time.sleep(0.1)
        raise AssertionError("the render did not end within %d s" % timeout)

    def stop(self):
        """SIGTERM, as a stop; returns (exit status, stderr)."""
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
        try:
            _, err = self.process.communicate(timeout=60)
        except subprocess.TimeoutExpired:
            self.process.kill()
            _, err = self.process.communicate()
        return self.process.returncode, err
