#!/usr/bin/python3
"""Writes a ".bpj" project file with the program's defaults and the given fields.

  make_project.py OUT.bpj NAME key=value ...

Values: true/false for Booleans, integers for numbers, text otherwise. Folders=A;B and
Files=A;B fill the item lists (internal paths, e.g. Z:\\home\\ann\\data\\).
"""

import os
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "tests", "engine"))
import bpj_codec  # noqa: E402


def defaults(name):
    body = ("====== Quorva Backup Notification ======\r\n"
            "This message has been sent to you automatically by Quorva Backup because an "
            "operation on the item \"[ProjectName]\" has started at [RunTime] and finished "
            "with status \"[ErrorString]\".")
    d = {n: ("" if k == "s" else False if k == "b" else 0) for n, k in bpj_codec.SCALARS}
    d.update(Name=name, FtpPort=21, FtpPassive=True, ProxyPort=21, BackupMode=1, Compress=True,
             SmtpPort=25, MailAddress="backup@localhost",
             MailSubject="Quorva Backup finished with success", MailBody=body,
             Created=time.time() / 86400.0 + 25569.0 - time.timezone / 86400.0, LastRun=0.0,
             Reserved=[0] * 8, Snapshot={"reserved": 0, "entries": []})
    for lst in bpj_codec.LISTS:
        d[lst] = []
    return d


def main(argv):
    out, name = argv[1], argv[2]
    d = defaults(name)
    kinds = dict(bpj_codec.SCALARS)
    for arg in argv[3:]:
        key, _, value = arg.partition("=")
        if key in bpj_codec.LISTS:
            d[key] = [{"name": v, "kind": 0, "included": True} for v in value.split(";") if v]
        elif kinds.get(key) == "b":
            d[key] = value.lower() == "true"
        elif kinds.get(key) == "i":
            d[key] = int(value)
        elif kinds.get(key) == "s":
            d[key] = value
        else:
            sys.exit("unknown field " + key)
    with open(out, "wb") as f:
        f.write(bpj_codec.encode(d))


if __name__ == "__main__":
    main(sys.argv)
