"""The library's log, fed into Python's ``logging`` (logger ``"qolt"``)."""

import atexit
import logging
import threading
from typing import Optional, Union

from ._enums import LogLevel
from ._library import LogCB, lib

__all__ = ["enable_log", "disable_log", "level_for_logger"]

logger = logging.getLogger("qolt")

_TO_LOGGING = {
    LogLevel.ERROR: logging.ERROR,
    LogLevel.WARNING: logging.WARNING,
    LogLevel.INFO: logging.INFO,
    LogLevel.WIRE: logging.DEBUG,
}

_lock = threading.Lock()
_level = LogLevel.OFF


def _deliver(level: int, message: bytes) -> None:
    # On the library's log thread; the library holds none of its locks here.
    try:
        text = message.decode(errors="replace") if message else ""
        logger.log(_TO_LOGGING.get(level, logging.DEBUG), "%s", text, extra={"qolt_level": level})
    except BaseException:  # noqa: B902 - never raised into the library
        pass


# One C callback for the life of the process: replacing it while the log thread runs it would free it
# under that thread.
_callback = LogCB(_deliver)


def level_for_logger(target: Optional[logging.Logger] = None) -> LogLevel:
    """The library level that gives the "qolt" logger what it is enabled for (DEBUG means the wire)."""
    target = target or logger
    for level in (LogLevel.WIRE, LogLevel.INFO, LogLevel.WARNING, LogLevel.ERROR):
        if target.isEnabledFor(_TO_LOGGING[level]):
            return level
    return LogLevel.OFF


def enable_log(level: Union[LogLevel, int, None] = None) -> LogLevel:
    """Feeds the library's log into the ``"qolt"`` logger from now on, up to `level` (by default what the
    logger is enabled for: ``logging.DEBUG`` gives every message on the wire). The library's messages come
    from its log thread. Returns the level set."""
    global _level
    chosen = level_for_logger() if level is None else LogLevel(level)
    with _lock:
        lib._handle().RegisterLogCallback(_callback if chosen != LogLevel.OFF else LogCB(), int(chosen))
        _level = chosen
    return chosen


def disable_log() -> None:
    """Ends the library's log; returns once every message queued until now has reached the logger."""
    global _level
    with _lock:
        if _level != LogLevel.OFF:
            lib._handle().RegisterLogCallback(LogCB(), 0)
            _level = LogLevel.OFF


def log_level() -> LogLevel:
    """The level the library's log is set to now."""
    return _level


# The log thread must not call into an interpreter that is shutting down.
atexit.register(disable_log)
