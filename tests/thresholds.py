"""The engine's size thresholds in the test-support module, shrunk for a block of code so that
dense blocks, position indexes, record swaps, tableaux and held-back controlled-Zs are used on
graphs of a few qubits. Each set names only the thresholds it changes from the engine's own."""

import contextlib

import _nodeweave_testing as testing

# index every list, rows for every complementation, always swap records, one-word rows, pivot a
# controlled-Z target of more than two neighbours instead of toggling its neighbourhood
TINY = dict(index_min=1, row_pairs=1, relabel_min=0, initial_row_words=1, star_max=2)
# the tiny ones, and every component of two or more qubits in a dense block goes into a tableau as
# soon as a controlled-Z has to work on one of them, however sparse it is, up to six qubits (so
# that joins beyond that send tableaux back to graph form)
TABLEAU = {**TINY, "tableau_min": 2, "tableau_sparsity": 2**32 - 1, "tableau_patience": 0, "tableau_max": 6}
# the same with tableaux as large as the engine allows
LARGE_TABLEAUX = {**TABLEAU, "tableau_max": 4096}
# the tiny ones, and controlled-Zs never held back
TINY_UNDEFERRED = {**TINY, "defer_min": 2**32 - 1}
# the tiny ones, and every controlled-Z on a lightly linked control that could be held back is
DEFERRING = {**TINY, "defer_min": 0}
# every form at once: tiny thresholds, six-qubit tableaux and every controlled-Z held back that can be
EVERY_FORM = {**TABLEAU, "defer_min": 0}


@contextlib.contextmanager
def thresholds(values):
    """Sets the test-support module's thresholds named in `values` (None: leave them) for the block."""
    previous = testing.thresholds(**values) if values else None
    try:
        yield
    finally:
        if previous:
            testing.thresholds(**previous)
