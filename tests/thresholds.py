"""The engine's size thresholds in the test-support module, shrunk for a block of code so that
dense blocks, position indexes and record swaps are used on graphs of a few qubits."""

import contextlib

import _nodeweave_testing as testing

# index every list, rows for every complementation, always swap records, one-word rows, pivot a
# controlled-Z target of more than two neighbours instead of toggling its neighbourhood
TINY = (1, 1, 0, 1, 2)
# the tiny ones, and every component of two or more qubits in a dense block goes into a tableau as
# soon as a controlled-Z has to work on one of them, however sparse it is, up to six qubits (so
# that joins beyond that send tableaux back to graph form)
TABLEAU = TINY + (2, 2**32 - 1, 0, 6)
# the same with tableaux as large as the engine allows
LARGE_TABLEAUX = TABLEAU[:-1] + (4096,)
# the tiny ones with the default tableau thresholds, and controlled-Zs never held back
TINY_UNDEFERRED = TINY + (128, 8, 3, 4096, 2**32 - 1)
# the tiny ones, and every controlled-Z on a lightly linked control that could be held back is
DEFERRING = TINY + (128, 8, 3, 4096, 0)


@contextlib.contextmanager
def thresholds(values):
    """Sets the test-support module's thresholds to `values` (None: leave them) for the block."""
    previous = testing.thresholds(*values) if values else None
    try:
        yield
    finally:
        if previous:
            testing.thresholds(*previous)
