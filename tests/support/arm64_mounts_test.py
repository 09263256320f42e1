"""The arm64 test bed (tools/arm64/in-root.sh) mounts what its root needs in a
mount namespace of each run's own: the host's never holds a mount under the
root, and once the build's Wine server has stopped no process is left that
sees one, also after a program was killed while it ran."""
import os
import pathlib
import shutil
import signal
import subprocess
import tempfile
import time


def mounts_under(root):
    """What the host's own mount namespace has mounted under ROOT."""
    targets = subprocess.run(["findmnt", "-rn", "-o", "TARGET"], check=True,
                             capture_output=True, text=True).stdout.split()
    return [target for target in targets if target.startswith(f"{root}/")]


def processes_in(root):
    """The processes that run inside ROOT, or whose mounts name it."""
    found = set()
    for process in pathlib.Path("/proc").glob("[0-9]*"):
        try:
            if (os.readlink(process / "root") == str(root)
                    or f" {root}/" in (process / "mountinfo").read_text()):
                found.add(int(process.name))
        except OSError:  # it ended while it was looked at
            pass
    return found


def wait_for(condition, seconds=30):
    end = time.monotonic() + seconds
    while not condition() and time.monotonic() < end:
        time.sleep(0.1)
    return condition()


def test_a_program_in_the_root_sees_binds_that_the_host_does_not(build):
    root = build.arm64_root
    shared = pathlib.Path(tempfile.mkdtemp(dir="/tmp"))
    # It ends once it sees, in the root's /tmp, a file made in the host's.
    program = subprocess.Popen(
        [build.source / "tools/arm64/in-root.sh", root, build.source, "/bin/sh", "-c",
         'while [ ! -e "$0" ]; do sleep 0.1; done', shared / "made"])
    try:
        assert wait_for(lambda: program.pid in processes_in(root)), "it never ran in the root"
        assert mounts_under(root) == []
        (shared / "made").touch()
        assert not (root / shared.relative_to("/") / "made").exists()
        assert program.wait(timeout=30) == 0
    finally:
        program.kill()  # where a check failed before it could end
        shutil.rmtree(shared)


def test_nothing_sees_the_root_once_the_server_stops(build):
    root, run, server = build.arm64_root, build.tree / "wine-run", build.tree / "wine-server"
    subprocess.run([run, "cmd", "/c", "exit"], check=True)
    # A program that waits for a key, killed with its process group.
    killed = subprocess.Popen([run, "cmd", "/c", "pause"], stdin=subprocess.PIPE,
                              stdout=subprocess.DEVNULL, start_new_session=True)
    try:
        assert wait_for(lambda: killed.pid in processes_in(root)), "it never ran in the root"
        os.killpg(killed.pid, signal.SIGKILL)
        killed.wait()
        assert mounts_under(root) == []
        subprocess.run([server, "stop"], check=True)
        assert wait_for(lambda: not processes_in(root)), f"left: {processes_in(root)}"
    finally:
        subprocess.run([server, "start"], check=True)


def test_where_no_mount_namespace_can_be_made_the_test_bed_says_so(build):
    # Without CAP_SYS_ADMIN, unshare --mount fails, as in some containers.
    result = subprocess.run(
        ["setpriv", "--bounding-set", "-sys_admin", build.source / "tools/arm64/in-root.sh",
         build.arm64_root, build.source, "/bin/true"], capture_output=True, text=True)
    assert result.returncode == 1
    assert "no mount namespace can be made here (unshare --mount fails)" in result.stderr
    assert mounts_under(build.arm64_root) == []


def test_the_set_up_unmounts_what_an_earlier_test_bed_left_mounted(build, tmp_path):
    # A scratch cache that the set-up takes for made: the real one's stamps,
    # and a root that holds only what its /bin/true needs.
    real, cache = build.arm64_root.parent, tmp_path / "cache"
    for needed in ("runtime/.ready", "root/.ready", "root/bin/true",
                   "root/lib/ld-linux-aarch64.so.1", "root/lib/aarch64-linux-gnu/libc.so.6"):
        (cache / needed).parent.mkdir(parents=True, exist_ok=True)
        shutil.copy(real / needed, cache / needed)
    kept, bound = tmp_path / "kept", cache / "root/tmp"
    (kept / "deeper").mkdir(parents=True)
    (kept / "file").write_text("kept")
    bound.mkdir()
    try:
        subprocess.run(["mount", "--bind", kept, bound], check=True)
        subprocess.run(["mount", "-t", "tmpfs", "scratch", bound / "deeper"], check=True)
        result = subprocess.run([build.source / "tools/arm64/setup.sh"], capture_output=True,
                                text=True, env={**os.environ, "ZIBWIN32_ARM64_CACHE": cache})
        assert result.returncode == 0, result.stderr
        assert f"deepest first: {bound}/deeper {bound}\n" in result.stdout
        assert mounts_under(cache) == []
        shutil.rmtree(cache)
        assert (kept / "file").read_text() == "kept"
    finally:
        subprocess.run([build.source / "tools/arm64/unmount-root.sh", cache / "root"])
