"""The build's DLL and demo host signed as a release signs them
(tools/sign.sh), by a PKI made afresh (a PKCS#12 file, a token, and the file
once more with a time stamp from an authority on loopback), checked as the
checks of what ships check them; and every bad input stops the step."""
import filecmp
import shutil
import subprocess
import sys
import pathlib

import pytest

sys.path.insert(0, str(pathlib.Path(__file__).parents[1]))
import pe_image  # noqa: E402
import pki  # noqa: E402
import protections_test  # noqa: E402
import tsa  # noqa: E402

IMAGES = ("zibwin32.dll", "zibhost.exe")
WAYS = ("pkcs12", "token", "stamped")
URL = "https://zibwin32.example/"


@pytest.fixture(scope="module")
def work(build):
    folder = build.tree / "signing"
    shutil.rmtree(folder, ignore_errors=True)
    pki.make(folder / "pki")
    return folder


@pytest.fixture(scope="module")
def authority(work):
    server = tsa.start(work / "pki")
    yield f"http://127.0.0.1:{server.server_address[1]}"
    server.shutdown()


def way(work, name, authority=None):
    """What tools/sign.sh is told to sign by way of NAME."""
    told = pki.ways(work / "pki")["token" if name == "token" else "pkcs12"]
    if name != "stamped":
        return told
    return {**told, "ZIBWIN32_SIGN_TIMESTAMP": authority, "ZIBWIN32_SIGN_URL": URL}


def sign(build, work, name, told):
    """A copy of the build's images, in a release's folder, signed."""
    folder = work / name
    shutil.rmtree(folder, ignore_errors=True)
    (folder / "arch").mkdir(parents=True)
    for image in IMAGES:
        shutil.copy(build.tree / "bin" / image, folder / "arch")
    return folder, subprocess.run(["tools/sign.sh", folder], cwd=build.source, text=True,
                                  env=pki.environment(told), capture_output=True)


@pytest.fixture(scope="module")
def signed(build, work, authority):
    """Each way's folder of signed images."""
    folders = {}
    for name in WAYS:
        folders[name], signing = sign(build, work, name, way(work, name, authority))
        assert signing.returncode == 0, signing.stderr
    return folders


def verify(image, root):
    return subprocess.run(["osslsigncode", "verify", "-CAfile", root, "-TSA-CAfile", root,
                           "-in", image], capture_output=True, text=True)


@pytest.mark.parametrize("image", IMAGES)
@pytest.mark.parametrize("name", WAYS)
def test_the_image_verifies_and_is_the_builds_without_its_signature(
        build, work, signed, name, image, tmp_path):
    verified = verify(signed[name] / "arch" / image, work / "pki/root.pem")
    assert verified.returncode == 0, verified.stdout + verified.stderr
    if name == "stamped":
        assert "Timestamp Server Signature verification: ok" in verified.stdout
    subprocess.run(["osslsigncode", "remove-signature", "-in", signed[name] / "arch" / image,
                    "-out", tmp_path / image], check=True, capture_output=True)
    assert filecmp.cmp(tmp_path / image, build.tree / "bin" / image, shallow=False)


def places(dll):
    """A byte of every part of a signed DLL: the headers, each section, the
    last byte before the signature and one inside it."""
    image = pe_image.Image(dll)
    size = image.directory("SECURITY").VirtualAddress  # the signature's file offset
    return [2, *(section.raw + 1 for section in image.sections if section.raw), size - 1,
            size + 100]


def test_a_byte_changed_anywhere_fails_verification(work, signed, tmp_path):
    dll = signed["pkcs12"] / "arch/zibwin32.dll"
    for at in places(dll):
        data = bytearray(dll.read_bytes())
        data[at] ^= 0xFF
        (tmp_path / "changed.dll").write_bytes(data)
        assert verify(tmp_path / "changed.dll", work / "pki/root.pem").returncode != 0, \
            f"a byte changed at {at} of {len(data)} verifies"


def test_the_protections_hold_signed_securely_among_them(build, signed):
    facts = protections_test.facts(signed["pkcs12"] / "arch/zibwin32.dll", build.pdb)
    lines = [protections_test.row(facts, *row) for row in protections_test.ROWS]
    assert all(passed is not False for _, passed in lines), lines
    assert " pass " in lines[-1][0], lines[-1][0]


def test_the_signed_host_calls_the_signed_dll_under_wine(build, wine, signed):
    listed = subprocess.run([build.tree / "wine-run", signed["stamped"] / "arch/zibhost.exe",
                             "--list"], capture_output=True, text=True)
    assert listed.stdout.startswith("zibWin32"), listed.stdout + listed.stderr


def release(build, out, told):
    """tools/release.sh of the build into OUT, signed as told."""
    return subprocess.run(["tools/release.sh", "--out", out, build.preset], cwd=build.source,
                          env=pki.environment(told), text=True, capture_output=True)


def snapshot(folder):
    """What a folder holds, with each file's size and time."""
    return {path: (path.stat().st_size, path.stat().st_mtime_ns)
            for path in folder.rglob("*")} if folder.exists() else None


# The way, what is changed of it ({pki}: the PKI's folder), the reason that
# the step stops for, and whether the row also goes through a release. Each
# row can be stopped by its own check alone: its certificate comes with a
# key that the step could sign with.
BAD_INPUTS = [
    ("pkcs12", {"ZIBWIN32_SIGN_PKCS12": "{pki}/missing.p12"}, "no such file: {pki}/missing.p12",
     True),
    ("token", {"ZIBWIN32_SIGN_PKCS11_MODULE": "{pki}/missing.so"},
     "no such file: {pki}/missing.so", True),
    ("token", {"ZIBWIN32_SIGN_KEY": "pkcs11:token=zibwin32;object=missing;type=private"},
     "holds no key pkcs11:token=zibwin32;object=missing", True),
    ("pkcs12", {"ZIBWIN32_SIGN_PASSWORD_FILE": "{pki}/pin"},
     "does not open with the password in {pki}/pin", True),
    ("token", {"ZIBWIN32_SIGN_PASSWORD_FILE": "{pki}/password"},
     "the token refuses the PIN in {pki}/password", True),
    ("token", {"ZIBWIN32_SIGN_CERTS": "{pki}/expired.pem"},
     "(CN = zibwin32-test-expired) expired on", True),
    ("token", {"ZIBWIN32_SIGN_CERTS": "{pki}/future.pem"},
     "(CN = zibwin32-test-future) is not valid yet", False),
    ("pkcs12", {"ZIBWIN32_SIGN_PKCS12": "{pki}/tsa.p12"},
     "(CN = zibwin32-test-tsa) is not one for code signing", False),
    ("pkcs12", {"ZIBWIN32_SIGN_PKCS12": "{pki}/root.p12"},
     "(CN = zibwin32-test-root) is not one for code signing", True),
    ("pkcs12", {"ZIBWIN32_SIGN_TIMESTAMP": "http://127.0.0.1:9"},
     "no time stamp from http://127.0.0.1:9", True),
    ("token", {"ZIBWIN32_SIGN_PKCS12": "{pki}/signer-pin.p12"},
     "a PKCS#12 file (ZIBWIN32_SIGN_PKCS12) and a token (ZIBWIN32_SIGN_PKCS11_*, _KEY, _CERTS)"
     " both named", True),
    ("pkcs12", {"ZIBWIN32_SIGN_PASSWORD_FILE": ""}, "missing: ZIBWIN32_SIGN_PASSWORD_FILE", True),
    ("pkcs12", {"ZIBWIN32_SIGN_CA": "{pki}/tsa.pem"},
     "arch/zibwin32.dll: the signature does not verify", False),
]


def told_with(work, name, change):
    folder = work / "pki"
    return {**way(work, name), **{key: value.format(pki=folder) for key, value in change.items()}}


@pytest.mark.parametrize("name, change, reason, released", BAD_INPUTS,
                         ids=[f"{row[0]} {' '.join(row[1])}" for row in BAD_INPUTS])
def test_a_bad_input_stops_the_step_and_leaves_every_image(
        build, work, released_before, name, change, reason, released):
    told = told_with(work, name, change)
    folder, stopped = sign(build, work, "bad", told)
    stops = [line for line in stopped.stderr.splitlines() if line.startswith("sign: stopped: ")]
    assert stopped.returncode != 0 and len(stops) == 1, stopped.stderr
    assert reason.format(pki=work / "pki") in stops[0]
    for image in IMAGES:
        assert filecmp.cmp(folder / "arch" / image, build.tree / "bin" / image, shallow=False)
    assert sorted(path.name for path in (folder / "arch").iterdir()) == sorted(IMAGES)
    if released:
        stopped = release(build, work / "release", told)
        assert stopped.returncode != 0 and reason.format(pki=work / "pki") in stopped.stderr
        assert snapshot(work / "release") == released_before


@pytest.fixture(scope="module")
def released_before(build, work):
    """A signed release, made before the bad inputs meet it."""
    made = release(build, work / "release", way(work, "pkcs12"))
    assert made.returncode == 0, made.stderr
    return snapshot(work / "release")


def test_a_failing_release_into_a_new_folder_leaves_no_folder(build, work):
    out = work / "not-made-yet"
    stopped = release(build, out, told_with(work, "pkcs12", {"ZIBWIN32_SIGN_CA": "{pki}/tsa.pem"}))
    assert stopped.returncode != 0 and "the signature does not verify" in stopped.stderr
    assert not out.exists()


@pytest.mark.parametrize("name", WAYS)
def test_the_signature_says_what_it_signs(work, signed, name):
    """The description, and the web address where ZIBWIN32_SIGN_URL names
    one (the time-stamped way names one)."""
    verified = verify(signed[name] / "arch/zibwin32.dll", work / "pki/root.pem").stdout
    assert "Text description: zibwin32\n" in verified, verified
    if name == "stamped":
        assert f"URL description: {URL}\n" in verified, verified
    else:
        assert f"URL description: {URL}" not in verified
