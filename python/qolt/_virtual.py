"""The virtual instrument (``qolt-sim``) as a context manager."""

import json
import os
import selectors
import shutil
import signal
import subprocess
import time
from pathlib import Path
from typing import Any, Dict, List, Optional

from ._session import Session

__all__ = ["VirtualInstrument", "find_qolt_sim"]


def find_qolt_sim() -> Optional[str]:
    """``qolt-sim`` next to this package (a wheel, the build folder) first, then on ``PATH``."""
    here = Path(__file__).resolve().parent / "bin" / "qolt-sim"
    if here.is_file() and os.access(here, os.X_OK):
        return str(here)
    return shutil.which("qolt-sim")


class VirtualInstrument:
    """Runs ``qolt-sim``, the virtual instrument, on a pseudo-terminal of its own, for as long as the
    ``with`` block lasts::

        with qolt.VirtualInstrument(fast=True) as vi, vi.session() as s:
            print(s.serial_number)

    `fast` asks for the next packet as soon as one arrives (minutes of output in moments); `args` are
    further ``qolt-sim`` options (``"--model", "enhanced"``, ``"--capture", "out.csv"``, ...). After the
    block, :attr:`returncode` holds its exit code; the files it was asked to write are written then.
    """

    def __init__(self, *args: str, fast: bool = False, executable: Optional[str] = None,
                 startup_timeout: float = 10.0) -> None:
        self.args: List[str] = list(args) + (["--fast"] if fast else [])
        self.executable = executable or find_qolt_sim()
        self.startup_timeout = startup_timeout
        self.node = ""
        self.node_format = ""
        self.port = 0
        self.lock_dir = ""
        self.serial = ""
        self.returncode: Optional[int] = None
        self.stderr = ""
        self._process: Optional[subprocess.Popen] = None

    def start(self) -> "VirtualInstrument":
        """Starts ``qolt-sim`` and waits until it serves; raises RuntimeError when it does not."""
        if self.executable is None:
            raise FileNotFoundError("qolt-sim not found next to the qolt package nor on PATH")
        command = [self.executable, "--json", *self.args]
        self._process = subprocess.Popen(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        ready = self._read_ready_line()
        if ready is None:
            self.stop()
            raise RuntimeError(f"{' '.join(command)} did not start (exit code {self.returncode}): {self.stderr.strip()}")
        self.node = ready["node"]
        self.node_format = ready["format"]
        self.port = int(ready["port"])
        self.lock_dir = ready["lock_dir"]
        self.serial = ready.get("serial", "")
        return self

    def _read_ready_line(self) -> Optional[Dict[str, Any]]:
        assert self._process is not None and self._process.stdout is not None
        deadline = time.monotonic() + self.startup_timeout
        with selectors.DefaultSelector() as selector:
            selector.register(self._process.stdout, selectors.EVENT_READ)
            line = b""
            while time.monotonic() < deadline and not line.endswith(b"\n"):
                if not selector.select(max(0.0, deadline - time.monotonic())):
                    break
                chunk = os.read(self._process.stdout.fileno(), 4096)
                if not chunk:
                    break
                line += chunk
        try:
            return json.loads(line.decode())
        except ValueError:
            return None

    def session(self, timeout: float = 5.0, **options: Any) -> Session:
        """A :class:`Session` pointed at this instrument (its node format, port and lock folder)."""
        return Session(port=self.port, timeout=timeout, node_format=self.node_format, lock_dir=self.lock_dir,
                       **options)

    def wait(self, timeout: Optional[float] = None) -> int:
        """Waits for ``qolt-sim`` to end by itself (``--exit-on-close``, ``--duration``); its exit code."""
        assert self._process is not None
        try:
            self._process.wait(timeout)
        finally:
            if self._process.poll() is not None:
                self._collect()
        return int(self._process.returncode)

    def stop(self, timeout: float = 10.0) -> Optional[int]:
        """Ends ``qolt-sim`` as Ctrl-C does (it writes its captures), then waits; its exit code."""
        process = self._process
        if process is None:
            return self.returncode
        if process.poll() is None:
            process.send_signal(signal.SIGINT)
            try:
                process.wait(timeout)
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait()
        self._collect()
        return self.returncode

    def _collect(self) -> None:
        assert self._process is not None
        self.returncode = self._process.returncode
        for stream in (self._process.stdout, self._process.stderr):
            if stream is not None and not stream.closed:
                if stream is self._process.stderr:
                    self.stderr += stream.read().decode(errors="replace")
                stream.close()

    def __enter__(self) -> "VirtualInstrument":
        return self.start()

    def __exit__(self, *exc: Any) -> None:
        self.stop()
