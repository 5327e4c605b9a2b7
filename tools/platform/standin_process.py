"""Starting and talking to the stand-in platform from Python test scripts.

    with StandInProcess("--freeze-clock", "--seed", "1") as platform:
        session = platform.login()
        reply = platform.opc(reqCode="queryDeviceTree", sessionid=session)
        platform.control({"http500": True})

The platform runs as a child process on a free port; its standard output
goes to a file (`output_path`) so that a chatty platform never blocks.
"""

import http.client
import json
import os
import shutil
import signal
import ssl
import subprocess
import sys
import tempfile
import time
import urllib.parse

HERE = os.path.dirname(os.path.abspath(__file__))
MAIN = os.path.join(HERE, "platform_main.py")


def encode_form(fields, encoded=("account",)):
    """A body the way the gateway builds it: "&"-joined name=value pairs in
    the given order; the values of the `encoded` fields percent-encoded as
    UTF-8 (upper-case hex, blank as "+"), all others sent as they are."""
    parts = []
    for name, value in fields.items():
        value = value if isinstance(value, bytes) else str(value).encode("utf-8")
        if name in encoded:
            value = urllib.parse.quote_plus(value, safe="-_.~").encode("ascii")
        parts.append(name.encode("ascii") + b"=" + value)
    return b"&".join(parts)


class StandInProcess:
    def __init__(self, *arguments, start_timeout=20):
        self.arguments = list(arguments)
        self.start_timeout = start_timeout
        self.process = None
        self.info = None
        self._workdir = None

    # --- life -------------------------------------------------------------------

    def start(self):
        self._workdir = tempfile.mkdtemp(prefix="standin-")
        self.ready_path = os.path.join(self._workdir, "ready.json")
        self.output_path = os.path.join(self._workdir, "stdout.log")
        self._output = open(self.output_path, "wb")
        command = [sys.executable, MAIN, "--port", "0", "--ready-file", self.ready_path]
        self.process = subprocess.Popen(command + self.arguments, stdout=self._output,
                                        stderr=subprocess.STDOUT, cwd=self._workdir)
        deadline = time.monotonic() + self.start_timeout
        while not os.path.exists(self.ready_path):
            if self.process.poll() is not None:
                raise RuntimeError("stand-in platform ended at start:\n" + self.output())
            if time.monotonic() > deadline:
                self.stop()
                raise RuntimeError("stand-in platform not ready:\n" + self.output())
            time.sleep(0.02)
        with open(self.ready_path, encoding="utf-8") as handle:
            self.info = json.load(handle)
        return self

    def stop(self, sig=signal.SIGTERM, timeout=10):
        """Ends the platform with a signal; returns its exit code."""
        if self.process is None:
            return None
        if self.process.poll() is None:
            self.process.send_signal(sig)
            try:
                self.process.wait(timeout)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        self._output.close()
        return self.process.returncode

    def close(self):
        """Stops the platform and removes its working folder (ready file and
        captured output)."""
        self.stop()
        if self._workdir is not None:
            shutil.rmtree(self._workdir, ignore_errors=True)
            self._workdir = None

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        self.close()

    def output(self):
        with open(self.output_path, encoding="utf-8", errors="replace") as handle:
            return handle.read()

    # --- connections -----------------------------------------------------------------

    @property
    def port(self):
        return self.info["port"]

    def ssl_context(self, trust=True):
        context = ssl.create_default_context(
            cafile=self.info["tls"]["ca_file"] if trust else None)
        return context

    def connection(self, host=None, timeout=10, trust=True, port=None):
        """An http.client connection to the platform's port (HTTPS when the
        platform serves HTTPS, trusting its CA unless trust is False)."""
        host = host or self.info["host"].strip("[]")
        port = port or self.port
        if self.info["scheme"] == "https":
            return http.client.HTTPSConnection(host, port, timeout=timeout,
                                               context=self.ssl_context(trust))
        return http.client.HTTPConnection(host, port, timeout=timeout)

    def request(self, method, path, body=b"", headers=None, timeout=10, **connect):
        """(status, headers, body bytes) of one request."""
        connection = self.connection(timeout=timeout, **connect)
        try:
            all_headers = {"Content-Type": "application/x-www-form-urlencoded"}
            all_headers.update(headers or {})
            connection.request(method, path, body=body, headers=all_headers)
            response = connection.getresponse()
            return response.status, dict(response.getheaders()), response.read()
        finally:
            connection.close()

    def post_raw(self, body, **options):
        return self.request("POST", "/opc.do", body, **options)

    def opc(self, **fields):
        """Posts the fields (reqCode first, in the order given) and returns
        the parsed JSON reply."""
        status, _, body = self.post_raw(encode_form(fields))
        return json.loads(body.decode("utf-8"))

    def login(self, account="demo", password="demo123"):
        reply = self.opc(reqCode="login", account=account, password=password)
        if reply.get("success") is not True:
            raise RuntimeError("login refused: %r" % reply)
        return str(reply["sessionid"])

    # --- control ------------------------------------------------------------------------

    def _control_request(self, method, path, body=b""):
        port = self.info["control_port"]
        if port is not None:
            connection = http.client.HTTPConnection("127.0.0.1", port, timeout=10)
        else:
            connection = self.connection()
        try:
            connection.request(method, path, body=body,
                               headers={"Content-Type": "application/json"})
            response = connection.getresponse()
            return response.status, json.loads(response.read().decode("utf-8"))
        finally:
            connection.close()

    def control(self, commands=None):
        """Applies commands (see control.py) and returns the new state."""
        status, reply = self._control_request(
            "POST" if commands is not None else "GET", "/_control",
            json.dumps(commands or {}).encode("utf-8"))
        if status != 200:
            raise RuntimeError("control refused: %r" % reply)
        return reply

    def control_status(self, commands):
        """(HTTP status, reply) of a control request, for bad commands."""
        return self._control_request("POST", "/_control",
                                     json.dumps(commands).encode("utf-8"))

    def requests(self, **query):
        path = "/_control/requests"
        if query:
            path += "?" + urllib.parse.urlencode(query)
        return self._control_request("GET", path)[1]["requests"]

    def values(self):
        return self._control_request("GET", "/_control/values")[1]["values"]
