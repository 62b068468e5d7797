"""The benchmark script runs end to end at its smoke size and prints its table (no timing checks)."""

import subprocess
import sys
from pathlib import Path

import nodeweave

SCRIPT = Path(__file__).resolve().parent.parent / "benchmarks" / "run.py"


def run_quick(*arguments):
    run = subprocess.run([sys.executable, str(SCRIPT), "--quick", "--no-write", *arguments],
                         capture_output=True, text=True, timeout=300)
    assert run.returncode == 0, run.stderr
    return run.stdout


def table(stdout):
    rows = [[cell.strip() for cell in line.strip("|").split("|")]
            for line in stdout.splitlines() if line.startswith("|")]
    return [dict(zip(rows[0], row)) for row in rows[2:]], rows[0]


def test_quick_benchmark_prints_a_table():
    rows, header = table(run_quick("--baseline", "none"))
    assert header[0] == "workload" and "before" not in header and len(rows) > 12
    assert any(row["workload"].startswith("b. 1D cluster") for row in rows)
    assert any(row["workload"].startswith("h. dense state") for row in rows)


def test_before_column_and_goals_come_from_the_baseline_build(tmp_path):
    # The installed build serves as the baseline: its child processes must import it from there.
    installed = Path(nodeweave.__file__).resolve().parent
    stdout = run_quick("--workloads", "a,d", "--sizes", "d:1e4", "--no-memory",
                       "--baseline", str(installed))
    rows, header = table(stdout)
    assert "before" in header and "× before" in header
    ghz = next(row for row in rows if row["workload"].startswith("d. GHZ") and row["n"] == "1e4")
    assert ghz["before"] != "—" and ghz["× before"] != "—" and ghz["stim circuit"] != "—"
    goals = stdout.split("\nGoals:\n")[1].split("\n\n")[0].splitlines()
    ghz_goal = next(line for line in goals if "GHZ" in line and "n = 1e4" in line)
    assert ghz_goal.startswith(("- met (before: ", "- NOT MET (before: ")), ghz_goal
    assert "| before: " in ghz_goal and "stim circuit" in ghz_goal
    assert any(line.startswith("- not measured: star by cz, n = 1e4") for line in goals)

    # An empty directory: the child would silently import the installed build instead, so the
    # before column must be dropped with a note rather than filled with the current build's times.
    stdout = run_quick("--workloads", "a", "--baseline", str(tmp_path))
    assert "before" not in table(stdout)[1] and "no before column" in stdout
