"""`cmake --install` lays out what a host author needs, and nothing of the
tests; its DLL and demo host pass the image checks as the built ones do
(CTest runs those checks on them with --images installed)."""
import pytest


def test_the_files_are_a_host_authors(build, installed):
    arch = build.arch
    expected = ["CHANGELOG.md", "HOSTS.md", "LICENSE", "cmake/zibwin32-config-version.cmake",
                "cmake/zibwin32-config.cmake", "include/zibwin32.h",
                f"{arch}/libzibwin32.dll.a", f"{arch}/zibhost.exe", f"{arch}/zibwin32.dll",
                f"{arch}/zibwin32.lib"]
    if build.compiler == "Clang":  # the builds that ship, with their PDB
        expected.append(f"{arch}/zibwin32.pdb")
    actual = [str(path.relative_to(installed)) for path in installed.rglob("*") if path.is_file()]
    assert sorted(actual) == sorted(expected)


@pytest.mark.parametrize("said", ["# zibwin32 for host authors", "freeResult",
                                  "zibhost [--dll PATH] ENTRY"])
def test_the_host_guide_says(installed, said):
    assert said in (installed / "HOSTS.md").read_text()
