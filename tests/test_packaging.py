"""What a plain install ships: the wheel's files and metadata, and the sdist's files."""

import email
import importlib.metadata
import importlib.util
import platform
import re
import os
import shutil
import subprocess
import sys
import sysconfig
import tarfile
import tomllib
import venv
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
def wheel_path(tmp_path_factory):
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
    return path


@pytest.fixture(scope="module")
def wheel(wheel_path):
    with zipfile.ZipFile(wheel_path) as archive:
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


def test_one_version_in_pyproject_changelog_citation_and_the_installed_metadata():
    version = tomllib.loads((ROOT / "pyproject.toml").read_text())["project"]["version"]
    changelog = re.search(r"^## (\S+) — (\d{4}-\d\d-\d\d)$", (ROOT / "CHANGELOG.md").read_text(), re.M)
    citation = re.search(r"^version: (\S+)$", (ROOT / "CITATION.cff").read_text(), re.M)
    assert changelog and changelog[1] == version, "the newest changelog entry, dated, is this version"
    assert citation and citation[1] == version
    assert importlib.metadata.version("nodeweave") == version


@pytest.mark.slow
@pytest.mark.skipif(sys.platform != "linux", reason="manylinux wheels are Linux wheels")
def test_repaired_manylinux_wheel_runs_the_quick_start_in_a_fresh_environment(wheel_path, tmp_path):
    pytest.importorskip("auditwheel")
    run = subprocess.run([sys.executable, "-m", "auditwheel", "repair", str(wheel_path),
                          "-w", str(tmp_path / "repaired")],
                         capture_output=True, text=True, timeout=300)
    assert run.returncode == 0, run.stdout + run.stderr
    [repaired] = (tmp_path / "repaired").glob("*.whl")
    assert re.search(rf"-manylinux_2_\d+_{platform.machine()}\.whl$", repaired.name), repaired.name
    # A fresh environment, with nothing from this checkout or the test environment on its path.
    venv.create(tmp_path / "env", with_pip=True)
    python = str(tmp_path / "env" / "bin" / "python")
    install = subprocess.run([python, "-m", "pip", "install", "-q", "--no-deps", "--no-index",
                              str(repaired)], capture_output=True, text=True, timeout=300)
    assert install.returncode == 0, install.stdout + install.stderr
    quickstart = subprocess.run([python, "-I", str(ROOT / "examples" / "quickstart.py")],
                                cwd=tmp_path, capture_output=True, text=True, timeout=120)
    assert quickstart.returncode == 0, quickstart.stderr
    assert "agreement: 1.000" in quickstart.stdout
