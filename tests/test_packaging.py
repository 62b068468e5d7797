"""What a plain install ships: the wheel's files and metadata, and the sdist's files."""

import email
import importlib.util
import os
import shutil
import subprocess
import sys
import sysconfig
import tarfile
import zipfile
from pathlib import Path

import pytest

ROOT = Path(__file__).resolve().parent.parent
VERSION = f"{sys.version_info.major}.{sys.version_info.minor}"


def require_build_tools():
    if importlib.util.find_spec("scikit_build_core") is None:
        pytest.skip("scikit-build-core is not installed")
    if shutil.which("cmake") is None and importlib.util.find_spec("cmake") is None:
        pytest.skip("cmake is not installed")


@pytest.fixture(scope="module")
def wheel(tmp_path_factory):
    """The wheel that `pip wheel .` builds. Its build directory is kept under build/ between runs
    (one per interpreter), so only the first run compiles."""
    require_build_tools()
    build_dir = ROOT / "build" / f"wheel-test-{sys.implementation.cache_tag}"
    out = tmp_path_factory.mktemp("wheel")
    run = subprocess.run(
        [sys.executable, "-m", "pip", "wheel", "--no-deps", "--no-build-isolation", "-q",
         "-C", f"build-dir={build_dir}", "-w", str(out), str(ROOT)],
        capture_output=True, text=True, timeout=600)
    assert run.returncode == 0, run.stdout + run.stderr
    [path] = out.glob("nodeweave-*.whl")
    with zipfile.ZipFile(path) as archive:
        yield archive


def test_wheel_ships_the_module_its_stubs_and_the_licence_only(wheel):
    extension = "nodeweave" + sysconfig.get_config_var("EXT_SUFFIX")
    [info] = {name.split("/")[0] for name in wheel.namelist() if ".dist-info/" in name}
    assert sorted(wheel.namelist()) == sorted([
        extension, "nodeweave-stubs/__init__.pyi",
        f"{info}/METADATA", f"{info}/WHEEL", f"{info}/RECORD", f"{info}/licenses/LICENSE"])
    assert wheel.read(f"{info}/licenses/LICENSE") == (ROOT / "LICENSE").read_bytes()


def test_wheel_metadata_names_the_licence_and_this_python(wheel):
    [name] = [n for n in wheel.namelist() if n.endswith(".dist-info/METADATA")]
    metadata = email.message_from_bytes(wheel.read(name))
    assert metadata["License"] == "MIT"
    classifiers = metadata.get_all("Classifier")
    assert "License :: OSI Approved :: MIT License" in classifiers
    # every interpreter the suite runs on is one the package says it supports
    assert f"Programming Language :: Python :: {VERSION}" in classifiers
    assert "Homepage, https://pypi.org/project/nodeweave/" in metadata.get_all("Project-URL")


def test_sdist_carries_the_licence_and_the_changelog(tmp_path):
    require_build_tools()
    # the build backend's own sdist hook; it compiles nothing
    run = subprocess.run(
        [sys.executable, "-c", "import sys; from scikit_build_core.build import build_sdist; "
         "print(build_sdist(sys.argv[1]))", str(tmp_path)],
        cwd=ROOT, capture_output=True, text=True, timeout=120,
        env={**os.environ, "PYTHONWARNINGS": "ignore"})
    assert run.returncode == 0, run.stderr
    name = run.stdout.split()[-1]
    with tarfile.open(tmp_path / name) as sdist:
        top = name.removesuffix(".tar.gz")
        files = {member.name.removeprefix(top + "/") for member in sdist.getmembers()}
    assert {"LICENSE", "CHANGELOG.md", "CITATION.cff", "README.md", "pyproject.toml",
            "CMakeLists.txt", "nodeweave-stubs/__init__.pyi"} <= files
    assert not any(f.startswith("build/") or f.endswith(".so") for f in files), sorted(files)
