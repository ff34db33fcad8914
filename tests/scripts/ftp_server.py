#!/usr/bin/python3
"""A throw-away FTP server on 127.0.0.1 for the tests and the benchmark.

Picks a free port, prints it as the first line of its output, then serves until it is killed or its standard input closes.
--users is a JSON list of {"name", "password", "perm", "home"} (perm: pyftpdlib's letters).
--stall NAME leaves unanswered every command whose argument ends in NAME, so that a client's
stall time-out can be seen.
--drop NAME closes the control connection on a command whose argument ends in NAME.
--refuse PREFIX refuses STOR, RNTO and DELE of a file whose name starts with PREFIX.
--delay SECONDS holds back the reply to MKD and the closing reply of each upload.
--throttle BYTES reads uploads at about this many bytes a second.
With --delay or --throttle each connection has a thread of its own, so that a held reply or a
slow upload holds only its own connection.
--no-rename-over refuses RNTO onto an existing file, as some servers do.
--tls-cert FILE --tls-key FILE (PEM) make it an FTPS server (explicit TLS, "AUTH TLS") that
requires TLS on both the control and the data connections. Without them AUTH is not understood.
--log FILE appends "password" to FILE on every PASS command as it arrives, and "login NAME" on
every successful login, before its reply.
"""

import argparse
import json
import logging
import os
import socket
import sys
import threading
import time

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler, TLS_DTPHandler, TLS_FTPHandler
from pyftpdlib.servers import FTPServer, ThreadedFTPServer


def exit_with_parent():
    """Ends the server when the process that started it goes, however it goes: its end of
    our standard input closes then."""
    sys.stdin.read()
    os._exit(0)


class EarlyTlsDataHandler(TLS_DTPHandler):
    """A TLS data connection that may start its handshake before the transfer command.

    libcurl opens the data connection and starts TLS on it before it sends STOR. Until a
    transfer is set up, DTPHandler.readable() takes any readable event as the client hanging up
    and closes the connection, and the handshake's first bytes are such an event."""

    def readable(self):
        return self._ssl_accepting or super().readable()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--users", required=True)
    parser.add_argument("--stall", default="")
    parser.add_argument("--drop", default="")
    parser.add_argument("--refuse", default="")
    parser.add_argument("--delay", type=float, default=0.0)
    parser.add_argument("--throttle", type=int, default=0)
    parser.add_argument("--no-rename-over", action="store_true")
    parser.add_argument("--tls-cert", default="")
    parser.add_argument("--tls-key", default="")
    parser.add_argument("--log", default="")
    args = parser.parse_args()
    tls = bool(args.tls_cert)

    def log(line):
        if args.log:
            with open(args.log, "a", encoding="utf8") as file:
                file.write(line + "\n")

    authorizer = DummyAuthorizer()
    for user in json.loads(args.users):
        authorizer.add_user(user["name"], user["password"], user["home"], perm=user["perm"])

    # The reply of each command that --delay holds back.
    delayed = {"MKD": "257", "STOR": "226"}

    class Handler(TLS_FTPHandler if tls else FTPHandler):
        current = ""

        def pre_process_command(self, line, cmd, arg):
            self.current = cmd
            if cmd == "PASS":
                # Counted as it arrives, even when refused, so that a test sees a password that
                # was sent without TLS.
                log("password")
            if args.stall and arg and arg.endswith(args.stall):
                return
            if args.drop and arg and arg.endswith(args.drop):
                self.close()
                return
            if (args.refuse and cmd in ("STOR", "RNTO", "DELE") and arg
                    and os.path.basename(arg).startswith(args.refuse)):
                self.respond("550 Refused.")
                return
            super().pre_process_command(line, cmd, arg)

        def respond(self, resp, logfun=logging.debug):
            if args.delay and resp.startswith(delayed.get(self.current, "-")):
                time.sleep(args.delay)
            super().respond(resp, logfun)

        def ftp_RNTO(self, path):
            if args.no_rename_over and os.path.exists(path):
                self._rnfr = None
                self.respond("553 Destination exists.")
                return None
            return super().ftp_RNTO(path)

        def handle_auth_success(self, home, password, msg_login):
            # Written before the reply, so that a client that has logged in is counted.
            log("login %s" % self.username)
            super().handle_auth_success(home, password, msg_login)

    Handler.authorizer = authorizer
    # A wide range: with few ports, sockets in TIME_WAIT stall new data connections.
    Handler.passive_ports = range(20000, 60000)
    Handler.encoding = "utf8"
    if tls:
        Handler.certfile = args.tls_cert
        Handler.keyfile = args.tls_key or args.tls_cert
        Handler.tls_control_required = True
        Handler.tls_data_required = True
        Handler.dtp_handler = EarlyTlsDataHandler
    if args.throttle:
        class Throttled(Handler.dtp_handler):
            def __init__(self, sock, cmd_channel):
                # A small window, as over a slow line: the client's sent bytes then follow
                # what this side takes rather than fill a large buffer at once.
                sock.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 64 * 1024)
                super().__init__(sock, cmd_channel)

            def use_sendfile(self):
                return False

            def recv(self, buffer_size):
                # Small pieces at an even pace; the connection has a thread of its own.
                chunk = super().recv(min(buffer_size, 8192))
                time.sleep(len(chunk) / args.throttle)
                return chunk
        Handler.dtp_handler = Throttled

    logging.basicConfig(level=logging.WARNING, stream=sys.stderr)
    threaded = args.delay or args.throttle
    server = (ThreadedFTPServer if threaded else FTPServer)(("127.0.0.1", 0), Handler)
    server.max_cons = 256
    print(server.address[1], flush=True)
    threading.Thread(target=exit_with_parent, daemon=True).start()
    server.serve_forever(handle_exit=True)


if __name__ == "__main__":
    main()
