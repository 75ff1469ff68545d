"""The binding itself: every exported call declared with the header's arguments, enumerations as the
header numbers them, and the library looked for next to the package first."""

import ctypes.util
import gc
import inspect
import re
import shutil
import subprocess
import sys
import time
from pathlib import Path

import pytest

import qolt

EXPORT = re.compile(r"^QOLT_(?:EXT_|POSIX_)?API\s+(.+?)\b(\w+)\s*\((.*?)\);", re.M)


def header_calls(repository):
    text = (repository / "api" / "qolt_api.h").read_text()
    calls = {}
    for match in EXPORT.finditer(text):
        params = match.group(3).strip()
        calls[match.group(2)] = 0 if params in ("", "void") else params.count(",") + 1
    return calls


def test_every_exported_call_is_declared_with_its_arguments(repository):
    calls = header_calls(repository)
    assert len(calls) > 90
    assert sorted(calls) == qolt.lib.names()
    for name, count in calls.items():
        if name == "ReadMfgInfo":
            # Wrapped by hand: the buffer is made here, only its length is passed.
            assert list(inspect.signature(qolt.lib.ReadMfgInfo).parameters) == ["length"]
            continue
        if name in ("GetConnectionReport", "GetCandidatePorts"):
            assert list(inspect.signature(getattr(qolt.lib, name)).parameters) == [], name
            continue
        if name == "WriteMfgInfo":
            assert list(inspect.signature(qolt.lib.WriteMfgInfo).parameters) == ["data"]
            continue
        assert len(inspect.signature(getattr(qolt.lib, name)).parameters) == count, name
        assert getattr(qolt.lib, name).__doc__, name


def test_hints_follow_the_c_types():
    signature = inspect.signature(qolt.lib.SetFreqScanSine)
    assert [p.annotation for p in signature.parameters.values()] == [bool, float, float, int]
    assert signature.return_annotation is int
    assert inspect.signature(qolt.lib.GetSerialNumber).return_annotation is str


def enum_values(repository, name):
    text = (repository / "api" / "qolt_api.h").read_text()
    body = re.search(r"typedef enum %s \{(.*?)\}" % name, text, re.S).group(1)
    values, next_value = {}, 0
    for item in re.findall(r"(\w+)(?:\s*=\s*(\d+))?\s*,?", re.sub(r"/\*.*?\*/", "", body, flags=re.S)):
        next_value = int(item[1]) if item[1] else next_value
        values[item[0]] = next_value
        next_value += 1
    return values


@pytest.mark.parametrize("c_enum, python_enum", [
    ("QoltLogLevel_E", qolt.LogLevel),
    ("PacingPulse_E", qolt.PacingPulse),
    ("ECG2_27_NoiseFreq_E", qolt.ECG2_27Noise),
    ("SpecialWave227_E", qolt.SpecialWave227),
    ("SpecialWave251_E", qolt.SpecialWave251),
])
def test_enumerations_match_the_header(repository, c_enum, python_enum):
    assert sorted(enum_values(repository, c_enum).values()) == sorted(int(m) for m in python_enum)


def test_callbacks_are_kept_alive_while_registered(vi):
    points = []
    with vi.session() as s:
        s.on_graph(lambda t, v: points.append(v))  # no reference kept by the caller
        gc.collect()
        s.play(qolt.OutputFunction.SQUARE, amplitude=1000, frequency=50)
        deadline = time.monotonic() + 10
        while len(points) < 1000 and time.monotonic() < deadline:
            gc.collect()
            time.sleep(0.01)
    assert len(points) >= 1000


def test_an_exception_in_a_callback_is_logged_not_raised_into_the_library(vi, caplog):
    def broken(t, v):
        raise ValueError("from the callback")

    with vi.session() as s:
        s.on_graph(broken)
        s.play(qolt.OutputFunction.SINE, amplitude=1000, frequency=10)
        time.sleep(0.2)
        s.on_graph(None)
        assert s.is_connected
    assert any("exception in the RegisterTimeAmpCB callback" in r.getMessage() for r in caplog.records)


def test_the_library_next_to_the_package_is_used():
    package = Path(qolt.__file__).resolve().parent
    beside = [package / name for name in qolt.library_names() if (package / name).exists()]
    if not beside:
        pytest.skip("this tree has no library beside the package (an installed tree uses the system's)")
    assert Path(qolt.library_path()) == beside[0]


def test_a_missing_library_is_named_by_its_full_path(tmp_path):
    if ctypes.util.find_library("qolt"):
        pytest.skip("the system's loader has a libqolt of its own")
    package = Path(qolt.__file__).resolve().parent
    copy = tmp_path / "qolt"
    copy.mkdir()
    for module in package.glob("*.py"):
        shutil.copy(module, copy / module.name)
    run = subprocess.run(
        [sys.executable, "-c", "import qolt; qolt.library_version()"],
        cwd=tmp_path, capture_output=True, text=True, env={"PATH": "/usr/bin:/bin", "PYTHONPATH": str(tmp_path)},
    )
    assert run.returncode != 0
    assert "LibraryNotFoundError" in run.stderr
    assert str(copy / qolt.library_names()[0]) + ": no such file" in run.stderr
    assert "(system loader)" in run.stderr


def test_candidate_ports_come_as_a_list_in_scan_order():
    assert qolt.lib.GetCandidatePorts() == list(range(128))
