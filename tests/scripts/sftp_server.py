#!/usr/bin/python3
"""A throw-away SFTP server on 127.0.0.1 for the tests, the SSH counterpart of ftp_server.py.

Picks a free port, prints it as the first line of its output, then serves until it is killed or
its standard input closes. Each connection has a thread of its own.
--users is a JSON list of {"name", "password", "perm", "home"}. Users log in with their password
(or keyboard-interactive, the password as the one answer); --auth names the methods offered
(default "password,keyboard-interactive"). Paths are seen from the user's home:
"/" is the home, the realpath of "." is "/", and ".." does not go above it.
perm has pyftpdlib's letters: "e" stat, "l" list a folder, "r" read, "w" write or truncate,
"a" append, "m" mkdir, "M" chmod and chown, "T" set times; removing needs "d" and renaming "f",
each with "w" too. A user with "elr" can only read and list.
As with OpenSSH's sftp-server, a plain SFTP rename onto an existing file fails.
--host-key FILE is an OpenSSH private key (ed25519, ECDSA or RSA) without a passphrase; given again
with a key of another type, the server has both and offers each.
--stall NAME leaves unanswered every request whose path ends in NAME, and the login of a user
whose name ends in NAME; the session hangs there.
--drop NAME closes the connection on a request whose path ends in NAME.
--refuse PREFIX refuses opening for writing, renaming onto and removing a file whose name starts
with PREFIX.
--delay SECONDS holds back the reply to mkdir and to the close of a file opened for writing.
--throttle BYTES takes writes at about this many bytes a second.
--log FILE appends "password" to FILE on every password the client sends, and "login NAME" on
every successful login, before its reply.
Errors go to standard error.
"""

import argparse
import errno
import json
import logging
import os
import socket
import sys
import threading
import time

import paramiko
from paramiko.sftp import (SFTP_FAILURE, SFTP_NO_SUCH_FILE, SFTP_OK, SFTP_OP_UNSUPPORTED,
                           SFTP_PERMISSION_DENIED)

WRITE_FLAGS = os.O_WRONLY | os.O_RDWR | os.O_APPEND | os.O_CREAT | os.O_TRUNC


def exit_with_parent():
    """Ends the server when the process that started it goes, however it goes: its end of
    our standard input closes then."""
    sys.stdin.read()
    os._exit(0)


def load_host_key(path):
    for kind in (paramiko.Ed25519Key, paramiko.ECDSAKey, paramiko.RSAKey):
        try:
            return kind.from_private_key_file(path)
        except (paramiko.SSHException, OSError) as error:
            reason = error
    raise SystemExit("cannot read the host key %s: %s" % (path, reason))


def sftp_error(error):
    """The SFTP status for an OSError, mapped as OpenSSH's sftp-server maps errno."""
    if error.errno in (errno.ENOENT, errno.ENOTDIR, errno.EBADF, errno.ELOOP):
        return SFTP_NO_SUCH_FILE
    if error.errno in (errno.EPERM, errno.EACCES):
        return SFTP_PERMISSION_DENIED
    return SFTP_FAILURE


class Refused(Exception):
    """A request turned down before it reaches the disk, with its SFTP status."""

    def __init__(self, status):
        super().__init__(status)
        self.status = status


def answers(method):
    """Turns the exceptions of an SFTPServerInterface method into SFTP statuses."""
    def wrapper(*args):
        try:
            return method(*args)
        except Refused as refused:
            return refused.status
        except OSError as error:
            return sftp_error(error)
    return wrapper


class Options:
    """The command line, shared by every connection."""

    def __init__(self, args):
        self.args = args
        self.users = {user["name"]: user for user in json.loads(args.users)}
        self.log_lock = threading.Lock()

    def log(self, line):
        if self.args.log:
            with self.log_lock, open(self.args.log, "a", encoding="utf8") as file:
                file.write(line + "\n")


class Server(paramiko.ServerInterface):
    """One connection's authentication; afterwards it knows the user."""

    def __init__(self, options, sock):
        self.options = options
        self.sock = sock
        self.transport = None
        self.user = None
        self.pending = ""

    def get_allowed_auths(self, username):
        return self.options.args.auth

    def check_channel_request(self, kind, chanid):
        if kind == "session":
            return paramiko.OPEN_SUCCEEDED
        return paramiko.OPEN_FAILED_ADMINISTRATIVELY_PROHIBITED

    def check_auth_password(self, username, password):
        self.options.log("password")
        if self.options.args.stall and username.endswith(self.options.args.stall):
            self.hang()
        user = self.options.users.get(username)
        if user is None or user["password"] != password:
            return paramiko.AUTH_FAILED
        # Written before the reply, so that a client that has logged in is counted.
        self.options.log("login " + username)
        self.user = dict(user, home=os.path.realpath(user["home"]))
        return paramiko.AUTH_SUCCESSFUL

    def check_auth_interactive(self, username, submethods):
        self.pending = username
        query = paramiko.InteractiveQuery()
        query.add_prompt("Password: ", False)
        return query

    def check_auth_interactive_response(self, responses):
        if len(responses) != 1:
            return paramiko.AUTH_FAILED
        return self.check_auth_password(self.pending, responses[0])

    def drop(self):
        self.sock.shutdown(socket.SHUT_RDWR)

    def hang(self):
        # Until the client gives up; then the answer has nowhere to go.
        while self.transport.is_active():
            time.sleep(0.1)


class Handle(paramiko.SFTPHandle):
    """An open file: unbuffered, so that a full disk shows in the write that meets it."""

    def __init__(self, sftp, fd, flags):
        super().__init__(flags)
        self.sftp = sftp
        self.fd = fd
        self.writing = bool(flags & WRITE_FLAGS)

    def close(self):
        if self.fd < 0:
            return
        os.close(self.fd)
        self.fd = -1
        # Not when the session ends with the file still open.
        if self.writing and self.sftp.options.args.delay and self.sftp.server.transport.is_active():
            time.sleep(self.sftp.options.args.delay)

    @answers
    def read(self, offset, length):
        return os.pread(self.fd, length, offset)

    @answers
    def write(self, offset, data):
        written = 0
        while written < len(data):
            written += os.pwrite(self.fd, data[written:], offset + written)
        throttle = self.sftp.options.args.throttle
        if throttle:
            time.sleep(len(data) / throttle)
        return SFTP_OK

    @answers
    def stat(self):
        return paramiko.SFTPAttributes.from_stat(os.fstat(self.fd))

    @answers
    def chattr(self, attr):
        self.sftp.check_attributes(attr)
        change_attributes(self.fd, attr)
        return SFTP_OK


def change_attributes(target, attr):
    """setstat and fsetstat; target is a path or an open file."""
    if attr._flags & attr.FLAG_PERMISSIONS:
        os.chmod(target, attr.st_mode & 0o7777)
    if attr._flags & attr.FLAG_UIDGID:
        os.chown(target, attr.st_uid, attr.st_gid)
    if attr._flags & attr.FLAG_AMTIME:
        os.utime(target, (attr.st_atime, attr.st_mtime))
    if attr._flags & attr.FLAG_SIZE:
        os.truncate(target, attr.st_size)


class Sftp(paramiko.SFTPServerInterface):
    """One session's requests, on paths inside the user's home."""

    def __init__(self, server, options):
        super().__init__(server)
        self.server = server
        self.options = options

    def resolve(self, path, letters=""):
        """The file on disk for a client's path, after --stall, --drop and the permissions."""
        args = self.options.args
        # A folder is named with a trailing "/" as often as not.
        named = path.rstrip("/")
        if args.stall and named.endswith(args.stall):
            self.server.hang()
            raise Refused(SFTP_FAILURE)
        if args.drop and named.endswith(args.drop):
            self.server.drop()
            raise Refused(SFTP_FAILURE)
        user = self.server.user
        if any(letter not in user["perm"] for letter in letters):
            raise Refused(SFTP_PERMISSION_DENIED)
        home = user["home"]
        real = os.path.join(home, *self.virtual(path).split("/"))
        # A symbolic link inside the home must not lead out of it.
        resolved = os.path.realpath(real)
        if resolved != home and not resolved.startswith(home + os.sep):
            raise Refused(SFTP_PERMISSION_DENIED)
        return real

    @staticmethod
    def virtual(path):
        """The path from the home: "/" is the home and ".." stops there."""
        parts = []
        for part in path.split("/"):
            if part == "..":
                if parts:
                    parts.pop()
            elif part not in ("", "."):
                parts.append(part)
        return "/" + "/".join(parts)

    def refuse(self, path):
        prefix = self.options.args.refuse
        if prefix and os.path.basename(self.virtual(path)).startswith(prefix):
            raise Refused(SFTP_PERMISSION_DENIED)

    def check_attributes(self, attr):
        perm = self.server.user["perm"]
        needed = (("M", attr.FLAG_PERMISSIONS | attr.FLAG_UIDGID), ("T", attr.FLAG_AMTIME),
                  ("w", attr.FLAG_SIZE))
        if any(attr._flags & flags and letter not in perm for letter, flags in needed):
            raise Refused(SFTP_PERMISSION_DENIED)

    def canonicalize(self, path):
        # realpath has no error status in paramiko; --stall and --drop still apply.
        try:
            self.resolve(path)
        except Refused:
            pass
        return self.virtual(path)

    @answers
    def open(self, path, flags, attr):
        letters = ""
        if flags & WRITE_FLAGS:
            letters += "a" if flags & os.O_APPEND and not flags & os.O_TRUNC else "w"
            self.refuse(path)
        if flags & os.O_ACCMODE != os.O_WRONLY:
            letters += "r"
        real = self.resolve(path, letters)
        mode = attr.st_mode & 0o7777 if attr._flags & attr.FLAG_PERMISSIONS else 0o666
        return Handle(self, os.open(real, flags, mode), flags)

    @answers
    def list_folder(self, path):
        real = self.resolve(path, "l")
        found = []
        for name in os.listdir(real):
            try:
                found.append(paramiko.SFTPAttributes.from_stat(
                    os.lstat(os.path.join(real, name)), name))
            except FileNotFoundError:
                pass
        return found

    @answers
    def stat(self, path):
        return paramiko.SFTPAttributes.from_stat(os.stat(self.resolve(path, "e")))

    @answers
    def lstat(self, path):
        return paramiko.SFTPAttributes.from_stat(os.lstat(self.resolve(path, "e")))

    @answers
    def remove(self, path):
        real = self.resolve(path, "wd")
        self.refuse(path)
        os.remove(real)
        return SFTP_OK

    @answers
    def rename(self, oldpath, newpath):
        old, new = self.resolve(oldpath, "wf"), self.resolve(newpath, "wf")
        self.refuse(newpath)
        # As OpenSSH does it: a link never replaces an existing file.
        if os.path.isfile(old) and not os.path.islink(old):
            os.link(old, new)
            os.unlink(old)
        elif os.path.lexists(new):
            return SFTP_FAILURE
        else:
            os.rename(old, new)
        return SFTP_OK

    @answers
    def posix_rename(self, oldpath, newpath):
        old, new = self.resolve(oldpath, "wf"), self.resolve(newpath, "wf")
        self.refuse(newpath)
        os.rename(old, new)
        return SFTP_OK

    @answers
    def mkdir(self, path, attr):
        real = self.resolve(path, "m")
        mode = attr.st_mode & 0o7777 if attr._flags & attr.FLAG_PERMISSIONS else 0o777
        os.mkdir(real, mode)
        if self.options.args.delay:
            time.sleep(self.options.args.delay)
        return SFTP_OK

    @answers
    def rmdir(self, path):
        os.rmdir(self.resolve(path, "wd"))
        return SFTP_OK

    @answers
    def chattr(self, path, attr):
        real = self.resolve(path)
        self.check_attributes(attr)
        change_attributes(real, attr)
        return SFTP_OK

    @answers
    def readlink(self, path):
        self.resolve(path, "e")
        return SFTP_OP_UNSUPPORTED

    @answers
    def symlink(self, target_path, path):
        self.resolve(path, "w")
        return SFTP_OP_UNSUPPORTED


def serve(options, host_keys, sock):
    # The short status replies to libssh2's writes would otherwise wait for delayed ACKs, about
    # 20 ms a write.
    sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
    server = Server(options, sock)
    # With --throttle a small window, as over a slow line: the client's sent bytes then follow
    # what this side takes rather than fill a large buffer at once.
    window = 64 * 1024 if options.args.throttle else paramiko.common.DEFAULT_WINDOW_SIZE
    transport = paramiko.Transport(sock, default_window_size=window)
    server.transport = transport
    for host_key in host_keys:
        transport.add_server_key(host_key)
    transport.set_subsystem_handler("sftp", paramiko.SFTPServer, Sftp, options)
    try:
        transport.start_server(server=server)
    except (paramiko.SSHException, EOFError, OSError):
        # paramiko has logged why.
        transport.close()
        return
    transport.join()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--users", required=True)
    parser.add_argument("--host-key", required=True, action="append")
    parser.add_argument("--auth", default="password,keyboard-interactive")
    parser.add_argument("--stall", default="")
    parser.add_argument("--drop", default="")
    parser.add_argument("--refuse", default="")
    parser.add_argument("--delay", type=float, default=0.0)
    parser.add_argument("--throttle", type=int, default=0)
    parser.add_argument("--log", default="")
    options = Options(parser.parse_args())
    host_keys = [load_host_key(path) for path in options.args.host_key]

    logging.basicConfig(level=logging.WARNING, stream=sys.stderr)
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", 0))
    listener.listen(64)
    print(listener.getsockname()[1], flush=True)
    threading.Thread(target=exit_with_parent, daemon=True).start()
    while True:
        sock, _ = listener.accept()
        threading.Thread(target=serve, args=(options, host_keys, sock), daemon=True).start()


if __name__ == "__main__":
    main()
