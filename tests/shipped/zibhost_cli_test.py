"""The demo host's command line, as a user meets it: through a pipe, the
bytes as the DLL returns them; on a console, in the console's characters."""
import os
import shlex
import subprocess

import pytest

CASES = [  # name, arguments, exit status, what the output holds (b"": nothing at all)
    ("table", ["--list"], 0, b"C zibWin32SetAutoplayMode"),
    ("process list", ["zibWin32EnumerateProcesses"], 0, b"zibhost.exe"),
    ("volume list", ["zibWin32EnumerateVolumes", "cdrom"], 0, b"\nD:,cdrom,ZIBCDROM\n"),
    # cp1252's bytes, the character that it lacks as "?"
    ("a label outside cp1252, as returned", ["zibWin32EnumerateVolumes", "fixed"], 0,
     b"\nL:,fixed,Z\xc9?\n"),
    ("a command prints nothing", ["zibWin32Attach", "0"], 0, b""),
    ("an unknown entry", ["zibWin32Nothing"], 2,
     b"no entry zibWin32Nothing; available: zibWin32EnumerateProcesses,"
     b" zibWin32EnumerateVolumes, zibWin32Attach"),
    ("a DLL that cannot be loaded", ["--dll", "nowhere.dll", "--list"], 2,
     b"cannot load nowhere.dll"),
    ("no entry named", [], 2, b"usage: zibhost"),
    ("the AutoPlay round trip", ["--autoplay-demo"], 0, b"round trip ok"),
]


@pytest.mark.parametrize("name, arguments, status, said", CASES, ids=[c[0] for c in CASES])
def test_the_demo_host(build, wine, name, arguments, status, said):
    ran = subprocess.run([build.tree / "wine-run", build.host, *arguments],
                         stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    output = b"".join(line for line in ran.stdout.splitlines(keepends=True)
                      if not line.startswith(b"wine: "))
    assert ran.returncode == status, output
    if said:
        assert said in b"\n" + output.replace(b"\r\n", b"\n") + b"\n", output
    else:
        assert output == b""


def test_on_a_console_the_label_is_in_the_consoles_characters(build, wine):
    """Under a pseudo-terminal in UTF-8 (script), the host writes UTF-16 from
    the ANSI code page: the character cp1252 has arrives whole."""
    command = shlex.join([str(build.tree / "wine-run"), str(build.host),
                          "zibWin32EnumerateVolumes", "fixed"])
    console = subprocess.run(["script", "-qec", command, "/dev/null"], capture_output=True,
                             env={**os.environ, "LC_ALL": "C.UTF-8"}, text=True).stdout
    assert "L:,fixed,ZÉ?" in console
