#!/usr/bin/python3
"""Independent encoder and decoder of the ".bpj" project stream, written from the record layout.

  bpj_codec.py encode DESC.json OUT.bpj   write the bytes of a JSON field description
  bpj_codec.py decode IN.bpj              print the fields as JSON
  bpj_codec.py offsets IN.bpj             print the start offset of every field, list item and
                                          snapshot entry as JSON
  bpj_codec.py check IN.bpj DESC.json     exit 0 when IN.bpj decodes to the description

A description holds every field by name; strings are text (written as UTF-8), Booleans true or
false, date-times numbers, "Reserved" eight integers, each item list a list of
{"name", "kind", "included"} (items not included are not written) and "Snapshot"
{"reserved", "entries": [{"path", "time", "run"}]}.
"""

import json
import struct
import sys

# (name, kind): s string, i int32, b Boolean, d date-time.
SCALARS = [
    ("Name", "s"), ("RunCounter", "i"), ("DestinationType", "i"), ("DestinationFile", "s"),
    ("WriterPort", "i"), ("WriterBus", "i"), ("WriterTargetID", "i"), ("WriterLUN", "i"),
    ("SpeedIndex", "i"), ("EraseDisc", "b"), ("FtpHost", "s"), ("FtpPort", "i"),
    ("FtpUser", "s"), ("FtpPassword", "s"), ("FtpPassive", "b"), ("UseProxy", "b"),
    ("ProxyType", "i"), ("ProxyHost", "s"), ("ProxyPort", "i"), ("ProxyAuth", "b"),
    ("ProxyUser", "s"), ("ProxyPassword", "s"), ("BackupMode", "i"), ("Compress", "b"),
    ("CompressionLevel", "i"), ("Split", "b"), ("SplitSizeIndex", "i"),
    ("DeleteAfterBackup", "b"), ("OverwriteMode", "i"), ("UsePassword", "b"), ("Password", "s"),
    ("RunBefore", "b"), ("RunBeforeCmd", "s"), ("RunBeforeWait", "b"), ("RunAfter", "b"),
    ("RunAfterCmd", "s"), ("RunAfterWait", "b"), ("SendMail", "b"), ("MailCondition", "i"),
    ("MailAccountIndex", "i"), ("SmtpHost", "s"), ("SmtpPort", "i"), ("SmtpAuth", "b"),
    ("SmtpUser", "s"), ("SmtpPassword", "s"), ("MailAddress", "s"),
    ("MailExtraRecipients", "s"), ("MailSubject", "s"), ("MailBody", "s"), ("Created", "d"),
    ("LastRun", "d"),
]
LISTS = ["Files", "Folders", "ExcludedPatterns", "ExcludedFolders"]


def enc_string(text):
    data = text.encode("utf-8")
    return struct.pack("<i", len(data)) + data


def encode(desc):
    out = bytearray()
    for name, kind in SCALARS:
        value = desc[name]
        if kind == "s":
            out += enc_string(value)
        elif kind == "i":
            out += struct.pack("<i", value)
        elif kind == "b":
            out += struct.pack("<B", 1 if value else 0)
        else:
            out += struct.pack("<d", value)
    reserved = desc["Reserved"]
    assert len(reserved) == 8
    out += struct.pack("<8i", *reserved)
    for name in LISTS:
        items = [item for item in desc[name] if item.get("included", True)]
        out += struct.pack("<i", len(items))
        for item in items:
            out += enc_string(item["name"]) + struct.pack("<i", item["kind"])
    snap = desc["Snapshot"]
    out += struct.pack("<ii", snap["reserved"], len(snap["entries"]))
    for entry in snap["entries"]:
        out += enc_string(entry["path"]) + struct.pack("<ii", entry["time"], entry["run"])
    return bytes(out)


class Reader:
    def __init__(self, data):
        self.data = data
        self.pos = 0

    def take(self, n):
        if self.pos + n > len(self.data):
            raise ValueError("truncated at %d" % self.pos)
        chunk = self.data[self.pos:self.pos + n]
        self.pos += n
        return chunk

    def int32(self):
        return struct.unpack("<i", self.take(4))[0]

    def string(self):
        n = self.int32()
        if n < 0:
            raise ValueError("negative string length")
        return self.take(n).decode("utf-8")


def decode(data):
    """Returns (description, offsets); raises ValueError for a damaged stream."""
    r = Reader(data)
    desc, offsets = {}, {}
    for name, kind in SCALARS:
        offsets[name] = r.pos
        if kind == "s":
            desc[name] = r.string()
        elif kind == "i":
            desc[name] = r.int32()
        elif kind == "b":
            desc[name] = r.take(1)[0] != 0
        else:
            desc[name] = struct.unpack("<d", r.take(8))[0]
    offsets["Reserved"] = r.pos
    desc["Reserved"] = list(struct.unpack("<8i", r.take(32)))
    for name in LISTS:
        offsets[name] = r.pos
        items = []
        for i in range(r.int32()):
            offsets["%s[%d]" % (name, i)] = r.pos
            item_name = r.string()
            items.append({"name": item_name, "kind": r.int32(), "included": True})
        desc[name] = items
    offsets["Snapshot"] = r.pos
    reserved = r.int32()
    entries = []
    for i in range(r.int32()):
        offsets["Snapshot[%d]" % i] = r.pos
        path = r.string()
        time, run = struct.unpack("<ii", r.take(8))
        entries.append({"path": path, "time": time, "run": run})
    desc["Snapshot"] = {"reserved": reserved, "entries": entries}
    if r.pos != len(data):
        raise ValueError("%d bytes after the snapshot" % (len(data) - r.pos))
    offsets["End"] = r.pos
    return desc, offsets


def normalise(desc):
    """The description as it must decode: items not included are dropped."""
    out = dict(desc)
    for name in LISTS:
        out[name] = [{"name": i["name"], "kind": i["kind"], "included": True}
                     for i in desc[name] if i.get("included", True)]
    return out


def main(argv):
    cmd = argv[1]
    if cmd == "encode":
        with open(argv[2], encoding="utf-8") as f:
            desc = json.load(f)
        with open(argv[3], "wb") as f:
            f.write(encode(desc))
        return 0
    with open(argv[2], "rb") as f:
        data = f.read()
    desc, offsets = decode(data)
    if cmd == "decode":
        json.dump(desc, sys.stdout, ensure_ascii=False)
        return 0
    if cmd == "offsets":
        json.dump(offsets, sys.stdout)
        return 0
    if cmd == "check":
        with open(argv[3], encoding="utf-8") as f:
            want = normalise(json.load(f))
        bad = [k for k in want if want[k] != desc.get(k)]
        for k in bad:
            print("%s: decoded %r, described %r" % (k, desc.get(k), want[k]))
        return 1 if bad else 0
    print("unknown command " + cmd, file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
