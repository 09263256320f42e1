"""Lint is a test: every shell script of the tree passes shellcheck, every
Python file flake8 (lines of at most 100 columns), every C and C++ file
clang-format-19 with the tree's .clang-format, and no shell or CMake line is
over 100 columns. A finding fails its row and names the file and the line."""
import pathlib
import subprocess

import pytest

SOURCE = pathlib.Path(__file__).parents[1]


def tracked(*patterns):
    listed = subprocess.run(["git", "ls-files", "--cached", "--others", "--exclude-standard",
                             "--", *patterns], cwd=SOURCE, check=True,
                            capture_output=True, text=True).stdout.split()
    return [name for name in listed if (SOURCE / name).is_file()]


def shell_scripts():
    """Every tracked file that starts as a shell script does, and the
    templates of the build's scripts (plain sh once CMake fills them)."""
    scripts = []
    for name in tracked():
        with open(SOURCE / name, "rb") as file:
            first = file.readline()
        if first.startswith(b"#!") and first.rstrip().endswith((b"sh", b"bash")):
            scripts.append(name)
    return scripts, tracked("tools/wine/*.in")


def findings(command):
    ran = subprocess.run(command, cwd=SOURCE, capture_output=True, text=True)
    return ran.returncode, (ran.stdout + ran.stderr).strip()


def test_shellcheck():
    scripts, templates = shell_scripts()
    assert scripts and templates
    status, said = findings(["shellcheck", "-f", "gcc", *scripts])
    template_status, template_said = findings(["shellcheck", "-f", "gcc", "-s", "sh", *templates])
    assert (status, template_status) == (0, 0), f"{said}\n{template_said}"


def test_flake8():
    files = tracked("*.py")
    assert files
    status, said = findings(["flake8", "--max-line-length", "100", *files])
    assert status == 0, said


@pytest.mark.parametrize("language", ["*.c", "*.cpp", "*.h"])
def test_clang_format(language):
    files = tracked(language)
    assert files
    status, said = findings(["clang-format-19", "--dry-run", "--Werror", *files])
    assert status == 0, said


def test_no_shell_or_cmake_line_over_100_columns():
    scripts, templates = shell_scripts()
    cmake = tracked("*.cmake", "CMakeLists.txt", "*/CMakeLists.txt")
    long = [f"{name}:{number}: {len(line)} columns"
            for name in scripts + templates + cmake
            for number, line in enumerate((SOURCE / name).read_text().splitlines(), 1)
            if len(line) > 100]
    assert not long, "\n".join(long)
