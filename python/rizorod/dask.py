# SPDX-License-Identifier: Apache-2.0
"""Captures as one Dask DataFrame, for many captures or huge ones, on a dask.distributed cluster or
on this machine.

    import rizorod.dask
    frame = rizorod.dask.read_captures("fleet/*.cap", columns=["file", "status", "bd_addr.text"],
                                       where="name == DM_ACL_CONNECT_CFM_T and status != 0")
    frame.groupby("status").size().compute()

Each partition is one capture file, or one piece of a file larger than `blocksize`, cut at entry
lines and read with the line numbers and dates it has in the whole file (docs/SCALING.md): the
partitions together are exactly rizorod.to_pandas of each file, one after the other. Every
worker needs the rizorod module installed (python3-rizorod, or `cmake --install`).
"""

from __future__ import annotations

import glob
import io
import math
import os
from typing import Iterable, Sequence, Union

import dask.dataframe as dd

import rizorod

__all__ = ["read_captures"]

Paths = Union[str, "os.PathLike[str]", Iterable[Union[str, "os.PathLike[str]"]]]

# The entry's own columns, and its fields as one dict: every capture gives the same columns.
_DEFAULT_COLUMNS = ["file", "line", "time", "interface", "code", "name"]


class _Piece:
    """Reads one partition: (path, k, n) is piece k of n of the file (n == 1: the whole file)."""

    def __init__(self, columns: Sequence[str], where: str | None, errors: str, date) -> None:
        self.columns, self.where, self.errors, self.date = list(columns), where, errors, date

    def __call__(self, part):
        path, k, n = part
        return rizorod.to_pandas(path, self.columns, self.where, errors=self.errors, date=self.date,
                                 piece=(k, n) if n > 1 else None)


def _files(paths: Paths) -> list[str]:
    """The files that `paths` names: a path, a glob pattern, or a list of either, in that order
    (each pattern's matches sorted)."""
    if isinstance(paths, (str, os.PathLike)):
        paths = [paths]
    files: list[str] = []
    for p in paths:
        p = os.fspath(p)
        if glob.has_magic(p):
            matches = sorted(glob.glob(p))
            if not matches:
                raise FileNotFoundError(f"no capture matches {p!r}")
            files += matches
        else:
            if not os.path.isfile(p):
                raise FileNotFoundError(f"no such capture file: {p!r}")
            files.append(p)
    if not files:
        raise ValueError("read_captures needs at least one capture")
    return files


def read_captures(paths: Paths, columns: Sequence[str] | None = None, where: str | None = None, *,
                  errors: str = "raise", date=None, blocksize: int | str | None = "64MiB") -> dd.DataFrame:
    """read_captures(paths, columns=None, where=None, *, errors="raise", date=None, blocksize="64MiB")

    A Dask DataFrame of the entries of many captures: one partition per file, or per piece of a
    file larger than `blocksize` (bytes, or a text such as "64MiB"; None: one partition per file
    whatever its size).

    paths    a path, a glob pattern ("fleet/*/board.cap"), or a list of them; a file that is not
             there raises FileNotFoundError here, before anything runs
    columns  as rizorod.to_pandas; None: file, line, time, interface, code, name (and error with
             errors="collect") and "fields", each entry's fields as one dict. Name the field
             columns you need ("status", "bd_addr.text"): a Dask DataFrame's columns are fixed
             before any capture is read, and a column's type follows from its name alone.
    where, errors, date  as rizorod.to_pandas; each file starts with `date`.
    """
    if isinstance(columns, str):
        raise TypeError("columns= takes a list of column names, not one str")
    if columns is None:
        columns = _DEFAULT_COLUMNS + (["error"] if errors == "collect" else []) + ["fields"]
    columns = list(columns)
    if isinstance(blocksize, str):
        from dask.utils import parse_bytes

        blocksize = parse_bytes(blocksize)
    if blocksize is not None and blocksize <= 0:
        raise ValueError(f"blocksize= takes a positive size or None, not {blocksize!r}")
    parts = []
    for f in _files(paths):
        n = max(1, math.ceil(os.path.getsize(f) / blocksize)) if blocksize else 1
        parts += [(f, k, n) for k in range(1, n + 1)]
    # The columns and their types, from an empty capture: they depend on the names alone. (This
    # also checks columns=, where= and errors= before anything is sent to a worker.)
    meta = rizorod.to_pandas(io.BytesIO(b""), columns, where, errors=errors, date=date)
    return dd.from_map(_Piece(columns, where, errors, date), parts, meta=meta, label="read-captures",
                       enforce_metadata=False)
