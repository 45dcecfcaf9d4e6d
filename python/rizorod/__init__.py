# SPDX-License-Identifier: Apache-2.0
"""Bluetooth host stack primitives decoded in Python: captures as entries with typed fields, as
pandas DataFrames, and on a Dask cluster (rizorod.dask).

    import rizorod
    for entry in rizorod.open("board.cap", where="status != 0"):
        print(entry.line, entry.name, entry.fields["status"], entry.fields.get("bd_addr.text"))

    frame = rizorod.to_pandas("board.cap", columns=["time", "name", "status", "bd_addr.text"])

    entry = rizorod.decode("dm", 0x2004, bytes.fromhex("04201a0000002900338b9e005b00020001"))

What is here:

  open(source, where=None, *, errors="raise", date=None, piece=None) -> Capture
      The entries of a capture file (or file object), read and decoded as they are iterated.
  to_pandas(source, columns=None, where=None, *, errors="raise", date=None, piece=None)
      One row per entry, its fields flattened into columns ("bd_addr.lap"), time as datetime64.
  decode(interface, code, record, memory=None, time=None) -> Entry
      One record, with the memory its pointers address given as {address: bytes}.
  primitives(interface=None) -> list of dict
      Every primitive the decoders know, with its record's layout.
  Entry, Capture, DecodeError
      What the above return and raise.
  rizorod.dask.read_captures(paths, ...)
      Many captures, or huge ones cut into pieces, as one Dask DataFrame.

An entry's fields are the same data as the JSON output of `rizorod decode --format json`
(docs/JSON.md): ints for field lines, dicts for nested records (with "record", the record's
name), lists for element runs, block walks and access codes, bytes for byte runs and names
(where JSON has hexadecimal), and "label.text" forms: "00:12:7C:6A:1F:20" for a device address,
a name's text. Decoding happens offline, from the bytes a capture holds: nothing here follows a
pointer into this process's memory, so no record can crash Python.

Times: a capture's times carry no zone (they are the stack's wall clock); where a date is
known, Entry.time and the time column read them as UTC.

Decoding runs with the GIL released, in batches, so other Python threads run meanwhile.
"""

import os as _os

from . import _rizorod
from ._rizorod import Capture, DecodeError, Entry, __version__

__all__ = ["open", "decode", "to_pandas", "primitives", "Entry", "Capture", "DecodeError", "__version__"]


def open(source, where=None, *, errors="raise", date=None, piece=None):
    """open(source, where=None, *, errors="raise", date=None, piece=None) -> Capture

    Reads a capture (docs/CAPTURE-FORMAT.md) and decodes its entries as they are iterated:

        with rizorod.open("board.cap", errors="collect") as capture:
            for entry in capture:
                ...
            for error in capture.errors:
                print(error)            # board.cap:17: dm 0x2004 DM_ACL_CONNECT_CFM_T: record needs ...

    source  a path (str, bytes or os.PathLike), or a file object whose read() gives bytes or str
            (sys.stdin.buffer, io.BytesIO...). A path that cannot be opened raises OSError at once
            (FileNotFoundError...).
    where   an expression choosing entries, as `rizorod decode --where` takes it (docs/SELECTING.md):
            "handle == 0x29 and status != 0", "name == DM_ACL_*", "bd_addr == 00:12:7C:6A:1F:20".
            A bad expression raises ValueError with a caret under the bad part. Entries left out are
            still checked, so a bad entry is reported whatever the selection.
    errors  "raise": a line or entry that cannot be read or decoded raises DecodeError (with .file,
            .line and .message) when the iteration reaches it; iterating again goes on after it.
            "collect": it goes to the capture's .errors list instead, and iteration goes on.
    date    the date (datetime.date or "YYYY-MM-DD") of the entries before the first that gives
            one, as `rizorod decode --date`.
    piece   (k, n): only the k-th of n pieces of the file, cut at entry lines, read with the line
            numbers and dates it has in the whole file (docs/SCALING.md).
    """
    return _rizorod.open(source, where, errors=errors, date=date, piece=piece)


def decode(interface, code, record, memory=None, time=None):
    """decode(interface, code, record, memory=None, time=None) -> Entry

    Decodes one record as logged: `interface` "dm", "l2cap", "rfcomm" or "sdp"; `code` its type
    code; `record` its bytes; `memory` what its pointers address, {address: bytes}; `time` the
    stamp of its text's header ("HH:MM:SS.mmm", "YYYY-MM-DD HH:MM:SS.mmm" or a datetime, read as
    UTC; the time of decoding when None). Raises DecodeError when the record or the memory lack
    bytes the decoder reads ("dm 0x2004 DM_ACL_CONNECT_CFM_T: record needs 17 bytes; it has 2").

        entry = rizorod.decode("dm", 0x2004, record)
        entry.fields["bd_addr.text"], entry.text
    """
    import datetime

    if isinstance(time, datetime.datetime) and time.tzinfo is not None:
        time = time.astimezone(datetime.timezone.utc).replace(tzinfo=None)
    return _rizorod.decode(interface, code, record, memory, time)


_layouts = {}


def primitives(interface=None):
    """primitives(interface=None) -> list of dict

    Every primitive of one interface ("dm", "l2cap", "rfcomm", "sdp"), or of all, in code order:
    {"interface", "code", "name", "size", "fields"}, where "fields" describes the record's layout
    as `rizorod list --fields --format json` does (docs/JSON.md, "Statistics and layouts"): each
    field a dict with its "kind" ("u8", "u16", "record", "bytes", "blocks"...), "label", "offset"
    and what the kind needs. "size" is how many bytes of the record the decoder reads.
    """
    import json


    if interface not in _layouts:
        _layouts[interface] = _rizorod._layouts(interface)
    out = []
    for line in _layouts[interface].splitlines():
        prim = json.loads(line)
        del prim["schema"]
        out.append(prim)
    return out


def to_pandas(source, columns=None, where=None, *, errors="raise", date=None, piece=None):
    """to_pandas(source, columns=None, where=None, *, errors="raise", date=None, piece=None) -> DataFrame

    One row per entry of a capture, in capture order (pandas must be installed):

        frame = rizorod.to_pandas("board.cap", columns=["time", "status", "bd_addr.text"],
                                  where="name == DM_ACL_CONNECT_CFM_T")

    Columns: the entry's own, then its fields flattened, each nested record's fields under
    "RECORD.FIELD" ("bd_addr.lap"), forms as in Entry.fields ("bd_addr.text", "name_part.text").
      file, line        where the entry is (line: Int64)
      time              datetime64[ns, UTC], NaT where the date is not known (see date=)
      time_of_day       "HH:MM:SS.mmm" as logged (only when asked for)
      interface, code, name
      error             the message of an entry that failed, with errors="collect"
      fields            the whole Entry.fields dict (only when asked for)
      a field           Int64 (nullable) where the field is a number in every primitive that has
                        it, else objects: lists (element runs, block walks), bytes (byte runs,
                        names), str (text forms); missing (<NA>, None) in rows without it
    A column's type depends on its name alone, so frames of many captures concatenate cleanly.

    columns  the columns wanted, in order; None: the entry's own and every field column that
             some entry has. Asking for a field no primitive has raises ValueError.
    where, errors, date, piece  as for open(); with errors="collect" a bad entry is a row with
             its message in "error" (and what its entry line gave), in its place.
    """
    import numpy as np
    import pandas as pd


    if isinstance(columns, str):
        raise TypeError("columns= takes a list of column names, not one str")
    rows, built = _rizorod._columns(source, None if columns is None else list(columns), where, date, errors, piece)
    data = {}
    for name, kind, values, missing in built:
        if kind == "int":
            data[name] = pd.arrays.IntegerArray(np.frombuffer(values, dtype=np.int64),
                                                np.frombuffer(missing, dtype=np.bool_))
        elif kind == "time":
            stamps = np.frombuffer(values, dtype=np.int64).astype("datetime64[ms]").astype("datetime64[ns]")
            stamps[np.frombuffer(missing, dtype=np.bool_)] = np.datetime64("NaT")
            data[name] = pd.DatetimeIndex(stamps).tz_localize("UTC").array
        else:
            column = np.empty(rows, dtype=object)
            column[:] = values  # (into a 1-d object array, lists stay elements)
            data[name] = column
    # (a dict keeps the columns' order; columns= would make pandas copy every column)
    return pd.DataFrame(data, index=pd.RangeIndex(rows))


def __getattr__(name):
    # rizorod.dask without importing Dask before it is used.
    if name == "dask":
        import importlib

        return importlib.import_module(".dask", __name__)
    raise AttributeError(f"module 'rizorod' has no attribute {name!r}")


del _os
