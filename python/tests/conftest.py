"""What every test of the quillmore module shares: the module itself and the
quillmore-cli of the same build, whose output the module must reproduce."""

import json
import os
import pathlib
import subprocess

import pytest

import quillmore


def _cli_path():
    given = os.environ.get("QUILLMORE_CLI")
    if given:
        return pathlib.Path(given)
    # Run by hand with PYTHONPATH=build/<preset>/python: the tool of that build.
    return pathlib.Path(quillmore.__file__).resolve().parent.parent / "app" / "cli" / "quillmore-cli"


class Cli:
    def __init__(self, path):
        self.path = path

    def run(self, *args):
        """Runs the tool; returns (exit code, standard output, standard error)."""
        done = subprocess.run([str(self.path), *map(str, args)], capture_output=True, text=True, timeout=300)
        return done.returncode, done.stdout, done.stderr

    def json_lines(self, *args):
        """The JSON objects a successful run prints, one per line."""
        code, out, err = self.run(*args)
        assert code == 0, f"quillmore-cli {' '.join(map(str, args))} failed ({code}): {err}"
        return [json.loads(line) for line in out.splitlines() if line.strip()]


@pytest.fixture(scope="session")
def cli():
    path = _cli_path()
    if not path.exists():
        pytest.fail(f"quillmore-cli not found at {path}; set QUILLMORE_CLI")
    return Cli(path)
