"""Decoding of form-encoded request bodies.

The gateway sends "name=value" pairs joined by "&". Percent-encoded fields
carry UTF-8; fields the gateway sends unencoded may carry the PC's ANSI
(GBK) bytes. The platform decodes every field as UTF-8 and, when the bytes
are not valid UTF-8, as GBK, and notes which fields needed GBK.

A value that itself holds "&" or "=" is split the way every form parser
splits it: "value=a&b=c" gives the field value "a" and a field "b" with "c".
When a name occurs more than once the first occurrence counts.
"""

from urllib.parse import unquote_to_bytes


class DecodedForm:
    def __init__(self, pairs, gbk_fields, raw):
        self.pairs = pairs                # [(name, value)] in body order
        self.gbk_fields = gbk_fields      # names whose bytes were GBK
        self.raw = raw                    # the body as received (bytes)

    def get(self, name, default=""):
        for key, value in self.pairs:
            if key == name:
                return value
        return default

    def has(self, name):
        return any(key == name for key, _ in self.pairs)

    def fields(self):
        """name -> value, first occurrence of each name."""
        result = {}
        for key, value in self.pairs:
            result.setdefault(key, value)
        return result


def _text(data):
    """(text, was_gbk) for the bytes of one name or value."""
    try:
        return data.decode("utf-8"), False
    except UnicodeDecodeError:
        pass
    try:
        return data.decode("gbk"), True
    except UnicodeDecodeError:
        return data.decode("utf-8", "replace"), False


def decode_form(body):
    pairs = []
    gbk_fields = []
    for piece in body.split(b"&"):
        if not piece:
            continue
        name_bytes, _, value_bytes = piece.partition(b"=")
        name, name_gbk = _text(unquote_to_bytes(name_bytes.replace(b"+", b" ")))
        value, value_gbk = _text(unquote_to_bytes(value_bytes.replace(b"+", b" ")))
        pairs.append((name, value))
        if name_gbk or value_gbk:
            gbk_fields.append(name)
    return DecodedForm(pairs, gbk_fields, body)


def printable_body(body):
    """The body bytes as readable text: ASCII as is, other bytes as \\xNN."""
    return body.decode("ascii", "backslashreplace")
