"""Hosts that link the released DLL, built from the unpacked release alone
and run under Wine, for each architecture: a mingw host through the CMake
package, and an MSVC-style host that lld-link links against zibwin32.lib.
An arm64 host's loader refuses the x86 and x64 DLLs.
usage: pytest linked_hosts_test.py --archive ZIP --presets X86 X64 ARM64"""
import os
import pathlib
import shutil
import subprocess
import types

import pytest

from pe_image import RELEASE_ARCHES

SOURCE = pathlib.Path(__file__).parents[2]

# The compiler's processor, the toolchain file, llvm-dlltool's machine and
# the decoration of a stdcall name (ExitProcess@4 on x86).
TOOLS = {"x86": ("i686", "i686", "i386", "@4"), "x64": ("x86_64", "x86_64", "i386:x86-64", ""),
         "arm64": ("aarch64", "aarch64-clang", "arm64", "")}


def run(*command, **options):
    return subprocess.run([str(part) for part in command], capture_output=True, text=True,
                          **options)


@pytest.fixture(scope="module", params=RELEASE_ARCHES)
def host(request, unpacked, presets, tmp_path_factory):
    """The two hosts of an architecture, built; and whether this machine runs them."""
    arch = request.param
    _, release = unpacked
    cpu, toolchain, machine, at = TOOLS[arch]
    out = tmp_path_factory.mktemp(arch)
    source = SOURCE / "tests/shipped/linked_host"
    built = {"mingw": run("cmake", "-S", source, "-B", out / "mingw",
                          f"-DCMAKE_PREFIX_PATH={release}",
                          f"-DCMAKE_TOOLCHAIN_FILE={SOURCE}/cmake/toolchain-{toolchain}.cmake")}
    if built["mingw"].returncode == 0:
        built["mingw"] = run("cmake", "--build", out / "mingw")
    (out / "kernel32.def").write_text(f"LIBRARY kernel32.dll\nEXPORTS\nExitProcess{at}\n")
    built["msvc"] = run("llvm-dlltool-19", "-m", machine, "-k", "-d", out / "kernel32.def",
                        "-l", out / "kernel32.lib")
    if built["msvc"].returncode == 0:
        built["msvc"] = run("clang-19", f"--target={cpu}-pc-windows-msvc", "-ffreestanding",
                            "-Wall", "-Wextra", "-Werror", "-I", release / "include", "-c",
                            source / "linked_host.c", "-o", out / "host.obj")
    if built["msvc"].returncode == 0:
        built["msvc"] = run("lld-link-19", "/nodefaultlib", "/subsystem:console", "/entry:main",
                            f"/out:{out / 'msvc_host.exe'}", out / "host.obj",
                            release / arch / "zibwin32.lib", out / "kernel32.lib")
    tree = SOURCE / "build" / presets[arch]
    runnable = run(tree / "wine-server", "check").returncode == 0
    if runnable:
        run(tree / "wine-server", "start", check=True)
    yield types.SimpleNamespace(arch=arch, release=release, out=out, built=built,
                                wine_run=tree / "wine-run", runnable=runnable)
    if runnable:
        run(tree / "wine-server", "stop", check=True)


def runs(host):
    """The host, where this machine can run it."""
    if not host.runnable:
        pytest.skip(f"no {host.arch} Wine here")
    return host


def test_a_mingw_host_builds_through_the_package(host):
    built = host.built["mingw"]
    assert built.returncode == 0, built.stdout + built.stderr


def test_the_mingw_host_calls_getxtable(host):
    runs(host)
    assert run(host.wine_run, host.out / "mingw/linked_host.exe").returncode == 0


def test_an_msvc_style_host_links_through_zibwin32_lib(host):
    built = host.built["msvc"]
    assert built.returncode == 0, built.stdout + built.stderr


def test_without_the_dll_the_msvc_host_does_not_start(host):
    runs(host)
    started = run(host.wine_run, host.out / "msvc_host.exe",
                  env={**os.environ, "WINEDEBUG": "err+module"})
    assert "zibwin32.dll" in started.stderr and "not found" in started.stderr, started.stderr


def test_beside_the_dll_the_msvc_host_calls_getxtable(host):
    runs(host)
    beside = host.out / "beside"
    beside.mkdir(exist_ok=True)
    shutil.copy(host.out / "msvc_host.exe", beside)
    shutil.copy(host.release / host.arch / "zibwin32.dll", beside)
    assert run(host.wine_run, beside / "msvc_host.exe").returncode == 0


@pytest.mark.parametrize("other", ["x86", "x64"])
def test_an_arm64_host_refuses_another_architectures_dll(host, other):
    if host.arch != "arm64":
        pytest.skip("an arm64 host's loader")
    runs(host)
    refused = run(host.wine_run, host.release / "arm64/zibhost.exe", "--dll",
                  host.release / other / "zibwin32.dll", "--list")
    assert "(error 193)" in refused.stdout + refused.stderr
