"""Negative results raise the QoltError subclass for their kind, naming the call, the code and the meaning
the library gives it."""

import pytest

import qolt

REFUSED = [
    # call, arguments, exception, code, the library's text
    ("SetAmplitude", (5000.0,), qolt.RefusedError, -2, "allowed -2000 to 2000"),
    ("SetAmplitude", (float("nan"),), qolt.RefusedError, -2, "allowed -2000 to 2000"),
    ("SetPacingRate", (400,), qolt.RefusedError, -2, "allowed 10 to 300 per minute"),
    ("SetOutputLead", (9, True), qolt.RefusedError, -2, "allowed leads 0 to 8"),
    ("SetPulseWidth", (1.0,), qolt.RefusedError, -2, "allowed 2 to 300 ms"),
    ("SetANE20000Lead", (9,), qolt.RefusedError, -1, "allowed leads 0 to 8"),
    ("SetFreqScanSine", (True, 1.0, 100.0, 5), qolt.RefusedError, -4, "allowed durations 10 to 180 s"),
    ("SetDynamicRangeTest", (True, 1.0, 20.0), qolt.RefusedError, -2, "only with triangle or square"),
]


@pytest.mark.parametrize("call, args, exception, code, meaning", REFUSED, ids=[r[0] + str(r[3]) for r in REFUSED])
def test_refused_values_raise(vi, call, args, exception, code, meaning):
    with vi.session() as s:
        with pytest.raises(exception) as caught:
            getattr(s, call)(*args)
    error = caught.value
    assert (error.call, error.code, error.meaning) == (call, code, meaning)
    assert str(error).startswith(f"{call} returned {code}: {meaning}")
    assert isinstance(error, qolt.QoltError)


def test_refused_in_the_present_state(vi):
    with vi.session() as s:
        s.SetFreqScanSine(True, 1.0, 100.0, 30)
        with pytest.raises(qolt.RefusedError) as caught:
            s.SetFrequency(10.0)
        assert (caught.value.code, caught.value.meaning) == (-3, "not while a frequency scan runs")


def test_calls_without_a_session_raise_not_ready():
    with pytest.raises(qolt.NotReadyError) as caught:
        qolt.lib.SetAmplitude(100.0)
    assert (caught.value.call, caught.value.code, caught.value.meaning) == ("SetAmplitude", -1, "no instrument is ready")


@pytest.mark.parametrize("name, content, code", [
    ("missing.txt", None, -1),
    ("rate.txt", "abc\n3\n1\n2\n3\n", -2),
    ("count.txt", "100\n0\n", -3),
])
def test_loader_codes_raise_load_error(tmp_path, name, content, code):
    path = tmp_path / name
    if content is not None:
        path.write_text(content)
    with pytest.raises(qolt.LoadError) as caught:
        qolt.lib.LoadEEGtxt(path)
    assert caught.value.code == code
    assert caught.value.meaning == qolt.result_meaning("LoadEEGtxt", code) != ""


def test_meanings_come_from_the_library():
    assert qolt.result_meaning("SetPacingRate", -2) == "allowed 10 to 300 per minute"
    assert qolt.result_meaning("SetAmplitude", 0) == "success"
    assert qolt.result_meaning("NoSuchCall", -7) == ""
    # Unknown results still make an exception that says what came back.
    error = qolt.QoltError("NoSuchCall", -7, "")
    assert str(error) == "NoSuchCall returned -7: unknown result -7"
