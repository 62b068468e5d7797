"""Smoke test: every example runs at a small size and prints the physics it claims."""

import importlib.util
import re
import subprocess
import sys
from pathlib import Path

import pytest

EXAMPLES = Path(__file__).resolve().parent.parent / "examples"

# (example, arguments, patterns that must appear in its output)
CASES = [
    ("quickstart", None, [r"agreement: 1\.000", r"entangled group of qubit 0 .*: \[0, 1\]"]),
    ("ghz", ["--qubits", "6", "--shots", "200"],
     [r"mixed: 0\n", r"<Z_0 Z_5> = \+1\.000", r"<X_0 X_1 \.\.\. X_5> = \+1\.000"]),
    ("repeater_chain", ["--links", "4", "--shots", "200"],
     [r"qubit 0: \[0, 7\]", r"qubit 7: \[0, 7\]",
      r"with Pauli-frame correction: <XX> = \+1\.000  <YY> = -1\.000  <ZZ> = \+1\.000"]),
    ("cluster_teleportation", ["--qubits", "6", "--shots", "200"],
     [rf"input {state} +output measure_{a}: \+1 in 200/200 with .* peek: \({a.upper()}, \+1\)"
      for state, a in [(r"\|0>", "z"), (r"\|\+>", "x"), (r"\|\+i>", "y")]]),
    ("million_qubits", ["--qubits", "3001"],
     [r"qubit 1500 is entangled with 3001 qubits",
      r"a Python set of 3001 ints: 0\.\d\d MB", r"peak resident memory of this process: \d+ MB",
      r"measured: 1000, with eigenvalue \+1: 1000, -1: 0"]),
    ("fusion_percolation", ["--side", "10"],
     [r"p_s = 0\.50: largest group 0\.\d+ of the sites, \d+ groups, all match",
      r"p_s = 1\.00: largest group 1\.000 of the sites, 1 groups, all match", r"group sizes at p_s = 0\.5"]),
    ("parallel_shots", ["--links", "4", "--shots", "800", "--workers", "2"],
     [r"800 shots in 4 batches over 2 worker processes", r"correction: 800/800",
      r"repeater outcomes: 0\.(4[6-9]|5[0-4])\d ones", r"repeat another batch or the parent's: 0\n"]),
]


@pytest.mark.parametrize("name, argv, patterns", CASES, ids=[case[0] for case in CASES])
def test_example_prints_its_claims(name, argv, patterns, capsys):
    spec = importlib.util.spec_from_file_location(f"example_{name}", EXAMPLES / f"{name}.py")
    module = importlib.util.module_from_spec(spec)
    sys.modules[spec.name] = module  # where worker processes find the functions they are sent
    try:
        spec.loader.exec_module(module)
        module.main() if argv is None else module.main(argv)
    finally:
        del sys.modules[spec.name]
    out = capsys.readouterr().out
    for pattern in patterns:
        assert re.search(pattern, out), f"{pattern!r} not in:\n{out}"
    # Without the Pauli-frame corrections the end-to-end outcomes are uncorrelated.
    for value in re.findall(r"without Pauli-frame correction: (.*)", out):
        assert all(abs(float(v)) < 0.5 for v in re.findall(r"= ([-+][\d.]+)", value))


def test_parallel_shots_on_a_local_dask_cluster_repeat_no_batch():
    pytest.importorskip("dask.distributed")
    # As a script, as a user runs it: dask then sends the batch function itself to the workers.
    run = subprocess.run(
        [sys.executable, str(EXAMPLES / "parallel_shots.py"), "--dask", "--workers", "2",
         "--links", "4", "--shots", "400"],
        capture_output=True, text=True, timeout=120)
    assert run.returncode == 0, run.stderr
    assert "400 shots in 4 batches over 2 dask workers (local cluster)" in run.stdout, run.stdout
    assert "correction: 400/400" in run.stdout
    assert "repeat another batch or the parent's: 0\n" in run.stdout
