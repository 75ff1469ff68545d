"""Shared fixtures: a fast virtual instrument, the repository's paths, and a library left as it was found."""

from pathlib import Path

import pytest

# Run from the source folder: the package under test comes from PYTHONPATH (the build's staged copy, an
# unpacked wheel or an installed tree); the repository's files are found from here.
REPOSITORY = Path(__file__).resolve().parents[2]

import qolt  # noqa: E402


@pytest.fixture
def repository() -> Path:
    return REPOSITORY


@pytest.fixture
def vi():
    """A virtual instrument asking for the next packet as soon as one arrives."""
    with qolt.VirtualInstrument(fast=True) as instrument:
        yield instrument


@pytest.fixture(autouse=True)
def library_left_clean():
    """Every test ends with no session, no log and no callbacks, whatever it did."""
    yield
    qolt.lib.Close()
    qolt.disable_log()
    for register in ("RegisterTimeAmpCB", "RegisterPacingTimeAmpCB", "RegisterSyncFreqCB",
                     "RegisterSyncMainFuncCB", "RegisterErrorCallback"):
        getattr(qolt.lib, register)(None)
    qolt.lib.SetDeviceNodeFormat(None)
    qolt.lib.SetLockDirectory(None)

