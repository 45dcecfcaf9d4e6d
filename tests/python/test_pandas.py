# SPDX-License-Identifier: Apache-2.0
"""rizorod.to_pandas against the entries of the same capture: every value in its row and column, a
column's type fixed by its name, bad entries in place or raised, columns refused with the reason."""
import io

import numpy as np
import pandas as pd
import pytest

import rizorod
from conftest import SESSION, tool_json


def flat(fields, prefix=""):
    """Entry.fields flattened as to_pandas names its columns: a nested record's fields under
    "RECORD.FIELD" (its "record" name left out), lists whole."""
    out = {}
    for key, value in fields.items():
        if isinstance(value, dict):
            out.update(flat({k: v for k, v in value.items() if k != "record"}, prefix + key + "."))
        else:
            out[prefix + key] = value
    return out


def missing(value):
    return value is None or value is pd.NA or (isinstance(value, float) and np.isnan(value)) or value is pd.NaT


@pytest.mark.parametrize("capture", ["all_codes", "session"])
def test_every_row_holds_its_entrys_fields(capture, request):
    path = request.getfixturevalue("all_codes") if capture == "all_codes" else SESSION
    entries = list(rizorod.open(path))
    frame = rizorod.to_pandas(path)
    assert len(frame) == len(entries)
    own = ["file", "line", "time", "interface", "code", "name"]
    assert list(frame.columns[:6]) == own
    values = [flat(e.fields or {}) for e in entries]
    seen = {}
    for row, (e, v) in enumerate(zip(entries, values)):
        assert [frame[c].iat[row] if not missing(frame[c].iat[row]) else None for c in own] == \
               [e.file, e.line, e.time, e.interface, e.code, e.name]
        for column in frame.columns[6:]:
            got = frame[column].iat[row]
            assert (None if missing(got) else got) == v.get(column), (row, column)
        for k, x in v.items():
            seen.setdefault(k, set()).add(type(x))
    # Every field is a column, and a column of numbers only is Int64, the others objects.
    assert set(frame.columns[6:]) == set(seen)
    assert {c: str(frame[c].dtype) for c in seen} == {c: "Int64" if t == {int} else "object" for c, t in seen.items()}
    assert str(frame["time"].dtype) == "datetime64[ns, UTC]" and str(frame["line"].dtype) == "Int64"


def test_a_columns_type_follows_from_its_name_alone(bad):
    # An empty capture, and one whose entries lack the columns, give the types a full one gives.
    columns = ["time", "status", "bd_addr.text", "iac_lap", "name_part", "payload", "fields", "time_of_day", "error"]
    full = rizorod.to_pandas(SESSION, columns)
    for source in [io.BytesIO(b""), io.BytesIO(b"sdp 0b00a002\n")]:
        assert rizorod.to_pandas(source, columns).dtypes.to_dict() == full.dtypes.to_dict()
    both = pd.concat([rizorod.to_pandas(bad, columns, errors="collect"), full])
    assert both.dtypes.to_dict() == full.dtypes.to_dict()


def test_bad_entries_are_rows_in_place_or_raise(bad):
    frame = rizorod.to_pandas(bad, ["line", "name", "status", "error"], errors="collect")
    want = tool_json(bad)
    assert frame["line"].tolist() == [o["line"] for o in want]
    assert [None if missing(x) else x for x in frame["error"]] == [o.get("error") for o in want]
    assert [None if missing(x) else x for x in frame["name"]] == [o.get("name") for o in want]
    assert [None if missing(x) else x for x in frame["status"]] == [(o.get("fields") or {}).get("status") for o in want]
    with pytest.raises(rizorod.DecodeError) as raised:
        rizorod.to_pandas(bad)
    assert (raised.value.file, raised.value.line) == (str(bad), 1)


def test_where_and_pieces_make_the_same_rows_as_the_entries(bad, work):
    path = work / "frame-pieces.cap"
    path.write_bytes(SESSION.read_bytes() + bad.read_bytes())
    columns = ["line", "time", "status", "bd_addr.text"]
    where = "status == 0 or interface == l2cap"
    whole = rizorod.to_pandas(path, columns, where, errors="collect", date="2024-05-14")
    pieces = pd.concat([rizorod.to_pandas(path, columns, where, errors="collect", date="2024-05-14", piece=(k, 4))
                        for k in range(1, 5)], ignore_index=True)
    pd.testing.assert_frame_equal(pieces, whole)
    capture = rizorod.open(path, where, errors="collect", date="2024-05-14")
    assert sorted(whole["line"]) == sorted([e.line for e in capture] + [e.line for e in capture.errors])


@pytest.mark.parametrize("columns, error, text", [
    (["nosuch"], ValueError, "no primitive has a field named \"nosuch\""),
    (["bd_addr.nosuch"], ValueError, "no primitive has a field named \"bd_addr.nosuch\""),
    (["bd_addr"], ValueError, "\"bd_addr\" is a record"),
    (["status.text"], ValueError, "no primitive has a field \"status\" with a .text form"),
    (["payload.uncounted"], ValueError, ".uncounted form"),
    (["status", "status"], ValueError, "asked for twice"),
    ("status", TypeError, "not one str"),
    ([7], TypeError, "a column name is a str"),
])
def test_columns_that_cannot_be_are_refused_with_the_reason(columns, error, text):
    with pytest.raises(error) as raised:
        rizorod.to_pandas(SESSION, columns)
    assert text in str(raised.value)


def test_columns_come_in_the_order_asked_with_every_form():
    columns = ["name_part.text", "sniff_settings.max_interval", "bd_addr.text", "handle_complete_ptr.uncounted",
               "rem_addr.text", "custom", "fields", "time_of_day", "code"]
    frame = rizorod.to_pandas(SESSION, columns)
    assert list(frame.columns) == columns
    for column in columns[:5]:
        assert frame[column].notna().any(), column
    assert frame["fields"].tolist() == [e.fields for e in rizorod.open(SESSION)]
