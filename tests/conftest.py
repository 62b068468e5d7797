"""The suite needs the private test-support module, which a plain install leaves out."""

import importlib.util

import pytest

INSTALL = 'pip install -C cmake.define.NODEWEAVE_TESTING=ON ".[test]"'


def pytest_configure(config):
    if importlib.util.find_spec("_nodeweave_testing") is None:
        pytest.exit(f"the test-support module _nodeweave_testing is not installed; "
                    f"install nodeweave for testing with: {INSTALL}", returncode=4)
