"""The enumerations of the C interface, as ``IntEnum``."""

from enum import IntEnum

__all__ = [
    "OutputFunction",
    "SpecialWave227",
    "SpecialWave251",
    "PacingPulse",
    "ECG2_27Noise",
    "LogLevel",
    "BaselineResetTest",
]


class OutputFunction(IntEnum):
    """Output function numbers for ``SetOutputFunc`` (0 switches the output off). The ECG2_27 complex
    plays only while its rate is swept: ``SetFreqScanECG(True)``."""

    OFF = 0
    SINE = 1
    TRIANGLE = 2
    SQUARE = 3
    PULSE = 4
    TRIANGULAR_PULSE = 5
    EXPONENTIAL = 6
    PLAYBACK = 7
    IEC227 = 8
    IEC251 = 9
    ECG = 10
    ECG_SINGLE_R = 11
    DYNAMIC_RANGE = 14
    ANE20000 = 15


class SpecialWave227(IntEnum):
    """Stored waveform of the IEC 60601-2-27 table (output function 8)."""

    W0 = 0
    W1 = 1
    W2 = 2
    W3 = 3
    W4 = 4
    W5 = 5
    W6 = 6
    W7 = 7
    W8 = 8
    W9 = 9


SpecialWave251 = IntEnum(  # type: ignore[misc]
    "SpecialWave251", [(f"W{i}", i) for i in range(16)], module=__name__
)
SpecialWave251.__doc__ = "Stored one-second waveform of the IEC 60601-2-51 table (output function 9)."


class PacingPulse(IntEnum):
    """Pacemaker pulse pattern (``SetPacingPulseMode``)."""

    SINGLE = 0
    PAIR_150MS = 1
    PAIR_250MS = 2


class ECG2_27Noise(IntEnum):
    """Mains noise on the ECG2_27 test complex (``SetECG2_27_Noise``)."""

    OFF = 0
    HZ_50 = 1
    HZ_60 = 2


class BaselineResetTest(IntEnum):
    """Baseline-reset test modes (``SetBaselineResetTest``): a fixed sine at 50, 60, 80 or 100 Hz."""

    OFF = 0
    HZ_50 = 1
    HZ_60 = 2
    HZ_80 = 3
    HZ_100 = 4


class LogLevel(IntEnum):
    """Levels of the library's log (``RegisterLogCallback``); a level includes the ones above it."""

    OFF = 0
    ERROR = 1
    WARNING = 2
    INFO = 3
    WIRE = 4
