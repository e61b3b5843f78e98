"""FTP server for the tests: users with their own home folders, optional upload throttling.

Prints "PORT <n>" once it listens on 127.0.0.1 (port 0 picks a free one).
"""
import argparse
import logging
import os
import sys

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler, ThrottledDTPHandler
from pyftpdlib.servers import FTPServer


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--home", required=True)
    parser.add_argument("--port", type=int, default=0)
    # name:password:permissions[:folder below --home]
    parser.add_argument("--user", action="append", default=[])
    # Bytes per second accepted on uploads; 0 is unlimited.
    parser.add_argument("--throttle", type=int, default=0)
    args = parser.parse_args()

    logging.basicConfig(level=logging.WARNING, stream=sys.stderr)
    authorizer = DummyAuthorizer()
    for spec in args.user:
        name, password, perm, *rest = spec.split(":")
        home = os.path.join(args.home, rest[0]) if rest else args.home
        os.makedirs(home, exist_ok=True)
        authorizer.add_user(name, password, home, perm=perm)

    handler = type("Handler", (FTPHandler,), {})
    handler.authorizer = authorizer
    handler.auth_failed_timeout = 0.1  # the tests refuse log-ins on purpose
    if args.throttle:
        dtp = type("Dtp", (ThrottledDTPHandler,), {})
        dtp.read_limit = args.throttle
        dtp.auto_sized_buffers = True
        handler.dtp_handler = dtp

    server = FTPServer(("127.0.0.1", args.port), handler)
    print("PORT %d" % server.socket.getsockname()[1], flush=True)
    server.serve_forever(handle_exit=False)


if __name__ == "__main__":
    main()
