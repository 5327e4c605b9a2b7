"""The record of every request that reached the platform.

Each request is printed as one line on the standard output (passwords
masked) and kept in memory, newest last, up to a limit, so that tests can
read through the control endpoint exactly what arrived and what was sent
back (the stored entries keep the password as received).
"""

import collections
import json
import sys
import threading
import time

MASKED_FIELDS = ("password",)


def timestamp(moment=None):
    moment = time.time() if moment is None else moment
    return time.strftime("%Y-%m-%d %H:%M:%S", time.localtime(moment)) + \
        ".%03d" % int((moment % 1) * 1000)


class ConsoleLog:
    """Lines on the standard output, one writer at a time."""

    def __init__(self, stream=None):
        self._stream = stream or sys.stdout
        self._lock = threading.Lock()

    def line(self, text):
        with self._lock:
            try:
                self._stream.write(text + "\n")
                self._stream.flush()
            except (OSError, ValueError):
                pass

    def event(self, text):
        self.line("%s %s" % (timestamp(), text))


class RequestLog:
    def __init__(self, console, limit=10000):
        self._console = console
        self._lock = threading.Lock()
        self._entries = collections.deque(maxlen=limit)
        self._next_seq = 1

    def record(self, entry):
        """Stores one request (a dict, see README.md for its members), gives
        it its sequence number and time, and prints it."""
        with self._lock:
            entry["seq"] = self._next_seq
            self._next_seq += 1
            entry.setdefault("time", timestamp())
            self._entries.append(entry)
        self._console.line(self._format(entry))
        return entry["seq"]

    @staticmethod
    def _format(entry):
        fields = " ".join(
            "%s=%s" % (name, "***" if name in MASKED_FIELDS else value)
            for name, value in entry.get("pairs") or [])
        reply = entry.get("reply")
        text = "%s #%d %s %s %s %s -> %s %s" % (
            entry["time"], entry["seq"], entry.get("client", "?"),
            entry.get("method", "?"), entry.get("path", "?"), fields,
            entry.get("status") if entry.get("status") is not None else "no reply",
            reply if reply is not None else "")
        if entry.get("faults"):
            text += " [faults: %s]" % ",".join(entry["faults"])
        if entry.get("note"):
            text += " (%s)" % entry["note"]
        return text

    def entries(self, since=0, req_code=None, limit=None):
        """Entries with a sequence number above `since`, oldest first,
        optionally only those with the given reqCode, at most the last
        `limit` of them."""
        with self._lock:
            chosen = [e for e in self._entries if e["seq"] > since and
                      (req_code is None or e.get("reqCode") == req_code)]
        if limit is not None:
            chosen = chosen[-limit:] if limit > 0 else []
        return json.loads(json.dumps(chosen))

    def last_seq(self):
        with self._lock:
            return self._next_seq - 1

    def clear(self):
        with self._lock:
            self._entries.clear()
