#!/usr/bin/python3
"""Lighthouse scores of the gallery pages the program writes for a reference album.

Installs Lighthouse (pinned) into the build tree, makes the album once (photographs of camera
size, landscape and portrait, taken in another order than their names, some with captions, in
two levels of folders), resizes it through the real main window with gallery pages on
(build/bench/gallery_resize), serves the result on 127.0.0.1 and runs Lighthouse on the top page,
an album page and a photo page, on a phone and on a desktop. Prints the figures beside their
targets; it judges nothing and exits non-zero only when it could not run.

    bench/page_check.py [--build build-bench] [--album DIR] [--thumbnails SIZE]
"""

import argparse
import concurrent.futures
import functools
import http.server
import json
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time
import urllib.parse

LIGHTHOUSE_VERSION = "12.2.3"
CHROMIUM = "/usr/bin/chromium"
CONVERT = "/usr/bin/convert"
EXIFTOOL = "/usr/bin/exiftool"
WEB_ADDRESS = "https://example.org/photos/"
TITLE = "Reference album"
# Bump when the album's recipe changes, so a kept album is made again.
ALBUM_RECIPE = "page-check album 1"
CATEGORIES = ("performance", "accessibility", "best-practices", "seo")
TARGETS = {"performance": 98, "accessibility": 100, "best-practices": 100, "seo": 100}
# Folders of the album and how many photographs each holds: the top, two folders, one of them
# with a folder of its own.
FOLDERS = (("", 6), ("2024 Coast", 10), ("Family", 8), ("Family/Birthday party", 8))
CAPTIONS = ("Low tide at the harbour", "Grandmother's garden in June", "The lighthouse at dusk",
            "Candles & cake", "Fog over the dunes", "A kite above the beach", "Reading in the shade",
            "The ferry leaving")


def album_plan():
    """The album's photographs as (path, width, height, DateTimeOriginal, caption or None), in
    name order. Within a folder the times follow another order than the names, as they do once
    photographs from two cameras or a renamed batch meet."""
    plan = []
    number = 0
    for folder, count in FOLDERS:
        for k in range(count):
            number += 1
            width, height = (3000, 4000) if number % 3 == 0 else (4000, 3000)
            taken = (7 * k + 2) % count
            day = 1 + FOLDERS.index((folder, count)) * 3
            stamp = f"2024:06:{day:02d} {9 + taken // 2:02d}:{(taken % 2) * 30 + 5:02d}:00"
            caption = CAPTIONS[(number // 4) % len(CAPTIONS)] if number % 4 == 1 else None
            plan.append((os.path.join(folder, f"IMG_{number:04d}.jpg"), width, height, stamp, caption))
    return plan


def make_album(album):
    """Makes the album in album unless the same recipe made it there already."""
    stamp = os.path.join(album, ".recipe")
    if os.path.isfile(stamp) and open(stamp, encoding="utf-8").read() == ALBUM_RECIPE:
        return False
    shutil.rmtree(album, ignore_errors=True)
    plan = album_plan()
    for path, *_ in plan:
        os.makedirs(os.path.dirname(os.path.join(album, path)), exist_ok=True)

    def draw(index, entry):
        path, width, height, _, _ = entry
        subprocess.run([CONVERT, "-size", f"{width}x{height}", "-seed", str(index + 1), "plasma:fractal",
                        "-sampling-factor", "2x2", "-quality", "90", os.path.join(album, path)], check=True)

    with concurrent.futures.ThreadPoolExecutor(max_workers=max(1, os.cpu_count() or 1)) as pool:
        list(pool.map(draw, range(len(plan)), plan))
    # One exiftool for all: a camera's tags, the time taken, and a caption on some.
    arguments = []
    for path, _, _, taken, caption in plan:
        arguments += ["-Make=Pexa", "-Model=Reference Camera", f"-DateTimeOriginal={taken}",
                      f"-CreateDate={taken}"]
        if caption:
            arguments.append(f"-ImageDescription={caption}")
        arguments += [os.path.join(album, path), "-execute"]
    with tempfile.NamedTemporaryFile("w", encoding="utf-8", suffix=".args") as args:
        args.write("\n".join(arguments) + "\n")
        args.flush()
        subprocess.run([EXIFTOOL, "-@", args.name, "-common_args", "-q", "-q", "-overwrite_original"], check=True)
    with open(stamp, "w", encoding="utf-8") as f:
        f.write(ALBUM_RECIPE)
    return True


def install_lighthouse(build):
    """The pinned Lighthouse in build/lighthouse, installed there unless it is already."""
    prefix = os.path.join(build, "lighthouse")
    package = os.path.join(prefix, "node_modules", "lighthouse", "package.json")
    if not (os.path.isfile(package) and json.load(open(package, encoding="utf-8"))["version"] == LIGHTHOUSE_VERSION):
        subprocess.run(["npm", "install", "--prefix", prefix, "--no-audit", "--no-fund", "--save-exact",
                        f"lighthouse@{LIGHTHOUSE_VERSION}"], check=True, stdout=subprocess.DEVNULL)
    return os.path.join(prefix, "node_modules", ".bin", "lighthouse")


class GalleryServer:
    """The destination tree over HTTP on a free port of 127.0.0.1, as a web server sends it."""

    def __init__(self, root):
        handler = functools.partial(QuietHandler, directory=root)
        self.httpd = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
        self.thread = threading.Thread(target=self.httpd.serve_forever, daemon=True)
        self.thread.start()

    def url(self, page):
        return f"http://127.0.0.1:{self.httpd.server_port}/" + urllib.parse.quote(page)

    def close(self):
        self.httpd.shutdown()
        self.httpd.server_close()
        self.thread.join()


class QuietHandler(http.server.SimpleHTTPRequestHandler):
    extensions_map = {**http.server.SimpleHTTPRequestHandler.extensions_map, ".html": "text/html",
                      ".css": "text/css", ".jpg": "image/jpeg", ".png": "image/png", ".gif": "image/gif",
                      ".ico": "image/x-icon", ".svg": "image/svg+xml"}

    def log_message(self, *_):
        pass


def summarize(report):
    """The figures of one Lighthouse report: scores 0-100 (None when Lighthouse gave none), CLS,
    LCP in ms, console errors, image-size-responsive, the failing audits of the three categories
    judged by pass or fail, and why the canonical audit failed (None when it did not)."""
    audits = report.get("audits", {})
    categories = report.get("categories", {})

    def score(category):
        value = categories.get(category, {}).get("score")
        return None if value is None else round(value * 100)

    def numeric(audit):
        return audits.get(audit, {}).get("numericValue")

    def verdict(audit):
        found = audits.get(audit, {})
        if found.get("scoreDisplayMode") in ("notApplicable", "manual", "informative") or found.get("score") is None:
            return "n/a"
        return "pass" if found["score"] >= 1 else "fail"

    failing = {}
    for category in CATEGORIES[1:]:
        ids = [ref["id"] for ref in categories.get(category, {}).get("auditRefs", [])
               if verdict(ref["id"]) == "fail"]
        if ids:
            failing[category] = ids
    console = audits.get("errors-in-console", {})
    canonical = audits.get("canonical", {})
    return {
        "scores": {category: score(category) for category in CATEGORIES},
        "cls": numeric("cumulative-layout-shift"),
        "lcp": numeric("largest-contentful-paint"),
        "console_errors": None if verdict("errors-in-console") == "n/a"
        else [" ".join(filter(None, (item.get("description"), item.get("url"))))
              for item in console.get("details", {}).get("items", [])],
        "image_size_responsive": verdict("image-size-responsive"),
        "failing": failing,
        "canonical": (canonical.get("explanation") or "failed") if verdict("canonical") == "fail" else None,
        "canonical_verdict": verdict("canonical"),
        "warnings": report.get("runWarnings", []),
    }


def canonical_failed(rows):
    """Whether the canonical audit failed on a page measured. With the canonical address on
    another host than the one served, a run with the web address left empty tells whether the
    host is why."""
    return any(not isinstance(summary, str) and summary["canonical"] for _, _, summary in rows)


def lighthouse(binary, url, form, output):
    """One Lighthouse run; the summary, or the reason it gave none."""
    command = [binary, url, "--output=json", f"--output-path={output}", "--quiet",
               "--chrome-flags=--headless --no-sandbox"]
    if form == "desktop":
        command.append("--preset=desktop")
    env = dict(os.environ, CHROME_PATH=CHROMIUM)
    try:
        run = subprocess.run(command, env=env, capture_output=True, text=True, timeout=600)
    except subprocess.TimeoutExpired:
        return "Lighthouse did not finish in 10 minutes"
    if run.returncode != 0 or not os.path.isfile(output):
        return f"Lighthouse exited with {run.returncode}: {run.stderr.strip()[-400:]}"
    report = json.load(open(output, encoding="utf-8"))
    if report.get("runtimeError"):
        return f"Lighthouse could not load the page: {report['runtimeError'].get('message')}"
    return summarize(report)


def text(value, digits=0):
    return "-" if value is None else f"{value:.{digits}f}"


ROW = "{:<7} {:<8} {:>5} {:>5} {:>5} {:>5} {:>7} {:>8} {:>8} {:>9}  {}"


def print_table(rows):
    print(ROW.format("page", "form", "perf", "a11y", "bp", "seo", "CLS", "LCP ms", "console", "img-size",
                     "failing audits"))
    for page, form, summary in rows:
        if isinstance(summary, str):
            print(f"{page:<7} {form:<8} not measured: {summary}")
            continue
        scores = summary["scores"]
        failing = "; ".join(f"{category}: {', '.join(ids)}" for category, ids in summary["failing"].items())
        console = summary["console_errors"]
        console_text = "-" if console is None else f"{len(console)} err" if console else "none"
        print(ROW.format(page, form, *(text(scores[c]) for c in CATEGORIES), text(summary["cls"], 3),
                         text(summary["lcp"], 0), console_text, summary["image_size_responsive"], failing or "none"))
        for error in console or []:
            print(f"{'':<17}console: {' '.join(error.split())[:300]}")
        if summary["canonical"]:
            print(f"{'':<17}canonical: {summary['canonical']}")
        for warning in summary["warnings"]:
            print(f"{'':<17}warning: {' '.join(warning.split())[:300]}")
    print(ROW.format("target", "", f">={TARGETS['performance']}", TARGETS["accessibility"],
                     TARGETS["best-practices"], TARGETS["seo"], "0", "", "none", "pass", "none"))
    print("canonical audit: " + ", ".join(f"{page} {form} {summary['canonical_verdict']}"
                                          for page, form, summary in rows if not isinstance(summary, str)))


def measure(binary, destination, reports, web_address):
    """Lighthouse on the top page, an album page and a photo page of destination, phone first."""
    pages = [("top", "index.html"), ("album", "Family/index.html")]
    photo_pages = sorted(name for name in os.listdir(os.path.join(destination, "Family"))
                         if name.endswith(".jpg.index.html"))
    if photo_pages:
        pages.append(("photo", "Family/" + photo_pages[0]))
    server = GalleryServer(destination)
    rows = []
    try:
        for page, path in pages:
            for form in ("mobile", "desktop"):
                started = time.monotonic()
                summary = lighthouse(binary, server.url(path), form, os.path.join(reports, f"{page}-{form}.json"))
                rows.append((page, form, summary))
                print(f"  {page} ({path}), {form}: {time.monotonic() - started:.1f} s", flush=True)
    finally:
        server.close()
    shown = f'"{web_address}"' if web_address else "left empty"
    print(f"\nWeb address {shown}; pages: "
          + ", ".join(f"{page} = {path}" for page, path in pages)
          + ("" if photo_pages else "; no photo page written (skipped)"))
    print_table(rows)
    return rows


def resize(driver, album, destination, web_address, thumbnails):
    command = [driver, album, destination, "--title", TITLE, "--web-address", web_address]
    if thumbnails:
        command += ["--thumbnails", thumbnails]
    subprocess.run(command, check=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build", default="build-bench", help="the build tree holding bench/gallery_resize")
    parser.add_argument("--album", help="where the reference album is kept (default BUILD/page-check-album)")
    parser.add_argument("--thumbnails", help="Thumbnail Size for the resize, such as 100x100 (default: as the "
                        "main window shows it without stored settings)")
    args = parser.parse_args()
    build = os.path.abspath(args.build)
    driver = os.path.join(build, "bench", "gallery_resize")
    if not os.access(driver, os.X_OK):
        sys.exit(f"{driver} is missing: build the target gallery_resize with -DPEXA_BUILD_BENCH=ON")
    # A stop by signal still runs the clean-up below.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(1))

    started = time.monotonic()
    binary = install_lighthouse(build)
    version = subprocess.run([binary, "--version"], capture_output=True, text=True, check=True).stdout.strip()
    node = subprocess.run(["node", "--version"], capture_output=True, text=True, check=True).stdout.strip()
    print(f"Lighthouse {version} on Node.js {node}, {CHROMIUM}", flush=True)
    album = os.path.abspath(args.album or os.path.join(build, "page-check-album"))
    made = time.monotonic()
    if make_album(album):
        print(f"Made the album in {album} in {time.monotonic() - made:.0f} s", flush=True)
    plan = album_plan()
    print(f"Album: {len(plan)} photographs ({sum(w > h for _, w, h, _, _ in plan)} landscape 4000x3000, "
          f"{sum(w < h for _, w, h, _, _ in plan)} portrait 3000x4000, {sum(bool(c) for *_, c in plan)} with "
          f"captions) in {album}", flush=True)

    failed = False
    with tempfile.TemporaryDirectory(prefix="pexa-page-check-") as work:
        passes = [WEB_ADDRESS]
        for number, web_address in enumerate(passes):
            destination, reports = os.path.join(work, f"web-{number}"), os.path.join(work, f"reports-{number}")
            os.mkdir(reports)
            resize(driver, album, destination, web_address, args.thumbnails)
            rows = measure(binary, destination, reports, web_address)
            failed = failed or any(isinstance(summary, str) for _, _, summary in rows)
            if web_address and canonical_failed(rows):
                print("The canonical audit failed with the canonical address on another host than 127.0.0.1: "
                      "once more with the web address left empty.", flush=True)
                passes.append("")
    print(f"\nOne run of the checker: {time.monotonic() - started:.0f} s", flush=True)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
