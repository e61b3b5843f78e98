#!/usr/bin/python3
"""Independent encoder of the schedule record "userdata", for the tests.

Usage: schedule_codec.py LIBRARY VALUES.json RECORD.bin

LIBRARY is the helper library whose Fun1 scrambles the texts (called through ctypes). VALUES.json
holds the fields by name; texts are given as hex of their bytes so that any byte survives.
RECORD.bin receives the record.
"""

import ctypes
import json
import struct
import sys

INTS = ["StopAfterTimes", "Kind", "EveryDays", "EveryHours", "EveryMinutes",
        "AtHour", "AtMinute", "AtSecond"]


def main():
    library_path, values_path, record_path = sys.argv[1:4]
    library = ctypes.CDLL(library_path)
    library.Fun1.argtypes = [ctypes.c_char_p, ctypes.c_char_p]
    library.Fun1.restype = ctypes.c_char_p  # copied into bytes at once

    def fun1(key, text):
        return library.Fun1(key, text)

    with open(values_path, encoding="ascii") as f:
        values = json.load(f)
    text = {k: bytes.fromhex(values[k]) for k in ("ID", "Project", "Password", "RunAsAccount")}

    def secret(value):
        if not value:
            return b""
        return fun1(text["ID"], fun1(text["Project"], value))

    a = fun1(b"MORL_VEQ", text["Project"])
    b = secret(text["Password"])  # the password comes before the account
    c = secret(text["RunAsAccount"])
    record = bytearray()
    for t in (a, b, c):
        record += struct.pack("<i", len(t)) + t
    for name in INTS:
        record += struct.pack("<i", values[name])
    record += struct.pack("<d", values["LastRun"])
    record += struct.pack("<i", values["Enabled"])
    assert len(record) == 12 + len(a) + len(b) + len(c) + 44
    with open(record_path, "wb") as f:
        f.write(record)


if __name__ == "__main__":
    main()
