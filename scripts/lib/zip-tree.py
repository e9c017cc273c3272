#!/usr/bin/env python3
"""zip-tree.py OUT.zip DIR TOP: writes DIR's files into OUT.zip under the
folder TOP, reproducibly: names in byte order, every entry dated
SOURCE_DATE_EPOCH (UTC), only the permission bits kept (0755 for
executables, 0644 otherwise), no owner and no other extra fields."""
import os
import sys
import time
import zipfile


def main():
    out, root, top = sys.argv[1:4]
    stamp = time.gmtime(max(int(os.environ["SOURCE_DATE_EPOCH"]), 315532800))[:6]
    paths = []
    for folder, _, files in os.walk(root):
        for name in files:
            full = os.path.join(folder, name)
            paths.append((top + "/" + os.path.relpath(full, root).replace(os.sep, "/"), full))
    with zipfile.ZipFile(out, "w") as archive:
        for name, full in sorted(paths, key=lambda p: p[0].encode()):
            info = zipfile.ZipInfo(name, stamp)
            info.create_system = 3
            mode = 0o755 if os.stat(full).st_mode & 0o100 else 0o644
            info.external_attr = (0o100000 | mode) << 16
            info.compress_type = zipfile.ZIP_DEFLATED
            with open(full, "rb") as f:
                archive.writestr(info, f.read(), compresslevel=9)


main()
