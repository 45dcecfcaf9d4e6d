# SPDX-License-Identifier: Apache-2.0
"""Runs one pytest file of the Python module's tests, or skips it (status 77, which ctest shows as
skipped) with a message naming the Debian package that is missing.

usage: run.py TEST_FILE [MODULE...]    MODULE: a Python module the tests need besides pytest
"""
import importlib.util
import sys

PACKAGES = {"pytest": "python3-pytest", "pandas": "python3-pandas", "dask": "python3-dask",
            "distributed": "python3-distributed"}


def main():
    test_file, *modules = sys.argv[1:]
    missing = [m for m in ["pytest"] + modules if importlib.util.find_spec(m) is None]
    if missing:
        print(f"SKIP {test_file}: {sys.executable} lacks " +
              ", ".join(f"{m} ({PACKAGES.get(m, m)})" for m in missing) + "; scripts/install-deps.sh installs them")
        sys.exit(77)
    import pytest

    sys.exit(pytest.main(["-q", "-p", "no:cacheprovider", test_file]))


# Worker processes that multiprocessing starts import this file again: only running it tests.
if __name__ == "__main__":
    main()
