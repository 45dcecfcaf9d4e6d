# SPDX-License-Identifier: Apache-2.0
"""rizorod.dask.read_captures on a dask.distributed cluster of two worker processes on loopback:
the fleet question (ACL connections that failed, by status) answered on a few generated device
logs, one cut into pieces, exactly as one process answers it with rizorod.to_pandas."""
import os
import random
import struct
import time

import pandas as pd
import pytest
from dask.distributed import Client, LocalCluster

import rizorod
import rizorod.dask
from conftest import SESSION

QUESTION = dict(columns=["file", "line", "time", "status", "bd_addr.text"],
                where="name == DM_ACL_CONNECT_CFM_T and status != 0")


def acl_confirm(status, device, handle):
    """A DM_ACL_CONNECT_CFM_T record, its fields put where the layout says."""
    prim = next(p for p in rizorod.primitives("dm") if p["name"] == "DM_ACL_CONNECT_CFM_T")
    at = {f["label"]: f for f in prim["fields"]}
    addr = {f["label"]: f for f in at["bd_addr"]["fields"]}
    record = bytearray(prim["size"])
    for label, value in [("type", prim["code"]), ("phandle", 1), ("status", status), ("handle", handle)]:
        f = at[label]
        record[f["offset"]:f["offset"] + f["width"]] = value.to_bytes(f["width"], "little")
    base = at["bd_addr"]["offset"]
    for label, value in [("lap", device & 0xffffff), ("uap", 0x5b), ("nap", device >> 24)]:
        f = addr[label]
        record[base + f["offset"]:base + f["offset"] + f["width"]] = value.to_bytes(f["width"], "little")
    return record.hex()


def device_log(path, seed, entries):
    """A device's log: connection attempts (a few statuses, a few peers) among the example
    session's entries, a date at its start and a night it runs through."""
    rng = random.Random(seed)
    session = SESSION.read_text()
    lines = [f"# device {seed}"]
    ms = 23 * 3600 * 1000
    for n in range(entries):
        ms = (ms + rng.randrange(1, 5000)) % (24 * 3600 * 1000)
        stamp = "%02d:%02d:%02d.%03d" % (ms // 3600000, ms // 60000 % 60, ms // 1000 % 60, ms % 1000)
        if n == 0:
            stamp = "2024-05-14 " + stamp
        status = rng.choice([0, 0, 0, 0x04, 0x05, 0x0e, 0x22])
        lines.append(f"{stamp} dm {acl_confirm(status, rng.randrange(1, 9) * 0x1010101, rng.randrange(1, 0xeff))}")
        if n % 500 == 0:
            lines.append(session)
    path.write_text("\n".join(lines) + "\n")


@pytest.fixture(scope="module")
def fleet(tmp_path_factory):
    folder = tmp_path_factory.mktemp("fleet")
    for device, entries in [(1, 200), (2, 3000), (3, 50), (4, 800)]:
        device_log(folder / f"device-{device}.cap", device, entries)
    return folder


def one_process(paths):
    frame = pd.concat([rizorod.to_pandas(p, **QUESTION) for p in paths], ignore_index=True)
    return frame, frame.groupby("status").size(), frame.groupby("status")["bd_addr.text"].nunique()


def test_a_cluster_answers_the_fleet_question_as_one_process_does(fleet, bad):
    paths = sorted(str(p) for p in fleet.glob("*.cap"))
    frame, failed, devices = one_process(paths)
    assert len(failed) == 4 and failed.sum() > 1000
    # Pieces of about 64 KiB: the largest log is cut into several, cut at entry lines.
    lazy = rizorod.dask.read_captures(str(fleet / "*.cap"), blocksize=1 << 16, **QUESTION)
    assert lazy.npartitions == sum(max(1, -(-os.path.getsize(p) // (1 << 16))) for p in paths) > len(paths)
    with LocalCluster(n_workers=2, threads_per_worker=1, processes=True, host="127.0.0.1",
                      dashboard_address=None) as cluster, Client(cluster) as client:
        pids = set(client.run(os.getpid).values())
        assert len(pids) == 2 and os.getpid() not in pids
        got_failed, got_devices = client.compute([lazy.groupby("status").size(),
                                                  lazy.groupby("status")["bd_addr.text"].nunique()], sync=True)
        got_frame = lazy.compute()
        # A bad entry on a worker reaches this process as itself, with its file and line.
        with pytest.raises(rizorod.DecodeError) as raised:
            rizorod.dask.read_captures([bad, fleet / "device-3.cap"], ["status"]).compute()
        assert (raised.value.file, raised.value.line) == (str(bad), 1)
    pd.testing.assert_series_equal(got_failed.sort_index(), failed.sort_index())
    pd.testing.assert_series_equal(got_devices.sort_index(), devices.sort_index())
    pd.testing.assert_frame_equal(got_frame.reset_index(drop=True), frame)
    # The workers are gone with the cluster.
    deadline = time.monotonic() + 10
    while pids and time.monotonic() < deadline:
        for pid in list(pids):
            try:
                os.kill(pid, 0)
            except ProcessLookupError:
                pids.discard(pid)
        time.sleep(0.1)
    assert not pids, f"worker processes {pids} outlived their cluster"


@pytest.mark.parametrize("paths, kwargs, error, text", [
    ("{f}/none-*.cap", {}, FileNotFoundError, "no capture matches"),
    (["{f}/device-1.cap", "{f}/device-9.cap"], {}, FileNotFoundError, "device-9.cap"),
    ([], {}, ValueError, "at least one capture"),
    ("{f}/*.cap", {"columns": ["bd_addr"]}, ValueError, "is a record"),
    ("{f}/*.cap", {"where": "status =="}, ValueError, "^"),
    ("{f}/*.cap", {"blocksize": 0}, ValueError, "blocksize"),
])
def test_what_cannot_be_read_is_refused_before_anything_runs(paths, kwargs, error, text, fleet):
    paths = paths.format(f=fleet) if isinstance(paths, str) else [p.format(f=fleet) for p in paths]
    with pytest.raises(error) as raised:
        rizorod.dask.read_captures(paths, **kwargs)
    assert text in str(raised.value)


def test_by_default_each_entry_brings_its_fields_whole(fleet):
    lazy = rizorod.dask.read_captures([fleet / "device-3.cap"], errors="collect")
    assert list(lazy.columns) == ["file", "line", "time", "interface", "code", "name", "error", "fields"]
    frame = lazy.compute(scheduler="sync")
    assert frame["fields"].tolist() == [e.fields for e in rizorod.open(fleet / "device-3.cap")]
