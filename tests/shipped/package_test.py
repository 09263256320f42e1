"""The CMake package as a host's configure step reads it, a row a project:
the DLL and import library of each architecture, compiler and language, the
versions it takes, what a project of an architecture the release lacks is
told. The release: the package's two files beside empty DLLs and import
libraries."""
import pathlib
import re
import shutil
import subprocess

import pytest

# What CMake knows of a host project's compilers, as the package reads it;
# "-" leaves a name unset.
NAMES = ["CMAKE_SYSTEM_PROCESSOR", "CMAKE_C_COMPILER_ARCHITECTURE_ID",
         "CMAKE_CXX_COMPILER_ARCHITECTURE_ID", "CMAKE_C_SIMULATE_ID", "CMAKE_CXX_SIMULATE_ID",
         "CMAKE_SIZEOF_VOID_P", "MSVC"]
ARCHES = [("X86", "4", "x86", "i686"), ("x64", "8", "x64", "x86_64"),
          ("ARM64", "8", "arm64", "aarch64")]


def rows(version):
    """(request, release, the names' values, what the configure step says)."""
    for arch_id, pointer, folder, processor in ARCHES:  # MSVC with C, C++, both; mingw
        for c, cxx in ((arch_id, "-"), ("-", arch_id), (arch_id, arch_id)):
            yield "1.0", "whole", ["AMD64", c, cxx, "-", "-", pointer, "1"], \
                ("found", folder, "zibwin32.lib")
        yield "1.0", "whole", [processor, "-", "-", "-", "-", pointer, "-"], \
            ("found", folder, "libzibwin32.dll.a")
    # clang for the MSVC target
    yield "1.0", "whole", ["AMD64", "x64", "-", "MSVC", "-", "8", "-"], \
        ("found", "x64", "zibwin32.lib")
    yield "1.0", "whole", ["AMD64", "-", "ARM64", "-", "MSVC", "8", "-"], \
        ("found", "arm64", "zibwin32.lib")
    yield "1.0", "lacking", ["aarch64", "-", "-", "-", "-", "8", "-"], \
        "this zibwin32 holds no arm64 DLL and import library; it holds: x86, x64"
    minor = int(version.split(".")[1])
    for request in (version, "0.9", f"1.{minor + 1}", "2.0"):  # its own, and others it refuses
        said = ("found", "x86", "libzibwin32.dll.a") if request == version else \
            f'compatible with requested version "{request}"'
        yield request, "whole", ["i686", "-", "-", "-", "-", "4", "-"], said


def version():
    header = (pathlib.Path(__file__).parents[2] / "zibwin32/include/zibwin32.h").read_text()
    return re.search(r'^#define ZIBWIN32_VERSION "(.*)"$', header, re.MULTILINE)[1]


ROWS = list(rows(version()))


@pytest.fixture(scope="module")
def releases(build, tmp_path_factory):
    """The whole release, and one that lacks arm64."""
    folder = tmp_path_factory.mktemp("package")
    whole = folder / "whole"
    (whole / "cmake").mkdir(parents=True)
    shutil.copy(build.source / "zibwin32/zibwin32-config.cmake", whole / "cmake")
    shutil.copy(build.tree / "zibwin32/zibwin32-config-version.cmake", whole / "cmake")
    for arch in ("x86", "x64", "arm64"):
        (whole / arch).mkdir()
        for file in ("zibwin32.dll", "zibwin32.lib", "libzibwin32.dll.a"):
            (whole / arch / file).touch()
    shutil.copytree(whole, folder / "lacking")
    shutil.rmtree(folder / "lacking/arm64")
    return folder


@pytest.mark.parametrize("row", ROWS, ids=[f"{r[0]} {r[1]} {' '.join(r[2])}" for r in ROWS])
def test_the_package_finds(build, releases, row, tmp_path):
    request, release, values, said = row
    if isinstance(said, tuple):
        _, folder, implib = said
        found = releases / release / folder
        said = f"found {found}/zibwin32.dll {found}/{implib}"
    configured = subprocess.run(
        ["cmake", "-S", build.source / "tests/shipped/package", "-B", tmp_path,
         f"-DCMAKE_PREFIX_PATH={releases / release}", f"-DZIBWIN32_REQUEST={request}",
         f"-DZIBWIN32_NAMES={';'.join(NAMES)}",
         f"-DZIBWIN32_ROW={';'.join(value.strip('-') for value in values)}"],
        capture_output=True, text=True)
    assert said in configured.stdout + configured.stderr
