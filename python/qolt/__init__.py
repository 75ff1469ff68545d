"""Python interface to libqolt, the host library of the USB physiological signal simulator.

Through ctypes only: no module beyond Python's own is needed. The library is looked for next to this
package first (a wheel carries it there), then by the system's loader::

    import qolt

    with qolt.VirtualInstrument(fast=True) as vi, vi.session() as s:
        s.play(qolt.OutputFunction.SINE, amplitude=1000, frequency=10)

``qolt.lib`` holds every exported call of the C interface; negative results raise :class:`QoltError`
subclasses naming the call, the code and its meaning. The library's log goes to the ``"qolt"`` logger.
"""

from ._enums import (
    BaselineResetTest,
    ECG2_27Noise,
    LogLevel,
    OutputFunction,
    PacingPulse,
    SpecialWave227,
    SpecialWave251,
)
from ._errors import ConnectError, LibraryNotFoundError, LoadError, NotReadyError, QoltError, RefusedError
from ._library import check, lib, library_names, library_path
from ._log import disable_log, enable_log
from ._session import Session
from ._virtual import VirtualInstrument, find_qolt_sim

try:
    from ._version import __version__
except ImportError:  # run from the source folder, without the build's version file
    __version__ = "0+unknown"

__all__ = [
    "BaselineResetTest",
    "ConnectError",
    "ECG2_27Noise",
    "LibraryNotFoundError",
    "LoadError",
    "LogLevel",
    "NotReadyError",
    "OutputFunction",
    "PacingPulse",
    "QoltError",
    "RefusedError",
    "Session",
    "SpecialWave227",
    "SpecialWave251",
    "VirtualInstrument",
    "check",
    "connection_report",
    "disable_log",
    "enable_log",
    "find_qolt_sim",
    "lib",
    "library_names",
    "library_path",
    "library_version",
    "result_meaning",
]


def library_version() -> str:
    """Release of the library loaded (``GetLibraryVersion``); the same as ``__version__`` when the
    package and the library come from one build."""
    return lib.GetLibraryVersion()


def connection_report() -> str:
    """Why the last connection attempt found no instrument, one "NODE: REASON" line per port it tried
    (``GetConnectionReport``); a :class:`ConnectError` carries the same text as ``detail``."""
    return lib.GetConnectionReport()


def result_meaning(call: str, code: int) -> str:
    """The library's short text for what `code`, returned by `call`, means (``GetResultMeaning``)."""
    return lib.GetResultMeaning(call, code)
