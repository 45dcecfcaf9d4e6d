#!/usr/bin/env python3
# SPDX-License-Identifier: Apache-2.0
"""Decodes Bluetooth host stack primitives from Python through the library's C interface
(<RizOrodOzido/rizorod.h>) with ctypes: one primitive in process, one offline with its memory and a logged
time, a capture entry by entry, and the registry.

    python3 examples/python/decode.py [LIBRARY]    # default: build/libRizOrodOzido.so

It checks what it prints and exits with status 1 if anything is not as expected.
"""
import ctypes
import pathlib
import sys
from ctypes import (POINTER, byref, c_char, c_char_p, c_int, c_size_t, c_uint8, c_uint16, c_uint32,
                    c_void_p)

DM, L2CAP, RFCOMM, SDP = range(4)
OK, END, E_DECODE = 0, 1, -3


class Error(ctypes.Structure):
    _fields_ = [("status", c_int), ("message", c_char * 512)]


class Primitive(ctypes.Structure):
    _fields_ = [("code", c_uint16), ("size", c_uint16), ("name", c_char_p)]


class Block(ctypes.Structure):
    _fields_ = [("address", c_uint32), ("bytes", c_char_p), ("length", c_size_t)]


class Timestamp(ctypes.Structure):
    _fields_ = [("hour", c_uint8), ("minute", c_uint8), ("second", c_uint8), ("millis", c_uint16),
                ("has_date", c_int), ("year", c_uint16), ("month", c_uint8), ("day", c_uint8)]


class Entry(ctypes.Structure):
    _fields_ = [("line", c_size_t), ("iface", c_int), ("code", c_uint16), ("has_stamp", c_int),
                ("stamp", Timestamp), ("record", POINTER(c_uint8)), ("record_length", c_size_t)]


class DecodeFailure(Exception):
    def __init__(self, error):
        super().__init__(error.message.decode())
        self.status = error.status


class RizOrod:
    """The library's C functions with their C types, and Python-shaped wrappers over them."""

    def __init__(self, path):
        lib = self.lib = ctypes.CDLL(str(path))
        text_out, err = POINTER(c_void_p), POINTER(Error)
        for name, restype, argtypes in [
            ("rizorod_version", c_char_p, []),
            ("rizorod_free", None, [c_void_p]),
            ("rizorod_primitive_count", c_size_t, [c_int]),
            ("rizorod_primitive_at", c_int, [c_int, c_size_t, POINTER(Primitive), err]),
            ("rizorod_find_primitive", c_int, [c_int, c_uint16, POINTER(Primitive), err]),
            ("rizorod_decode", c_int, [c_int, c_uint16, c_char_p, text_out, err]),
            ("rizorod_decode_record", c_int, [c_int, c_uint16, c_char_p, c_size_t, POINTER(Block),
                                              c_size_t, POINTER(Timestamp), text_out, err]),
            ("rizorod_reader_open_text", c_int,
             [c_char_p, c_size_t, c_char_p, POINTER(c_void_p), err]),
            ("rizorod_reader_next", c_int, [c_void_p, POINTER(Entry), text_out, err]),
            ("rizorod_reader_close", None, [c_void_p]),
        ]:
            function = getattr(lib, name)
            function.restype, function.argtypes = restype, argtypes

    def _take(self, status, text, error):
        """The decoding in `text`, freed by the library, or the failure raised."""
        if status != OK:
            raise DecodeFailure(error)
        try:
            return ctypes.string_at(text).decode("utf-8", "replace")
        finally:
            self.lib.rizorod_free(text)

    def decode(self, iface, code, record):
        text, error = c_void_p(), Error()
        status = self.lib.rizorod_decode(iface, code, record, byref(text), byref(error))
        return self._take(status, text, error)

    def decode_record(self, iface, code, record, memory=None, stamp=None):
        """`memory`: {address: bytes}; `stamp`: (hour, minute, second, millis)."""
        memory = memory or {}
        blocks = (Block * len(memory))(*[Block(a, b, len(b)) for a, b in memory.items()])
        when = Timestamp(*stamp) if stamp else None
        text, error = c_void_p(), Error()
        status = self.lib.rizorod_decode_record(iface, code, record, len(record), blocks,
                                                len(blocks), byref(when) if when else None,
                                                byref(text), byref(error))
        return self._take(status, text, error)

    def read(self, capture, name):
        """Yields (line, decoding or DecodeFailure) for each entry of the capture text."""
        reader, error = c_void_p(), Error()
        status = self.lib.rizorod_reader_open_text(capture, len(capture), name, byref(reader),
                                                   byref(error))
        if status != OK:
            raise DecodeFailure(error)
        try:
            entry, text = Entry(), c_void_p()
            while True:
                status = self.lib.rizorod_reader_next(reader, byref(entry), byref(text),
                                                      byref(error))
                if status == END:
                    return
                yield entry.line, (self._take(status, text, error) if status == OK
                                   else DecodeFailure(error))
        finally:
            self.lib.rizorod_reader_close(reader)

    def primitives(self, iface):
        row = Primitive()
        for i in range(self.lib.rizorod_primitive_count(iface)):
            self.lib.rizorod_primitive_at(iface, i, byref(row), None)
            yield row.code, row.name.decode(), row.size


def check(what, ok):
    print(("ok   " if ok else "FAIL ") + what)
    return ok


def main():
    here = pathlib.Path(__file__).resolve().parent
    default = here.parent.parent / "build" / "libRizOrodOzido.so"
    lib = RizOrod(sys.argv[1] if len(sys.argv) > 1 else default)
    results = []
    print("library", lib.lib.rizorod_version().decode())

    # DM_ACL_CONNECT_CFM_T in process: the bytes as the stack lays them out.
    acl = bytes.fromhex("04201a00 00002900 338b9e00 5b000200 01")
    text = lib.decode(DM, 0x2004, acl)
    print(text, end="")
    results.append(check("in process", text.splitlines()[1] == "DM_ACL_CONNECT_CFM_T"))

    # L2CA_DATAWRITE_REQ_T offline: its pointer at offset 8 addresses 3 bytes at 0x00300000.
    write = bytes.fromhex("0b004100 03000000 00003000")
    text = lib.decode_record(L2CAP, 0x000b, write, {0x300000: b"\x01\x02\x03"}, (9, 41, 7, 118))
    print(text, end="")
    results.append(check("offline", text.startswith("---- 09:41:07.118 ")
                         and text.splitlines()[1] == "L2CA_DATAWRITE_REQ_T"))
    try:
        lib.decode_record(L2CAP, 0x000b, write, {0x300000: b"\x01\x02"})
        results.append(check("offline, memory missing", False))
    except DecodeFailure as failure:
        print(failure)
        results.append(check("offline, memory missing",
                             failure.status == E_DECODE and "needs 3 bytes" in str(failure)))

    # The example capture, entry by entry.
    capture = (here.parent / "session.cap").read_bytes()
    decoded = list(lib.read(capture, b"session.cap"))
    failed = [(line, str(r)) for line, r in decoded if isinstance(r, DecodeFailure)]
    print(f"session.cap: {len(decoded)} entries, {len(failed)} failed {failed}")
    results.append(check("capture", decoded and not failed))

    # The registry.
    names = ["dm", "l2cap", "rfcomm", "sdp"]
    codes = {name: list(lib.primitives(iface)) for iface, name in enumerate(names)}
    print(", ".join(f"{name}: {len(rows)} codes" for name, rows in codes.items()))
    results.append(check("registry", ("0x2004", "DM_ACL_CONNECT_CFM_T", 17) in
                         [(f"0x{c:04x}", n, s) for c, n, s in codes["dm"]]))
    return 0 if all(results) else 1


if __name__ == "__main__":
    sys.exit(main())
