"""The benchmark script runs end to end at its smoke size and prints its table (no timing checks);
its circuit translation is checked against stim on small circuits."""

import importlib
import random
import subprocess
import sys
import types
from pathlib import Path

import nodeweave
import pytest

BENCHMARKS = Path(__file__).resolve().parent.parent / "benchmarks"
SCRIPT = BENCHMARKS / "run.py"
DOCUMENT = BENCHMARKS.parent / "docs" / "benchmarks.md"
DOCUMENTS = [DOCUMENT, DOCUMENT.with_suffix(".svg")]  # and its figure


def run_script(*arguments, check=True):
    before = [path.read_bytes() if path.exists() else None for path in DOCUMENTS]
    run = subprocess.run([sys.executable, str(SCRIPT), *arguments],
                         capture_output=True, text=True, timeout=300)
    assert not check or run.returncode == 0, run.stderr
    after = [path.read_bytes() if path.exists() else None for path in DOCUMENTS]
    assert after == before, "the document or its figure was written"
    return run


def run_quick(*arguments):
    return run_script("--quick", *arguments).stdout


def table(stdout):
    rows = [[cell.strip() for cell in line.strip("|").split("|")]
            for line in stdout.splitlines() if line.startswith("|")]
    return [dict(zip(rows[0], row)) for row in rows[2:]], rows[0]


def test_quick_benchmark_prints_a_table():
    stdout = run_quick("--baseline", "none")
    rows, header = table(stdout)
    assert header[0] == "workload" and "before" not in header and len(rows) > 15
    assert any(row["workload"].startswith("b. 1D cluster") for row in rows)
    assert any(row["workload"].startswith("h. dense state") for row in rows)
    # The circuits: every one ran on all three, with its floor, and its detectors held.
    for prefix in ("i. surface-code memory circuit, d = 3", "j. color-code memory circuit, d = 3",
                   "k. random CNOT/H/S"):
        circuit = next(row for row in rows if row["workload"].startswith(prefix))
        assert "—" not in (circuit["× floor"], circuit["stim circuit"], circuit["stim calls"]), circuit
    assert "WARNING" not in stdout


def test_before_column_and_goals_come_from_the_baseline_build(tmp_path):
    # The installed build serves as the baseline: its child processes must import it from there.
    installed = Path(nodeweave.__file__).resolve().parent
    stdout = run_quick("--workloads", "a,d,i", "--sizes", "d:1e4", "--no-memory",
                       "--baseline", str(installed))
    rows, header = table(stdout)
    assert "before" in header and "× before" in header
    ghz = next(row for row in rows if row["workload"].startswith("d. GHZ") and row["n"] == "1e4")
    assert ghz["before"] != "—" and ghz["× before"] != "—" and ghz["stim circuit"] != "—"
    surface = next(row for row in rows if row["workload"].startswith("i. surface"))
    assert surface["before"] != "—" and "WARNING" not in stdout
    goals = stdout.split("\nGoals:\n")[1].split("\n\n")[0].splitlines()
    ghz_goal = next(line for line in goals if "GHZ" in line and "n = 1e4" in line)
    assert ghz_goal.startswith(("- met (before: ", "- NOT MET (before: ")), ghz_goal
    assert "| before: " in ghz_goal and "stim circuit" in ghz_goal
    assert any(line.startswith("- not measured: star by cz, n = 1e4") for line in goals)

    # An empty directory: the child would silently import the installed build instead, so the
    # before column must be dropped with a note rather than filled with the current build's times.
    stdout = run_quick("--workloads", "a", "--baseline", str(tmp_path))
    assert "before" not in table(stdout)[1] and "no before column" in stdout


def test_the_user_document_names_no_build_directory(tmp_path):
    assert run_script("--quick", "--write", str(tmp_path / "no.md"), check=False).returncode != 0
    installed = Path(nodeweave.__file__).resolve().parent
    target = tmp_path / "benchmarks.md"
    run_script("--workloads", "d", "--sizes", "d:1e3", "--no-memory", "--baseline", str(installed),
               "--write", str(target))
    text = target.read_text()
    assert "python benchmarks/run.py --workloads d --sizes d:1e3 --no-memory --write" in text
    assert str(installed) not in text and "× before" not in text and "Goals" not in text
    rows, header = table(text)
    assert header[:4] == ["workload", "n", "calls", "nodeweave"]
    assert any(row["workload"].startswith("d. GHZ") and row["stim circuit"] != "—" for row in rows)
    # The figure, drawn beside the document from the same run, and shown by it.
    assert "](benchmarks.svg)" in text
    assert (tmp_path / "benchmarks.svg").read_text().lstrip().startswith("<?xml")


# ---- the circuit translation, against stim ---------------------------------------------------

stim = pytest.importorskip("stim")


@pytest.fixture(scope="module")
def bench():
    """The benchmark modules, imported from benchmarks/ as run.py imports them."""
    sys.path.insert(0, str(BENCHMARKS))
    try:
        yield types.SimpleNamespace(**{name: importlib.import_module(name)
                                       for name in ("circuits", "runners", "workloads", "report",
                                                    "document", "figure")})
    finally:
        sys.path.remove(str(BENCHMARKS))


# Measurements and resets in every basis, each followed by a measurement whose outcome the reset
# fixed; each qubit is in an eigenstate of another basis before, so its outcome is random and half
# the shots correct it; a Bell pair's random outcomes must land in the right record entries.
RESETS = """
H 0 2 4 5
MRY 0
MY 0
DETECTOR rec[-1]
RX 1
MX 1
DETECTOR rec[-1]
RY 2
MY 2
DETECTOR rec[-1]
MRX 3
MX 3
DETECTOR rec[-1]
MR 4
M 4
DETECTOR rec[-1]
R 5
M 5
DETECTOR rec[-1]
H 6
CX 6 7
MX 1
M 6 7
DETECTOR rec[-1] rec[-2]
OBSERVABLE_INCLUDE(0) rec[-3]
"""


def check_shots(bench, circuit, shots):
    program = bench.circuits.translate(circuit)
    for runner in (bench.runners.NodeWeaveRunner(), bench.runners.StimCallsRunner(stim)):
        for _ in range(shots):
            runner.prepare(circuit.num_qubits, [], program)()
            assert len(runner.outcomes) == program.outcomes
            assert program.mismatches(runner.outcomes) == 0, (runner.name, circuit)
    return program, runner


def test_translated_circuits_keep_their_detectors(bench):
    # Noiseless, every detector and observable has the parity of stim's reference sample, shot
    # after shot (the outcomes are random, the parities are not); the program runs on nodeweave and,
    # through the same translation, on stim's own method-by-method simulator.
    for circuit in (bench.circuits.memory_circuit(stim, "surface_code:rotated_memory_z", 3),
                    bench.circuits.memory_circuit(stim, "color_code:memory_xyz", 3),
                    stim.Circuit(RESETS)):
        program, runner = check_shots(bench, circuit, 20)
    # A wrong outcome in the record is seen.
    runner.outcomes[program.record[-1]] = not runner.outcomes[program.record[-1]]
    assert program.mismatches(runner.outcomes) == 1


def test_larger_codes_keep_their_detectors(bench):
    # Codes large enough for neighbourhoods of dozens of qubits, where the engine picks among
    # cheaper rewrites (pivots with a leaf, stars toggled in bulk), at its own thresholds.
    runner = bench.runners.NodeWeaveRunner()
    for task, d in [("surface_code:rotated_memory_z", 13), ("color_code:memory_xyz", 9)]:
        program = bench.circuits.translate(bench.circuits.memory_circuit(stim, task, d))
        for _ in range(4):
            runner.prepare(program.circuit.num_qubits, [], program)()
            assert program.mismatches(runner.outcomes) == 0, (task, d)


def test_each_gate_translates_to_its_own_operation(bench):
    # A state prepared at random, the gate, then stim's inverse of both: every qubit must come back
    # to |0>, which a wrong translation of the gate (another Clifford, a Pauli off) breaks.
    rng = random.Random(11)
    gates = [g for g in bench.circuits.SINGLE_QUBIT if g != "I"] + list(bench.circuits.TWO_QUBIT)
    for gate in gates:
        prep = bench.circuits.random_cnot_h_s(stim, 3, 12, rng)[:-1]  # without the measurements
        forward = prep + stim.Circuit(f"{gate} {'1' if gate in bench.circuits.SINGLE_QUBIT else '2 0'}")
        circuit = forward + stim.Tableau.from_circuit(forward).inverse().to_circuit("elimination")
        circuit += stim.Circuit("M 0 1 2\nDETECTOR rec[-1]\nDETECTOR rec[-2]\nDETECTOR rec[-3]")
        check_shots(bench, circuit, 1)


def test_translation_refuses_what_it_cannot_express(bench):
    for text in ("SQRT_X 0", "M !0", "CX rec[-1] 0"):
        with pytest.raises(ValueError):
            bench.circuits.translate(stim.Circuit("M 0\n" + text))


def test_floor_replays_the_calls_nodeweave_made(bench):
    # Every call nodeweave made, corrections after a MinusOne included, is one floor call of the
    # same arity, in a run whose outcomes are random.
    runners, single, two = bench.runners, bench.workloads.SINGLE, bench.workloads.TWO
    circuit = bench.circuits.memory_circuit(stim, "surface_code:rotated_memory_z", 3)
    program = bench.circuits.translate(circuit)
    counts = {"nodeweave": [0, 0], "floor": [0, 0]}

    def counting(name, arity, function=None):
        def call(*qubits):
            counts[name][arity - 1] += 1
            return function(*qubits) if function else None
        return call

    def corrections_in(outcomes):
        corrections = position = 0
        for op, qubits in program:
            if op in bench.circuits.RECORDED or op in bench.circuits.RESETTING:
                if op in bench.circuits.RESETTING:
                    corrections += sum(o == nodeweave.MeasurementResult.MinusOne
                                       for o in outcomes[position:position + len(qubits)])
                position += len(qubits)
        return corrections

    # A run corrects nothing when all four random outcomes of its first round are +1 (1 in 16),
    # so runs are repeated until one has corrections to replay.
    for _ in range(30):
        counts["nodeweave"] = [0, 0]
        sim = nodeweave.NodeWeave(circuit.num_qubits)
        methods = {gate: counting("nodeweave", 2 if gate in two else 1, getattr(sim, gate))
                   for gate in single | two}
        outcomes = []
        runners.execute(runners.compile_calls(methods, program, nodeweave.MeasurementResult.MinusOne), outcomes)
        assert program.mismatches(outcomes) == 0
        corrections = corrections_in(outcomes)
        if corrections:
            break
    assert corrections > 0

    stand_in = {gate: counting("floor", 2 if gate in two else 1) for gate in single | two}
    segments = runners.replay(runners.compile_calls(stand_in, program), outcomes, stand_in["x"])
    runners.execute(segments, [])
    assert counts["floor"] == counts["nodeweave"]
    assert sum(counts["floor"]) == bench.workloads.calls_in(program) + corrections


def test_the_figure_reads_back_a_documents_table(bench, tmp_path):
    # benchmarks/figure.py redraws the figure from a document written earlier: the table as the
    # document prints it must read back as the run's own points, to the three digits printed.
    report, figure = bench.report, bench.figure
    cells = [dict(key="d", label="GHZ: cx chain, measure_z", n=10**4, calls=20000, distance=None,
                  results={"nodeweave": 8.53e-4, "stim circuit": 1.5}, floor_ratio=1.8, memory=None),
             dict(key="i", label="surface-code memory circuit, d = 15", n=494, calls=19994, distance=15,
                  results={"nodeweave": 3.07e-3, "stim circuit": 2.23e-3, "stim calls": 6.78e-2},
                  floor_ratio=3.4, memory=555.5)]
    rows = [report.floor_row(report.COLUMNS, 16.7e-9, 131072)] + [report.row(c) for c in cells]
    text = bench.document.document(command="python benchmarks/run.py", elapsed=60, reduced=True,
                                   machine=[], rows=rows, cells=cells, workloads="", stops=[],
                                   figure="benchmarks.svg")
    points, floor = figure.points_from_document(text)
    expected = figure.points_from_cells(cells)
    assert floor == pytest.approx(16.7e-9) and len(points) == len(expected) == 2
    for point, want in zip(points, expected):
        assert point | {"times": None} == want | {"times": None}
        for name, seconds in want["times"].items():  # None: not run
            assert point["times"][name] == (seconds and pytest.approx(seconds)), (name, point)
    # The committed document reads back too, with a point in every panel.
    points, floor = figure.points_from_document(DOCUMENT.read_text())
    assert all(figure.series(points, letters) for _, letters in figure.FAMILIES)
    assert figure.draw(points, floor, tmp_path / "figure.png") and (tmp_path / "figure.png").stat().st_size
