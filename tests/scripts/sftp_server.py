#!/usr/bin/python3
"""A throw-away SFTP server on 127.0.0.1 for the tests, the SSH counterpart of ftp_server.py.

Listens on --port, or a free port without it, prints the port as the first line of its output,
then serves until it is killed or its standard input closes. Each connection has a thread of its
own. It binds with SO_REUSEADDR, so a server started again on the port of one just killed can
take it.
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
--refuse-writes PREFIX refuses every write but the first to a file whose name starts with PREFIX,
as a disk that fills up in the middle of a file.
--refuse-close PREFIX answers the closing of a file written whose name starts with PREFIX with a
failure; its bytes stay.
--delay SECONDS holds back the reply to mkdir and to the close of a file opened for writing.
--throttle BYTES takes writes at about this many bytes a second.
--log FILE appends "password" to FILE on every password the client sends, and "login NAME" on
every successful login, before its reply.
--latency MS holds everything the server sends on a connection that long after it was written, a
stand-in for a link's round trip: the key exchange, the login and every SFTP response are held,
each by MS from when it was made. Requests are still handled as they arrive, so responses to
several pipelined requests (writes in flight) go out each MS after its own request, not one
after another.
--commands FILE appends "<connection> <request> <path>" to FILE for every SFTP request after the
version exchange, as it arrives: "3 open /a/b.jpg", "3 write", "3 close", "3 rename /a/x /a/y",
"3 setstat /a/b.jpg", "3 opendir /a", "3 readdir /a" (the folder its handle was opened on); an
extended request is named by its extension ("3 posix-rename@openssh.com /a/x /a/y").
Connections are numbered from 1 in the order they are accepted.
--bare-listing: the attributes of readdir, stat, lstat and fstat carry no size and no times.
A readdir gives up to 100 names, as OpenSSH's sftp-server does.
setstat and fsetstat with times set the file's modification time (permission letter "T").
--max-logins N lets at most N sessions be logged in at once; the login after them is refused as
--refuse-login-with says: "530" refuses the password (the client may try again), "421" and
"close" close the connection.
--silent-open never answers a request to open a file for writing: the session goes silent there,
since its requests are answered one after another.
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
from paramiko.message import Message
from paramiko.sftp import (CMD_EXTENDED, CMD_LSTAT, CMD_MKDIR, CMD_NAMES, CMD_OPEN, CMD_OPENDIR,
                           CMD_READDIR, CMD_READLINK, CMD_REALPATH, CMD_REMOVE, CMD_RENAME,
                           CMD_RMDIR, CMD_SETSTAT, CMD_STAT, CMD_SYMLINK, SFTP_FAILURE,
                           SFTP_NO_SUCH_FILE, SFTP_OK, SFTP_OP_UNSUPPORTED, SFTP_PERMISSION_DENIED)

WRITE_FLAGS = os.O_WRONLY | os.O_RDWR | os.O_APPEND | os.O_CREAT | os.O_TRUNC
# How many paths each request that names paths starts with.
PATH_REQUESTS = {CMD_OPEN: 1, CMD_LSTAT: 1, CMD_SETSTAT: 1, CMD_OPENDIR: 1, CMD_REMOVE: 1,
                 CMD_MKDIR: 1, CMD_RMDIR: 1, CMD_REALPATH: 1, CMD_STAT: 1, CMD_RENAME: 2,
                 CMD_READLINK: 1, CMD_SYMLINK: 2}


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
    """The command line and the counts, shared by every connection."""

    def __init__(self, args):
        self.args = args
        self.users = {user["name"]: user for user in json.loads(args.users)}
        self.lock = threading.Lock()
        self.connections = 0
        self.logged_in = 0

    def write(self, path, line):
        if path:
            with self.lock, open(path, "a", encoding="utf8") as file:
                file.write(line + "\n")

    def log(self, line):
        self.write(self.args.log, line)

    def next_connection(self):
        with self.lock:
            self.connections += 1
            return self.connections

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


class DelayedSocket:
    """The server's side of a connection, with everything it sends held for a time: a delay line
    on the way out, with a thread that sends each piece when its time comes. Reading is not
    delayed; the rest is the socket's own."""

    def __init__(self, sock, delay):
        self.sock = sock
        self.delay = delay
        self.pending = []
        self.condition = threading.Condition()
        self.closing = False
        self.failed = None
        threading.Thread(target=self.send_when_due, daemon=True).start()

    def __getattr__(self, name):
        return getattr(self.sock, name)

    def send(self, data):
        with self.condition:
            if self.failed:
                raise self.failed
            self.pending.append((time.monotonic() + self.delay, bytes(data)))
            self.condition.notify()
        return len(data)

    def close(self):
        # What was sent before still goes out, then the socket closes.
        with self.condition:
            self.closing = True
            self.condition.notify()

    def send_when_due(self):
        while True:
            with self.condition:
                while not self.pending and not self.closing:
                    self.condition.wait()
                if not self.pending:
                    break
                due, data = self.pending.pop(0)
            time.sleep(max(0.0, due - time.monotonic()))
            try:
                self.send_all(data)
            except OSError as error:
                with self.condition:
                    self.failed = error
                    self.pending = []
        self.sock.close()

    def send_all(self, data):
        # paramiko gives the socket a short time-out for its reads, and it holds for sends too.
        view = memoryview(data)
        while view:
            try:
                view = view[self.sock.send(view):]
            except socket.timeout:
                pass


class Server(paramiko.ServerInterface):
    """One connection's authentication; afterwards it knows the user."""

    def __init__(self, options, sock):
        self.options = options
        self.sock = sock
        self.transport = None
        self.user = None
        self.pending = ""
        self.number = options.next_connection()
        # Whether this session holds one of the --max-logins places.
        self.counted = False

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
        if self.options.args.max_logins and not self.counted:
            if not self.options.take_login():
                if self.options.args.refuse_login_with != "530":
                    self.drop()
                return paramiko.AUTH_FAILED
            self.counted = True
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


def attributes(options, st, name=None):
    """The SFTP attributes of a stat result, without size and times under --bare-listing."""
    attr = paramiko.SFTPAttributes.from_stat(st, name)
    if options.args.bare_listing:
        attr.st_size = attr.st_atime = attr.st_mtime = None
    return attr


class Folder(paramiko.SFTPHandle):
    """An open folder whose readdir gives up to 100 names (paramiko's own gives 16)."""

    def _set_files(self, files):
        self.files = files

    def _get_next_files(self):
        names, self.files = self.files[:100], self.files[100:]
        return names


class LoggingSftpServer(paramiko.SFTPServer):
    """paramiko's SFTP session, with each request written to --commands as it arrives."""

    def __init__(self, *args, **kwargs):
        super().__init__(*args, **kwargs)
        # The path of the opendir being answered, for its handle.
        self.opening = ""

    def _process(self, t, request_number, msg):
        peek = Message(msg.asbytes())
        peek.get_int()
        words = [CMD_NAMES.get(t, str(t))]
        if t in PATH_REQUESTS:
            words += [peek.get_text() for _ in range(PATH_REQUESTS[t])]
        elif t == CMD_EXTENDED:
            words = [peek.get_text()]
            if words[0] == "posix-rename@openssh.com":
                words += [peek.get_text(), peek.get_text()]
        elif t == CMD_READDIR:
            folder = self.folder_table.get(peek.get_binary())
            words.append(getattr(folder, "logged_path", "?"))
        if t == CMD_OPENDIR:
            self.opening = words[1]
        options = self.server.options
        options.write(options.args.commands, "%d %s" % (self.server.server.number, " ".join(words)))
        super()._process(t, request_number, msg)

    def _open_folder(self, request_number, path):
        found = self.server.list_folder(path)
        if not isinstance(found, list):
            self._send_status(request_number, found)
            return
        folder = Folder()
        folder._set_files(found)
        self._send_handle_response(request_number, folder, True)

    def _send_handle_response(self, request_number, handle, folder=False):
        if folder and isinstance(handle, paramiko.SFTPHandle):
            handle.logged_path = self.opening
        super()._send_handle_response(request_number, handle, folder)


class Handle(paramiko.SFTPHandle):
    """An open file: unbuffered, so that a full disk shows in the write that meets it."""

    def __init__(self, sftp, fd, flags, name):
        super().__init__(flags)
        self.sftp = sftp
        self.fd = fd
        self.writing = bool(flags & WRITE_FLAGS)
        self.name = name
        self.writes = 0

    def named(self, prefix):
        return bool(prefix) and self.name.startswith(prefix)

    def close(self):
        if self.fd < 0:
            return
        os.close(self.fd)
        self.fd = -1
        if self.writing and self.named(self.sftp.options.args.refuse_close):
            raise OSError(errno.EIO, "refused")
        # Not when the session ends with the file still open.
        if self.writing and self.sftp.options.args.delay and self.sftp.server.transport.is_active():
            time.sleep(self.sftp.options.args.delay)

    @answers
    def read(self, offset, length):
        return os.pread(self.fd, length, offset)

    @answers
    def write(self, offset, data):
        self.writes += 1
        if self.writes > 1 and self.named(self.sftp.options.args.refuse_writes):
            return SFTP_FAILURE
        written = 0
        while written < len(data):
            written += os.pwrite(self.fd, data[written:], offset + written)
        throttle = self.sftp.options.args.throttle
        if throttle:
            time.sleep(len(data) / throttle)
        return SFTP_OK

    @answers
    def stat(self):
        return attributes(self.sftp.options, os.fstat(self.fd))

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
            if self.options.args.silent_open:
                self.server.hang()
                raise Refused(SFTP_FAILURE)
            letters += "a" if flags & os.O_APPEND and not flags & os.O_TRUNC else "w"
            self.refuse(path)
        if flags & os.O_ACCMODE != os.O_WRONLY:
            letters += "r"
        real = self.resolve(path, letters)
        mode = attr.st_mode & 0o7777 if attr._flags & attr.FLAG_PERMISSIONS else 0o666
        return Handle(self, os.open(real, flags, mode), flags, os.path.basename(self.virtual(path)))

    @answers
    def list_folder(self, path):
        real = self.resolve(path, "l")
        found = []
        for name in os.listdir(real):
            try:
                found.append(attributes(self.options, os.lstat(os.path.join(real, name)), name))
            except FileNotFoundError:
                pass
        return found

    @answers
    def stat(self, path):
        return attributes(self.options, os.stat(self.resolve(path, "e")))

    @answers
    def lstat(self, path):
        return attributes(self.options, os.lstat(self.resolve(path, "e")))

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
    latency = options.args.latency
    transport = paramiko.Transport(DelayedSocket(sock, latency / 1000) if latency else sock,
                                   default_window_size=window)
    server.transport = transport
    for host_key in host_keys:
        transport.add_server_key(host_key)
    transport.set_subsystem_handler("sftp", LoggingSftpServer, Sftp, options)
    try:
        transport.start_server(server=server)
        transport.join()
    except (paramiko.SSHException, EOFError, OSError):
        # paramiko has logged why.
        transport.close()
    finally:
        if server.counted:
            options.give_login_back()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--users", required=True)
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--host-key", required=True, action="append")
    parser.add_argument("--auth", default="password,keyboard-interactive")
    parser.add_argument("--stall", default="")
    parser.add_argument("--drop", default="")
    parser.add_argument("--refuse", default="")
    parser.add_argument("--refuse-writes", default="")
    parser.add_argument("--refuse-close", default="")
    parser.add_argument("--delay", type=float, default=0.0)
    parser.add_argument("--throttle", type=int, default=0)
    parser.add_argument("--log", default="")
    parser.add_argument("--latency", type=int, default=0)
    parser.add_argument("--commands", default="")
    parser.add_argument("--bare-listing", action="store_true")
    parser.add_argument("--max-logins", type=int, default=0)
    parser.add_argument("--refuse-login-with", choices=("421", "530", "close"), default="530")
    parser.add_argument("--silent-open", action="store_true")
    options = Options(parser.parse_args())
    host_keys = [load_host_key(path) for path in options.args.host_key]

    logging.basicConfig(level=logging.WARNING, stream=sys.stderr)
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", options.args.port))
    listener.listen(64)
    print(listener.getsockname()[1], flush=True)
    threading.Thread(target=exit_with_parent, daemon=True).start()
    while True:
        sock, _ = listener.accept()
        threading.Thread(target=serve, args=(options, host_keys, sock), daemon=True).start()


if __name__ == "__main__":
    main()
