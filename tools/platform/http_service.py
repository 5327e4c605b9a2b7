"""HTTP plumbing: the request handler, the listening sockets (plain or
TLS) and the guard that stops and resumes listening while the "refuse
listen" switch is on."""

import http.server
import socket
import socketserver
import ssl
import struct
import threading

from platform_app import encode_json

MAX_BODY = 16 * 1024 * 1024


class PlatformHandler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "PlatformStandIn/1.0"
    sys_version = ""
    timeout = 30                  # seconds a connection may stay silent

    def log_message(self, format, *args):
        pass                      # every request goes to the request log instead

    def do_POST(self):
        self._serve()

    do_GET = do_DELETE = do_PUT = do_POST

    def _serve(self):
        self.close_connection = True      # one request per connection
        path, _, query = self.path.partition("?")
        try:
            body = self._read_body()
        except ValueError as error:
            self._send(400, b"bad request: %s" % str(error).encode(), "text/plain")
            return
        if path == "/_control" or path.startswith("/_control/"):
            status, reply = self.server.control.handle(self.command, path, query, body)
            self._send(status, encode_json(reply), "application/json;charset=UTF-8")
        elif path == "/opc.do":
            self._serve_opc(body)
        else:
            page = ("<html><body><h1>404 Not Found</h1><p>%s</p></body></html>"
                    % path).encode("utf-8")
            self._send(404, page, "text/html;charset=UTF-8")

    def _serve_opc(self, body):
        app = self.server.app
        reply = app.answer_opc(self.command, body, self.client_address[0],
                               self.server.scheme)
        if reply.delay and app.stopping.wait(reply.delay):
            return
        if reply.close == "reset":
            self.connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER,
                                       struct.pack("ii", 1, 0))
            self.connection.close()
            return
        if reply.close == "close":
            return
        try:
            self._send(reply.status, reply.body, reply.content_type,
                       sized=not reply.unsized)
        except OSError as error:
            reply.entry["delivered"] = False
            app.console.event("reply #%d not delivered: %s" % (reply.entry["seq"], error))

    def _read_body(self):
        if "chunked" in self.headers.get("Transfer-Encoding", "").lower():
            chunks = []
            total = 0
            while True:
                size = int(self.rfile.readline().split(b";")[0].strip() or b"0", 16)
                if size == 0:
                    while self.rfile.readline() not in (b"\r\n", b"\n", b""):
                        pass
                    return b"".join(chunks)
                total += size
                if total > MAX_BODY:
                    raise ValueError("body too large")
                chunks.append(self.rfile.read(size))
                self.rfile.readline()
        length = int(self.headers.get("Content-Length") or 0)
        if length < 0 or length > MAX_BODY:
            raise ValueError("bad Content-Length")
        return self.rfile.read(length) if length else b""

    def _send(self, status, body, content_type, sized=True):
        self.close_connection = True
        self.send_response(status)
        self.send_header("Content-Type", content_type)
        if sized:
            self.send_header("Content-Length", str(len(body)))
        self.send_header("Connection", "close")
        self.end_headers()
        self.wfile.write(body)
        self.wfile.flush()


class _Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True
    allow_reuse_address = True

    def __init__(self, address, app, control, tls_context):
        self.address_family = socket.AF_INET6 if ":" in address[0] else socket.AF_INET
        self.app = app
        self.control = control
        self.tls_context = tls_context
        self.scheme = "https" if tls_context else "http"
        super().__init__(address, PlatformHandler)

    def finish_request(self, request, client_address):
        """Runs on the connection's own thread, so a slow TLS handshake
        holds up nobody else."""
        if self.tls_context is None:
            super().finish_request(request, client_address)
            return
        request.settimeout(PlatformHandler.timeout)
        try:
            secured = self.tls_context.wrap_socket(request, server_side=True)
        except (ssl.SSLError, OSError) as error:
            self.app.console.event("TLS handshake with %s failed: %s"
                                   % (client_address[0], error))
            return
        try:
            super().finish_request(secured, client_address)
        finally:
            self.shutdown_request(secured)

    def handle_error(self, request, client_address):
        self.app.console.event("connection from %s ended with an error"
                               % (client_address[0],))


class Listener:
    """One listening socket that can be stopped and started again on the
    same port."""

    def __init__(self, name, bind, port, app, control, tls_context=None):
        self.name = name
        self.bind = bind
        self.port = port
        self.app = app
        self.control = control
        self.tls_context = tls_context
        self._server = None
        self._thread = None

    @property
    def listening(self):
        return self._server is not None

    def start(self):
        server = _Server((self.bind, self.port), self.app, self.control,
                         self.tls_context)
        self.port = server.server_address[1]
        self._server = server
        self._thread = threading.Thread(target=server.serve_forever,
                                        kwargs={"poll_interval": 0.05},
                                        name="listener-%s" % self.name, daemon=True)
        self._thread.start()

    def stop(self):
        server, self._server = self._server, None
        if server is not None:
            server.shutdown()
            server.server_close()
            self._thread.join()


class ListenGuard(threading.Thread):
    """Keeps the platform's listener in step with the "refuse listen"
    switch: closed while it is on, open again when it goes off. The control
    endpoint calls reconcile() right after a change, so the change holds
    when its reply arrives; the thread catches a switch whose time ran out."""

    def __init__(self, app, listener):
        super().__init__(name="listen-guard", daemon=True)
        self.app = app
        self.listener = listener
        self._lock = threading.Lock()

    def run(self):
        while not self.app.stopping.wait(0.05):
            self.reconcile()

    def reconcile(self):
        with self._lock:
            if self.app.stopping.is_set():
                return
            refuse = self.app.faults.refuse_listen()
            try:
                if refuse and self.listener.listening:
                    self.listener.stop()
                    self.app.console.event("stopped listening on port %d (refuse)"
                                           % self.listener.port)
                elif not refuse and not self.listener.listening:
                    self.listener.start()
                    self.app.console.event("listening again on port %d"
                                           % self.listener.port)
            except OSError as error:
                self.app.console.event("cannot listen on port %d yet: %s"
                                       % (self.listener.port, error))

    def close(self):
        """Stops listening for good (the platform is shutting down)."""
        with self._lock:
            self.listener.stop()
