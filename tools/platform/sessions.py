"""Login sessions: ids handed out at login, each valid for a fixed lifetime
counted from the login (using a session does not extend it). An account may
hold several sessions at once; a new login does not end the older ones."""

import random
import threading
import time


class SessionStore:
    def __init__(self, lifetime, seed):
        self._lock = threading.Lock()
        self._sessions = {}               # id -> (account name, expiry)
        self._random = random.Random("%s/sessions" % seed)
        self.lifetime = lifetime          # seconds; 0 = never expires
        self.numeric_ids = False          # hand out numbers instead of texts

    def open(self, account_name):
        """Starts a session and returns its id: 32 upper-case hex digits,
        or a 9-digit number when numeric ids are switched on."""
        with self._lock:
            while True:
                if self.numeric_ids:
                    session_id = self._random.randrange(100000000, 1000000000)
                else:
                    session_id = "%032X" % self._random.getrandbits(128)
                if str(session_id) not in self._sessions:
                    break
            expiry = (time.monotonic() + self.lifetime) if self.lifetime > 0 else None
            self._sessions[str(session_id)] = (account_name, expiry)
            return session_id

    def account_of(self, session_id):
        """The account name of a live session, or None for an unknown or
        expired id (an expired session is forgotten)."""
        with self._lock:
            entry = self._sessions.get(session_id)
            if entry is None:
                return None
            account_name, expiry = entry
            if expiry is not None and time.monotonic() >= expiry:
                del self._sessions[session_id]
                return None
            return account_name

    def expire_all(self):
        with self._lock:
            count = len(self._sessions)
            self._sessions.clear()
            return count

    def state(self):
        now = time.monotonic()
        with self._lock:
            live = [(name, expiry) for name, expiry in self._sessions.values()
                    if expiry is None or expiry > now]
        return {
            "lifetime": self.lifetime,
            "numeric_ids": self.numeric_ids,
            "live": len(live),
            "accounts": sorted({name for name, _ in live}),
        }
