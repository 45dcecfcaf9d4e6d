# SPDX-License-Identifier: Apache-2.0
"""The rizorod module against the rizorod tool: entries, fields, times, messages and selections must
be what `rizorod decode --format json` gives for the same capture, whatever the source kind; bad
input raises or is collected, never lost and never a crash; decoding lets other threads run."""
import datetime
import io
import os
import re
import threading
import time

import pytest

import rizorod
from conftest import SESSION, tool, tool_json


def json_form(value, key=""):
    """An object of the JSON output in the form Entry.fields has: byte runs, names and uncounted
    elements as bytes, where JSON has hexadecimal; dicts as lists of pairs, so that order counts."""
    if isinstance(value, dict):
        return [(k, json_form(v, k)) for k, v in value.items()]
    if isinstance(value, list):
        return [json_form(v, key) for v in value]
    if isinstance(value, str) and key not in ("record", "custom") and not key.endswith(".text"):
        return bytes.fromhex(value)
    return value


def ordered(value):
    if isinstance(value, dict):
        return [(k, ordered(v)) for k, v in value.items()]
    if isinstance(value, list):
        return [ordered(v) for v in value]
    return value


def summary(entry):
    """An entry as the JSON output has it (without schema and file)."""
    out = {"line": entry.line}
    if entry.time_of_day is not None:
        if entry.time is not None:
            out["date"] = entry.time.strftime("%Y-%m-%d")
            out["unix_ms"] = (entry.time - EPOCH) // datetime.timedelta(milliseconds=1)
        out["time"] = entry.time_of_day
    out.update(interface=entry.interface, code=entry.code, name=entry.name, fields=ordered(entry.fields))
    return out


def tool_summary(obj):
    obj = {k: v for k, v in obj.items() if k not in ("schema", "file")}
    obj["fields"] = json_form(obj["fields"]) if obj.get("fields") is not None else None
    return obj


EPOCH = datetime.datetime(1970, 1, 1, tzinfo=datetime.timezone.utc)
HEADER = re.compile(r"^---- \d\d:\d\d:\d\d\.\d\d\d -+$", re.M)


@pytest.mark.parametrize("capture", ["all_codes", "session"])
def test_every_entry_agrees_with_the_json_and_text_output(capture, request):
    # Every code (random records and memory), and the example session (dates, names, addresses).
    path = request.getfixturevalue("all_codes") if capture == "all_codes" else SESSION
    entries = list(rizorod.open(path))
    assert [summary(e) for e in entries] == [tool_summary(o) for o in tool_json(path)]
    assert {e.file for e in entries} == {str(path)}
    # The text, but for the stamp of entries without a timestamp (the time of decoding).
    text, _, _ = tool("decode", path)
    assert HEADER.sub("----", "".join(e.text for e in entries)) == HEADER.sub("----", text)


def events(capture):
    """What iterating gives with errors="raise", going on after each error: (line, name) for an
    entry, (line, message) for an error, with the errors themselves."""
    out, errors = [], []
    iterator = iter(capture)
    while True:
        try:
            entry = next(iterator)
        except StopIteration:
            return out, errors
        except rizorod.DecodeError as error:
            out.append((error.line, error.message))
            errors.append(error)
        else:
            out.append((entry.line, entry.name))


@pytest.mark.parametrize("source", ["path", "bytes", "text", "named"])
def test_bad_entries_raise_or_are_collected_in_place_with_file_and_line(source, bad):
    want = [(o["line"], o.get("error", o.get("name"))) for o in tool_json(bad)]
    _, messages, status = tool("decode", bad)
    assert status == 1 and len(messages) == 5
    def make():
        if source == "path":
            return str(bad)
        if source == "bytes":
            return io.BytesIO(bad.read_bytes())
        if source == "text":
            return io.StringIO(bad.read_text())
        return open(bad, "rb")  # a file object with a name
    name = "<stream>" if source in ("bytes", "text") else str(bad)
    got, errors = events(rizorod.open(make()))
    assert got == want
    assert [str(e) for e in errors] == [name + m[len(str(bad)):] for m in messages]
    assert all(isinstance(e, ValueError) and e.file == name for e in errors)
    collecting = rizorod.open(make(), errors="collect")
    entries = list(collecting)
    assert sorted([(e.line, e.name) for e in entries] + [(e.line, e.message) for e in collecting.errors]) == want
    assert [str(e) for e in collecting.errors] == [str(e) for e in errors]


@pytest.mark.parametrize("call, error, text", [
    (lambda w: rizorod.open(w / "missing.cap"), FileNotFoundError, "missing.cap"),
    (lambda w: rizorod.open(w), IsADirectoryError, ""),
    (lambda w: rizorod.open(42), TypeError, "a path or a file object"),
    (lambda w: rizorod.open(io.BytesIO(b""), piece=(1, 2)), ValueError, "needs a file's path"),
    (lambda w: rizorod.open(SESSION, piece=(3, 2)), ValueError, "1 <= k <= n"),
    (lambda w: rizorod.open(SESSION, piece=(0, 2)), ValueError, "1 <= k <= n"),
    (lambda w: rizorod.open(SESSION, errors="ignore"), ValueError, "\"raise\" or \"collect\""),
    (lambda w: rizorod.open(SESSION, date="2024-02-30"), ValueError, "date="),
    (lambda w: rizorod.open(SESSION, where="handle == "), ValueError, "  handle == \n            ^"),
    (lambda w: rizorod.open(SESSION, where="nosuch == 1"), ValueError, "no primitive has a field named \"nosuch\""),
])
def test_what_cannot_be_read_is_refused_with_what_was_wrong(call, error, text, work):
    with pytest.raises(error) as raised:
        call(work)
    assert text in str(raised.value)


def test_a_file_object_that_fails_or_gives_no_bytes_raises_its_error():
    class Failing(io.RawIOBase):
        def read(self, n=-1):
            raise OSError(5, "Input/output error")
    class Numbers:
        def read(self, n=-1):
            return 42
    with pytest.raises(OSError, match="Input/output"):
        list(rizorod.open(Failing()))
    with pytest.raises(TypeError, match="not bytes or str"):
        list(rizorod.open(Numbers()))


ACL = bytes.fromhex("04201a0000002900338b9e005b00020001")
WRITE = bytes.fromhex("0b0041000300000000003000")  # an L2CAP write of 3 bytes at 0x00300000


@pytest.mark.parametrize("args, error, text", [
    (("dm", 0x2004, ACL[:16]), rizorod.DecodeError, "dm 0x2004 DM_ACL_CONNECT_CFM_T: record needs 17 bytes; it has 16"),
    (("l2cap", 0x000b, WRITE), rizorod.DecodeError, "pointer at offset 8 = 0x00300000 needs 3 bytes; the image has none"),
    (("l2cap", 0x000b, WRITE, {0x300000: b"\x01\x02"}), rizorod.DecodeError, "needs 3 bytes; the image has 2 there"),
    (("l2cap", 0x000b, WRITE, {0x300000: b"\x01\x02", 0x300001: b"\x03"}), ValueError, "overlaps"),
    (("l2cap", 0x000b, WRITE, {0xffffffff: b"\x01\x02"}), ValueError, "runs past 0xffffffff"),
    (("l2cap", 0x000b, WRITE, {2 ** 32: b"\x01"}), ValueError, "0 to 0xffffffff"),
    (("hci", 1, ACL), ValueError, "expected an interface"),
    (("dm", 0x10000, ACL), ValueError, "0 to 0xffff"),
    (("dm", 0x2004, ACL, None, "25:00:00.000"), ValueError, "time="),
])
def test_decode_refuses_what_the_bytes_do_not_hold(args, error, text):
    with pytest.raises(error) as raised:
        rizorod.decode(*args)
    assert text in str(raised.value)
    if error is rizorod.DecodeError:
        assert raised.value.file is None and raised.value.line is None and str(raised.value) == raised.value.message


def test_decode_of_an_entrys_record_and_memory_is_the_entry():
    for e in rizorod.open(SESSION):
        again = rizorod.decode(e.interface, e.code, e.record, e.memory, e.time_of_day)
        assert (again.name, ordered(again.fields), again.text, again.line, again.file) == \
               (e.name, ordered(e.fields), e.text, None, None)
    undefined = rizorod.decode("sdp", 0x7fff, b"\xff\x7f")
    assert (undefined.name, undefined.fields, undefined.text) == \
           (None, None, "ERROR: none of the prim types matched, default reached \n")


@pytest.mark.parametrize("where", [
    "handle == 0x29", "handle == 0x29 and status != 0", "name == 'DM_ACL_*' or interface == sdp",
    "bd_addr == 00:12:7c:6a:1f:20 and interface != dm", "time > 2024-05-14T09:41:21", "name_part contains speaker",
    "rem_addr == 192.168.0.1", "num_completed == 3",
])
def test_where_selects_what_the_tool_selects(where):
    assert [e.line for e in rizorod.open(SESSION, where)] == [o["line"] for o in tool_json("--where", where, SESSION)]


def test_entries_left_out_are_still_checked(bad):
    # Whatever the expression, a bad entry is told; the good ones it chooses are there.
    for where in ["interface == sdp", "status == 5"]:
        capture = rizorod.open(bad, where, errors="collect")
        assert [e.line for e in capture] == [o["line"] for o in tool_json("--where", where, bad) if "error" not in o]
        assert [e.line for e in capture.errors] == [1, 3, 4, 6, 10]


@pytest.mark.parametrize("n", [1, 2, 3, 5, 8, 40])
def test_pieces_together_are_the_whole_file(n, bad, work):
    # The session after the defects: a date rolled over, then given again, memory lines to keep.
    path = work / "pieces.cap"
    path.write_bytes(bad.read_bytes() + SESSION.read_bytes())
    def read(**how):
        capture = rizorod.open(path, errors="collect", date="2024-05-13", **how)
        return [summary(e) for e in capture] + [(e.line, e.message) for e in capture.errors]
    whole = read()
    pieces = [read(piece=(k, n)) for k in range(1, n + 1)]
    assert sorted(sum(pieces, []), key=str) == sorted(whole, key=str)
    assert [s["unix_ms"] for s in whole if isinstance(s, dict) and "unix_ms" in s] == \
           [o["unix_ms"] for o in tool_json("--date", "2024-05-13", path) if "unix_ms" in o and "error" not in o]


def test_primitives_are_the_tools_layouts():
    import json
    out, _, _ = tool("list", "--fields", "--format", "json")
    listed = [{k: v for k, v in json.loads(line).items() if k != "schema"} for line in out.splitlines()]
    assert rizorod.primitives() == listed
    assert rizorod.primitives("rfcomm") == [p for p in listed if p["interface"] == "rfcomm"]
    with pytest.raises(ValueError, match="expected an interface"):
        rizorod.primitives("hci")


def decodings_during(seconds=None, thread=None):
    """How many records this thread decodes, one at a time, in `seconds` or while `thread` runs;
    and the time it took."""
    n, start = 0, time.perf_counter()
    while (thread.is_alive() if thread else time.perf_counter() - start < seconds):
        rizorod.decode("dm", 0x2004, ACL)
        n += 1
    return n, time.perf_counter() - start


def test_two_threads_decode_at_once(big):
    # Each of two threads gets exactly what one thread alone gets.
    alone = [(e.line, e.fields) for e in rizorod.open(SESSION)]
    results = []
    threads = [threading.Thread(target=lambda: results.append([(e.line, e.fields) for e in rizorod.open(SESSION)]))
               for _ in range(2)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert results == [alone, alone]
    # While one thread decodes a large capture (every entry checked, none chosen: all of it
    # without the GIL), this one goes on decoding: at least a fifth of its own pace alone (half
    # of it, or all, as the processors allow), where a decoding that kept the GIL would let it
    # decode next to nothing. The best of three tries, as the machine may be busy.
    paces = []
    for _ in range(3):
        n, took = decodings_during(seconds=0.2)
        solo = n / took
        other = threading.Thread(target=lambda: sum(1 for _ in rizorod.open(big, "code == 0xfffe")))
        other.start()
        n, took = decodings_during(thread=other)
        other.join()
        paces.append(n / took / solo)
        if paces[-1] > 0.2:
            break
    assert max(paces) > 0.2, f"while another thread decoded, this one decoded at {paces} of its own pace"


def test_one_capture_read_by_two_threads_is_refused_not_garbled(big):
    capture = rizorod.open(big)
    failures = []
    def read():
        try:
            for _ in capture:
                pass
        except RuntimeError as e:
            failures.append(str(e))
    threads = [threading.Thread(target=read) for _ in range(4)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert all(f == "this capture is being read by another thread" for f in failures)
