#!/usr/bin/python3
"""Packs the skin folder into the archive linked into the programs.

Entries are deflated and stored at the archive's root (a file in a
sub-folder keeps its relative path), in sorted order with a fixed time
stamp, so the same skin always gives the same bytes.
"""
import os
import sys
import zipfile

FIXED_TIME = (1980, 1, 1, 0, 0, 0)


def pack(folder, out):
    names = []
    for root, dirs, files in os.walk(folder):
        dirs.sort()
        for name in files:
            path = os.path.join(root, name)
            names.append(os.path.relpath(path, folder).replace(os.sep, "/"))
    names.sort()
    tmp = out + ".tmp"
    os.makedirs(os.path.dirname(os.path.abspath(out)), exist_ok=True)
    with zipfile.ZipFile(tmp, "w", zipfile.ZIP_DEFLATED, compresslevel=9) as z:
        for name in names:
            info = zipfile.ZipInfo(name, FIXED_TIME)
            info.compress_type = zipfile.ZIP_DEFLATED
            info.external_attr = 0o644 << 16
            info.create_system = 0
            with open(os.path.join(folder, name), "rb") as f:
                z.writestr(info, f.read())
    os.replace(tmp, out)
    return names


def main(argv):
    if len(argv) != 3:
        print("usage: skinpack.py <skin folder> <archive>", file=sys.stderr)
        return 2
    names = pack(argv[1], argv[2])
    print("packed %d skin files into %s" % (len(names), argv[2]))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
