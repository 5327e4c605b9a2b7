#!/usr/bin/env python3
"""Repairs widl's stubless proxy code for [out] pointers to strings.

widl 7/8 writes the parameter descriptor of an [out] or [in, out] LPWSTR*
(or an [out] array of LPWSTR) with a type offset that points at the pointee (the FC_OP or
FC_CARRAY entry) instead of the top-level FC_RP [alloced_on_stack]
[pointer_deref] entry, and without the simple-ref flag that would make that
valid. Out of process the server then returns S_OK with a string and the
client receives NULL. This script re-points such parameters at their FC_RP
entry.

usage: fix_out_string_params.py <generated _p.c> <output .c>
"""
import re
import sys

TYPE_START = re.compile(r'__MIDL_TypeFormatString\s*=')
PROC_START = re.compile(r'__MIDL_ProcFormatString\s*=')
OFFSET_COMMENT = re.compile(r'^\s*/\*\s*(\d+)\b')

FC_RP = 0x11
FC_UP = 0x12
FC_OP = 0x13
ALLOCED_ON_STACK = 0x04
SIMPLE_POINTER = 0x08
POINTER_DEREF = 0x10

PARAM_OUT = 0x10
PARAM_SIMPLE_REF = 0x100
PARAM_BASE_TYPE = 0x40


def section(lines, start_pattern):
    """Line indexes of the body of one format string."""
    begin = next(i for i, l in enumerate(lines) if start_pattern.search(l))
    end = begin + 1
    while end < len(lines) and not lines[end].startswith('};'):
        end += 1
    return begin + 1, end


def format_bytes(lines, begin, end):
    """Byte values of the type format string by offset."""
    data = {}
    offset = None
    for line in lines[begin:end]:
        code = line.split('/*')[0]
        comment = OFFSET_COMMENT.match(line)
        if comment and not code.strip():
            offset = int(comment.group(1))
            continue
        if offset is None:
            # the leading "0, {" and the NdrFcShort(0x0) pad before offset 0
            if 'NdrFcShort' in code and '{' not in code:
                offset = 2
            continue
        for token in re.finditer(r'NdrFcShort\((0x[0-9a-fA-F]+)\)|NdrFcLong\((0x[0-9a-fA-F]+)\)|(0x[0-9a-fA-F]+)', code):
            short, long_, byte = token.groups()
            if short is not None:
                v = int(short, 16)
                data[offset] = v & 0xFF
                data[offset + 1] = (v >> 8) & 0xFF
                offset += 2
            elif long_ is not None:
                v = int(long_, 16)
                for k in range(4):
                    data[offset + k] = (v >> (8 * k)) & 0xFF
                offset += 4
            else:
                data[offset] = int(byte, 16)
                offset += 1
    return data


def signed_short(data, at):
    v = data.get(at, 0) | (data.get(at + 1, 0) << 8)
    return v - 0x10000 if v & 0x8000 else v


def top_level_entries(data):
    """Maps pointee offsets to the FC_RP [alloced_on_stack][pointer_deref]
    entry that refers to them (directly or through one FC_OP/FC_UP)."""
    owners = {}
    for at, value in data.items():
        if value != FC_RP or at + 1 not in data:
            continue
        flags = data[at + 1]
        if flags & (ALLOCED_ON_STACK | POINTER_DEREF) != (ALLOCED_ON_STACK | POINTER_DEREF):
            continue
        target = at + 2 + signed_short(data, at + 2)
        owners.setdefault(target, at)
        if data.get(target) in (FC_OP, FC_UP) and not data.get(target + 1, 0) & SIMPLE_POINTER:
            owners.setdefault(target + 2 + signed_short(data, target + 2), at)
    return owners


def fix(text):
    lines = text.split('\n')
    tb, te = section(lines, TYPE_START)
    data = format_bytes(lines, tb, te)
    owners = top_level_entries(data)
    pb, pe = section(lines, PROC_START)
    fixed = 0
    i = pb
    while i + 2 < pe:
        flags_m = re.search(r'NdrFcShort\((0x[0-9a-fA-F]+)\),\s*/\* flags:', lines[i])
        type_m = re.search(r'NdrFcShort\((0x[0-9a-fA-F]+)\),\s*/\* type offset = (\d+) \*/', lines[i + 2])
        if flags_m and type_m:
            flags = int(flags_m.group(1), 16)
            offset = int(type_m.group(1), 16)
            if (flags & PARAM_OUT and not flags & (PARAM_SIMPLE_REF | PARAM_BASE_TYPE)
                    and data.get(offset) != FC_RP and offset in owners):
                new = owners[offset]
                lines[i + 2] = re.sub(r'NdrFcShort\(0x[0-9a-fA-F]+\),\s*/\* type offset = \d+ \*/',
                                      'NdrFcShort(0x%x),\t/* type offset = %d (re-pointed) */' % (new, new),
                                      lines[i + 2])
                fixed += 1
            i += 3
            continue
        i += 1
    return '\n'.join(lines), fixed


def main():
    source, target = sys.argv[1], sys.argv[2]
    with open(source) as f:
        text = f.read()
    text, fixed = fix(text)
    with open(target, 'w') as f:
        f.write(text)
    print('%s: %d out-string parameter(s) re-pointed' % (target, fixed))


if __name__ == '__main__':
    main()
