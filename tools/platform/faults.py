"""Fault switches and scripted replies.

A switch is set from the command line or through the control endpoint.
Each one may be limited to some reqCodes ("reqCodes"), to a number of
requests ("count") and to a time span ("for", seconds); it switches itself
off when its count or its time runs out.

Switches:
  refuse          "listen": stop listening (connections are refused);
                  "close": read the request, close without a reply;
                  "reset": read the request, reset the connection.
  delay           reply this many seconds late (the request is carried out
                  at once, only the reply waits).
  http500         reply with an HTTP error status (500 unless "status") and
                  a body ("body", an HTML error page unless given).
  empty_reply     reply 200 with an empty body.
  non_json        reply 200 with a body that is not JSON ("body", an HTML
                  page unless given).
  success_string  carry "success" as the string "true"/"false".
Replacing faults (http500, empty_reply, non_json, canned replies) skip the
operation unless the switch has "apply": true.

A canned reply is sent instead of the next matching request's normal reply:
{"reqCode": ..., "status": 200, "body": "...", "count": 1}; with
"unsized": true its length is not announced (no Content-Length, the end of
the connection ends the body).
"""

import threading
import time

DEFAULT_500_BODY = ("<html><head><title>500 Internal Server Error</title></head>"
                    "<body><h1>HTTP Status 500 - Internal Server Error</h1>"
                    "<p>java.lang.NullPointerException</p></body></html>")
DEFAULT_NON_JSON_BODY = ("<html><head><title>登录</title></head>"
                         "<body>会话超时，请重新登录</body></html>")

REFUSE_MODES = ("off", "listen", "close", "reset")
SWITCH_NAMES = ("refuse", "delay", "http500", "empty_reply", "non_json",
                "success_string")


class FaultSettingError(ValueError):
    pass


class _Switch:
    def __init__(self, name, params, req_codes=None, count=None, seconds=None,
                 apply=False):
        self.name = name
        self.params = params
        self.req_codes = set(req_codes) if req_codes else None
        self.remaining = count
        self.until = time.monotonic() + seconds if seconds is not None else None
        self.apply = apply

    def live(self):
        if self.until is not None and time.monotonic() >= self.until:
            return False
        return self.remaining is None or self.remaining > 0

    def matches(self, req_code):
        return self.live() and (self.req_codes is None or req_code in self.req_codes)

    def consume(self):
        if self.remaining is not None:
            self.remaining -= 1

    def describe(self):
        info = dict(self.params)
        if self.req_codes is not None:
            info["reqCodes"] = sorted(self.req_codes)
        if self.remaining is not None:
            info["count"] = self.remaining
        if self.until is not None:
            info["for"] = round(max(0.0, self.until - time.monotonic()), 3)
        if self.apply:
            info["apply"] = True
        return info


class Decision:
    """What to do with one request to /opc.do."""

    def __init__(self):
        self.delay = 0.0
        self.close = None         # None, "close" or "reset"
        self.replacement = None   # (fault name, status, body) or None
        self.apply = True         # carry the operation out
        self.success_string = False
        self.unsized = False      # the replacement's length is not announced
        self.faults = []          # names, for the request log


def _number(value, what):
    if isinstance(value, bool) or not isinstance(value, (int, float)) or value < 0:
        raise FaultSettingError("%s must be a non-negative number" % what)
    return value


class FaultSwitches:
    def __init__(self):
        self._lock = threading.Lock()
        self._switches = {}       # name -> _Switch
        self._canned = []         # list of _Switch named "canned"

    # --- setting ----------------------------------------------------------------

    def set(self, name, setting):
        """Sets one switch from a setting: false/None/0/"off" switches it off;
        true switches it on with defaults; refuse takes a mode name, delay a
        number of seconds; a dict gives the options."""
        if name not in SWITCH_NAMES:
            raise FaultSettingError("unknown switch %r" % name)
        if setting is None or setting is False or setting == 0 or setting == "off":
            with self._lock:
                self._switches.pop(name, None)
            return
        options = dict(setting) if isinstance(setting, dict) else {}
        if not isinstance(setting, dict):
            if name == "refuse":
                options["mode"] = setting
            elif name == "delay":
                options["seconds"] = setting
            elif setting is not True:
                raise FaultSettingError("%s takes true, false or an object" % name)
        if options.pop("on", True) is False:
            with self._lock:
                self._switches.pop(name, None)
            return
        switch = self._build(name, options)
        with self._lock:
            self._switches[name] = switch

    def _build(self, name, options):
        req_codes = options.pop("reqCodes", None)
        if req_codes is not None and (not isinstance(req_codes, list) or
                                      not all(isinstance(r, str) for r in req_codes)):
            raise FaultSettingError("reqCodes must be a list of texts")
        count = options.pop("count", None)
        if count is not None:
            count = int(_number(count, "count"))
        seconds = options.pop("for", None)
        if seconds is not None:
            seconds = _number(seconds, "for")
        apply = bool(options.pop("apply", False))
        params = {}
        if name == "refuse":
            mode = options.pop("mode", "listen")
            if mode not in REFUSE_MODES[1:]:
                raise FaultSettingError("refuse mode must be one of %s" % (REFUSE_MODES[1:],))
            if mode == "listen" and (req_codes or count is not None):
                raise FaultSettingError("refuse 'listen' takes only 'for'")
            params["mode"] = mode
        elif name == "delay":
            params["seconds"] = _number(options.pop("seconds", 10), "seconds")
        elif name in ("http500", "non_json"):
            if name == "http500":
                params["status"] = int(options.pop("status", 500))
            default = DEFAULT_500_BODY if name == "http500" else DEFAULT_NON_JSON_BODY
            body = options.pop("body", default)
            if not isinstance(body, str):
                raise FaultSettingError("body must be a text")
            params["body"] = body
        if options:
            raise FaultSettingError("unknown options for %s: %s" % (name, sorted(options)))
        return _Switch(name, params, req_codes, count, seconds, apply)

    def add_canned(self, setting):
        if not isinstance(setting, dict):
            raise FaultSettingError("a canned reply is an object")
        options = dict(setting)
        req_code = options.pop("reqCode", None)
        body = options.pop("body", "")
        if not isinstance(body, str):
            raise FaultSettingError("canned body must be a text (JSON as text)")
        params = {"status": int(options.pop("status", 200)), "body": body,
                  "content_type": options.pop("contentType",
                                              "application/json;charset=UTF-8"),
                  "unsized": bool(options.pop("unsized", False))}
        count = int(_number(options.pop("count", 1), "count"))
        apply = bool(options.pop("apply", False))
        if options:
            raise FaultSettingError("unknown options for canned: %s" % sorted(options))
        switch = _Switch("canned", params, [req_code] if req_code else None,
                         count, None, apply)
        with self._lock:
            self._canned.append(switch)

    def clear_canned(self):
        with self._lock:
            self._canned.clear()

    def reset(self):
        with self._lock:
            self._switches.clear()
            self._canned.clear()

    # --- reading -----------------------------------------------------------------

    def refuse_listen(self):
        """True while connections must be refused (no listener)."""
        with self._lock:
            switch = self._switches.get("refuse")
            return (switch is not None and switch.live()
                    and switch.params["mode"] == "listen")

    def decide(self, req_code):
        """The faults that apply to one request, counting it against the
        switches that take effect."""
        decision = Decision()
        with self._lock:
            switches = self._switches
            refuse = switches.get("refuse")
            if (refuse is not None and refuse.params["mode"] != "listen"
                    and refuse.matches(req_code)):
                refuse.consume()
                decision.close = refuse.params["mode"]
                decision.faults.append("refuse:" + decision.close)
            delay = switches.get("delay")
            if delay is not None and delay.matches(req_code):
                delay.consume()
                decision.delay = delay.params["seconds"]
                decision.faults.append("delay:%g" % decision.delay)
            if decision.close:
                decision.apply = False
                return decision
            replacing = [c for c in self._canned if c.matches(req_code)][:1]
            replacing += [switches[n] for n in ("http500", "empty_reply", "non_json")
                          if n in switches and switches[n].matches(req_code)]
            if replacing:
                switch = replacing[0]
                switch.consume()
                status = switch.params.get("status", 200)
                body = switch.params.get("body", "")
                decision.replacement = (switch.name, status, body,
                                        switch.params.get("content_type"))
                decision.apply = switch.apply
                decision.unsized = switch.params.get("unsized", False)
                decision.faults.append(switch.name)
                self._canned = [c for c in self._canned if c.live()]
            success_string = switches.get("success_string")
            if (decision.replacement is None and success_string is not None
                    and success_string.matches(req_code)):
                success_string.consume()
                decision.success_string = True
                decision.faults.append("success_string")
            for name in [n for n, s in switches.items() if not s.live()]:
                del switches[name]
        return decision

    def state(self):
        with self._lock:
            for name in [n for n, s in self._switches.items() if not s.live()]:
                del self._switches[name]
            self._canned = [c for c in self._canned if c.live()]
            return {
                "switches": {n: s.describe() for n, s in sorted(self._switches.items())},
                "canned": [c.describe() for c in self._canned],
            }
