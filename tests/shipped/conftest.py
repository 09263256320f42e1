"""What the checks of what ships read: the build's images (by default), or
with --images installed the copies that `cmake --install` lays out for host
authors; or a release archive (--archive), unpacked, and the builds whose
files it holds (--presets)."""
import pathlib
import subprocess
import types
import zipfile

import pytest

from pe_image import RELEASE_ARCHES


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


@pytest.fixture(scope="module")
def unpacked(request, tmp_path_factory):
    """The archive's path, and the folder it is unpacked into."""
    archive = pathlib.Path(request.config.getoption("--archive"))
    folder = tmp_path_factory.mktemp("release")
    with zipfile.ZipFile(archive) as release:
        release.extractall(folder)
    return archive, folder


@pytest.fixture(scope="module")
def presets(request):
    """The preset of the build whose files each architecture's folder holds."""
    return dict(zip(RELEASE_ARCHES, request.config.getoption("--presets")))
