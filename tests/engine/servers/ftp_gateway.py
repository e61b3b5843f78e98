"""FTP gateway for the tests: takes the proxy log-in sequences, then relays the control
connection to the chosen site and records every command line the client sent.

Modes:
  gateway      USER user@site, SITE site, OPEN site, with an optional proxy log-in
               (USER/PASS first, or combined as USER user@proxyuser@site, PASS pass@proxypass)
  transparent  relays at once to --upstream
  stall        accepts and never answers
  long-line    answers with one endless line
  garbage      answers with a line that is no reply
  bad-pasv     takes any log-in and folder, then answers PASV with a bare "227"

Prints "PORT <n>" once it listens on 127.0.0.1. Data connections go straight to the site.
"""
import argparse
import socket
import sys
import threading

GREETING = b"220-Test gateway\r\n220-Proxy log-in first\r\n220 Ready\r\n"


class Recorder:
    def __init__(self, path):
        self.path = path
        self.lock = threading.Lock()

    def add(self, line):
        if not self.path:
            return
        with self.lock, open(self.path, "a", encoding="utf-8", newline="") as f:
            f.write(line + "\n")


def read_reply(f):
    """One complete reply (all lines) as bytes; b"" at end of stream."""
    lines = []
    first = f.readline()
    if not first:
        return b""
    lines.append(first)
    if len(first) >= 4 and first[3:4] == b"-":
        code = first[:3]
        while True:
            line = f.readline()
            if not line:
                break
            lines.append(line)
            if line[:3] == code and line[3:4] == b" ":
                break
    return b"".join(lines)


def connect_site(site):
    host, _, port = site.partition(":")
    up = socket.create_connection((host, int(port) if port else 21), timeout=10)
    up.settimeout(None)
    return up, up.makefile("rb")


def relay(client, cfile, up, upfile, recorder):
    def downstream():
        try:
            while True:
                data = upfile.read1(65536)
                if not data:
                    break
                client.sendall(data)
        except OSError:
            pass
        finally:
            try:
                client.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass

    t = threading.Thread(target=downstream, daemon=True)
    t.start()
    try:
        while True:
            line = cfile.readline()
            if not line:
                break
            recorder.add(line.decode("utf-8", "replace").rstrip("\r\n"))
            up.sendall(line)
    except OSError:
        pass
    finally:
        try:
            up.shutdown(socket.SHUT_RDWR)
        except OSError:
            pass
    t.join()


def serve_gateway(client, args, recorder):
    cfile = client.makefile("rb")
    client.sendall(GREETING)
    need_proxy = args.proxy_user is not None
    authed = not need_proxy
    pending_proxy_user = None
    combined = None  # (up, upfile, proxy user) while a combined log-in waits for PASS

    def send(text):
        client.sendall(text.encode() + b"\r\n")

    while True:
        raw = cfile.readline()
        if not raw:
            return
        line = raw.decode("utf-8", "replace").rstrip("\r\n")
        recorder.add(line)
        verb, _, arg = line.partition(" ")
        verb = verb.upper()
        if verb == "QUIT":
            send("221 Bye")
            return
        if verb == "USER" and "@" in arg and combined is None:
            rest, site = arg.rsplit("@", 1)
            proxy_user = None
            if not authed:
                if "@" not in rest:
                    send("530 Proxy log-in required")
                    continue
                rest, proxy_user = rest.rsplit("@", 1)
            try:
                up, upfile = connect_site(site)
            except OSError as e:
                send("421 Cannot reach %s: %s" % (site, e))
                continue
            read_reply(upfile)
            up.sendall(("USER %s\r\n" % rest).encode())
            reply = read_reply(upfile)
            if proxy_user is None:
                client.sendall(reply)
                relay(client, cfile, up, upfile, recorder)
                return
            combined = (up, upfile, proxy_user)
            client.sendall(reply)
            continue
        if verb == "PASS" and combined is not None:
            up, upfile, proxy_user = combined
            ftp_pass, _, proxy_pass = arg.rpartition("@")
            if (proxy_user, proxy_pass) != (args.proxy_user, args.proxy_pass):
                up.close()
                send("530 Proxy log-in incorrect")
                return
            up.sendall(("PASS %s\r\n" % ftp_pass).encode())
            client.sendall(read_reply(upfile))
            relay(client, cfile, up, upfile, recorder)
            return
        if verb == "USER" and not authed:
            pending_proxy_user = arg
            send("331 Proxy password required")
            continue
        if verb == "PASS" and not authed and pending_proxy_user is not None:
            if (pending_proxy_user, arg) == (args.proxy_user, args.proxy_pass):
                authed = True
                send("230 Proxy log-in accepted")
            else:
                send("530 Proxy log-in incorrect")
            continue
        if verb in ("SITE", "OPEN") and authed:
            try:
                up, upfile = connect_site(arg)
            except OSError as e:
                send("421 Cannot reach %s: %s" % (arg, e))
                continue
            client.sendall(read_reply(upfile))
            relay(client, cfile, up, upfile, recorder)
            return
        send("530 Log in to the gateway first")


def serve(client, args, recorder):
    try:
        if args.mode == "gateway":
            serve_gateway(client, args, recorder)
        elif args.mode == "transparent":
            up, upfile = connect_site(args.upstream)
            relay(client, client.makefile("rb"), up, upfile, recorder)
        elif args.mode == "stall":
            client.recv(1 << 16)
            threading.Event().wait()
        elif args.mode == "long-line":
            chunk = b"2" * 65536
            while True:
                client.sendall(chunk)
        elif args.mode == "garbage":
            client.sendall(b"hello there\r\n")
            threading.Event().wait()
        elif args.mode == "bad-pasv":
            client.sendall(b"220 Ready\r\n")
            answers = {"USER": b"230 Logged in", "PASS": b"230 Logged in", "CWD": b"250 Done",
                       "TYPE": b"200 Type set", "PASV": b"227"}
            for line in client.makefile("rb"):
                verb = line.decode("latin-1").split(" ", 1)[0].strip().upper()
                client.sendall(answers.get(verb, b"200 OK") + b"\r\n")
    except OSError:
        pass
    finally:
        client.close()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--mode", default="gateway",
                        choices=["gateway", "transparent", "stall", "long-line", "garbage",
                                 "bad-pasv"])
    parser.add_argument("--record", default="")
    parser.add_argument("--proxy-user")
    parser.add_argument("--proxy-pass", default="")
    parser.add_argument("--upstream", default="")
    args = parser.parse_args()

    recorder = Recorder(args.record)
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", 0))
    listener.listen(16)
    print("PORT %d" % listener.getsockname()[1], flush=True)
    while True:
        client, _ = listener.accept()
        threading.Thread(target=serve, args=(client, args, recorder), daemon=True).start()


if __name__ == "__main__":
    sys.exit(main())
