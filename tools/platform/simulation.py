"""Values that change over time.

Every variable has a behaviour (counter, wave, toggle, text cycle, noise or
a fixed value) and a validity rule. The value at a moment is a pure function
of the platform clock, the run's seed and the variable's key, plus what was
written: a write to a counter moves its count to the written value and the
count goes on from there; a write to any other variable holds it at the
written value until the hold is released through the control endpoint.

The platform clock counts seconds since start; it can be frozen and moved
forward so that a test sees fixed values.
"""

import math
import random
import threading
import time

import value_types


# --- behaviours ------------------------------------------------------------

class Counter:
    """start + step for every full period; wraps in the type's range."""
    rebases = True

    def __init__(self, start, step=1, period=1.0):
        self.start, self.step, self.period = start, step, period

    def raw(self, t, seed, key):
        return self.start + self.step * math.floor(t / self.period)


class Wave:
    """A sine around center; the phase depends on the seed and the key."""
    rebases = False

    def __init__(self, center, amplitude, period=60.0, decimals=2):
        self.center, self.amplitude = center, amplitude
        self.period, self.decimals = period, decimals

    def raw(self, t, seed, key):
        phase = random.Random("%s/%s/phase" % (seed, key)).random()
        angle = 2 * math.pi * (t / self.period + phase)
        return round(self.center + self.amplitude * math.sin(angle), self.decimals)


class Toggle:
    """false and true in turn, each for one period."""
    rebases = False

    def __init__(self, period=5.0):
        self.period = period

    def raw(self, t, seed, key):
        offset = random.Random("%s/%s/toggle" % (seed, key)).randrange(2)
        return (math.floor(t / self.period) + offset) % 2 == 1


class TextCycle:
    """The given texts in turn, each for one period."""
    rebases = False

    def __init__(self, texts, period=7.0):
        self.texts, self.period = list(texts), period

    def raw(self, t, seed, key):
        return self.texts[math.floor(t / self.period) % len(self.texts)]


class Noise:
    """A new value within center +/- amplitude every period."""
    rebases = False

    def __init__(self, center, amplitude, period=2.0, decimals=3):
        self.center, self.amplitude = center, amplitude
        self.period, self.decimals = period, decimals

    def raw(self, t, seed, key):
        step = math.floor(t / self.period)
        r = random.Random("%s/%s/%d" % (seed, key, step)).uniform(-1.0, 1.0)
        return round(self.center + self.amplitude * r, self.decimals)


class Fixed:
    """The same value until something is written."""
    rebases = False

    def __init__(self, value):
        self.value = value

    def raw(self, t, seed, key):
        return self.value


# --- validity rules --------------------------------------------------------

class AlwaysValid:
    def valid(self, t):
        return True


class NeverValid:
    """A point whose sensor does not report: the platform sends null."""

    def valid(self, t):
        return False


class Flapping:
    """Valid for `up` seconds, then invalid for `down` seconds, in turn."""

    def __init__(self, up, down):
        self.up, self.down = up, down

    def valid(self, t):
        return (t % (self.up + self.down)) < self.up


# --- clock and state ---------------------------------------------------------

class PlatformClock:
    """Seconds since the platform started, freezable and movable by tests."""

    def __init__(self, frozen=False):
        self._lock = threading.Lock()
        self._origin = time.monotonic()
        self._offset = 0.0
        self._frozen_at = 0.0 if frozen else None

    def now(self):
        with self._lock:
            if self._frozen_at is not None:
                return self._frozen_at
            return time.monotonic() - self._origin + self._offset

    def freeze(self, frozen):
        with self._lock:
            if frozen and self._frozen_at is None:
                self._frozen_at = time.monotonic() - self._origin + self._offset
            elif not frozen and self._frozen_at is not None:
                self._offset = self._frozen_at - (time.monotonic() - self._origin)
                self._frozen_at = None

    def advance(self, seconds):
        with self._lock:
            if self._frozen_at is not None:
                self._frozen_at += seconds
            else:
                self._offset += seconds

    def state(self):
        with self._lock:
            frozen = self._frozen_at is not None
        return {"seconds": round(self.now(), 3), "frozen": frozen}


_NO_HOLD = object()


class Simulator:
    """Current values of the catalog's variables, with writes and holds."""

    def __init__(self, seed, clock):
        self.seed = seed
        self.clock = clock
        self._lock = threading.Lock()
        self._holds = {}          # key -> held value (None = held invalid)
        self._rebase = {}         # key -> added to a counter's raw count
        self._offline = {}        # device id -> forced online state

    def device_online(self, device):
        with self._lock:
            return self._offline.get(device.device_id, device.online)

    def set_device_online(self, device, online):
        with self._lock:
            self._offline[device.device_id] = bool(online)

    def current(self, variable, device_online=True):
        """The variable's value as sent in a value reply, or None when it is
        not valid at this moment (device offline, point not reporting)."""
        return self.current_many([(variable, device_online)])[0]

    def current_many(self, variables):
        """current() of many (variable, device online) pairs at one moment,
        the holds and offsets taken once: one value reply."""
        t = self.clock.now()
        seed = self.seed
        with self._lock:
            holds = dict(self._holds)
            rebases = dict(self._rebase)
        fit = value_types.fit
        values = []
        append = values.append
        for variable, device_online in variables:
            if holds:
                held = holds.get(variable.key, _NO_HOLD)
                if held is not _NO_HOLD:
                    append(held)
                    continue
            if not device_online or not variable.validity.valid(t):
                append(None)
                continue
            behaviour = variable.behaviour
            raw = behaviour.raw(t, seed, variable.key)
            if rebases and behaviour.rebases:
                raw += rebases.get(variable.key, 0)
            append(fit(variable.type_name, raw))
        return values

    def write(self, variable, value):
        """A write from the gateway: counters go on counting from value,
        everything else holds value."""
        key = variable.key
        if variable.behaviour.rebases:
            t = self.clock.now()
            counted = variable.behaviour.raw(t, self.seed, key)
            with self._lock:
                self._holds.pop(key, None)
                self._rebase[key] = value - counted
        else:
            with self._lock:
                self._holds[key] = value

    def hold(self, variable, value):
        """Pins the value sent for the variable (None sends null)."""
        with self._lock:
            self._holds[variable.key] = value

    def release(self, variable):
        with self._lock:
            self._holds.pop(variable.key, None)
            self._rebase.pop(variable.key, None)

    def reset(self):
        with self._lock:
            self._holds.clear()
            self._rebase.clear()
            self._offline.clear()

    def state(self):
        with self._lock:
            return {
                "held": dict(self._holds),
                "counter_offsets": dict(self._rebase),
                "device_online": dict(self._offline),
            }
