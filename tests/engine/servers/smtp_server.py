"""SMTP server for the tests: records each message (envelope, authentication, decoded
headers and body, raw bytes) as one JSON file in --out.

Prints "PORT <n>" once it listens on 127.0.0.1. With --user/--password it offers AUTH
(LOGIN and PLAIN) over the plain connection; --auth-required refuses mail without it.
"""
import argparse
import asyncio
import base64
import email
import email.policy
import itertools
import json
import logging
import os
import sys
import warnings

from aiosmtpd.smtp import SMTP, AuthResult, LoginPassword


class Handler:
    def __init__(self, out):
        self.out = out
        self.counter = itertools.count(1)

    async def handle_DATA(self, server, session, envelope):
        raw = envelope.original_content or b""
        message = email.message_from_bytes(raw, policy=email.policy.default)
        body_part = message.get_body(("plain",)) or message
        record = {
            "mail_from": envelope.mail_from,
            "rcpt_tos": list(envelope.rcpt_tos),
            "authenticated": bool(session.authenticated),
            "mechanism": getattr(session, "qv_mechanism", ""),
            "login": getattr(session, "qv_login", ""),
            "headers": {name: str(value) for name, value in message.items()},
            "raw_headers": {name: value for name, value in
                            email.message_from_bytes(raw, policy=email.policy.compat32).items()},
            "content_type": message.get_content_type(),
            "charset": message.get_content_charset() or "",
            "body": body_part.get_content(),
            # Line breaks on the wire that are not CR LF.
            "bare_line_breaks": raw.replace(b"\r\n", b"").count(b"\r") +
                                raw.replace(b"\r\n", b"").count(b"\n"),
            "raw": base64.b64encode(raw).decode("ascii"),
        }
        path = os.path.join(self.out, "message-%03d.json" % next(self.counter))
        with open(path + ".part", "w", encoding="utf-8") as f:
            json.dump(record, f, ensure_ascii=True)
        os.rename(path + ".part", path)
        return "250 Message accepted"


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--out", required=True)
    parser.add_argument("--user")
    parser.add_argument("--password", default="")
    parser.add_argument("--auth-required", action="store_true")
    args = parser.parse_args()
    logging.basicConfig(level=logging.WARNING, stream=sys.stderr)
    logging.getLogger("mail.log").setLevel(logging.ERROR)
    # AUTH without TLS is what the tests want; loopback only.
    warnings.filterwarnings("ignore", message="Requiring AUTH while not requiring TLS")

    def authenticator(server, session, envelope, mechanism, auth_data):
        ok = isinstance(auth_data, LoginPassword) and \
            auth_data.login.decode() == args.user and auth_data.password.decode() == args.password
        if ok:
            session.qv_mechanism = mechanism
            session.qv_login = auth_data.login.decode()
        return AuthResult(success=ok, handled=False)

    handler = Handler(args.out)

    def factory():
        return SMTP(handler, hostname="qvtest.invalid",
                    authenticator=authenticator if args.user else None,
                    auth_required=args.auth_required, auth_require_tls=False)

    loop = asyncio.new_event_loop()
    server = loop.run_until_complete(loop.create_server(factory, "127.0.0.1", 0))
    print("PORT %d" % server.sockets[0].getsockname()[1], flush=True)
    loop.run_forever()


if __name__ == "__main__":
    main()
