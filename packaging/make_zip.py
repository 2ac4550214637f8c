#!/usr/bin/env python3
"""Writes the Windows release zip: the same bytes from the same files, on any machine.

Usage: make_zip.py OUT.zip EPOCH NAME=FILE...

Entries are stored in the order given by their names, every one dated EPOCH (seconds since
1970, UTC, as in SOURCE_DATE_EPOCH), with fixed attributes. A name that ends in .txt is a text
for Windows: its lines get CR LF ends, and it starts with a UTF-8 byte-order mark, so that
Notepad reads it as UTF-8 on any Windows.

Names outside ASCII are stored in GBK, the code page of Simplified Chinese Windows, whose
Explorer (7 and later) reads names that way; an Info-ZIP Unicode Path field carries the UTF-8
name for the unpackers that read it (7-Zip, Info-ZIP unzip, libarchive).
"""

import struct
import sys
import time
import zipfile
import zlib

UTF8_NAME_FLAG = 0x800
UNICODE_PATH_FIELD = 0x7075


class ChineseWindowsName(zipfile.ZipInfo):
    def _encodeFilenameFlags(self):
        return self.filename.encode("gbk"), self.flag_bits & ~UTF8_NAME_FLAG


def WindowsText(data):
    text = data.decode("utf-8").lstrip("\ufeff")
    text = text.replace("\r\n", "\n").replace("\r", "\n").replace("\n", "\r\n")
    return b"\xef\xbb\xbf" + text.encode("utf-8")


def Entry(name, data, date_time):
    ascii_name = name.isascii()
    info = zipfile.ZipInfo(name, date_time) if ascii_name else ChineseWindowsName(name, date_time)
    if not ascii_name:
        utf8 = name.encode("utf-8")
        crc = zlib.crc32(name.encode("gbk"))
        info.extra = struct.pack("<HHBI", UNICODE_PATH_FIELD, 5 + len(utf8), 1, crc) + utf8
    info.create_system = 3  # Unix, so that the modes below hold where they mean something
    info.external_attr = (0o100755 if name.endswith(".exe") else 0o100644) << 16
    info.compress_type = zipfile.ZIP_DEFLATED
    return info


def main(argv):
    if len(argv) < 4 or any("=" not in a for a in argv[3:]):
        raise SystemExit(__doc__)
    out, epoch = argv[1], int(argv[2])
    date_time = time.gmtime(max(epoch, 315532800))[:6]  # a zip cannot date before 1980
    entries = sorted(a.split("=", 1) for a in argv[3:])
    with zipfile.ZipFile(out, "w", compresslevel=9) as archive:
        for name, path in entries:
            with open(path, "rb") as f:
                data = f.read()
            if name.endswith(".txt"):
                data = WindowsText(data)
            archive.writestr(Entry(name, data, date_time), data)


if __name__ == "__main__":
    main(sys.argv)
