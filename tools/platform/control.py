"""The control endpoint ("/_control"), through which tests switch faults,
pin values and read the request log while the platform runs.

  GET    /_control                 the platform's state
  POST   /_control                 a JSON object of commands, applied in order
  GET    /_control/requests        the request log (?since=SEQ&reqCode=X&limit=N)
  DELETE /_control/requests        empties the request log (POST works too)
  GET    /_control/values          the current value of every variable by key

Commands of POST /_control (README.md has examples):
  refuse, delay, http500, empty_reply, non_json, success_string
                       fault switches (see faults.py)
  canned               a scripted reply or a list of them
  clear_canned         true: drops the scripted replies not yet used
  numeric_session_id   true: logins hand out numbers as session ids
  session_lifetime     seconds for sessions opened from now on (0 = forever)
  expire_sessions      true: every session ends now
  clock                {"freeze": bool, "advance": seconds}
  hold                 {"D:V": value, ...}: pins values (null = invalid)
  release              ["D:V", ...] or "all": back to the simulated values
  device_online        {"D2005": true, ...}: takes devices on or off line
  clear_requests       true: empties the request log
  reset                true: every switch off, holds released, session
                       settings back to the start values
The reply is the state after the commands, or 400 with {"error": ...} when
a command is not understood (commands before it have been applied).
"""

import json
from urllib.parse import parse_qs

from faults import SWITCH_NAMES, FaultSettingError


class ControlError(ValueError):
    pass


class ControlEndpoint:
    def __init__(self, app):
        self.app = app

    def handle(self, method, path, query, body):
        """(HTTP status, JSON-able reply) for one control request."""
        try:
            if path in ("/_control", "/_control/"):
                if method == "GET":
                    return 200, self.app.state()
                if method == "POST":
                    return 200, self._apply(self._commands(body))
            elif path == "/_control/requests":
                if method == "GET":
                    return 200, self._requests(parse_qs(query))
                if method in ("DELETE", "POST"):
                    self.app.requests.clear()
                    return 200, {"cleared": True}
            elif path == "/_control/values" and method == "GET":
                return 200, {"values": self.app.current_values()}
            else:
                return 404, {"error": "no such control path %s" % path}
            return 405, {"error": "%s not supported on %s" % (method, path)}
        except (ControlError, FaultSettingError, ValueError, TypeError) as error:
            return 400, {"error": str(error)}

    @staticmethod
    def _commands(body):
        try:
            commands = json.loads(body.decode("utf-8") or "{}")
        except (UnicodeDecodeError, json.JSONDecodeError) as error:
            raise ControlError("commands must be a JSON object: %s" % error)
        if not isinstance(commands, dict):
            raise ControlError("commands must be a JSON object")
        return commands

    def _requests(self, query):
        def one(name, convert=str):
            values = query.get(name)
            return convert(values[0]) if values else None
        since = one("since", int) or 0
        entries = self.app.requests.entries(since=since, req_code=one("reqCode"),
                                            limit=one("limit", int))
        return {"requests": entries, "last_seq": self.app.requests.last_seq()}

    def _apply(self, commands):
        app = self.app
        for name, argument in commands.items():
            if name in SWITCH_NAMES:
                app.faults.set(name, argument)
            elif name == "canned":
                for setting in argument if isinstance(argument, list) else [argument]:
                    app.faults.add_canned(setting)
            elif name == "clear_canned":
                if argument:
                    app.faults.clear_canned()
            elif name == "numeric_session_id":
                app.sessions.numeric_ids = bool(argument)
            elif name == "session_lifetime":
                if isinstance(argument, bool) or not isinstance(argument, (int, float)) \
                        or argument < 0:
                    raise ControlError("session_lifetime must be seconds >= 0")
                app.sessions.lifetime = argument
            elif name == "expire_sessions":
                if argument:
                    ended = app.sessions.expire_all()
                    app.console.event("control: %d sessions expired" % ended)
            elif name == "clock":
                self._clock(argument)
            elif name == "hold":
                for key, value in self._mapping(argument, name).items():
                    app.simulator.hold(self._variable(key), value)
            elif name == "release":
                if argument == "all":
                    app.simulator.reset()
                else:
                    for key in argument:
                        app.simulator.release(self._variable(key))
            elif name == "device_online":
                for device_id, online in self._mapping(argument, name).items():
                    device = app.catalog.device(device_id)
                    if device is None:
                        raise ControlError("no device %r" % device_id)
                    app.simulator.set_device_online(device, online)
            elif name == "clear_requests":
                if argument:
                    app.requests.clear()
            elif name == "reset":
                if argument:
                    app.reset()
            else:
                raise ControlError("unknown command %r" % name)
            app.console.event("control: %s = %s" % (
                name, json.dumps(argument, ensure_ascii=False)))
            for listener in app.switch_listeners:
                listener()
        return app.state()

    def _clock(self, argument):
        argument = self._mapping(argument, "clock")
        unknown = set(argument) - {"freeze", "advance"}
        if unknown:
            raise ControlError("unknown clock options %s" % sorted(unknown))
        if "freeze" in argument:
            self.app.clock.freeze(bool(argument["freeze"]))
        if "advance" in argument:
            self.app.clock.advance(float(argument["advance"]))

    @staticmethod
    def _mapping(argument, name):
        if not isinstance(argument, dict):
            raise ControlError("%s takes an object" % name)
        return argument

    def _variable(self, key):
        device_id, _, variant_id = str(key).partition(":")
        _, variable = self.app.catalog.variable(device_id, variant_id)
        if variable is None:
            raise ControlError("no variable %r" % key)
        return variable
