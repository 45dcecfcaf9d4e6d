#!/usr/bin/env python3
# SPDX-License-Identifier: Apache-2.0
"""Writes the seed corpora of the fuzz targets (fuzz/corpus/<target>/).

    python3 fuzz/make_corpus.py build/tools/rizorod

capture_fuzz gets one file per entry of examples/session.cap (the entry line with its memory
lines), one per entry of its malformed-all (a capture with every kind of bad entry, kept in the
corpus as it is), and a few files for the corners of the line grammar. decode_fuzz gets the same session entries in its binary
layout (see decode_fuzz.cpp), the records of the tests' worked examples, and one record of every
code that `rizorod list` shows, exactly as long as the code needs, with its type field set and
the rest zero. Existing files are replaced; nothing else in the folders is touched.
"""
import os
import re
import struct
import subprocess
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
IFACES = {"dm": 0, "l2cap": 1, "rfcomm": 2, "sdp": 3}


def write(target, name, data):
    folder = os.path.join(ROOT, "fuzz", "corpus", target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data if isinstance(data, bytes) else data.encode())


def entries(path):
    """The entries of a capture: lists of lines, the entry line first."""
    groups, current = [], None
    with open(path) as f:
        for line in f:
            text = line.split("#", 1)[0].strip()
            if not text:
                continue
            if text.startswith("@"):
                if current is not None:
                    current.append(line.rstrip("\n"))
                continue
            current = [line.rstrip("\n")]
            groups.append(current)
    return groups


def hexbytes(words):
    return bytes.fromhex("".join(words))


def decode_input(iface, code, record, blocks):
    """decode_fuzz's layout: interface, code, record length and record, then blocks."""
    out = bytes([IFACES[iface]]) + struct.pack("<H", code) + bytes([len(record)]) + record
    for address, data in blocks:
        out += struct.pack("<IH", address, len(data)) + data
    return out


def parse_entry(lines):
    """(interface, code, record, blocks) of one well-formed session entry."""
    words = lines[0].split("#", 1)[0].split()
    if re.match(r"\d{4}-", words[0]):
        words = words[2:] if "T" not in words[0] else words[1:]
    elif re.match(r"\d\d:", words[0]):
        words = words[1:]
    iface, words = words[0], words[1:]
    record_code = None
    if words[0].startswith("0x"):
        record_code, words = int(words[0], 16), words[1:]
    record = hexbytes(words)
    code = record_code if record_code is not None else record[0] | record[1] << 8
    blocks = []
    for m in lines[1:]:
        mw = m.split("#", 1)[0].strip()[1:].replace(":", " ").split()
        address = int(mw[0], 16)
        data = hexbytes(mw[1:])
        if blocks and blocks[-1][0] + len(blocks[-1][1]) == address:
            blocks[-1] = (blocks[-1][0], blocks[-1][1] + data)
        else:
            blocks.append((address, data))
    return iface, code, record, blocks


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    tool = sys.argv[1]

    session = entries(os.path.join(ROOT, "examples", "session.cap"))
    for i, lines in enumerate(session, 1):
        write("capture_fuzz", "session-%02d" % i, "\n".join(lines) + "\n")
        write("decode_fuzz", "session-%02d" % i, decode_input(*parse_entry(lines)))

    malformed_path = os.path.join(ROOT, "fuzz", "corpus", "capture_fuzz", "malformed-all")
    for i, lines in enumerate(entries(malformed_path), 1):
        write("capture_fuzz", "malformed-%02d" % i, "\n".join(lines) + "\n")

    # Corners of the line grammar.
    write("capture_fuzz", "crlf",
          "# CR LF line ends\r\n14:03:27.045 dm 04 20 1a 00 00 00 29 00 33 8b 9e 00 5b 00 02 00 01\r\n")
    write("capture_fuzz", "dated-t",
          "2024-02-29T23:59:60.999 l2cap 0x000B 0b0041000300000000003000\n"
          "\t@0x00300000: 01 02\n  @300002 FF\n")
    write("capture_fuzz", "memory-first", "@00203000 00 01\nsdp 0x000d\n")
    write("capture_fuzz", "top-of-memory",
          "dm 0x2009 09200100 01000000 fcffffff 00000000 00000000 00000000\n"
          "@fffffffc 29 00 03 00\n")

    # Programs (after 0xff, see capture_fuzz.cpp): a long record; an entry with 4000 one-byte
    # memory lines in descending order; an entry with a memory line of 131072 bytes.
    write("capture_fuzz", "program-long-record", b"\xff\x00\x03\x06\x00\xff\xff\x5a")
    write("capture_fuzz", "program-descending",
          b"\xff\x00\x00\x09\x20\x18\x00\x00" + b"\x01" + struct.pack("<IHBh", 0x00300000, 4000, 0, -1))
    write("capture_fuzz", "program-long-line",
          b"\xff\x00\x03\x0b\x00\x0c\x00\x00" + b"\x03" + struct.pack("<I", 0x00300000) + b"\x00\x00\x02")

    # Records of the tests' worked examples.
    write("decode_fuzz", "acl-connect-cfm",
          decode_input("dm", 0x2004, hexbytes(["04201a0000002900338b9e005b00020001"]), []))
    write("decode_fuzz", "datawrite-3",
          decode_input("l2cap", 0x000B, hexbytes(["0b0041000300000000003000"]),
                       [(0x00300000, b"\x01\x02\xff")]))
    iac = struct.pack("<HHB3xII", 0x0C3A, 0x0101, 17, 0x1000, 0x2000) + bytes(16)
    laps = b"".join(struct.pack("<I", 0x9E8B00 + k) for k in range(17))
    write("decode_fuzz", "iac-17",
          decode_input("dm", 0x0C3A, iac, [(0x1000, laps[:64]), (0x2000, laps[64:])]))
    iac255 = struct.pack("<HHB3x6I", 0x0C3A, 0x0101, 255, *[0x1000 * (k + 1) for k in range(6)])
    write("decode_fuzz", "iac-255",
          decode_input("dm", 0x0C3A, iac255, [(0x1000 * (k + 1), bytes(64)) for k in range(6)]))
    name = bytes(range(0x41, 0x41 + 26)) * 10
    parts = [name[32 * k:32 * k + 32] for k in range(7)] + [name[224:248]]
    write("decode_fuzz", "name-248",
          decode_input("dm", 0x0C13,
                       struct.pack("<HH", 0x0C13, 0x00F8) + struct.pack("<8I", *[0x4000 + 0x100 * k for k in range(8)]),
                       [(0x4000 + 0x100 * k, p) for k, p in enumerate(parts)]))
    remote = struct.pack("<HHIIHH8I", 0x0429, 1, 0, 0x9E8B33, 0x5B, 2, 0x5000, 0x6000, 0, 0, 0, 0, 0, 0)
    write("decode_fuzz", "remote-name-40",
          decode_input("dm", 0x0429, remote, [(0x5000, b"x" * 32), (0x6000, b"12345678\x00")]))

    # One record of every code, as long as the code needs.
    rows = subprocess.run([tool, "list"], check=True, capture_output=True, text=True).stdout
    for row in rows.splitlines():
        iface, code, _name, size = row.split("\t")
        code, size = int(code, 16), int(size)
        record = (struct.pack("<H", code) + bytes(size))[:max(size, 2)]
        write("decode_fuzz", "%s-%04x" % (iface, code), decode_input(iface, code, record, []))


if __name__ == "__main__":
    main()
