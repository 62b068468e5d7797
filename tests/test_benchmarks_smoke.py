"""The benchmark script runs end to end at its smoke size and prints its table (no timing checks)."""

import subprocess
import sys
from pathlib import Path

SCRIPT = Path(__file__).resolve().parent.parent / "benchmarks" / "run.py"


def test_quick_benchmark_prints_a_table():
    run = subprocess.run([sys.executable, str(SCRIPT), "--quick", "--no-write"],
                         capture_output=True, text=True, timeout=300)
    assert run.returncode == 0, run.stderr
    lines = [line for line in run.stdout.splitlines() if line.startswith("|")]
    assert lines[0].startswith("| workload |") and len(lines) > 12
    assert any(line.startswith("| b. 1D cluster") for line in lines)
