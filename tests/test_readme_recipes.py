"""The README's recipes, run as written: resets, the gates composed of others (checked against
stim), the ancilla meter and shot sampling."""

import re
from pathlib import Path

import pytest

from nodeweave import MeasurementResult, NodeWeave

ROOT = Path(__file__).resolve().parent.parent


@pytest.fixture(scope="module")
def recipes():
    text = (ROOT / "README.md").read_text()
    section = text[text.index("\n## Recipes\n"):text.index("\n## API\n")]
    namespace = {}
    for block in re.findall(r"```python\n(.*?)```", section, re.S):
        exec(compile(block, "README.md recipes", "exec"), namespace)  # the asserts in them too
    return namespace


def test_each_reset_leaves_its_basis_eigenstate_from_any_entangled_state(recipes):
    for basis in "xyz":
        for _ in range(20):
            sim = NodeWeave(3)
            sim.h(0), sim.s(0), sim.cx(0, 1), sim.h(1), sim.cy(1, 2)  # qubit 1 entangled
            recipes[f"reset_{basis}"](sim, 1)
            assert sim.get_entangled_group(1) == {1}
            assert getattr(sim, f"measure_{basis}")(1) == MeasurementResult.PlusOne


@pytest.mark.parametrize("recipe, stim_gate", [("swap", "SWAP"), ("sx", "SQRT_X"),
                                               ("iswap", "ISWAP")])
def test_composed_gates_act_as_stims(recipes, recipe, stim_gate):
    stim = pytest.importorskip("stim")
    # Each operand is half of a Bell pair with a reference qubit: the final stabilizers then fix
    # the gate up to a phase, and every one is read through the README's ancilla meter.
    width = 1 if recipe == "sx" else 2
    reference = stim.TableauSimulator()
    sim = NodeWeave(2 * width + 1)
    for q in range(width):
        for target in (reference, sim):
            target.h(q)
            target.cx(q, q + width)
    reference.do(stim.Circuit(f"{stim_gate} {' '.join(map(str, range(width)))}"))
    recipes[recipe](sim, *range(width))
    for stabilizer in reference.canonical_stabilizers():
        pauli = {q: "_XYZ"[p] for q, p in enumerate(stabilizer) if p}
        assert recipes["measure_pauli"](sim, pauli, 2 * width) == stabilizer.sign.real, stabilizer
