#!/usr/bin/env python3
# SPDX-License-Identifier: Apache-2.0
"""The Python module's figures, each beside its yardstick measured in the same run:

  entries   iterating a capture of N mixed entries (bench/make_capture.py) into rizorod.Entry
            objects with their fields, on one core
  pandas    rizorod.to_pandas of the same capture, a few columns
  tshark    the yardstick of the first two: the same entries exported as pcapng
            (`rizorod export`) and read through `tshark -T ek` with the generated dissector,
            json.loads per line, on M of them (tshark is slow)
  dask      rizorod.dask.read_captures of F copies of the capture, one fleet question
            (failures by status), on a dask.distributed LocalCluster of 2 worker processes,
            against one process doing to_pandas of the same files and the same question

Each figure is the best of R runs (elapsed time; CPU time of this process beside it where it
says more). Run from the project's root after a build, with Debian's interpreter:

    /usr/bin/python3 bench/python_bench.py [N] [M] [F] [BUILD_DIR]    # 1000000 20000 4 build
"""
import json
import os
import pathlib
import shutil
import subprocess
import sys
import tempfile
import time

ROOT = pathlib.Path(__file__).resolve().parent.parent
N = int(sys.argv[1]) if len(sys.argv) > 1 else 1_000_000
M = int(sys.argv[2]) if len(sys.argv) > 2 else 20_000
FILES = int(sys.argv[3]) if len(sys.argv) > 3 else 4
BUILD = pathlib.Path(sys.argv[4] if len(sys.argv) > 4 else ROOT / "build").resolve()
RUNS = 3
sys.path.insert(0, str(BUILD / "python"))
os.environ["PYTHONPATH"] = str(BUILD / "python") + os.pathsep + os.environ.get("PYTHONPATH", "")

import rizorod  # noqa: E402

TOOL = BUILD / "tools" / "rizorod"
COLUMNS = ["time", "name", "status", "handle"]


def best(f, runs=RUNS):
    """(elapsed, cpu, result) of the fastest of `runs` calls."""
    out = None
    for _ in range(runs):
        wall, cpu = time.perf_counter(), time.process_time()
        result = f()
        took = (time.perf_counter() - wall, time.process_time() - cpu, result)
        out = took if out is None or took[0] < out[0] else out
    return out


def iterate(path):
    n = 0
    for entry in rizorod.open(path):
        entry.fields
        n += 1
    return n


def tshark_ek(pcapng, plugin):
    """Packets read through tshark -T ek, each line parsed with json.loads."""
    tshark = subprocess.Popen(["tshark", "-r", pcapng, "-X", "lua_script:" + str(plugin), "-T", "ek"],
                              stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    packets = 0
    for line in tshark.stdout:
        doc = json.loads(line)
        packets += "layers" in doc  # (every other line is an index line)
    tshark.wait()
    return packets


def fleet_question(frame):
    return frame.groupby("status").size()


def main():
    print(f"machine: {os.cpu_count()} processors, load {os.getloadavg()}; python {sys.version.split()[0]}")
    work = pathlib.Path(tempfile.mkdtemp(prefix="rizorod-bench-"))
    try:
        cap = work / "big.cap"
        subprocess.run([sys.executable, ROOT / "bench" / "make_capture.py", str(N), cap], check=True)
        print(f"capture: {N} entries, {cap.stat().st_size >> 20} MiB")

        wall, cpu, n = best(lambda: iterate(cap))
        print(f"entries: {wall:.3f} s (CPU {cpu:.3f} s), {n / wall:,.0f} entries/s")
        per_entry = wall / n
        wall, cpu, frame = best(lambda: rizorod.to_pandas(cap, COLUMNS))
        print(f"to_pandas {COLUMNS}: {wall:.3f} s (CPU {cpu:.3f} s), {len(frame) / wall:,.0f} rows/s")

        if shutil.which("tshark"):
            small = work / "small.cap"
            subprocess.run([sys.executable, ROOT / "bench" / "make_capture.py", str(M), small], check=True)
            pcapng, plugin = work / "small.pcapng", work / "rizorod.lua"
            subprocess.run([TOOL, "export", pcapng, small], check=True)
            plugin.write_bytes(subprocess.run([TOOL, "dissector"], check=True, capture_output=True).stdout)
            wall, cpu, packets = best(lambda: tshark_ek(pcapng, plugin))
            assert packets == M, packets
            print(f"tshark -T ek + json.loads: {M} packets in {wall:.3f} s (this process's CPU {cpu:.3f} s), "
                  f"{packets / wall:,.0f} packets/s; rizorod.open is {wall / packets / per_entry:.0f}x faster per entry")
        else:
            print("tshark: not installed, no yardstick")

        try:
            import pandas
            from dask.distributed import Client, LocalCluster

            read_captures = __import__("rizorod.dask").dask.read_captures
        except ImportError as e:
            print(f"dask: {e}")
            return
        files = []
        for i in range(FILES):
            files.append(work / f"device-{i}.cap")
            shutil.copyfile(cap, files[-1])
        question = dict(columns=["status"], where="name == DM_ACL_CONNECT_CFM_T")
        wall1, cpu1, one = best(lambda: fleet_question(pandas.concat(
            [rizorod.to_pandas(f, **question) for f in files], ignore_index=True)))
        print(f"one process, to_pandas of {FILES} files: {wall1:.3f} s (CPU {cpu1:.3f} s)")
        runs = []

        def on_cluster(blocksize):
            # New names each run: a cluster keeps results by key for a while, and the keys follow
            # from the paths.
            runs.append(len(runs))
            paths = []
            for f in files:
                paths.append(str(work / f"run{runs[-1]}-{f.name}"))
                os.link(f, paths[-1])
            lazy = read_captures(paths, blocksize=blocksize, **question)
            return lazy.npartitions, fleet_question(lazy).compute()

        with LocalCluster(n_workers=2, threads_per_worker=1, processes=True, host="127.0.0.1",
                          dashboard_address=None) as cluster, Client(cluster):
            on_cluster(None)  # the workers import pandas and rizorod
            for blocksize in [None, "64MiB", "16MiB"]:
                wall2, _, (partitions, two) = best(lambda: on_cluster(blocksize))
                assert two.sort_index().equals(one.sort_index()) and two.sum() > 0
                print(f"dask, LocalCluster of 2 worker processes, {partitions} partitions "
                      f"(blocksize {blocksize}): {wall2:.3f} s, {wall2 / wall1:.2f}x one process")
        print(f"load after: {os.getloadavg()}")
    finally:
        shutil.rmtree(work)


if __name__ == "__main__":
    main()
