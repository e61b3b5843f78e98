#!/usr/bin/python3
"""Independent encoder of the global settings record, for the tests.

Usage: settings_codec.py VALUES.json RECORD.bin ENDS.txt

VALUES.json holds the fields by name; strings are given as hex of their bytes so that any byte
survives the trip. RECORD.bin receives the record; ENDS.txt one line "<field> <end offset>" per
field in record order (the reserved words are Reserved0..7, then AccountCount, Account0..).
"""

import json
import struct
import sys

# (name, kind) in record order. Kinds: b Boolean, i int32, s string, u unsigned byte.
FIELDS = [
    ("AutoStart", "b"),
    ("ShowSplash", "b"),
    ("ShowWizardAtStart", "b"),
    ("StartDelayMinutes", "i"),
    ("PriorityIndex", "i"),
    ("TempFolder", "s"),
    ("NetworkTimeoutSec", "i"),
    ("AutoRetry", "b"),
    ("UnlimitedRetries", "b"),
    ("RetryCount", "i"),
    ("ReconnectDelaySec", "i"),
    ("AutoShowConsole", "b"),
    ("ConsoleOnTop", "b"),
    ("LogFontHeight", "i"),
    ("LogFontName", "s"),
    ("LogFontSize", "i"),
    ("LogFontStyle", "u"),
    ("LogFontCharset", "u"),
    ("LogFontColor", "i"),
    ("LogFontPitch", "u"),
]

ACCOUNT_FIELDS = [
    ("Caption", "s"),
    ("SMTPServer", "s"),
    ("Port", "i"),
    ("Authenticate", "b"),
    ("UserName", "s"),
    ("Password", "s"),
    ("From", "s"),
    ("To", "s"),
    ("Subject", "s"),
    ("Body", "s"),
]


def encode(kind, value):
    if kind == "b":
        return struct.pack("<B", 1 if value else 0)
    if kind == "u":
        return struct.pack("<B", value)
    if kind == "i":
        return struct.pack("<i", value)
    if kind == "s":
        raw = bytes.fromhex(value)
        return struct.pack("<i", len(raw)) + raw
    raise ValueError(kind)


def main():
    values_path, record_path, ends_path = sys.argv[1:4]
    with open(values_path, encoding="ascii") as f:
        values = json.load(f)

    record = bytearray()
    ends = []
    for name, kind in FIELDS:
        record += encode(kind, values[name])
        ends.append((name, len(record)))
    reserved = values["Reserved"]
    assert len(reserved) == 8
    for i, word in enumerate(reserved):
        record += struct.pack("<i", word)
        ends.append(("Reserved%d" % i, len(record)))
    accounts = values["Accounts"]
    record += struct.pack("<i", len(accounts))
    ends.append(("AccountCount", len(record)))
    for i, account in enumerate(accounts):
        for name, kind in ACCOUNT_FIELDS:
            record += encode(kind, account[name])
        ends.append(("Account%d" % i, len(record)))

    with open(record_path, "wb") as f:
        f.write(record)
    with open(ends_path, "w", encoding="ascii") as f:
        for name, end in ends:
            f.write("%s %d\n" % (name, end))


if __name__ == "__main__":
    main()
