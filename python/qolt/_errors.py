"""Exceptions raised for the library's negative results."""

from typing import Optional

__all__ = [
    "QoltError",
    "NotReadyError",
    "RefusedError",
    "LoadError",
    "ConnectError",
    "LibraryNotFoundError",
]


class QoltError(Exception):
    """A call of the library reported a failure.

    Attributes:
        call: the C call's name, e.g. ``"SetPacingRate"``.
        code: what it returned.
        meaning: the library's text for that result (``GetResultMeaning``).
    """

    def __init__(self, call: str, code: int, meaning: str, detail: Optional[str] = None) -> None:
        self.call = call
        self.code = code
        self.meaning = meaning or f"unknown result {code}"
        self.detail = detail
        text = f"{call} returned {code}: {self.meaning}"
        if detail:
            text += f"\n{detail}"
        super().__init__(text)


class NotReadyError(QoltError):
    """The call needs an instrument, or at least a session (code -1)."""


class RefusedError(QoltError):
    """The call refused a value, or refused it in the present state (codes -2 to -4)."""


class LoadError(QoltError):
    """A recording could not be loaded (the loaders' negative codes)."""


class ConnectError(QoltError):
    """No instrument came up within the time-out (``Connect`` returned false, reported as code 0)."""


class LibraryNotFoundError(OSError):
    """The shared library could not be loaded; the message lists every path tried and why each failed."""

    def __init__(self, tried: "list[str]") -> None:
        self.tried = list(tried)
        super().__init__("libqolt could not be loaded; tried:\n  " + "\n  ".join(self.tried))
