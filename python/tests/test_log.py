"""The library's log in Python's logging: at the wire level every message to and from the instrument in
hex, a sample packet as one line; delivered from the library's log thread."""

import logging
import threading
import time

import qolt


def test_wire_level_logs_every_message_and_one_line_per_packet(vi, caplog):
    caplog.set_level(logging.DEBUG, logger="qolt")
    packets_wanted = 5
    with vi.session(log_level=qolt.LogLevel.WIRE) as s:
        s.play(qolt.OutputFunction.SINE, amplitude=1000, frequency=10)
        deadline = time.monotonic() + 10
        while time.monotonic() < deadline:
            if sum("sent sample packet" in r.getMessage() for r in caplog.records) >= packets_wanted:
                break
            time.sleep(0.01)
    # Closing the session ended the log after delivering what was queued.
    records = [r for r in caplog.records if r.name == "qolt"]
    messages = [r.getMessage() for r in records]
    assert "sent 1 byte: AA" in messages  # the identify query
    assert any(m.startswith("received") and " 4B 54 52 58" in m for m in messages)  # its token
    assert "sent 1 byte: 43" in messages  # the close command
    packets = [m for m in messages if m.startswith("sent sample packet: 3200 bytes, 3200 taken")]
    assert len(packets) >= packets_wanted
    # Never the packet's bytes: every line stays short.
    assert max(len(m) for m in messages) < 256
    assert all(r.levelno == logging.DEBUG for r in records if r.getMessage().startswith(("sent", "received")))
    # From the library's log thread, not the caller's.
    assert {r.thread for r in records} and threading.main_thread().ident not in {r.thread for r in records}


def test_info_level_leaves_the_wire_out(vi, caplog):
    caplog.set_level(logging.DEBUG, logger="qolt")
    with vi.session(log_level=qolt.LogLevel.INFO) as s:
        s.play(qolt.OutputFunction.SINE, amplitude=1000, frequency=10)
        time.sleep(0.2)
    assert not [r for r in caplog.records if r.levelno == logging.DEBUG]


def test_log_can_be_set_before_a_session_and_ended_after(vi, caplog):
    caplog.set_level(logging.DEBUG, logger="qolt")
    assert qolt.enable_log(qolt.LogLevel.WIRE) == qolt.LogLevel.WIRE
    with vi.session(log_level=None):
        pass
    qolt.disable_log()
    count = len(caplog.records)
    assert any(r.getMessage() == "sent 1 byte: AA" for r in caplog.records)
    # Nothing comes after the log has ended.
    with vi.session(log_level=None):
        pass
    time.sleep(0.3)
    assert len(caplog.records) == count
