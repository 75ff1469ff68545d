"""The README's Python example runs as written."""

import os
import re
import subprocess
import sys
from pathlib import Path

import qolt


def readme_example(repository):
    text = (repository / "README.md").read_text()
    section = text[text.index("## Using the library from Python"):]
    return re.search(r"```python\n(.*?)```", section, re.S).group(1)


def test_the_readme_python_example_runs(repository, tmp_path):
    example = readme_example(repository)
    assert "qolt.VirtualInstrument" in example
    # The package under test, whatever the working folder.
    env = dict(os.environ, PYTHONPATH=str(Path(qolt.__file__).resolve().parents[1]))
    run = subprocess.run([sys.executable, "-c", example], cwd=tmp_path, capture_output=True, text=True,
                         env=env, timeout=60)
    assert run.returncode == 0, run.stderr
    assert "serial KEE" in run.stdout
    assert "refused: SetPacingRate returned -2: allowed 10 to 300 per minute" in run.stdout
