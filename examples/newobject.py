#!/usr/bin/env python3
"""Makes a new object file set for the dialog program (standard library only):

    python3 examples/newobject.py <objects folder>/<file name> <object name> <first draw group> <count>

writes <file name>.iff holding one object definition ('OBJD' 128, named <object name>): an
object that stands alone, whose draw groups are <first draw group> .. <first draw group> +
<count> - 1, and an empty <file name>.spf beside it, which the build fills with the sprites,
palettes and draw groups. The object's GUID is made from its name, so give every object its
own name. An existing .iff is left as it is (exit code 1); an existing .spf is kept.
"""
import os
import struct
import sys
import zlib

# The 64-byte file header of an IFF 2.5 file: its signature, then the offset of a saved map
# (0: none, the file is read record by record).
FILE_HEADER = b"IFF FILE 2.5:TYPE FOLLOWED BY SIZE\0 PELOR VANTRICK & KOBRU 1" + bytes(4)
RECORD_HEADER_SIZE = 76
NATIVE_ORDER = 0x10  # the record's data are little-endian
DEFINITION_ID = 128
VERSION = 138


def definition(first_draw_group, count, guid):
    """The 108 little-endian 16-bit words of an object definition."""
    words = [0] * 108
    words[0], words[1] = VERSION & 0xFFFF, VERSION >> 16
    words[3], words[4] = first_draw_group, count
    words[10], words[11] = 0, 0  # stands alone: no master object, no part index
    words[14], words[15] = guid & 0xFFFF, guid >> 16
    return struct.pack("<108H", *words)


def record(kind, rid, name, data):
    """One record: type, size (header included), id, flags and a 64-byte name, big-endian."""
    encoded = name.encode("latin-1")[:63]
    header = kind + struct.pack(">IhH", RECORD_HEADER_SIZE + len(data), rid, NATIVE_ORDER)
    return header + encoded + bytes(64 - len(encoded)) + data


def main(args):
    if len(args) != 4:
        sys.stderr.write(__doc__)
        return 2
    base, name, first, count = args[0], args[1], int(args[2]), int(args[3])
    if not 1 <= first <= 32767 or not 1 <= count or first + count - 1 > 32767:
        sys.stderr.write("draw groups out of range: %d, %d\n" % (first, count))
        return 2
    if os.path.exists(base + ".iff"):
        sys.stderr.write("%s.iff exists: it is left as it is\n" % base)
        return 1
    guid = zlib.crc32(name.encode("utf-8")) or 1
    with open(base + ".iff", "wb") as out:
        out.write(FILE_HEADER + record(b"OBJD", DEFINITION_ID, name, definition(first, count, guid)))
    if not os.path.exists(base + ".spf"):
        with open(base + ".spf", "wb") as out:
            out.write(FILE_HEADER)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
