"""End to end against the virtual instrument: identity, a sine through the graph callback, a recording,
and the session closed however its block ends."""

import math
import threading
import time

import pytest

import qolt


def wait_for(predicate, seconds=10.0):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if predicate():
            return True
        time.sleep(0.01)
    return predicate()


def test_connect_and_identity(repository):
    args = ("--firmware", "5.4", "--hardware", "2.1", "--model", "enhanced", "--unit", "1234")
    with qolt.VirtualInstrument(*args, fast=True) as vi, vi.session(timeout=5.0) as s:
        assert s.is_connected
        assert s.serial_number == vi.serial != ""
        assert s.firmware_version == "5.4"
        assert s.hardware_version == "2.1"
        assert s.is_enhanced
        assert s.port_name == vi.node
    assert not qolt.lib.IsConnected()
    version = (repository / "VERSION").read_text().split()[0]
    assert qolt.library_version() == version == qolt.__version__
    assert qolt.lib.GetSDKVersion() == "1.7.7"


@pytest.mark.parametrize("model, amplitude, frequency", [("standard", 1000.0, 10.0), ("enhanced", -1500.0, 7.0)])
def test_sine_graph_points_follow_the_formula(model, amplitude, frequency):
    points = []
    lock = threading.Lock()

    def on_point(t, value):
        with lock:
            points.append((t, value))

    with qolt.VirtualInstrument("--model", model, fast=True) as vi, vi.session() as s:
        s.on_graph(on_point)
        s.play(qolt.OutputFunction.SINE, amplitude=amplitude, frequency=frequency)
        assert wait_for(lambda: len(points) >= 3000)
        s.on_graph(None)
    with lock:
        got = list(points)
    # One point every fifth sample (1 ms), from 0 at the start of the output; the display scale shows an
    # amplitude of 1000 as 0.5 on either model.
    for j, (t, value) in enumerate(got[:3000]):
        assert t == pytest.approx(j * 0.001, abs=1e-9)
        assert value == pytest.approx(amplitude / 2000.0 * math.sin(2 * math.pi * frequency * t), abs=1e-6), j


def test_text_recording_loads_and_plays_once(tmp_path):
    rate = 200  # samples/s: a graph point every 1 ms falls 0.2 samples apart
    samples = [round(3000 * math.sin(k / 5.0)) for k in range(120)]
    recording = tmp_path / "recording.txt"
    recording.write_text(f"{rate}\n{len(samples)}\n" + "\n".join(str(v) for v in samples) + "\n")

    points = []
    functions = []
    with qolt.VirtualInstrument(fast=True) as vi, vi.session() as s:
        assert s.load(recording) == len(samples)
        s.EnablePlayRawDataLoop(False)
        s.RegisterSyncMainFuncCB(functions.append)
        s.on_graph(lambda t, v: points.append((t, v)))
        s.SetOutputFunc(qolt.OutputFunction.PLAYBACK)
        # Played once, the output goes off by itself at the end of the recording.
        assert wait_for(lambda: 0 in functions)
        assert s.GetOutputFunc() == qolt.OutputFunction.OFF
    duration = len(samples) / rate
    checked = 0
    for t, value in points:
        x = t * rate
        if t < duration and 0.1 < x - math.floor(x) < 0.9:
            assert value == pytest.approx(samples[int(x)] / 1000.0, abs=1e-9), t
            checked += 1
    assert checked > 400


def test_session_closes_when_its_block_raises():
    with qolt.VirtualInstrument("--exit-on-close", fast=True) as vi:
        with pytest.raises(ZeroDivisionError):
            with vi.session() as s:
                s.play(qolt.OutputFunction.SINE, amplitude=500, frequency=5)
                1 / 0
        assert not qolt.lib.IsConnected()
        # The instrument heard the close command and ended by itself.
        assert vi.wait(10) == 0
    # Nothing of the session is left: a new one opens.
    with qolt.VirtualInstrument(fast=True) as vi, vi.session() as s:
        assert s.is_connected


def test_no_instrument_within_the_time_out_raises_connect_error(tmp_path):
    started = time.monotonic()
    with pytest.raises(qolt.ConnectError) as caught:
        with qolt.Session(port=3, timeout=0.5, node_format=str(tmp_path / "ttyACM%d"), lock_dir=str(tmp_path)):
            pytest.fail("no instrument exists there")
    assert caught.value.call == "Connect"
    assert "within 0.5 s" in str(caught.value)
    # The library's report of the attempt says why.
    node = tmp_path / "ttyACM3"
    assert caught.value.detail == f"{node}: no such device node"
    assert qolt.connection_report() == f"{node}: no such device node\n"
    assert time.monotonic() - started < 5.0
    assert not qolt.lib.IsConnected()


def test_one_session_at_a_time(vi):
    with vi.session():
        with pytest.raises(RuntimeError):
            qolt.Session(port=vi.port).open()
