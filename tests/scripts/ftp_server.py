#!/usr/bin/python3
"""A throw-away FTP server on 127.0.0.1 for the tests and the benchmark.

Listens on --port, or a free port without it, prints the port as the first line of its output,
then serves until it is killed or its standard input closes. pyftpdlib binds with SO_REUSEADDR, so
a server started again on the port of one just killed can take it.
--users is a JSON list of {"name", "password", "perm", "home"} (perm: pyftpdlib's letters).
--stall NAME leaves unanswered every command whose argument ends in NAME, so that a client's
stall time-out can be seen.
--drop NAME closes the control connection on a command whose argument ends in NAME.
--refuse PREFIX refuses STOR, RNTO and DELE of a file whose name starts with PREFIX.
--delay SECONDS holds back the reply to MKD and the closing reply of each upload.
--throttle BYTES reads uploads at about this many bytes a second.
With --delay, --throttle or --latency each connection has a thread of its own, so that a held
reply or a slow upload holds only its own connection.
--no-rename-over refuses RNTO onto an existing file, as some servers do.
--tls-cert FILE --tls-key FILE (PEM) make it an FTPS server (explicit TLS, "AUTH TLS") that
requires TLS on both the control and the data connections. Without them AUTH is not understood.
--log FILE appends "password" to FILE on every PASS command as it arrives, and "login NAME" on
every successful login, before its reply.
--latency MS holds every reply on a connection that long before it is sent, a stand-in for a
link's round trip (a reply of several lines is held once, before its first line; the 150 and 226
of a transfer are two replies). Each connection has a thread of its own, so a held reply holds
only its connection; its data connection waits with it. Connecting, the TLS handshakes and the
data connections' bytes are not held.
--commands FILE appends "<connection> <VERB> <argument>" to FILE for every command as it
arrives, before anything else looks at it (PASS's argument is written as "****"); connections
are numbered from 1 in the order they are accepted.
--no-mlsd: MLSD and MLST are not understood (500) and FEAT does not offer them, as on old
servers; SIZE and MDTM still work.
--bare-listing: MLSD and MLST give the type and name facts only (no size, no modify), and SIZE
and MDTM are not understood (500).
MFMT (pyftpdlib's own, permission letter "T") sets a file's modification time.
--max-logins N lets at most N sessions be logged in at once; the login after them is refused as
--refuse-login-with says: "421" (a 421 reply, then the connection is closed), "530" (a 530 reply;
the connection stays, not logged in) or "close" (the connection is closed without a reply).
--silent-data answers EPSV and PASV but never serves the data connection: the client's connect
succeeds, nothing is read from it and no transfer on it ends, while the control connection goes
on answering.
--answer-closed-data answers a data connection that closes before a transfer on it began with
"426 Data connection closed." on the control connection, as pyftpdlib answers one closed during
its TLS handshake (with a 226) after it refused the transfer.
"""

import argparse
import errno
import json
import logging
import os
import re
import socket
import stat
import sys
import threading
import time

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.filesystems import AbstractedFS
from pyftpdlib.handlers import FTPHandler, PassiveDTP, TLS_DTPHandler, TLS_FTPHandler
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


class SharedProcessFS(AbstractedFS):
    """pyftpdlib's file system, but CWD leaves the process's working folder alone. pyftpdlib
    tries a folder by changing into it and back, while it answers; connections in threads of
    their own would then leave the process in another's folder, and once that folder is removed
    no CWD works any more."""

    def chdir(self, path):
        if not stat.S_ISDIR(os.stat(path).st_mode):
            raise NotADirectoryError(errno.ENOTDIR, os.strerror(errno.ENOTDIR), path)
        if not os.access(path, os.X_OK):
            raise PermissionError(errno.EACCES, os.strerror(errno.EACCES), path)
        self.cwd = self.fs2ftp(path)


# The last line of a reply: three digits and a blank.
FINAL_LINE = re.compile(r"(^|\n)\d{3} [^\n]*\r\n$")


class Shared:
    """What every connection's thread counts together."""

    def __init__(self, args):
        self.args = args
        self.lock = threading.Lock()
        self.connections = 0
        self.logged_in = 0

    def next_connection(self):
        with self.lock:
            self.connections += 1
            return self.connections

    def write(self, path, line):
        if path:
            with self.lock, open(path, "a", encoding="utf8") as file:
                file.write(line + "\n")

    def take_login(self):
        """True when one more session may be logged in, and then it is counted."""
        with self.lock:
            if self.logged_in >= self.args.max_logins:
                return False
            self.logged_in += 1
            return True

    def give_login_back(self):
        with self.lock:
            self.logged_in -= 1


class SilentPassiveDTP(PassiveDTP):
    """A passive data listener that takes the client's connection and then does nothing with
    it: no transfer starts or ends on it, and it never times out."""

    timeout = None

    def handle_accepted(self, sock, addr):
        # Kept open, unread, until the control connection goes.
        self.cmd_channel.silent_sockets.append(sock)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--users", required=True)
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--stall", default="")
    parser.add_argument("--drop", default="")
    parser.add_argument("--refuse", default="")
    parser.add_argument("--delay", type=float, default=0.0)
    parser.add_argument("--throttle", type=int, default=0)
    parser.add_argument("--no-rename-over", action="store_true")
    parser.add_argument("--tls-cert", default="")
    parser.add_argument("--tls-key", default="")
    parser.add_argument("--log", default="")
    parser.add_argument("--latency", type=int, default=0)
    parser.add_argument("--commands", default="")
    parser.add_argument("--no-mlsd", action="store_true")
    parser.add_argument("--bare-listing", action="store_true")
    parser.add_argument("--max-logins", type=int, default=0)
    parser.add_argument("--refuse-login-with", choices=("421", "530", "close"), default="530")
    parser.add_argument("--silent-data", action="store_true")
    parser.add_argument("--answer-closed-data", action="store_true")
    args = parser.parse_args()
    tls = bool(args.tls_cert)
    shared = Shared(args)

    def log(line):
        shared.write(args.log, line)

    authorizer = DummyAuthorizer()
    for user in json.loads(args.users):
        authorizer.add_user(user["name"], user["password"], user["home"], perm=user["perm"])

    # The reply of each command that --delay holds back.
    delayed = {"MKD": "257", "STOR": "226"}

    base = TLS_FTPHandler if tls else FTPHandler
    # Commands this server does not understand at all.
    missing = set()
    if args.no_mlsd:
        missing |= {"MLSD", "MLST"}
    if args.bare_listing:
        missing |= {"SIZE", "MDTM"}

    class Handler(base):
        current = ""
        proto_cmds = {cmd: info for cmd, info in base.proto_cmds.items() if cmd not in missing}

        def __init__(self, conn, server, ioloop=None):
            self.number = shared.next_connection()
            # Whether this session holds one of the --max-logins places.
            self.counted = False
            # Whether part of a reply has gone out and its last line has not.
            self.reply_open = False
            self.silent_sockets = []
            super().__init__(conn, server, ioloop)
            if args.bare_listing:
                self._current_facts = ["type"]
                self._available_facts = ["type"]

        def pre_process_command(self, line, cmd, arg):
            shown = "****" if cmd == "PASS" else arg
            words = [str(self.number), cmd] + ([shown] if shown else [])
            shared.write(args.commands, " ".join(words))
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

        def push(self, s):
            if args.latency and not self.reply_open:
                time.sleep(args.latency / 1000)
            self.reply_open = not FINAL_LINE.search(s)
            super().push(s)

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
            if args.max_logins and not self.counted:
                if not shared.take_login():
                    self.refuse_login()
                    return
                self.counted = True
            # Written before the reply, so that a client that has logged in is counted.
            log("login %s" % self.username)
            super().handle_auth_success(home, password, msg_login)

        def refuse_login(self):
            self.username = ""
            if args.refuse_login_with == "close":
                self.close()
            elif args.refuse_login_with == "421":
                self.respond("421 Too many users are logged in; closing the connection.")
                self.close_when_done()
            else:
                self.respond("530 Too many users are logged in.")

        def close(self):
            if self.counted:
                self.counted = False
                shared.give_login_back()
            for sock in self.silent_sockets:
                sock.close()
            self.silent_sockets = []
            super().close()

    Handler.authorizer = authorizer
    Handler.abstracted_fs = SharedProcessFS
    # A wide range: with few ports, sockets in TIME_WAIT stall new data connections.
    Handler.passive_ports = range(20000, 60000)
    Handler.encoding = "utf8"
    if tls:
        Handler.certfile = args.tls_cert
        Handler.keyfile = args.tls_key or args.tls_cert
        Handler.tls_control_required = True
        Handler.tls_data_required = True
        Handler.dtp_handler = EarlyTlsDataHandler
    if args.silent_data:
        Handler.passive_dtp = SilentPassiveDTP
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
    if args.answer_closed_data:
        class Answering(Handler.dtp_handler):
            def close(self):
                # A transfer, or pyftpdlib's own answer, leaves nothing more to say.
                if (not self._closed and not self._initialized and not self._resp
                        and not self.cmd_channel._closed):
                    self._resp = ("426 Data connection closed.", logging.debug)
                super().close()
        Handler.dtp_handler = Answering

    logging.basicConfig(level=logging.WARNING, stream=sys.stderr)
    threaded = args.delay or args.throttle or args.latency
    server = (ThreadedFTPServer if threaded else FTPServer)(("127.0.0.1", args.port), Handler)
    server.max_cons = 256
    print(server.address[1], flush=True)
    threading.Thread(target=exit_with_parent, daemon=True).start()
    server.serve_forever(handle_exit=True)


if __name__ == "__main__":
    main()
