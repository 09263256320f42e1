"""What every check in Python is told: which build it checks. CMake writes
what a build holds, and where, into BUILD/checks.json."""
import collections
import json
import os
import pathlib
import subprocess
import types

import pytest


outcomes = collections.Counter()


def pytest_runtest_logreport(report):
    if report.when == "call" or report.skipped:
        outcomes[report.outcome] += 1


def pytest_sessionfinish(session, exitstatus):
    """A run whose every test was skipped (no Wine for the build's programs,
    say) exits 77, which CTest reports as skipped."""
    if exitstatus == 0 and outcomes["skipped"] and not outcomes["passed"]:
        session.exitstatus = 77


def pytest_addoption(parser):
    parser.addoption("--build", default=os.environ.get("ZIBWIN32_BUILD"),
                     help="the build tree to check, e.g. build/i686-clang"
                          " (default: $ZIBWIN32_BUILD)")


@pytest.fixture(scope="session")
def build(request):
    """The build: preset, arch (x86, x64, arm64), compiler (Clang, GNU) and
    the paths of its source tree, build tree, images and symbols."""
    folder = request.config.getoption("--build")
    if not folder:
        pytest.fail("no build named: give --build build/PRESET or set ZIBWIN32_BUILD")
    with open(pathlib.Path(folder, "checks.json")) as file:
        fields = json.load(file)
    paths = {name: pathlib.Path(value) for name, value in fields.items()
             if name not in ("preset", "arch", "compiler") and value}
    return types.SimpleNamespace(**{**fields, **paths})


@pytest.fixture(scope="session")
def wine(build):
    """That this machine runs the build's Windows programs; where it cannot,
    the test is skipped, saying why."""
    check = subprocess.run([build.tree / "wine-server", "check"], capture_output=True, text=True)
    if check.returncode != 0:
        pytest.skip(f"not run under Wine: {check.stderr.strip()}")
