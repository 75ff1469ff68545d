"""A session with the instrument, as a context manager."""

import atexit
import math
import os
import threading
from typing import Any, Callable, Optional, Union

from ._enums import LogLevel, OutputFunction
from ._errors import ConnectError
from ._library import lib
from ._log import disable_log, enable_log, level_for_logger, log_level

__all__ = ["Session"]

_open_lock = threading.Lock()
_open_session: Optional["Session"] = None

# Sentinel: take the log level from the "qolt" logger.
FROM_LOGGER = "from-logger"


class Session:
    """One session with the instrument (the library allows one per process).

    ``with Session(port=None, timeout=5.0) as s:`` connects (any port for ``None``), waits up to
    `timeout` seconds for the link and raises :class:`ConnectError` when none came; the block always
    ends with the library's ``Close``, also when it raises. `node_format` and `lock_dir` point the
    library at other device nodes and lock files (``SetDeviceNodeFormat``, ``SetLockDirectory``).

    `log_level` feeds the library's log into the ``"qolt"`` logger while the session is open: a
    :class:`LogLevel`, ``None`` for no log, or by default the level the logger is enabled for.

    Every exported call is also reachable as a method (``s.SetAmplitude(1000)``), with the checks of
    :data:`qolt.lib`: a negative status raises a :class:`QoltError` subclass.
    """

    def __init__(
        self,
        port: Optional[int] = None,
        timeout: float = 5.0,
        *,
        node_format: Optional[str] = None,
        lock_dir: Optional[Union[str, "os.PathLike[str]"]] = None,
        log_level: Union[LogLevel, int, None, str] = FROM_LOGGER,
    ) -> None:
        if port is not None and port < 0:
            raise ValueError("port must be 0 or more (None: any port)")
        if not (timeout >= 0 and math.isfinite(timeout)):
            raise ValueError("timeout must be a finite number of seconds, 0 or more")
        self.port = port
        self.timeout = float(timeout)
        self.node_format = node_format
        self.lock_dir = None if lock_dir is None else os.fspath(lock_dir)
        self._log_level = log_level
        self._logging = False
        self._open = False

    # ---- opening and closing ------------------------------------------------------------------------------

    def open(self) -> "Session":
        """Connects; raises :class:`ConnectError` (after closing) when no link came within the time-out."""
        global _open_session
        with _open_lock:
            if _open_session is not None:
                raise RuntimeError("a qolt session is already open in this process")
            _open_session = self
        try:
            if self._log_level == FROM_LOGGER:
                # Left alone when the application has set the log itself.
                if log_level() == LogLevel.OFF and level_for_logger() != LogLevel.OFF:
                    enable_log(level_for_logger())
                    self._logging = True
            elif self._log_level is not None and LogLevel(self._log_level) != LogLevel.OFF:
                enable_log(self._log_level)
                self._logging = True
            # Only what is given: a format set through qolt.lib beforehand stays otherwise.
            if self.node_format is not None:
                lib.SetDeviceNodeFormat(self.node_format)
            if self.lock_dir is not None:
                lib.SetLockDirectory(self.lock_dir)
            port = -1 if self.port is None else self.port
            if not lib.Connect(port, int(round(self.timeout * 1000))):
                where = "any port" if self.port is None else f"port {self.port}"
                lib.Close()  # ends the attempt in flight, so that its report is complete
                report = lib.GetConnectionReport().strip()
                raise ConnectError("Connect", 0, f"no instrument came up on {where} within {self.timeout:g} s",
                                   report or None)
            self._open = True
            return self
        except BaseException:
            self._close()
            raise

    def close(self) -> None:
        """Ends the session (``Close``): output off, defaults back, link down. Safe to call twice."""
        if self._open or _open_session is self:
            self._close()

    def _close(self) -> None:
        global _open_session
        try:
            lib.Close()
            # Restores the defaults, so that the next session finds the library as it was loaded.
            if self.node_format is not None:
                lib.SetDeviceNodeFormat(None)
            if self.lock_dir is not None:
                lib.SetLockDirectory(None)
        finally:
            self._open = False
            if self._logging:
                self._logging = False
                disable_log()
            with _open_lock:
                if _open_session is self:
                    _open_session = None

    def __enter__(self) -> "Session":
        return self.open()

    def __exit__(self, *exc: Any) -> None:
        self.close()

    # ---- identity ------------------------------------------------------------------------------------------

    @property
    def is_connected(self) -> bool:
        """True while the instrument's port is open."""
        return bool(lib.IsConnected())

    @property
    def serial_number(self) -> str:
        """Serial number of the connected instrument."""
        return lib.GetSerialNumber()

    @property
    def firmware_version(self) -> str:
        """Firmware version "major.minor"."""
        return lib.GetFWVersion()

    @property
    def hardware_version(self) -> str:
        """Hardware version "x.y"."""
        return lib.GetHWVersion()

    @property
    def port_name(self) -> str:
        """Path of the connected port."""
        return lib.GetUSBPort()

    @property
    def is_enhanced(self) -> bool:
        """True for the enhanced (300R) model."""
        return bool(lib.IsQOLT300R())

    # ---- a few settings with Python names -------------------------------------------------------------------

    def play(self, function: Union[OutputFunction, int], *, amplitude: Optional[float] = None,
             frequency: Optional[float] = None) -> None:
        """Sets the amplitude and the frequency (when given), then selects the output function."""
        if amplitude is not None:
            lib.SetAmplitude(float(amplitude))
        if frequency is not None:
            lib.SetFrequency(float(frequency))
        lib.SetOutputFunc(int(function))

    def stop(self) -> None:
        """Switches the output off."""
        lib.SetOutputFunc(int(OutputFunction.OFF))

    def on_graph(self, callback: Optional[Callable[[float, float], None]]) -> None:
        """Registers the waveform display callback: (time in s, value), every fifth sample, from the poll
        thread while the packet is built (keep it short). None unregisters."""
        lib.RegisterTimeAmpCB(callback)

    def load(self, path: Union[str, "os.PathLike[str]"], signal: int = 0) -> int:
        """Loads a recording by its extension (.txt, .bin, .edf/.bdf: `signal`); the samples loaded.
        Raises :class:`LoadError` with the loader's code and meaning."""
        name = os.fspath(path)
        lower = name.lower()
        if lower.endswith(".txt"):
            return lib.LoadEEGtxt(name)
        if lower.endswith(".bin"):
            return lib.LoadEEGbin(name)
        if lower.endswith(".edf"):
            return lib.LoadEEGedf(name, signal)
        raise ValueError(f"{name}: not a .txt, .bin or .edf recording")

    def __getattr__(self, name: str) -> Callable[..., Any]:
        # Every other exported call, checked.
        if name.startswith("_"):
            raise AttributeError(name)
        return getattr(lib, name)


@atexit.register
def _close_at_exit() -> None:
    # The library's threads must not call into an interpreter that is shutting down.
    session = _open_session
    if session is not None:
        session.close()
