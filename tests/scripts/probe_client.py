#!/usr/bin/python3
"""A small client that tests drive: it logs in to a server on 127.0.0.1, takes the steps it is
given in order and prints a line for each, ending in the milliseconds the step took.

probe_client.py sftp PORT USER PASSWORD STEP...  (paramiko; any host key is taken)
    the login prints "login ok", "login refused" (the connection is still open) or
    "login closed" (the server closed it), and a refused login ends the run;
    "stat PATH" prints "stat size=N mtime=N" ("none" for what the attributes leave out);
    "list PATH" prints "list NAME size=N mtime=N" for each entry, in name order;
    "write PATH COUNT" opens PATH for writing, sends COUNT writes of 32 KiB without waiting
    for their answers, then closes it: "write ok";
    "utime PATH SECONDS" sets the access and modification times: "utime ok";
    "sleep SECONDS" stays logged in that long: "sleep ok".
probe_client.py ftps PORT USER PASSWORD STEP...  (ftplib; explicit TLS, at most TLS 1.2, so
    that a client's session can be resumed; no certificate check)
    "put NAME reuse" stores 1000 bytes with the data connection's TLS session resumed from
    the control connection's, "put NAME fresh" with a new session: "put CODE", the final reply.
--timeout SECONDS (default 10) bounds each answer awaited: the first step that meets the limit
prints "timeout" and ends the run.
"""

import argparse
import ftplib
import io
import socket
import ssl
import sys
import time

import paramiko


def say(words, started):
    print("%s %dms" % (words, (time.monotonic() - started) * 1000), flush=True)


def show(value):
    return "none" if value is None else str(int(value))


def sftp_steps(args, steps):
    started = time.monotonic()
    transport = paramiko.Transport(socket.create_connection(("127.0.0.1", args.port), args.timeout))
    transport.start_client(timeout=args.timeout)
    try:
        transport.auth_password(args.user, args.password)
    except paramiko.AuthenticationException:
        # A server that closes the connection lets the client see only a failed login.
        time.sleep(0.5)
        say("login refused" if transport.is_active() else "login closed", started)
        return
    say("login ok", started)
    sftp = paramiko.SFTPClient.from_transport(transport)
    sftp.get_channel().settimeout(args.timeout)
    while steps:
        step = steps.pop(0)
        started = time.monotonic()
        if step == "stat":
            attributes = sftp.stat(steps.pop(0))
            say("stat size=%s mtime=%s" % (show(attributes.st_size), show(attributes.st_mtime)),
                started)
        elif step == "list":
            for attributes in sorted(sftp.listdir_attr(steps.pop(0)), key=lambda a: a.filename):
                say("list %s size=%s mtime=%s" % (attributes.filename, show(attributes.st_size),
                                                   show(attributes.st_mtime)), started)
        elif step == "write":
            path, count = steps.pop(0), int(steps.pop(0))
            with sftp.open(path, "wb") as file:
                file.set_pipelined(True)
                for _ in range(count):
                    file.write(b"p" * 32768)
            say("write ok", started)
        elif step == "utime":
            path, seconds = steps.pop(0), int(steps.pop(0))
            sftp.utime(path, (seconds, seconds))
            say("utime ok", started)
        elif step == "sleep":
            time.sleep(float(steps.pop(0)))
            say("sleep ok", started)
        else:
            raise SystemExit("unknown step " + step)


class ResumingFtps(ftplib.FTP_TLS):
    """ftplib's FTPS client, whose data connections start a TLS session of their own, with the
    choice to resume the control connection's instead."""

    resume = False

    def ntransfercmd(self, cmd, rest=None):
        conn, size = ftplib.FTP.ntransfercmd(self, cmd, rest)
        session = self.sock.session if self.resume else None
        return self.context.wrap_socket(conn, server_hostname=self.host, session=session), size


def ftps_steps(args, steps):
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_CLIENT)
    context.check_hostname = False
    context.verify_mode = ssl.CERT_NONE
    context.maximum_version = ssl.TLSVersion.TLSv1_2
    client = ResumingFtps(context=context, timeout=args.timeout)
    started = time.monotonic()
    client.connect("127.0.0.1", args.port)
    client.login(args.user, args.password)
    client.prot_p()
    say("login ok", started)
    while steps:
        step = steps.pop(0)
        started = time.monotonic()
        if step == "put":
            name, client.resume = steps.pop(0), steps.pop(0) == "reuse"
            try:
                reply = client.storbinary("STOR " + name, io.BytesIO(b"d" * 1000))
            except ftplib.Error as error:
                # The data connection's handshake went through before the server refused it.
                reply = str(error)
            except (ssl.SSLError, OSError):
                # The data connection's handshake failed; the reason is still to come.
                reply = client.getmultiline()
            say("put " + reply[:3], started)
        else:
            raise SystemExit("unknown step " + step)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("protocol", choices=("sftp", "ftps"))
    parser.add_argument("port", type=int)
    parser.add_argument("user")
    parser.add_argument("password")
    parser.add_argument("steps", nargs="*")
    parser.add_argument("--timeout", type=float, default=10)
    args = parser.parse_intermixed_args()
    try:
        (sftp_steps if args.protocol == "sftp" else ftps_steps)(args, list(args.steps))
    except (socket.timeout, TimeoutError):
        print("timeout", flush=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
