# SPDX-License-Identifier: Apache-2.0
"""What the Python module's tests share: the tool and the every-code generator from the build (as
ctest passes them in the environment), the captures made from them, and the tool's own JSON of
a capture, which the module must agree with."""
import json
import os
import pathlib
import subprocess
import sys

import pytest

TOOL = os.environ["RIZOROD_TOOL"]
EXAMPLES = pathlib.Path(os.environ["RIZOROD_EXAMPLES"])
SESSION = EXAMPLES / "session.cap"
ROOT = EXAMPLES.parent


def tool(*args, check=True):
    """The tool's standard output (text), standard error lines and status."""
    run = subprocess.run([TOOL, *map(str, args)], capture_output=True, check=False)
    if check and run.returncode not in (0, 1):
        raise AssertionError(f"rizorod {args}: status {run.returncode}: {run.stderr.decode()}")
    return run.stdout.decode("utf-8", "replace"), run.stderr.decode().splitlines(), run.returncode


def tool_json(*args):
    """The objects of `rizorod decode --format json ARGS`."""
    out, _, _ = tool("decode", "--format", "json", *args)
    return [json.loads(line) for line in out.splitlines()]


@pytest.fixture(scope="session")
def work(tmp_path_factory):
    return tmp_path_factory.mktemp("rizorod")


@pytest.fixture(scope="session")
def all_codes(work):
    """A capture with every code of every interface, twice, random records and their memory."""
    path = work / "all.cap"
    path.write_bytes(subprocess.run([os.environ["RIZOROD_ALL_CODES"]], check=True, capture_output=True).stdout)
    return path


@pytest.fixture(scope="session")
def big(work):
    """300,000 entries of the example session, over and over."""
    path = work / "big.cap"
    subprocess.run([sys.executable, ROOT / "bench" / "make_capture.py", "300000", path], check=True)
    return path


# Defects of every kind, one or two per line, among good entries (dated, so that times are checked
# too): a short record, a line that is no entry, memory of a bad entry (passed over with it),
# memory missing for a pointer, bad hexadecimal, memory before any entry.
BAD = """@00100000 01
2024-05-14 23:59:58.001 dm 0x2004 04 20 1a 00 00 00 29 00 33 8b 9e 00 5b 00 02 00 01
dm 0x2004 0420
hci 00
@00300000 01 02
00:00:01.500 l2cap 0x000b 0b0041000300000000003000
@00300000 01 02
# a comment
sdp 0b00a002
rfcomm 0x0001 0z
00:00:02.000 dm 0x2004 04 20 1a 00 05 00 29 00 33 8b 9e 00 5b 00 02 00 01
"""


@pytest.fixture(scope="session")
def bad(work):
    path = work / "bad.cap"
    path.write_text(BAD)
    return path
