#!/usr/bin/python3
"""The built program as a user meets it, on a private desktop (tests/scripts/with-desktop.sh).

Each test starts a copy of the executable in a folder of its own, so its settings.ini lands
there, and drives it only through what the accessibility bus shows (roles, names, label
relations, states) and through real key presses and clicks (xdotool).

    with-desktop.sh /usr/bin/python3 test_desktop.py --program PATH [unittest arguments]
"""

import argparse
import configparser
import filecmp
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
import unittest
import warnings

import pyatspi
from gi.repository import Atspi, GLib

PROGRAM = ""
SCRIPTS = os.path.join(os.path.dirname(os.path.abspath(__file__)), os.pardir, "scripts")
# Generous: the sanitizer build runs several times slower.
TIMEOUT = 30.0

DESKTOP = pyatspi.Registry.getDesktop(0)
# Every read asks the program: a cached name or state would hide a change.
DESKTOP.set_cache_mask(pyatspi.cache.NONE)


def wait_for(what, probe, timeout=TIMEOUT):
    """Polls probe until it gives something true and returns that; fails saying what never came.
    what may be a function, so that the message tells what was seen at the end."""
    end = time.monotonic() + timeout
    last_error = None
    while True:
        try:
            value = probe()
            if value:
                return value
        except GLib.GError as error:
            # An object that went away between two reads: the next poll looks again.
            last_error = error
        if time.monotonic() > end:
            detail = f" (last error: {last_error.message})" if last_error else ""
            if callable(what):
                try:
                    what = what()
                except GLib.GError as error:
                    what = f"(no message: {error.message})"
            raise AssertionError(f"{what} within {timeout:.0f} s{detail}")
        time.sleep(0.02)


def role_name(role):
    return Atspi.role_get_name(role)


def describe(node):
    return f"{node.getRoleName()} {node.name!r}"


def has_state(node, state):
    return node.getState().contains(state)


def descendants(node):
    """Everything below node, depth first. The entries of lists are left out: a list of thousands
    would be walked entry by entry over the bus."""
    for child in node:
        if child is None:
            continue
        yield child
        if not has_state(child, pyatspi.STATE_MANAGES_DESCENDANTS):
            yield from descendants(child)


def find(node, role, name=None):
    for candidate in descendants(node):
        if candidate.getRole() == role and (name is None or candidate.name == name):
            return candidate
    return None


def control(parent, role, name):
    return wait_for(f"no {role_name(role)} named {name!r} in {describe(parent)}",
                    lambda: find(parent, role, name))


def related(node, relation):
    targets = []
    for entry in node.getRelationSet():
        if entry.getRelationType() == relation:
            targets += [entry.getTarget(i) for i in range(entry.getNTargets())]
    return targets


def labelled(parent, caption, role):
    """The control of the given role that the label reading caption names, checked both ways."""
    label = control(parent, pyatspi.ROLE_LABEL, caption)
    targets = related(label, pyatspi.RELATION_LABEL_FOR)
    if len(targets) != 1 or targets[0].getRole() != role:
        raise AssertionError(f"label {caption!r} labels {[describe(t) for t in targets]}, "
                             f"not one {role_name(role)}")
    target = targets[0]
    if caption not in [t.name for t in related(target, pyatspi.RELATION_LABELLED_BY)]:
        raise AssertionError(f"{describe(target)} is not labelled by {caption!r}")
    return target


def text_of(node):
    return node.queryText().getText(0, -1)


def press(button):
    """Presses a button through its Press action once it is enabled. The program's handler runs
    a little later (the action is an animated click)."""
    wait_for(f"{describe(button)} is not enabled", lambda: has_state(button, pyatspi.STATE_SENSITIVE))
    actions = button.queryAction()
    names = [actions.getName(i) for i in range(actions.nActions)]
    if "Press" not in names:
        raise AssertionError(f"{describe(button)} has no Press action, only {names}")
    actions.doAction(names.index("Press"))


def xdotool(*arguments):
    subprocess.run(["xdotool", *arguments], check=True)


def click(node, x_offset=None):
    """A real left click, at the middle of node unless an offset from its left edge is given."""
    box = node.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    if box.width <= 0 or box.height <= 0:
        raise AssertionError(f"{describe(node)} has no place on screen to click")
    x = box.x + (box.width // 2 if x_offset is None else x_offset)
    xdotool("mousemove", "--sync", str(x), str(box.y + box.height // 2), "click", "1")


def focus(node):
    click(node)
    wait_for(f"{describe(node)} did not take the keyboard focus when clicked",
             lambda: has_state(node, pyatspi.STATE_FOCUSED))


def key(*names):
    xdotool("key", "--clearmodifiers", *names)


def type_into(field, text):
    """Replaces a field's text as a user does: click into it, select everything, type."""
    focus(field)
    key("ctrl+a")
    xdotool("type", "--delay", "10", "--", text)
    wait_for(lambda: f"{describe(field)} reads {text_of(field)!r} after typing {text!r}",
             lambda: text_of(field) == text)


def make_image(path, width, height):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    # Debian's ImageMagick by its full path: a convert elsewhere on PATH may be something else.
    subprocess.run(["/usr/bin/convert", "-size", f"{width}x{height}", "gradient:red-blue", path], check=True)


def image_size(path):
    out = subprocess.run(["/usr/bin/identify", "-format", "%w %h", path], check=True,
                         capture_output=True, text=True).stdout
    return tuple(int(n) for n in out.split())


def make_files(root, names):
    for name in names:
        path = os.path.join(root, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "w", encoding="utf-8") as f:
            f.write("not a picture\n")


class Program:
    """A copy of the executable in a temporary folder of its own, started and on the bus."""

    def __init__(self, test, settings=None, home=None):
        self.folder = tempfile.mkdtemp(prefix="pexa-e2e-")
        test.addCleanup(shutil.rmtree, self.folder, True)
        executable = shutil.copy(PROGRAM, self.folder)
        self.settings_path = os.path.join(self.folder, "settings.ini")
        if settings:
            ini = configparser.ConfigParser(interpolation=None)
            ini.optionxform = str
            ini.read_dict(settings)
            with open(self.settings_path, "w", encoding="utf-8") as f:
                ini.write(f, space_around_delimiters=False)
        self.log_path = os.path.join(self.folder, "program.log")
        environment = dict(os.environ, HOME=home) if home else None
        with open(self.log_path, "w", encoding="utf-8") as log:
            self.process = subprocess.Popen([executable], cwd=self.folder, stdin=subprocess.DEVNULL,
                                            stdout=log, stderr=subprocess.STDOUT, env=environment)
        test.addCleanup(self.stop)
        self.app = wait_for(self._missing, self._application)

    def _application(self):
        if self.process.poll() is not None:
            raise AssertionError(f"the program ended at start with {self.process.returncode}:\n{self.log()}")
        for app in DESKTOP:
            if app is not None and app.get_process_id() == self.process.pid and app.childCount:
                return app
        return None

    def _missing(self):
        seen = [(app.name, app.get_process_id(), app.childCount) for app in DESKTOP if app is not None]
        return (f"the program (pid {self.process.pid}) did not show a window on the accessibility bus "
                f"(applications there: {seen}; its output: {self.log()!r})")

    def log(self):
        with open(self.log_path, encoding="utf-8", errors="replace") as f:
            return f.read()

    def windows(self, role=None, name=None):
        return [w for w in self.app
                if w is not None and has_state(w, pyatspi.STATE_SHOWING)
                and (role is None or w.getRole() == role) and (name is None or w.name == name)]

    def window(self, role, name):
        def shown():
            found = self.windows(role, name)
            return found[0] if found else None
        return wait_for(lambda: f"no {role_name(role)} window named {name!r} on screen "
                        f"(there are {[describe(w) for w in self.windows()]})", shown)

    def window_gone(self, role, name):
        wait_for(f"the {role_name(role)} window {name!r} is still on screen",
                 lambda: not self.windows(role, name))

    def main_window(self):
        """Through the About box that comes first, to the main window."""
        about = self.window(pyatspi.ROLE_DIALOG, "About PexaResizer")
        press(control(about, pyatspi.ROLE_PUSH_BUTTON, "Continue"))
        main = self.window(pyatspi.ROLE_FRAME, "Pexa Resizer")
        self.window_gone(pyatspi.ROLE_DIALOG, "About PexaResizer")
        return main

    def pick_folder(self, main, button, title, folder):
        """Picks a folder in the program's folder dialog by typing it, as a user can."""
        press(control(main, pyatspi.ROLE_PUSH_BUTTON, button))
        dialog = self.window(pyatspi.ROLE_DIALOG, title)
        type_into(labelled(dialog, "Directory:", pyatspi.ROLE_TEXT), folder)
        key("Return")
        self.window_gone(pyatspi.ROLE_DIALOG, title)

    def settings(self):
        ini = configparser.ConfigParser(interpolation=None)
        ini.optionxform = str
        ini.read(self.settings_path, encoding="utf-8")
        return ini

    def wait_exit(self):
        try:
            code = self.process.wait(TIMEOUT)
        except subprocess.TimeoutExpired:
            raise AssertionError("the program is still running after Exit") from None
        if code != 0:
            raise AssertionError(f"the program ended with {code}:\n{self.log()}")

    def stop(self):
        if self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()


class FileServer:
    """tests/scripts/ftp_server.py, or another server script there, on 127.0.0.1 with one user,
    whose home is a temporary folder."""

    def __init__(self, test, user, password, script="ftp_server.py", arguments=()):
        self.home = tempfile.mkdtemp(prefix="pexa-e2e-server-")
        test.addCleanup(shutil.rmtree, self.home, True)
        users = [{"name": user, "password": password, "perm": "elradfmw", "home": self.home}]
        self.process = subprocess.Popen(
            ["/usr/bin/python3", os.path.join(SCRIPTS, script), "--users", json.dumps(users), *arguments],
            stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        test.addCleanup(self.stop)
        line = self.process.stdout.readline().strip()
        if not line.isdigit():
            raise AssertionError(f"{script} did not start: {self.process.stderr.read()}")
        self.port = int(line)

    def stop(self):
        # The server ends when its standard input closes.
        self.process.stdin.close()
        try:
            self.process.wait(10)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
        self.process.stdout.close()
        self.process.stderr.close()


def fill_in(dialog, captions_and_values):
    """Types each value into the box that the label with its caption names."""
    for caption, value in captions_and_values:
        field = labelled(dialog, caption, pyatspi.ROLE_PASSWORD_TEXT if caption == "Password:"
                         else pyatspi.ROLE_TEXT)
        if caption == "Password:":
            # A password box shows only stars, and so does its accessible text.
            focus(field)
            key("ctrl+a")
            xdotool("type", "--delay", "10", "--", value)
            wait_for("the password box does not hold as many characters as were typed",
                     lambda: field.queryText().characterCount == len(value))
        else:
            type_into(field, value)


def entries(image_list):
    return [image_list[i] for i in range(image_list.childCount)]


def ticked(image_list):
    return sorted(e.name for e in entries(image_list) if has_state(e, pyatspi.STATE_CHECKED))


def entry_named(image_list, path):
    return wait_for(f"no entry {path!r} in the image list",
                    lambda: next((e for e in entries(image_list) if e.name == path), None))


def status_label(main, pattern):
    """The status label, found by its visible text, which must match pattern in full."""
    def matching():
        return next((l for l in descendants(main)
                     if l.getRole() == pyatspi.ROLE_LABEL and re.fullmatch(pattern, l.name)), None)
    return wait_for(lambda: f"no label reading /{pattern}/ in {describe(main)} (labels: "
                    f"{[l.name for l in descendants(main) if l.getRole() == pyatspi.ROLE_LABEL]})",
                    matching)


def wait_text(node, expected, what):
    wait_for(lambda: f"{what} does not read {expected!r} (reads {node.name!r})", lambda: node.name == expected)


class DesktopTest(unittest.TestCase):

    def resized_photos(self, sizes, home=None):
        """Makes the photos, then has a new program scan them and resize them into a destination
        beside them. Gives the program, its main window, the image root and the destination."""
        work = tempfile.mkdtemp(prefix="pexa-e2e-photos-")
        self.addCleanup(shutil.rmtree, work, True)
        root, destination = os.path.join(work, "photos"), os.path.join(work, "out")
        for name, (width, height) in sizes.items():
            make_image(os.path.join(root, name), width, height)
        program = Program(self, {"main": {"root_path": root, "dest_path": destination}}, home=home)
        main = program.main_window()
        press(control(main, pyatspi.ROLE_PUSH_BUTTON, "Scan Root"))
        count = len(sizes)
        status = status_label(main, rf"{count} images out of {count} scanned!")
        press(control(main, pyatspi.ROLE_PUSH_BUTTON, "Resize"))
        wait_text(status, f"{count} images out of {count} files completed!", "the status label")
        return program, main, root, destination

    def assert_uploaded(self, program, destination, remote_root, names):
        """Waits for the upload's end and checks that names arrived unchanged below remote_root.
        Gives the progress lines and the progress window's Exit button."""
        # A plain top-level widget: Qt shows it as a filler, not as a frame.
        progress = program.window(pyatspi.ROLE_FILLER, "FTP Status")
        lines = control(progress, pyatspi.ROLE_LIST, "")
        # The run is over when its Cancel button turns into Exit.
        done = control(progress, pyatspi.ROLE_PUSH_BUTTON, "Exit")
        shown = [e.name for e in entries(lines)]
        self.assertIn("Files Successfully copied.", shown)
        for name in names:
            sent = os.path.join(remote_root, name)
            self.assertTrue(os.path.isfile(sent), f"{name} did not arrive on the server (lines: {shown})")
            self.assertTrue(filecmp.cmp(os.path.join(destination, name), sent, shallow=False),
                            f"{name} arrived changed")
        return shown, done

    def test_about_box_comes_first_and_continue_opens_the_main_window(self):
        program = Program(self)
        about = program.window(pyatspi.ROLE_DIALOG, "About PexaResizer")
        self.assertEqual([describe(w) for w in program.windows(pyatspi.ROLE_FRAME)], [],
                         "the main window is on screen before the About box was answered")
        press(control(about, pyatspi.ROLE_PUSH_BUTTON, "Continue"))
        main = program.window(pyatspi.ROLE_FRAME, "Pexa Resizer")
        program.window_gone(pyatspi.ROLE_DIALOG, "About PexaResizer")
        press(control(main, pyatspi.ROLE_PUSH_BUTTON, "Exit"))
        program.wait_exit()

    def test_scan_tick_and_resize_into_a_destination(self):
        work = tempfile.mkdtemp(prefix="pexa-e2e-photos-")
        self.addCleanup(shutil.rmtree, work, True)
        root, destination = os.path.join(work, "photos"), os.path.join(work, "out")
        os.makedirs(destination)
        # The default rule (600W, Exceed Limit to Pct, 25 %) shrinks the wide ones to a quarter.
        sizes = {"big.jpg": (800, 600), "small.png": (120, 90), "trip/beach.jpg": (1000, 760),
                 "trip/hill.png": (640, 480)}
        for name, (width, height) in sizes.items():
            make_image(os.path.join(root, name), width, height)
        make_files(root, ["notes.txt", "trip/readme.txt"])

        program = Program(self)
        main = program.main_window()
        program.pick_folder(main, "Select Image Root", "Select Root Image Path", root)
        wait_for(f"the image root box does not read {root!r}",
                 lambda: text_of(control(main, pyatspi.ROLE_TEXT, "Image root")) == root)
        press(control(main, pyatspi.ROLE_PUSH_BUTTON, "Scan Root"))
        status = status_label(main, r"4 images out of 6 scanned!")
        images = control(main, pyatspi.ROLE_LIST, "Images")
        self.assertEqual(sorted(e.name for e in entries(images)),
                         sorted(os.path.join(root, name) for name in sizes))
        self.assertEqual(ticked(images), [])

        big = os.path.join(root, "big.jpg")
        click(entry_named(images, big))
        key("space")
        wait_for("Space on the current entry did not tick it", lambda: ticked(images) == [big])
        press(control(main, pyatspi.ROLE_PUSH_BUTTON, "Inv"))
        others = sorted(os.path.join(root, name) for name in sizes if name != "big.jpg")
        wait_for(lambda: f"Inv did not swap the ticks (ticked: {ticked(images)})", lambda: ticked(images) == others)
        press(control(main, pyatspi.ROLE_PUSH_BUTTON, "None"))
        wait_for(lambda: f"None left ticks (ticked: {ticked(images)})", lambda: ticked(images) == [])
        press(control(main, pyatspi.ROLE_PUSH_BUTTON, "All"))
        wait_for(lambda: f"All did not tick every entry (ticked: {ticked(images)})",
                 lambda: len(ticked(images)) == len(sizes))
        press(control(main, pyatspi.ROLE_PUSH_BUTTON, "None"))
        wait_for(lambda: f"None left ticks (ticked: {ticked(images)})", lambda: ticked(images) == [])
        # A click on the check box itself ticks too.
        click(entry_named(images, big), x_offset=10)
        wait_for(lambda: f"a click on the check box did not tick it (ticked: {ticked(images)})",
                 lambda: ticked(images) == [big])

        program.pick_folder(main, "Select Destination", "Select Image Destination Root Path", destination)
        wait_for(f"the destination box does not read {destination!r}",
                 lambda: text_of(control(main, pyatspi.ROLE_TEXT, "Destination root")) == destination)
        press(control(main, pyatspi.ROLE_PUSH_BUTTON, "Resize"))
        wait_text(status, "4 images out of 4 files completed!", "the status label")

        # The ticked one and the narrow one are copied as they are; the others are shrunk.
        for name in ("big.jpg", "small.png"):
            self.assertTrue(filecmp.cmp(os.path.join(root, name), os.path.join(destination, name), shallow=False),
                            f"{name} was not copied unchanged")
        for name in ("trip/beach.jpg", "trip/hill.png"):
            width, height = sizes[name]
            self.assertEqual(image_size(os.path.join(destination, name)), (width // 4, height // 4), name)
        written = sorted(os.path.relpath(os.path.join(folder, f), destination)
                         for folder, _, files in os.walk(destination) for f in files)
        self.assertEqual(written, sorted(sizes))
        self.assertEqual(program.settings()["main"]["dest_path"], destination)

        press(control(main, pyatspi.ROLE_PUSH_BUTTON, "Exit"))
        program.wait_exit()

    def test_upload_sends_the_unticked_files_to_an_ftp_server(self):
        server = FileServer(self, "pexa", "s3cret pass")
        os.makedirs(os.path.join(server.home, "www"))
        program, main, root, destination = self.resized_photos(
            {"one.jpg": (100, 80), "sub/two.png": (800, 600), "sub/three.jpg": (90, 60)})
        images = control(main, pyatspi.ROLE_LIST, "Images")
        # After a resize a tick holds an entry back from the upload.
        kept_back = os.path.join(root, "sub/three.jpg")
        click(entry_named(images, kept_back))
        key("space")
        wait_for("Space on the current entry did not tick it", lambda: ticked(images) == [kept_back])

        press(control(main, pyatspi.ROLE_PUSH_BUTTON, "FTP Setup"))
        setup = program.window(pyatspi.ROLE_DIALOG, "FTP Settings")
        fill_in(setup, (("Address:", "127.0.0.1"), ("Port:", str(server.port)), ("Username:", "pexa"),
                        ("Password:", "s3cret pass"), ("Root Path:", "www")))
        key("Escape")
        program.window_gone(pyatspi.ROLE_DIALOG, "FTP Settings")
        stored = program.settings()["ftp"]
        self.assertEqual((stored["address"], stored["port"], stored["username"], stored["root"]),
                         ("127.0.0.1", str(server.port), "pexa", "www"))
        self.assertNotIn("s3cret", stored["password"], "the password is stored as typed")

        press(control(main, pyatspi.ROLE_PUSH_BUTTON, "Upload"))
        shown, done = self.assert_uploaded(program, destination, os.path.join(server.home, "www"),
                                           ("one.jpg", "sub/two.png"))
        self.assertIn(" - Working on /sub", shown)
        self.assertFalse(os.path.exists(os.path.join(server.home, "www/sub/three.jpg")),
                         "the ticked entry was uploaded")
        # A complete upload empties the list.
        wait_for("the image list still has entries after the upload", lambda: images.childCount == 0)

        press(done)
        program.window_gone(pyatspi.ROLE_FILLER, "FTP Status")
        press(control(main, pyatspi.ROLE_PUSH_BUTTON, "Exit"))
        program.wait_exit()

    def test_sftp_upload_asks_about_an_unknown_host_key_and_records_it_as_ssh_does(self):
        keys = tempfile.mkdtemp(prefix="pexa-e2e-keys-")
        self.addCleanup(shutil.rmtree, keys, True)
        host_key, server_log, home = (os.path.join(keys, name) for name in ("host_key", "server.log", "home"))
        os.makedirs(home)
        open(server_log, "w").close()
        subprocess.run(["ssh-keygen", "-q", "-t", "ed25519", "-N", "", "-C", "pexa-e2e", "-f", host_key],
                       check=True)
        # "256 SHA256:... pexa-e2e (ED25519)"
        fingerprint = subprocess.run(["ssh-keygen", "-lf", host_key + ".pub"], check=True, capture_output=True,
                                     text=True).stdout.split()[1]
        server = FileServer(self, "pexa", "s3cret pass", "sftp_server.py",
                            ("--host-key", host_key, "--log", server_log))
        os.makedirs(os.path.join(server.home, "www"))
        names = ("one.jpg", "sub dir/été #1.png")
        # The program's home is a fresh one, so the host is unknown there.
        program, main, _, destination = self.resized_photos({name: (120, 90) for name in names}, home=home)

        press(control(main, pyatspi.ROLE_PUSH_BUTTON, "FTP Setup"))
        setup = program.window(pyatspi.ROLE_DIALOG, "FTP Settings")
        security = labelled(setup, "Security:", pyatspi.ROLE_COMBO_BOX)
        port = labelled(setup, "Port:", pyatspi.ROLE_TEXT)
        self.assertEqual((security.name, text_of(port)), ("None (FTP)", "21"))
        fill_in(setup, (("Address:", "127.0.0.1"), ("Username:", "pexa"), ("Password:", "s3cret pass"),
                        ("Root Path:", "www")))
        # The security box, reached from the one before it, picks by the arrow keys.
        key("Tab")
        wait_for("Tab from Root Path: did not reach Security:", lambda: has_state(security, pyatspi.STATE_FOCUSED))
        key("Down", "Down")
        wait_text(security, "SSH (SFTP)", "the Security box after Down Down")
        wait_for(lambda: f"the port reads {text_of(port)!r}, not SFTP's 22", lambda: text_of(port) == "22")
        type_into(port, str(server.port))
        key("Escape")
        program.window_gone(pyatspi.ROLE_DIALOG, "FTP Settings")
        stored = program.settings()["ftp"]
        self.assertEqual((stored["security"], stored["port"]), ("sftp", str(server.port)))

        press(control(main, pyatspi.ROLE_PUSH_BUTTON, "Upload"))
        question = program.window(pyatspi.ROLE_ALERT, "Unknown Host Key")
        texts = [l.name for l in descendants(question) if l.getRole() == pyatspi.ROLE_LABEL]
        self.assertTrue(any(fingerprint in t and "ssh-ed25519" in t for t in texts),
                        f"the question does not show the key's type and {fingerprint} ({texts})")
        known_hosts = os.path.join(home, ".ssh", "known_hosts")
        self.assertFalse(os.path.exists(known_hosts), "known_hosts was written before the user answered")
        with open(server_log, encoding="utf-8") as f:
            self.assertNotIn("password", f.read(), "the password went out before the host key was trusted")
        press(control(question, pyatspi.ROLE_PUSH_BUTTON, "Yes"))

        shown, done = self.assert_uploaded(program, destination, os.path.join(server.home, "www"), names)
        self.assertEqual(shown[0], f"The host key of 127.0.0.1:{server.port} is not known: ssh-ed25519 {fingerprint}")
        # OpenSSH finds the key where the program put it, under the name ssh gives this host and port.
        found = subprocess.run(["ssh-keygen", "-F", f"[127.0.0.1]:{server.port}", "-f", known_hosts],
                               capture_output=True, text=True)
        with open(host_key + ".pub", encoding="utf-8") as f:
            public_key = f.read().split()[1]
        self.assertEqual(found.returncode, 0, f"ssh-keygen -F does not find the host: {found.stderr}")
        self.assertIn(public_key, found.stdout)
        self.assertNotIn("s3cret", program.log())

        press(done)
        program.window_gone(pyatspi.ROLE_FILLER, "FTP Status")
        press(control(main, pyatspi.ROLE_PUSH_BUTTON, "Exit"))
        program.wait_exit()

    def test_a_web_option_ticked_in_its_dialog_takes_the_location_out_of_the_published_copy(self):
        server = FileServer(self, "pexa", "s3cret pass")
        os.makedirs(os.path.join(server.home, "www"))
        work = tempfile.mkdtemp(prefix="pexa-e2e-web-")
        self.addCleanup(shutil.rmtree, work, True)
        root, destination = os.path.join(work, "photos"), os.path.join(work, "out")
        photo = os.path.join(root, "harbour.jpg")
        make_image(photo, 800, 600)
        subprocess.run(["/usr/bin/exiftool", "-q", "-overwrite_original", "-GPSLatitude=48.85", "-GPSLatitudeRef=N",
                        "-SerialNumber=SN1", "-Artist=Ann Author", photo], check=True)
        program = Program(self, {"main": {"root_path": root, "dest_path": destination}})
        main = program.main_window()

        # Menu entries are picked with the mouse, as a user does.
        click(control(main, pyatspi.ROLE_MENU_ITEM, "Options"))
        entry = control(main, pyatspi.ROLE_MENU_ITEM, "Web Options\u2026")
        wait_for("the Options menu did not open", lambda: has_state(entry, pyatspi.STATE_SHOWING))
        click(entry)
        dialog = program.window(pyatspi.ROLE_DIALOG, "Web Options")
        box = control(dialog, pyatspi.ROLE_CHECK_BOX, "Remove location and camera details")
        self.assertIn("GPS", box.description, "the box's description does not say what goes")
        self.assertFalse(has_state(box, pyatspi.STATE_CHECKED))
        click(box)
        wait_for("a click did not tick the box", lambda: has_state(box, pyatspi.STATE_CHECKED))
        wait_for("the choice was not stored when it changed",
                 lambda: program.settings().get("web", "strip_private", fallback=None) == "1")
        key("Escape")
        program.window_gone(pyatspi.ROLE_DIALOG, "Web Options")

        press(control(main, pyatspi.ROLE_PUSH_BUTTON, "Scan Root"))
        status_label(main, r"1 images out of 1 scanned!")
        press(control(main, pyatspi.ROLE_PUSH_BUTTON, "FTP Setup"))
        setup = program.window(pyatspi.ROLE_DIALOG, "FTP Settings")
        fill_in(setup, (("Address:", "127.0.0.1"), ("Port:", str(server.port)), ("Username:", "pexa"),
                        ("Password:", "s3cret pass"), ("Root Path:", "www")))
        key("Escape")
        program.window_gone(pyatspi.ROLE_DIALOG, "FTP Settings")
        press(control(main, pyatspi.ROLE_PUSH_BUTTON, "Resize & Upload"))
        _, done = self.assert_uploaded(program, destination, os.path.join(server.home, "www"), ("harbour.jpg",))

        published = os.path.join(server.home, "www", "harbour.jpg")
        found = json.loads(subprocess.run(["/usr/bin/exiftool", "-j", "-n", published], check=True,
                                          capture_output=True, text=True).stdout)[0]
        self.assertNotIn("GPSLatitude", found, "the published copy tells where it was taken")
        self.assertNotIn("SerialNumber", found, "the published copy names the camera")
        self.assertEqual(found.get("Artist"), "Ann Author", "the author went with the private details")
        self.assertEqual(image_size(published), (200, 150))
        press(done)
        program.window_gone(pyatspi.ROLE_FILLER, "FTP Status")
        press(control(main, pyatspi.ROLE_PUSH_BUTTON, "Exit"))
        program.wait_exit()

    def test_fake_error_is_reported_and_closing_the_report_gives_back_the_main_window(self):
        program = Program(self)
        main = program.main_window()
        # Menu entries are picked with the mouse: triggering one over the bus would wait on the
        # report's own event loop.
        click(control(main, pyatspi.ROLE_MENU_ITEM, "Help"))
        fake = control(main, pyatspi.ROLE_MENU_ITEM, "Fake Error")
        wait_for("the Help menu did not open", lambda: has_state(fake, pyatspi.STATE_SHOWING))
        click(fake)
        report = program.window(pyatspi.ROLE_DIALOG, "Error Message")
        fields = {caption: text_of(labelled(report, caption, pyatspi.ROLE_TEXT))
                  for caption in ("Error No", "Form", "Function")}
        self.assertEqual(fields, {"Error No": "400", "Form": "frmMain", "Function": "mnuFakeError_Click"})
        press(control(report, pyatspi.ROLE_PUSH_BUTTON, "Exit"))
        program.window_gone(pyatspi.ROLE_DIALOG, "Error Message")
        self.assertEqual([describe(w) for w in program.windows()], ["frame 'Pexa Resizer'"])
        press(control(main, pyatspi.ROLE_PUSH_BUTTON, "Exit"))
        program.wait_exit()

    def test_exit_reads_cancel_while_a_long_scan_runs_and_cancels_it(self):
        work = tempfile.mkdtemp(prefix="pexa-e2e-many-")
        self.addCleanup(shutil.rmtree, work, True)
        root, empty = os.path.join(work, "photos"), os.path.join(work, "empty")
        open(empty, "wb").close()
        # The scan takes about 10 us a file here; a click lands after a few thousand. Links to one
        # empty file are made many times faster than as many new files.
        total = 20000
        for folder in range(4):
            os.makedirs(os.path.join(root, f"f{folder}"))
            for n in range(total // 4):
                os.link(empty, os.path.join(root, f"f{folder}", f"{n:05}.jpg"))
        program = Program(self, {"main": {"root_path": root}})
        main = program.main_window()
        exit_button = control(main, pyatspi.ROLE_PUSH_BUTTON, "Exit")
        # Found now, while it is the one label without text: a search during the scan reads every
        # control over the bus, one pump of the scan each, and would click too late.
        status = control(main, pyatspi.ROLE_LABEL, "")
        # A real click, made ready over the button: the Press action would land only after the
        # animated click's delay, by when the scan may be over.
        box = exit_button.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
        xdotool("mousemove", "--sync", str(box.x + box.width // 2), str(box.y + box.height // 2))
        press(control(main, pyatspi.ROLE_PUSH_BUTTON, "Scan Root"))
        wait_text(exit_button, "Cancel", "the Exit button during the scan")
        # Exit reads Cancel before the first folder is listed: a click taken then stops the scan
        # before any file is counted, and the label stays empty, as after an empty root.
        wait_for(lambda: f"the status label shows no count during the scan (reads {status.name!r})",
                 lambda: re.fullmatch(r"(\d+) images out of \1 scanned!", status.name))
        xdotool("click", "1")
        alert = program.window(pyatspi.ROLE_ALERT, "PexaResizer")
        control(alert, pyatspi.ROLE_LABEL, "Cancelled!!")
        found = int(status_label(main, r"(\d+) images out of \1 scanned!").name.split()[0])
        self.assertLess(found, total, "the scan ran to its end in spite of Cancel")
        self.assertEqual(exit_button.name, "Exit", "the Exit button still reads Cancel after the scan")
        press(control(alert, pyatspi.ROLE_PUSH_BUTTON, "OK"))
        program.window_gone(pyatspi.ROLE_ALERT, "PexaResizer")
        self.assertEqual(control(main, pyatspi.ROLE_LIST, "Images").childCount, found)
        press(exit_button)
        program.wait_exit()

    def test_boxes_are_named_by_their_labels_and_mode_opens_on_its_current_item(self):
        program = Program(self)
        main = program.main_window()
        for caption, role in (("Resize Percent:", pyatspi.ROLE_COMBO_BOX), ("Mode:", pyatspi.ROLE_COMBO_BOX),
                              ("Resize Limit:", pyatspi.ROLE_TEXT),
                              ("FTP Upload Size Limit (kb):", pyatspi.ROLE_COMBO_BOX),
                              ("Thumbnail Size:", pyatspi.ROLE_COMBO_BOX), ("Thumbnail Prefix:", pyatspi.ROLE_TEXT)):
            box = labelled(main, caption, role)
            if role == pyatspi.ROLE_TEXT:
                self.assertEqual(box.name, caption, "a text box is not named by its label")
        self.assertEqual(text_of(labelled(main, "Resize Limit:", pyatspi.ROLE_TEXT)), "600W")

        mode = labelled(main, "Mode:", pyatspi.ROLE_COMBO_BOX)
        self.assertEqual(mode.name, "Exceed Limit to Pct")
        items = find(mode, pyatspi.ROLE_LIST)
        self.assertIsNotNone(items, "the Mode box has no list of items")
        editor = find(mode, pyatspi.ROLE_TEXT)
        self.assertIsNotNone(editor, "the Mode box has no text field")
        focus(editor)
        key("alt+Down")
        selected = wait_for("the Mode list did not open with an item selected",
                            lambda: items.queryTable().getSelectedRows())
        self.assertEqual([items[row].name for row in selected], ["Exceed Limit to Pct"])
        key("Escape")
        wait_for("the Mode list did not close on Escape", lambda: not has_state(items, pyatspi.STATE_SHOWING)
                 and has_state(editor, pyatspi.STATE_FOCUSED))
        key("Down")
        wait_text(mode, "All to Limit", "the Mode box after Down")
        wait_for("the picked mode was not stored",
                 lambda: program.settings().get("main", "resize_mode", fallback=None) == "All to Limit")
        press(control(main, pyatspi.ROLE_PUSH_BUTTON, "Exit"))
        program.wait_exit()


def main():
    global PROGRAM
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--program", required=True, help="the built PexaResizer executable")
    args, rest = parser.parse_known_args()
    PROGRAM = os.path.abspath(args.program)
    if not os.environ.get("DISPLAY") or not os.environ.get("DBUS_SESSION_BUS_ADDRESS"):
        sys.exit("no private desktop: run this through tests/scripts/with-desktop.sh")
    # Debian's pyatspi calls libatspi functions that are deprecated; that is not ours to mend.
    warnings.simplefilter("default")
    warnings.filterwarnings("ignore", category=DeprecationWarning, module="pyatspi")
    unittest.main(argv=[sys.argv[0], *rest], verbosity=2, warnings=False)


if __name__ == "__main__":
    main()
