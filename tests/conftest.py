"""The suite needs the private test-support module, which a plain install leaves out."""

import importlib.util

import pytest

INSTALL = 'pip install -C cmake.define.NODEWEAVE_TESTING=ON ".[test]"'


def pytest_configure(config):
    if importlib.util.find_spec("_nodeweave_testing") is None:
        pytest.exit(f"the test-support module _nodeweave_testing is not installed; "
                    f"install nodeweave for testing with: {INSTALL}", returncode=4)


def pytest_sessionstart(session):
    # tqdm (which the peer libraries bring in, and examples/million_qubits.py uses when present)
    # starts a monitor thread that outlives the run as a daemon; under LeakSanitizer its start-up
    # record then shows as a leak at exit. The examples' progress bars need no monitor.
    try:
        import tqdm
    except ImportError:
        return
    tqdm.tqdm.monitor_interval = 0
