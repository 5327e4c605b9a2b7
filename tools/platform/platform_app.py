"""The stand-in platform's parts put together, and the way one request to
"/opc.do" is answered: faults decide first, then the operation runs, the
request is logged, and the reply is handed back to the HTTP layer."""

import json
import threading
import time

import seed_data
from faults import FaultSwitches
from form_decoding import decode_form, printable_body
from operations import Operations
from request_log import RequestLog
from sessions import SessionStore
from simulation import PlatformClock, Simulator

JSON_TYPE = "application/json;charset=UTF-8"


class Reply:
    """What the HTTP layer sends back for one request."""

    def __init__(self, status=200, body=b"", content_type=JSON_TYPE,
                 close=None, delay=0.0, entry=None, unsized=False):
        self.status = status
        self.body = body
        self.content_type = content_type
        self.close = close        # None, "close" or "reset": no reply at all
        self.delay = delay
        self.entry = entry        # the request log entry
        self.unsized = unsized    # sent without Content-Length


def encode_json(reply):
    return json.dumps(reply, ensure_ascii=False, separators=(",", ":")).encode("utf-8")


class PlatformApp:
    def __init__(self, seed, session_lifetime, console, frozen_clock=False,
                 log_limit=10000, plant_size=0):
        self.seed = seed
        self.catalog = seed_data.build_catalog(plant_size)
        self.clock = PlatformClock(frozen=frozen_clock)
        self.simulator = Simulator(seed, self.clock)
        self.initial_session_lifetime = session_lifetime
        self.sessions = SessionStore(session_lifetime, seed)
        self.faults = FaultSwitches()
        self.console = console
        self.requests = RequestLog(console, log_limit)
        self.operations = Operations(self.catalog, self.sessions, self.simulator)
        self.stopping = threading.Event()
        self.endpoints = {}       # filled in by the server main
        self.switch_listeners = []  # called after the control endpoint changed switches

    def answer_opc(self, method, body, client, scheme):
        """The reply to one request on "/opc.do"."""
        started = time.monotonic()
        entry = {"client": client, "scheme": scheme, "method": method,
                 "path": "/opc.do", "raw_body": printable_body(body)}
        form = decode_form(body)
        req_code = form.get("reqCode")
        entry.update(reqCode=req_code if form.has("reqCode") else None,
                     fields=form.fields(),
                     pairs=[list(p) for p in form.pairs],
                     gbk_fields=form.gbk_fields)
        if method != "POST":
            reply = Reply(405, encode_json({"success": False, "msg": "请使用POST请求"}))
            return self._finish(entry, reply, [], False, "not a POST", started)

        decision = self.faults.decide(req_code)
        note = ""
        if decision.apply:
            result, note = self.operations.handle(form)
            if decision.success_string:
                result["success"] = "true" if result.get("success") else "false"
        if decision.close:
            reply = Reply(None, close=decision.close)
        elif decision.replacement:
            name, status, text, content_type = decision.replacement
            reply = Reply(status, text.encode("utf-8"),
                          content_type or "text/html;charset=UTF-8",
                          unsized=decision.unsized)
        else:
            reply = Reply(200, encode_json(result))
        reply.delay = decision.delay
        return self._finish(entry, reply, decision.faults, decision.apply, note, started)

    def _finish(self, entry, reply, faults, applied, note, started):
        entry.update(status=reply.status,
                     reply=None if reply.close else reply.body.decode("utf-8", "replace"),
                     faults=faults, applied=applied, note=note,
                     delay=reply.delay,
                     duration_ms=round((time.monotonic() - started) * 1000, 1))
        reply.entry = entry
        self.requests.record(entry)
        return reply

    def reset(self):
        """Everything a test may have changed, back to the start state
        (the request log and the clock are left alone)."""
        self.faults.reset()
        self.simulator.reset()
        self.sessions.numeric_ids = False
        self.sessions.lifetime = self.initial_session_lifetime

    def state(self):
        return {
            "faults": self.faults.state(),
            "sessions": self.sessions.state(),
            "clock": self.clock.state(),
            "simulation": self.simulator.state(),
            "seed": self.seed,
            "requests": self.requests.last_seq(),
            "endpoints": self.endpoints,
        }

    def current_values(self):
        """key -> value of every variable, as a value request would send it."""
        values = {}
        for _, device, variable in self.catalog.all_variables():
            owner = self.catalog.owner_of(variable) or device
            values[variable.key] = self.simulator.current(
                variable, self.simulator.device_online(owner))
        return values
