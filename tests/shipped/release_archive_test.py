"""The release archive, unpacked and checked: exactly the files a host author
needs, every checksum, DLLs, PDBs and demo hosts that are the very files of
the builds the tests check and run against (once a signed one's signatures
are removed), the header's version in its name and the changelog.
usage: pytest release_archive_test.py --archive ZIP --presets X86 X64 ARM64"""
import hashlib
import pathlib
import re
import subprocess

import pytest

from pe_image import RELEASE_ARCHES

SOURCE = pathlib.Path(__file__).parents[2]


def test_the_archive_holds_what_a_host_author_needs(unpacked):
    _, folder = unpacked
    expected = {"CHANGELOG.md", "HOSTS.md", "LICENSE", "SHA256SUMS",
                "cmake/zibwin32-config-version.cmake", "cmake/zibwin32-config.cmake",
                "include/zibwin32.h"}
    expected |= {f"{arch}/{file}" for arch in RELEASE_ARCHES for file in
                 ("libzibwin32.dll.a", "zibhost.exe", "zibwin32.dll", "zibwin32.lib",
                  "zibwin32.pdb")}
    assert {str(path.relative_to(folder)) for path in folder.rglob("*") if path.is_file()} \
        == expected


def test_every_file_has_its_checksum(unpacked):
    _, folder = unpacked
    listed = {}
    for line in (folder / "SHA256SUMS").read_text().splitlines():
        digest, name = line.split("  ", 1)
        listed[name] = digest
    files = {str(path.relative_to(folder)) for path in folder.rglob("*")
             if path.is_file() and path.name != "SHA256SUMS"}
    assert set(listed) == files
    for name, digest in listed.items():
        assert hashlib.sha256((folder / name).read_bytes()).hexdigest() == digest, name


def test_the_name_and_the_changelog_are_of_the_headers_version(unpacked):
    archive, folder = unpacked
    header = (folder / "include/zibwin32.h").read_text()
    version = re.search(r'^#define ZIBWIN32_VERSION "(.*)"$', header, re.MULTILINE)[1]
    assert archive.name == f"zibwin32-{version}-windows.zip"
    assert re.search(rf"^## \[{re.escape(version)}\] - ", (folder / "CHANGELOG.md").read_text(),
                     re.MULTILINE)


@pytest.mark.parametrize("file", ["zibwin32.dll", "zibwin32.pdb", "zibhost.exe"])
@pytest.mark.parametrize("arch", RELEASE_ARCHES)
def test_each_image_is_the_tested_builds(unpacked, presets, arch, file, tmp_path):
    _, folder = unpacked
    shipped = folder / arch / file
    bare = tmp_path / file
    removed = subprocess.run(["osslsigncode", "remove-signature", "-in", shipped, "-out", bare],
                             capture_output=True)
    data = bare.read_bytes() if removed.returncode == 0 else shipped.read_bytes()
    assert data == (SOURCE / "build" / presets[arch] / "bin" / file).read_bytes(), \
        f"{arch}/{file} is not the tested build/{presets[arch]}/bin/{file}"
