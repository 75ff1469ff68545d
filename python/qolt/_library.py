"""Loading libqolt and declaring every exported call for ctypes.

``lib`` holds one Python function per exported C call, with the C argument and result types declared,
Python type hints and a docstring. Status results below zero raise a :class:`QoltError` subclass; text
results come back as ``str``; callbacks are Python callables (or ``None``), kept alive while registered.
"""

import ctypes
import inspect
import logging
import os
import sys
import threading
from ctypes import c_bool, c_char_p, c_double, c_int, c_uint, c_ulong, c_wchar_p
from pathlib import Path
from typing import Any, Callable, Dict, List, Optional, Tuple, Union

from ._errors import LibraryNotFoundError, LoadError, NotReadyError, QoltError, RefusedError

__all__ = ["lib", "library_path", "library_names", "check"]

_log = logging.getLogger("qolt")

# ---- Finding the library ---------------------------------------------------------------------------------


def library_names() -> List[str]:
    """File names of the library on this system, the ABI-versioned one first."""
    if sys.platform == "darwin":
        return ["libqolt.1.dylib", "libqolt.dylib"]
    if sys.platform == "win32":
        return ["QOLT300x64.dll", "qolt.dll"]
    return ["libqolt.so.1", "libqolt.so"]


def _load() -> Tuple[ctypes.CDLL, str]:
    """The library next to this package first (a wheel, or the build folder's staged package), then what
    the system's loader finds. Every path tried is in the error."""
    here = Path(__file__).resolve().parent
    tried: List[str] = []
    for name in library_names():
        path = here / name
        if not path.exists():
            tried.append(f"{path}: no such file")
            continue
        try:
            return ctypes.CDLL(str(path)), str(path)
        except OSError as error:
            tried.append(f"{path}: {error}")
    for name in library_names():
        try:
            handle = ctypes.CDLL(name)
        except OSError as error:
            tried.append(f"{name} (system loader): {error}")
            continue
        return handle, _loaded_path(handle, name)
    raise LibraryNotFoundError(tried)


def _loaded_path(handle: ctypes.CDLL, fallback: str) -> str:
    """The file the system's loader chose, where the platform can say."""
    try:
        probe = handle.GetLibraryVersion
    except AttributeError:
        return fallback
    if sys.platform.startswith("linux"):

        class _DlInfo(ctypes.Structure):
            _fields_ = [
                ("dli_fname", c_char_p),
                ("dli_fbase", ctypes.c_void_p),
                ("dli_sname", c_char_p),
                ("dli_saddr", ctypes.c_void_p),
            ]

        try:
            libdl = ctypes.CDLL(None)
            dladdr = libdl.dladdr
            dladdr.argtypes = [ctypes.c_void_p, ctypes.POINTER(_DlInfo)]
            dladdr.restype = c_int
            info = _DlInfo()
            if dladdr(ctypes.cast(probe, ctypes.c_void_p), ctypes.byref(info)) and info.dli_fname:
                return os.path.realpath(info.dli_fname.decode(errors="replace"))
        except (AttributeError, OSError):
            pass
    return fallback


# ---- Callback types (as in qolt_api.h) ---------------------------------------------------------------------

ListenerCB = ctypes.CFUNCTYPE(None, c_bool)
TimeAmpCB = ctypes.CFUNCTYPE(None, c_double, c_double)
SyncFreqCB = ctypes.CFUNCTYPE(None, c_double)
SyncMainFuncCB = ctypes.CFUNCTYPE(None, c_int)
ErrorCB = ctypes.CFUNCTYPE(None, c_int)
NotifyCB = ctypes.CFUNCTYPE(None, c_uint, c_uint, c_ulong)
LogCB = ctypes.CFUNCTYPE(None, c_int, c_char_p)

_CALLBACK_HINTS = {
    ListenerCB: Optional[Callable[[bool], None]],
    TimeAmpCB: Optional[Callable[[float, float], None]],
    SyncFreqCB: Optional[Callable[[float], None]],
    SyncMainFuncCB: Optional[Callable[[int], None]],
    ErrorCB: Optional[Callable[[int], None]],
    NotifyCB: Optional[Callable[[int, int, int], None]],
    LogCB: Optional[Callable[[int, str], None]],
}

PathArg = Union[str, "os.PathLike[str]"]

# ---- The calls ----------------------------------------------------------------------------------------------

# How a result is turned into Python:
PLAIN = "plain"  # returned as it is (bool, int, float)
STATUS = "status"  # int: below zero raises (NotReadyError for -1, RefusedError otherwise)
LOADER = "loader"  # int: the samples loaded; below zero raises LoadError
ONE_IS_SUCCESS = "one"  # int: 1 success, 0 raises QoltError
TEXT = "text"  # const char*: str
VOID = "void"  # nothing

# name, result type, [(argument, C type)], kind, docstring. Keep in step with api/qolt_api.h (a test
# compares the names with the header's exported calls).
_CALLS: List[Tuple[str, Any, List[Tuple[str, Any]], str, str]] = [
    # Session
    ("Init", c_bool, [("listener", ListenerCB)], PLAIN,
     "Starts the session (returns at once); the listener hears True/False as links come and go."),
    ("Connect", c_bool, [("port", c_int), ("timeout_ms", c_uint)], PLAIN,
     "Starts the session on `port` (-1: any) and waits up to `timeout_ms` for a link. False: none yet."),
    ("Close", None, [], VOID, "Ends the session: defaults back, output off, link down, threads ended."),
    ("IsConnected", c_bool, [], PLAIN, "True while the instrument's port is open."),
    ("IsQOLT300R", c_bool, [], PLAIN, "True when the connected instrument is the enhanced model."),
    ("GetSerialNumber", c_char_p, [], TEXT, "Serial number of the connected instrument ('' when none)."),
    ("GetFWVersion", c_char_p, [], TEXT, "Firmware version 'major.minor' ('' when unknown)."),
    ("GetHWVersion", c_char_p, [], TEXT, "Hardware version 'x.y' ('' when unknown)."),
    ("GetSDKVersion", c_char_p, [], TEXT, "Version of the instrument interface, '1.7.7'."),
    ("GetLibraryVersion", c_char_p, [], TEXT, "Release of the library, 'major.minor.patch'."),
    ("ReconnectDevice", None, [], VOID, "Asks the connection thread to check the link now."),
    ("SpecifyCOMPort", None, [("port", c_int)], VOID, "Port Init uses at its next attempt (-1: any)."),
    ("WinEventCb", None, [("message", c_uint), ("code", c_uint), ("data", c_ulong)], VOID,
     "Device-change notification handler (537 asks for a link check)."),
    ("GetHWInfo", c_char_p, [], TEXT, "Serial number from the information block ('' when unknown)."),
    ("GetUSBPort", c_char_p, [], TEXT, "Path of the connected port ('' when none)."),
    ("IsVersion4", c_bool, [], PLAIN, "True once the instrument has sent its firmware version report."),
    ("GetAD", c_int, [], PLAIN, "One converter reading 0..65535 (0 when none came)."),
    ("RegisterErrorCallback", None, [("callback", ErrorCB)], VOID,
     "Instrument error reports (poll thread); None unregisters."),
    ("GetTimePeriod", c_double, [], PLAIN, "Period of the output function in force, in seconds."),
    ("SetDeviceInformation", c_int,
     [("group", c_int), ("model", c_int), ("hw_version_x10", c_int), ("unit", c_int)], ONE_IS_SUCCESS,
     "Writes the instrument's identity (production tools)."),
    # WriteMfgInfo, ReadMfgInfo, GetConnectionReport and GetCandidatePorts take buffers: wrapped by hand
    # below.
    # Waveform settings
    ("SetOutputFunc", c_int, [("function", c_int)], STATUS, "Output function 0..15 (OutputFunction)."),
    ("GetOutputFunc", c_int, [], PLAIN, "The output function set."),
    ("SetAmplitude", c_int, [("amplitude", c_double)], STATUS, "Amplitude -2000..2000."),
    ("GetAmplitude", c_double, [], PLAIN, "The amplitude setting."),
    ("SetFrequency", c_int, [("hz", c_double)], STATUS, "Frequency in Hz, 0.05 to the function's limit."),
    ("GetFrequency", c_double, [], PLAIN, "The frequency setting in Hz."),
    ("SetDCOffset", c_int, [("offset", c_int)], STATUS, "DC offset -300..300 (model and mode change it)."),
    ("GetDCOffset", c_int, [], PLAIN, "The DC offset setting."),
    ("SetDCOffsetVariableMode", c_int, [("on", c_bool)], STATUS, "Variable DC offset mode on or off."),
    ("GetDCOffsetVariableMode", c_bool, [], PLAIN, "The variable DC offset mode."),
    ("SetOutputLead", c_int, [("lead", c_int), ("on", c_bool)], STATUS, "Output lead 0..8 on or off."),
    ("GetOutputLead", c_bool, [("lead", c_int)], PLAIN, "Whether output lead 0..8 is on."),
    ("SetPulseWidth", c_int, [("ms", c_double)], STATUS, "Pulse width 2..300 ms (functions 4 and 5)."),
    ("GetPulseWidth", c_double, [], PLAIN, "The pulse width in ms."),
    ("SetInputImpedanceMode", c_int, [("mode", c_bool)], STATUS, "Input-impedance mode."),
    ("GetInputImpedanceMode", c_bool, [], PLAIN, "The input-impedance mode."),
    ("SetBaselineResetTest", c_int, [("mode", c_int)], STATUS,
     "Baseline-reset test 0..4 (BaselineResetTest), only with sine."),
    ("GetBaselineResetTest", c_int, [], PLAIN, "The baseline-reset test mode."),
    ("RegisterTimeAmpCB", None, [("callback", TimeAmpCB)], VOID,
     "Waveform points (time s, value) from the poll thread, every fifth sample; None unregisters."),
    ("RegisterSyncFreqCB", None, [("callback", SyncFreqCB)], VOID,
     "Told when the library changes the frequency by itself."),
    ("RegisterSyncMainFuncCB", None, [("callback", SyncMainFuncCB)], VOID,
     "Told when the library changes the output function by itself."),
    ("ResetQOLT", None, [], VOID, "Restores the default settings."),
    ("SetSpecialWave227", c_int, [("index", c_int)], STATUS, "Plays stored IEC 60601-2-27 waveform 0..9."),
    ("GetSpecialWave227", c_int, [], PLAIN, "The stored-waveform index."),
    ("SetSpecialWave251", c_int, [("index", c_int)], STATUS, "Plays stored IEC 60601-2-51 waveform 0..15."),
    ("GetSpecialWave251", c_int, [], PLAIN, "The stored-waveform index."),
    ("SetANE20000Lead", c_int, [("lead", c_int)], STATUS, "Plays lead 0..8 of the ANE20000 signal."),
    ("GetANE20000Lead", c_int, [], PLAIN, "The ANE20000 lead."),
    ("SetDCOffsetCommonMode", c_int, [("on", c_bool)], STATUS, "DC offset in common mode."),
    ("SetDCOffsetCommoneMode", c_int, [("on", c_bool)], STATUS, "Same as SetDCOffsetCommonMode."),
    ("GetDCOffsetCommonMode", c_bool, [], PLAIN, "The common-mode DC offset setting."),
    ("GetDCOffsetCommoneMode", c_bool, [], PLAIN, "Same as GetDCOffsetCommonMode."),
    ("RegisterPacingTimeAmpCB", None, [("callback", TimeAmpCB)], VOID,
     "Pacemaker markers (four points per pulse) from the poll thread; None unregisters."),
    ("SetPacingPulseMode", c_int, [("mode", c_int)], STATUS, "Pacemaker pulse pattern (PacingPulse)."),
    ("GetPacingPulseMode", c_int, [], PLAIN, "The pacemaker pulse pattern."),
    ("SetQRSDuration", c_int, [("ms", c_double)], STATUS, "QRS duration of the ECG2_27 complex, 5..200 ms."),
    ("GetQRSDuration", c_double, [], PLAIN, "The QRS duration in ms."),
    ("SetTWave", c_int, [("amplitude", c_double)], STATUS, "T-wave amplitude of the ECG2_27 complex, 0..2.5."),
    ("GetTWave", c_double, [], PLAIN, "The T-wave amplitude."),
    ("SetPacingAmplitude", c_int, [("amplitude", c_double)], STATUS, "Pacemaker pulse amplitude -700..700."),
    ("GetPacingAmplitude", c_double, [], PLAIN, "The pacemaker pulse amplitude."),
    ("SetPacingDuration", c_int, [("ms", c_double)], STATUS, "Pacemaker pulse duration 0.1..3.0 ms."),
    ("GetPacingDuration", c_double, [], PLAIN, "The pacemaker pulse duration in ms."),
    ("SetPacingRate", c_int, [("per_minute", c_uint)], STATUS, "Pacemaker pulses per minute, 10..300."),
    ("GetPacingRate", c_uint, [], PLAIN, "The pacing rate per minute."),
    ("SetOvershootTimeConstant", c_int, [("ms", c_uint)], STATUS, "Overshoot time constant 0..100 ms."),
    ("GetOvershootTimeConstant", c_uint, [], PLAIN, "The overshoot time constant in ms."),
    ("SetPacingOvershootAmp", c_int, [("amplitude", c_double)], STATUS, "Overshoot amplitude -5.0..5.0."),
    ("GetPacingOvershootAmp", c_double, [], PLAIN, "The overshoot amplitude."),
    ("SetECG2_27_Noise", c_int, [("selection", c_int), ("amplitude", c_double)], STATUS,
     "Mains noise (ECG2_27Noise) and its amplitude 0.01..0.2 on the ECG2_27 complex."),
    ("GetECG2_27_NoiseFreq", c_int, [], PLAIN, "The mains-noise selection."),
    ("GetECG2_27_NoiseAmp", c_double, [], PLAIN, "The mains-noise amplitude."),
    ("SetECG2_27_AAMIDriftTest", c_int, [("on", c_bool)], STATUS, "Drift test on the ECG2_27 complex."),
    ("GetECG2_27_AAMIDriftTest", c_bool, [], PLAIN, "The drift test setting."),
    ("SetDynamicRangeTest", c_int, [("on", c_bool), ("amplitude", c_double), ("hz", c_double)], STATUS,
     "Dynamic-range test: a sine of 0..5.0 and 10..50 Hz added to the triangle or square."),
    ("GetDynamicRangeTest", c_bool, [], PLAIN, "Whether the dynamic-range test is on."),
    ("GetDynamicRangeTestAmp", c_double, [], PLAIN, "The dynamic-range test amplitude."),
    ("GetDynamicRangeTestFreq", c_double, [], PLAIN, "The dynamic-range test frequency in Hz."),
    # Frequency scan
    ("SetFreqScanSine", c_int,
     [("enable", c_bool), ("start_hz", c_double), ("stop_hz", c_double), ("duration_s", c_int)], STATUS,
     "Starts or ends a sine scan from start_hz to stop_hz over duration_s seconds."),
    ("GetFreqScanSine", c_bool, [], PLAIN, "True while a sine scan runs."),
    ("GetFreqScanSineStartFreq", c_double, [], PLAIN, "Start frequency of the last scan set, Hz."),
    ("GetFreqScanSineStopFreq", c_double, [], PLAIN, "Stop frequency of the last scan set, Hz."),
    ("GetFreqScanSineDuration", c_int, [], PLAIN, "Duration of the sine scan, s."),
    ("SetFreqScanECG", c_int, [("enable", c_bool)], STATUS, "The ECG2_27 complex with its rate swept."),
    ("GetFreqScanECG", c_bool, [], PLAIN, "True while any frequency scan runs."),
    # Playback
    ("LoadEEGtxt", c_int, [("path", c_wchar_p)], LOADER, "Loads a text recording; the samples loaded."),
    ("LoadEEGbin", c_int, [("path", c_wchar_p)], LOADER, "Loads a binary recording; the samples loaded."),
    ("LoadEEGedf", c_int, [("path", c_wchar_p), ("signal", c_int)], LOADER,
     "Loads one signal (0-based) of an EDF/EDF+ file; the samples loaded."),
    ("EnablePlayRawDataLoop", c_int, [("loop", c_bool)], STATUS, "Whether playback repeats."),
    # Device layer
    ("RegisterNotifyEvent", None, [("code", c_uint), ("callback", NotifyCB)], VOID,
     "System notification callback for `code` (never called on POSIX)."),
    ("SetDeviceNodeFormat", c_int, [("format", c_char_p)], STATUS,
     "printf format with one %d that turns a port number into a device node; None: the default."),
    ("SetLockDirectory", c_int, [("directory", c_char_p)], STATUS,
     "Directory of the port lock files; None: the default."),
    # Diagnostics
    ("GetResultMeaning", c_char_p, [("call", c_char_p), ("code", c_int)], TEXT,
     "The library's short text for what `code`, returned by `call`, means."),
    ("RegisterLogCallback", None, [("callback", LogCB), ("level", c_int)], VOID,
     "The library's log (level, message) from its log thread; None ends it (see qolt.enable_log)."),
]

_HINTS = {c_int: int, c_uint: int, c_ulong: int, c_double: float, c_bool: bool, c_char_p: Optional[str],
          c_wchar_p: PathArg, None: None}
_RESULT_HINTS = {PLAIN: None, STATUS: int, LOADER: int, ONE_IS_SUCCESS: None, TEXT: str, VOID: None}


def check(call: str, code: int) -> int:
    """Raises the :class:`QoltError` subclass for a negative `code` returned by `call`; returns `code`."""
    if code >= 0:
        return code
    meaning = _meaning(call, code)
    if call.startswith("LoadEEG"):
        raise LoadError(call, code, meaning)
    # -1 is "no instrument is ready" unless the call gives it a meaning of its own.
    if code == -1 and meaning == _meaning("", -1):
        raise NotReadyError(call, code, meaning)
    raise RefusedError(call, code, meaning)


def _meaning(call: str, code: int) -> str:
    text = lib._handle().GetResultMeaning(call.encode(), code)
    return text.decode() if text else ""


class _Library:
    """The exported calls as Python functions; the library is loaded at the first use."""

    def __init__(self) -> None:
        self._lock = threading.Lock()
        self._cdll: Optional[ctypes.CDLL] = None
        self._path = ""
        # Callbacks registered now, by (call, key); and those replaced or unregistered, kept until Close
        # (after Close no callback of theirs comes). Log callbacks are kept for good: the log thread may be
        # inside the old one while a new one replaces it.
        self._callbacks: Dict[Tuple[str, Any], Any] = {}
        self._retired: List[Any] = []
        self._retired_for_good: List[Any] = []
        self._functions: Dict[str, Callable[..., Any]] = {}
        for spec in _CALLS:
            self._functions[spec[0]] = self._make(*spec)
        self._functions["WriteMfgInfo"] = self._write_mfg_info
        self._functions["ReadMfgInfo"] = self._read_mfg_info
        self._functions["GetConnectionReport"] = self._connection_report
        self._functions["GetCandidatePorts"] = self._candidate_ports

    def _handle(self) -> ctypes.CDLL:
        with self._lock:
            if self._cdll is None:
                cdll, path = _load()
                for name, restype, args, _kind, _doc in _CALLS:
                    function = getattr(cdll, name)
                    function.restype = restype
                    function.argtypes = [ctype for _arg, ctype in args]
                cdll.WriteMfgInfo.restype = c_int
                cdll.WriteMfgInfo.argtypes = [ctypes.POINTER(ctypes.c_ubyte), c_ulong]
                cdll.ReadMfgInfo.restype = c_int
                cdll.ReadMfgInfo.argtypes = [ctypes.POINTER(ctypes.c_ubyte), c_ulong]
                cdll.GetConnectionReport.restype = c_int
                cdll.GetConnectionReport.argtypes = [ctypes.c_char_p, ctypes.c_size_t]
                cdll.GetCandidatePorts.restype = c_int
                cdll.GetCandidatePorts.argtypes = [ctypes.POINTER(c_int), c_int]
                self._cdll, self._path = cdll, path
            return self._cdll

    @property
    def path(self) -> str:
        """Full path of the library loaded (it is loaded now if it was not)."""
        self._handle()
        return self._path

    def names(self) -> List[str]:
        """Names of every call declared here."""
        return sorted(self._functions)

    def __getattr__(self, name: str) -> Callable[..., Any]:
        try:
            return self.__dict__["_functions"][name]
        except KeyError:
            raise AttributeError(f"libqolt has no call {name!r}") from None

    def __dir__(self) -> List[str]:
        return list(super().__dir__()) + self.names()

    def _wrap_callback(self, name: str, ctype: Any, function: Optional[Callable[..., None]]) -> Any:
        if function is None:
            return ctype()  # a null function pointer
        if isinstance(function, ctype):
            return function

        def guarded(*args: Any) -> None:
            # An exception must not unwind into the library's thread.
            try:
                if ctype is LogCB:
                    function(args[0], args[1].decode(errors="replace") if args[1] else "")
                else:
                    function(*args)
            except BaseException:  # noqa: B902 - reported, never raised into C
                _log.exception("exception in the %s callback", name)

        return ctype(guarded)

    def _keep(self, name: str, key: Any, callback: Any, registered: bool) -> None:
        old = self._callbacks.pop((name, key), None)
        if old is not None:
            (self._retired_for_good if name == "RegisterLogCallback" else self._retired).append(old)
        if registered:
            self._callbacks[(name, key)] = callback

    def _forget_retired(self) -> None:
        self._retired.clear()
        # After Close the session's listener is heard no more.
        self._callbacks.pop(("Init", None), None)

    def _make(self, name: str, restype: Any, args: List[Tuple[str, Any]], kind: str, doc: str) -> Callable[..., Any]:
        callback_types = {i: ctype for i, (_n, ctype) in enumerate(args) if ctype in _CALLBACK_HINTS}

        def call(*values: Any) -> Any:
            if len(values) != len(args):
                raise TypeError(f"{name}() takes {len(args)} arguments ({len(values)} given)")
            converted = list(values)
            kept = []
            for i, (_arg, ctype) in enumerate(args):
                if i in callback_types:
                    converted[i] = self._wrap_callback(name, ctype, values[i])
                    kept.append((i, converted[i], values[i] is not None))
                elif ctype is c_wchar_p:
                    converted[i] = os.fspath(values[i])
                elif ctype is c_char_p:
                    converted[i] = None if values[i] is None else os.fsencode(values[i])
            handle = self._handle()
            # Kept before the call: the library may call it before the registration returns.
            for _i, callback, registered in kept:
                key = values[0] if name == "RegisterNotifyEvent" else None
                self._keep(name, key, callback, registered)
            result = getattr(handle, name)(*converted)
            if name == "Close":
                self._forget_retired()
            if kind == TEXT:
                return result.decode(errors="replace") if result else ""
            if kind in (STATUS, LOADER):
                return check(name, result)
            if kind == ONE_IS_SUCCESS:
                if result != 1:
                    raise QoltError(name, result, _meaning(name, result))
                return None
            return result

        call.__name__ = call.__qualname__ = name
        call.__doc__ = doc
        parameters = []
        for arg, ctype in args:
            hint = _CALLBACK_HINTS.get(ctype, _HINTS.get(ctype, Any))
            parameters.append(inspect.Parameter(arg, inspect.Parameter.POSITIONAL_OR_KEYWORD, annotation=hint))
        result_hint = _RESULT_HINTS[kind] if kind != PLAIN else _HINTS.get(restype, Any)
        call.__signature__ = inspect.Signature(parameters, return_annotation=result_hint)  # type: ignore[attr-defined]
        call.__annotations__ = {p.name: p.annotation for p in parameters}
        call.__annotations__["return"] = result_hint
        return call

    def _write_mfg_info(self, data: Optional[bytes]) -> None:
        """Writes up to 16 bytes of the manufacturing record (None: an unchanged record)."""
        handle = self._handle()
        if data is None:
            result = handle.WriteMfgInfo(None, 0)
        else:
            buffer = (ctypes.c_ubyte * max(len(data), 1)).from_buffer_copy(bytes(data) or b"\0")
            result = handle.WriteMfgInfo(buffer, len(data))
        if result != 1:
            raise QoltError("WriteMfgInfo", result, _meaning("WriteMfgInfo", result))

    def _connection_report(self) -> str:
        """Why the last connection attempt found no instrument: one "NODE: REASON" line per port tried."""
        handle = self._handle()
        size = 1024
        while True:
            buffer = ctypes.create_string_buffer(size)
            length = handle.GetConnectionReport(buffer, size)
            if length < size:
                return buffer.value.decode(errors="replace")
            size = length + 1

    def _candidate_ports(self) -> List[int]:
        """The port numbers a search without a named port tries, in its order."""
        handle = self._handle()
        count = max(0, handle.GetCandidatePorts(None, 0))
        buffer = (c_int * max(count, 1))()
        count = max(0, min(count, handle.GetCandidatePorts(buffer, count)))
        return list(buffer[:count])

    def _read_mfg_info(self, length: int = 16) -> bytes:
        """The manufacturing record last received (at most 16 bytes)."""
        handle = self._handle()
        size = max(0, min(int(length), 16))
        buffer = (ctypes.c_ubyte * max(size, 1))()
        handle.ReadMfgInfo(buffer, size)
        return bytes(buffer[:size])


lib = _Library()


def library_path() -> str:
    """Full path of the libqolt file this package uses (it is loaded now if it was not)."""
    return lib.path

