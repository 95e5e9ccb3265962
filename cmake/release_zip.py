#!/usr/bin/python3
"""release_zip.py ZIP FOLDER EPOCH FILE...

Writes ZIP, holding each FILE as FOLDER/NAME in the order given, and ZIP.sha256 beside it
("HASH  NAME"). Nothing in it comes from the build's setting, so two builds of one commit give
the same bytes: every entry is dated EPOCH (seconds since 1970) in UTC, has the mode 755 if it
is a program (.exe) and 644 otherwise, whatever the umask, and carries no owner, no other time
and no extra field.
"""
import hashlib
import os
import sys
import time
import zipfile


def main():
    if len(sys.argv) < 5:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    archive, folder, epoch = sys.argv[1], sys.argv[2], int(sys.argv[3])
    # A zip's dates are DOS dates: from 1980 on, in steps of 2 s.
    date = time.gmtime(max(epoch, 315532800))[:6]
    with zipfile.ZipFile(archive + ".part", "w") as output:
        for path in sys.argv[4:]:
            name = os.path.basename(path)
            entry = zipfile.ZipInfo(folder + "/" + name, date_time=date)
            entry.create_system = 3  # Unix, so that the mode below is read
            mode = 0o755 if name.lower().endswith(".exe") else 0o644
            entry.external_attr = (0o100000 | mode) << 16
            entry.compress_type = zipfile.ZIP_DEFLATED
            with open(path, "rb") as source:
                output.writestr(entry, source.read())
    os.replace(archive + ".part", archive)
    with open(archive, "rb") as written:
        digest = hashlib.sha256(written.read()).hexdigest()
    with open(archive + ".sha256", "w", encoding="ascii") as checksum:
        checksum.write("%s  %s\n" % (digest, os.path.basename(archive)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
