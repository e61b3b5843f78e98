"""Walks the UDF tree of an image with pycdlib (which checks every descriptor's tag checksum
and CRC as it parses) and compares each file with the source folder.

Usage: udf_walk.py IMAGE SOURCE [--pure]
  --pure EMPTY_ISO: the image has no ISO9660 descriptors; a copy gets the volume descriptor
  set of EMPTY_ISO (sectors 16-23 of a small ISO9660 image) in front, since pycdlib opens no
  image without one, and its UDF recognition sequence moves to sectors 18-20. pycdlib also
  wants a terminator after the file set descriptor, where a pure image has its root's file
  entry (ECMA-167 ends the sequence with the descriptor's extent): that one read is let pass.
Prints one line per difference; exit status 1 when there is any.
"""
import inspect
import io
import os
import struct
import sys

import pycdlib
import pycdlib.udf


def allow_end_of_file_set_extent():
    parse = pycdlib.udf.UDFTag.parse

    def lenient(self, data, extent):
        parse(self, data, extent)
        caller = inspect.currentframe().f_back.f_code.co_name
        if caller == '_parse_udf_descriptors' and extent == 1 and self.tag_ident == 261:
            self.tag_ident = 8

    pycdlib.udf.UDFTag.parse = lenient


def open_image(path, pure, empty_iso):
    data = bytearray(open(path, 'rb').read())
    if pure:
        allow_end_of_file_set_extent()
        recognition = data[16 * 2048:19 * 2048]
        head = open(empty_iso, 'rb').read()[16 * 2048:24 * 2048]
        data[16 * 2048:24 * 2048] = head
        data[18 * 2048:21 * 2048] = recognition
        sectors = len(data) // 2048
        data[16 * 2048 + 80:16 * 2048 + 88] = struct.pack('<I', sectors) + struct.pack('>I', sectors)
    iso = pycdlib.PyCdlib()
    iso.open_fp(io.BytesIO(bytes(data)))
    return iso


def main():
    image, source = sys.argv[1], sys.argv[2]
    pure = '--pure' in sys.argv
    empty_iso = sys.argv[sys.argv.index('--pure') + 1] if pure else None
    iso = open_image(image, pure, empty_iso)
    seen = set()
    problems = []
    for root, dirs, files in iso.walk(udf_path='/'):
        for d in dirs:
            seen.add(os.path.join(root, d).lstrip('/') + '/')
        for f in files:
            udf = os.path.join(root, f)
            out = io.BytesIO()
            iso.get_file_from_iso_fp(out, udf_path=udf)
            rel = udf.lstrip('/')
            seen.add(rel)
            disk = os.path.join(source, rel)
            if not os.path.isfile(disk):
                problems.append('not in the source: ' + rel)
            elif open(disk, 'rb').read() != out.getvalue():
                problems.append('differs: ' + rel)
    for root, dirs, files in os.walk(source):
        rel = os.path.relpath(root, source)
        for name in files + [d + '/' for d in dirs]:
            path = name if rel == '.' else os.path.join(rel, name)
            if path not in seen:
                problems.append('not in the image: ' + path)
    iso.close()
    for p in problems:
        print(p)
    print('%d entries walked' % len(seen))
    return 1 if problems else 0


if __name__ == '__main__':
    sys.exit(main())
