"""A throwaway PKI for the signing tests, made afresh in a folder: a root, a
code-signing certificate under it with its key in a PKCS#12 file and in a
SoftHSM2 token, and a time-stamp authority's. The certificates that the
signing step must refuse each come with a key that it can use, so that only
the check under test can stop it: the expired one and the one not valid yet
are issued for the signer's key, and the authority's and the root's own
come in PKCS#12 files of their own. ways() gives what tools/sign.sh is told
to sign through the file or the token."""
import datetime
import os
import subprocess

PASSWORD = "secret"  # the PKCS#12 files'
PIN = "1234"  # the token's
TOKEN_MODULE = "/usr/lib/softhsm/libsofthsm2.so"
SIGNER_KEY_URI = "pkcs11:token=zibwin32;object=signer;type=private"

CA_CONFIG = """[ca]
default_ca = d
[d]
database = index
new_certs_dir = .
serial = serial
default_md = sha256
policy = p
[p]
commonName = supplied
[tsa]
default_tsa = t
[t]
serial = tsaserial
signer_cert = tsa.pem
signer_key = tsa.key
signer_digest = sha256
default_policy = 1.2.3.4.1
digests = sha1,sha256
"""


def openssl(folder, *arguments):
    subprocess.run(["openssl", *arguments], cwd=folder, check=True, capture_output=True)


def day(offset):
    moment = datetime.datetime.now(datetime.timezone.utc) + datetime.timedelta(days=offset)
    return moment.strftime("%Y%m%d%H%M%SZ")


def issue(folder, name, usage, valid_from, valid_to, key=None):
    """NAME.pem, signed by the root, for the extended key usage USAGE and the
    days from VALID_FROM to VALID_TO (from today), for NAME.key, made anew,
    or for the key named."""
    key_file = f"{key or name}.key"
    if key:
        openssl(folder, "req", "-new", "-key", key_file, "-subj", f"/CN=zibwin32-test-{name}",
                "-out", f"{name}.csr")
    else:
        openssl(folder, "req", "-newkey", "rsa:2048", "-nodes", "-keyout", key_file,
                "-subj", f"/CN=zibwin32-test-{name}", "-out", f"{name}.csr")
    (folder / f"{name}.ext").write_text(
        f"keyUsage=critical,digitalSignature\nextendedKeyUsage={usage}\n")
    openssl(folder, "ca", "-batch", "-notext", "-config", "openssl.cnf", "-cert", "root.pem",
            "-keyfile", "root.key", "-in", f"{name}.csr", "-out", f"{name}.pem",
            "-startdate", day(valid_from), "-enddate", day(valid_to),
            "-extfile", f"{name}.ext")


def export(folder, name, key, password_file):
    """NAME.p12: the certificate NAME.pem with KEY.key, under the password in
    PASSWORD_FILE (of the folder)."""
    openssl(folder, "pkcs12", "-export", "-in", f"{name}.pem", "-inkey", f"{key}.key",
            "-passout", f"file:{password_file}", "-out", f"{name}.p12")


def make(folder):
    folder.mkdir(parents=True)
    (folder / "tokens").mkdir()
    (folder / "index").touch()
    (folder / "serial").write_text("01\n")
    (folder / "tsaserial").write_text("01\n")
    (folder / "password").write_text(f"{PASSWORD}\n")
    (folder / "pin").write_text(f"{PIN}\n")
    (folder / "openssl.cnf").write_text(CA_CONFIG)
    openssl(folder, "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", "root.key",
            "-out", "root.pem", "-days", "2", "-subj", "/CN=zibwin32-test-root",
            "-addext", "basicConstraints=critical,CA:TRUE",
            "-addext", "keyUsage=critical,keyCertSign")
    issue(folder, "signer", "codeSigning", 0, 2)
    issue(folder, "expired", "codeSigning", -3, -2, key="signer")
    issue(folder, "future", "codeSigning", 1, 3, key="signer")
    issue(folder, "tsa", "critical,timeStamping", 0, 2)
    export(folder, "signer", "signer", "password")
    for name in ("tsa", "root"):
        export(folder, name, name, "password")
    # The signer's key once more, under the token's PIN: a file and a token
    # that one password file opens alike.
    openssl(folder, "pkcs12", "-export", "-in", "signer.pem", "-inkey", "signer.key",
            "-passout", "file:pin", "-out", "signer-pin.p12")
    (folder / "softhsm2.conf").write_text(f"directories.tokendir = {folder}/tokens\n")
    token = {**os.environ, "SOFTHSM2_CONF": str(folder / "softhsm2.conf")}
    for command in (["--init-token", "--free", "--label", "zibwin32", "--pin", PIN,
                     "--so-pin", "5678"],
                    ["--import", "signer.key", "--token", "zibwin32", "--label", "signer",
                     "--id", "01", "--pin", PIN]):
        subprocess.run(["softhsm2-util", *command], cwd=folder, env=token, check=True,
                       capture_output=True)


def ways(folder):
    """What tools/sign.sh is told, by way: through the PKCS#12 file or the
    token, each verified against the test's root."""
    common = {"ZIBWIN32_SIGN_CA": str(folder / "root.pem"),
              "SOFTHSM2_CONF": str(folder / "softhsm2.conf")}
    return {
        "pkcs12": {**common, "ZIBWIN32_SIGN_PKCS12": str(folder / "signer.p12"),
                   "ZIBWIN32_SIGN_PASSWORD_FILE": str(folder / "password")},
        "token": {**common, "ZIBWIN32_SIGN_PKCS11_MODULE": TOKEN_MODULE,
                  "ZIBWIN32_SIGN_KEY": SIGNER_KEY_URI,
                  "ZIBWIN32_SIGN_CERTS": str(folder / "signer.pem"),
                  "ZIBWIN32_SIGN_PASSWORD_FILE": str(folder / "pin")},
    }


def environment(way):
    """The environment in which tools/sign.sh signs that way and no other:
    whatever this one names for signing is left out."""
    kept = {name: value for name, value in os.environ.items()
            if not name.startswith("ZIBWIN32_SIGN_")}
    return {**kept, **way}


if __name__ == "__main__":
    # pki.py FOLDER: makes the PKI in FOLDER afresh and prints, a line each,
    # the NAME=VALUE that sign through its PKCS#12 file (for env).
    import pathlib
    import shutil
    import sys
    made = pathlib.Path(sys.argv[1]).resolve()
    shutil.rmtree(made, ignore_errors=True)
    make(made)
    for name, value in ways(made)["pkcs12"].items():
        print(f"{name}={value}")
