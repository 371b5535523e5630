"""The shipped files as they leave the build: each carries an Authenticode
signature with a SHA-256 digest that osslsigncode verifies against the
signing certificate, a file changed after signing fails, and the shipped
executable is stripped with a debug link to the debug information kept
beside it.

    YF_PACKAGE_DIR  the folder scripts/package wrote
    YF_SIGN_CA      the certificate the files were signed with (PEM)
"""
import os
import shutil
import struct
import subprocess
import tempfile
import unittest
import zlib

PACKAGE = os.environ.get("YF_PACKAGE_DIR", "")
CA = os.environ.get("YF_SIGN_CA", "")


def shipped():
    names = [os.path.join("stage", "zudedo.exe"), os.path.join("stage", "uninstall.exe")]
    names += sorted(n for n in os.listdir(PACKAGE) if n.endswith("-setup.exe"))
    return [os.path.join(PACKAGE, n) for n in names]


def verify(path):
    run = subprocess.run(["osslsigncode", "verify", "-CAfile", CA, "-in", path],
                         stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, errors="replace")
    return run.returncode, run.stdout


def sections(path):
    """Section names and raw data of a PE file; long names through the string table."""
    with open(path, "rb") as f:
        data = f.read()
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    assert data[pe:pe + 4] == b"PE\0\0", path
    count, = struct.unpack_from("<H", data, pe + 6)
    symbols, nsymbols = struct.unpack_from("<II", data, pe + 12)
    optional, = struct.unpack_from("<H", data, pe + 20)
    strings = symbols + nsymbols * 18
    out = {}
    at = pe + 24 + optional
    for _ in range(count):
        raw = data[at:at + 8].rstrip(b"\0")
        if raw.startswith(b"/"):
            off = int(raw[1:])
            raw = data[strings + off:data.index(b"\0", strings + off)]
        size, pointer = struct.unpack_from("<II", data, at + 16)
        out[raw.decode()] = data[pointer:pointer + size]
        at += 40
    return out, nsymbols


@unittest.skipUnless(PACKAGE and CA, "YF_PACKAGE_DIR and YF_SIGN_CA name the package and its certificate")
class Signatures(unittest.TestCase):
    def test_every_shipped_file_verifies_with_a_sha256_digest(self):
        files = shipped()
        self.assertEqual(3, len(files), files)  # executable, uninstaller, installer
        for path in files:
            with self.subTest(os.path.basename(path)):
                rc, text = verify(path)
                self.assertEqual(0, rc, text)
                self.assertIn("sha256", text.lower())
                self.assertIn("Signature verification: ok", text)

    def test_a_file_changed_after_signing_fails(self):
        with tempfile.TemporaryDirectory() as tmp:
            for path in shipped()[:2]:
                with self.subTest(os.path.basename(path)):
                    changed = os.path.join(tmp, os.path.basename(path))
                    shutil.copyfile(path, changed)
                    with open(changed, "r+b") as f:
                        f.seek(os.path.getsize(changed) // 3)
                        byte = f.read(1)
                        f.seek(-1, os.SEEK_CUR)
                        f.write(bytes([byte[0] ^ 0x5A]))
                    rc, text = verify(changed)
                    self.assertNotEqual(0, rc, text)

    def test_another_certificate_does_not_verify(self):
        with tempfile.TemporaryDirectory() as tmp:
            other = os.path.join(tmp, "other.pem")
            subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "1",
                            "-subj", "/CN=someone else", "-keyout", os.path.join(tmp, "k.pem"), "-out", other],
                           check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            run = subprocess.run(["osslsigncode", "verify", "-CAfile", other, "-in", shipped()[0]],
                                 stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, errors="replace")
            self.assertNotEqual(0, run.returncode, run.stdout)


@unittest.skipUnless(PACKAGE, "YF_PACKAGE_DIR names the package")
class Stripping(unittest.TestCase):
    def test_shipped_executable_is_stripped_and_links_its_debug_file(self):
        exe, nsymbols = sections(os.path.join(PACKAGE, "stage", "zudedo.exe"))
        self.assertEqual(0, nsymbols, "symbols left in the shipped executable")
        self.assertFalse([n for n in exe if n.startswith(".debug")], list(exe))
        link = exe.get(".gnu_debuglink")
        self.assertIsNotNone(link, "no debug link")
        name = link[:link.index(b"\0")].decode()
        self.assertEqual("zudedo.debug", name)
        crc_at = (len(name) + 1 + 3) // 4 * 4
        crc, = struct.unpack_from("<I", link, crc_at)
        with open(os.path.join(PACKAGE, name), "rb") as f:
            debug = f.read()
        self.assertEqual(zlib.crc32(debug) & 0xFFFFFFFF, crc, "the link names another build's debug file")
        _, debug_symbols = sections(os.path.join(PACKAGE, name))
        self.assertGreater(debug_symbols, 1000, "the debug file lost the symbols")


if __name__ == "__main__":
    unittest.main()
