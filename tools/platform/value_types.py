"""The platform's variable types: value ranges, how a simulated number is
brought into a type's range, and how a written value text is parsed.

The type names are the ones the gateway knows ("bool", "int8" ... "bcd64");
any other name is a text variable as far as the platform is concerned.
"""

import math
import struct

# name -> (kind, minimum, maximum); kind is "bool", "int", "bcd", "float32",
# "double" or "text".
_TYPES = {
    "bool": ("bool", None, None),
    "int8": ("int", -(2 ** 7), 2 ** 7 - 1),
    "uint8": ("int", 0, 2 ** 8 - 1),
    "int16": ("int", -(2 ** 15), 2 ** 15 - 1),
    "uint16": ("int", 0, 2 ** 16 - 1),
    "int32": ("int", -(2 ** 31), 2 ** 31 - 1),
    "uint32": ("int", 0, 2 ** 32 - 1),
    "long": ("int", -(2 ** 63), 2 ** 63 - 1),
    "float32": ("float32", None, None),
    "double": ("double", None, None),
    "bcd": ("bcd", 0, 9999),
    "bcd32": ("bcd", 0, 99999999),
    "bcd64": ("bcd", 0, 9999999999999999),
}

KNOWN_TYPE_NAMES = tuple(_TYPES)


class WriteRejected(ValueError):
    """A written value text the variable's type cannot take; the message is
    the Chinese text the platform replies with."""


def kind_of(type_name):
    return _TYPES.get(type_name, ("text", None, None))[0]


def float32_shortest(x):
    """x rounded to single precision, then written with the fewest decimal
    digits that still read back as the same single-precision number (so
    0.1 stays 0.1 and does not become 0.10000000149011612)."""
    if math.isnan(x) or math.isinf(x):
        return x
    try:
        single = struct.unpack("<f", struct.pack("<f", x))[0]
    except OverflowError:
        return math.copysign(3.4028234663852886e38, x)
    for digits in range(1, 10):
        candidate = float("%.*g" % (digits, single))
        if struct.unpack("<f", struct.pack("<f", candidate))[0] == single:
            return candidate
    return single


def fit(type_name, raw):
    """Brings a simulated or stored value into the JSON form the platform
    sends for the type: integers wrap around their range like a register
    does, BCD values wrap at their decimal width, floats are rounded to the
    type's precision, booleans are true/false and texts are strings."""
    kind, low, high = _TYPES.get(type_name, ("text", None, None))
    if kind == "bool":
        return bool(raw)
    if kind == "int":
        span = high - low + 1
        return (int(round(raw)) - low) % span + low
    if kind == "bcd":
        return int(round(raw)) % (high + 1)
    if kind == "float32":
        return float32_shortest(float(raw))
    if kind == "double":
        return float(raw)
    return raw if isinstance(raw, str) else str(raw)


def _parse_integer(text):
    text = text.strip()
    if "_" in text:
        raise WriteRejected("数值格式错误")
    try:
        return int(text, 10)
    except ValueError:
        pass
    try:
        number = float(text)
    except ValueError:
        raise WriteRejected("数值格式错误")
    if not math.isfinite(number) or number != int(number):
        raise WriteRejected("数值格式错误")
    return int(number)


def parse_written(type_name, text):
    """Parses a written value text for a variable of the given type and
    returns the stored value; raises WriteRejected for text the type cannot
    take. Numbers may carry surrounding blanks (the gateway pads floating
    values to ten characters)."""
    kind, low, high = _TYPES.get(type_name, ("text", None, None))
    if kind == "bool":
        word = text.strip().lower()
        if word in ("1", "true"):
            return True
        if word in ("0", "false"):
            return False
        raise WriteRejected("布尔值格式错误")
    if kind in ("int", "bcd"):
        number = _parse_integer(text)
        if number < low or number > high:
            raise WriteRejected("数值超出范围")
        return number
    if kind in ("float32", "double"):
        if "_" in text:
            raise WriteRejected("数值格式错误")
        try:
            number = float(text.strip())
        except ValueError:
            raise WriteRejected("数值格式错误")
        if not math.isfinite(number):
            raise WriteRejected("数值格式错误")
        return fit(type_name, number)
    return text
