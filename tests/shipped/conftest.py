"""The images that the checks of what ships read: the build's own (by
default), or with --images installed the copies that `cmake --install` lays
out for host authors."""
import subprocess
import types

import pytest


def pytest_addoption(parser):
    parser.addoption("--images", choices=("built", "installed"), default="built",
                     help="check the build's images, or those that cmake --install lays out")
    parser.addoption("--archive", help="the release archive to check")
    parser.addoption("--presets", nargs=3, metavar=("X86", "X64", "ARM64"),
                     help="the builds whose files the archive holds")


@pytest.fixture(scope="session")
def installed(build, tmp_path_factory):
    """The folder that `cmake --install` of the build fills."""
    folder = tmp_path_factory.mktemp("installed")
    subprocess.run(["cmake", "--install", build.tree, "--prefix", folder], check=True,
                   stdout=subprocess.DEVNULL)
    return folder


@pytest.fixture(scope="session")
def shipped(request, build):
    """The DLL, the demo host and the DLL's symbols (its PDB, or for a gcc
    build GNU ld's link map, which is not installed)."""
    if request.config.getoption("--images") == "built":
        return types.SimpleNamespace(dll=build.dll, host=build.host, symbols=build.symbols)
    folder = request.getfixturevalue("installed") / build.arch
    symbols = folder / "zibwin32.pdb" if build.compiler == "Clang" else build.symbols
    return types.SimpleNamespace(dll=folder / "zibwin32.dll", host=folder / "zibhost.exe",
                                 symbols=symbols)
