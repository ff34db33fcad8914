#!/usr/bin/python3
"""Gallery pages in a real browser: the built program resizes a small tree with pages on, driven
as a user drives it on a private desktop (tests/scripts/with-desktop.sh), then Debian's headless
Chromium, driven by chromedriver through Selenium, opens the written top page from disk and
every page it leads to.

    with-desktop.sh /usr/bin/python3 test_gallery_browser.py --program PATH --screenshot PNG
"""

import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import unittest
import urllib.parse
import warnings

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path[:0] = [HERE, os.path.join(HERE, os.pardir, "scripts")]

import check_html5  # noqa: E402
import pyatspi  # noqa: E402
import test_desktop  # noqa: E402
from selenium import webdriver  # noqa: E402
from selenium.webdriver.chrome.service import Service  # noqa: E402
from selenium.webdriver.common.action_chains import ActionChains  # noqa: E402
from selenium.webdriver.common.by import By  # noqa: E402
from selenium.webdriver.common.keys import Keys  # noqa: E402
from selenium.webdriver.support.ui import WebDriverWait  # noqa: E402

from test_desktop import Program, control, make_image, press, status_label, wait_for  # noqa: E402

SCREENSHOT = ""
HOSTILE = 'a&b "c" <d>#1 é.jpg'


def exiftool(path, *assignments):
    subprocess.run(["/usr/bin/exiftool", "-q", "-q", "-overwrite_original", *assignments, path], check=True)


def browser(test):
    """Headless Chromium with a profile of its own that asks nothing of the network."""
    profile = tempfile.mkdtemp(prefix="pexa-chromium-")
    test.addCleanup(shutil.rmtree, profile, True)
    options = webdriver.ChromeOptions()
    options.binary_location = "/usr/bin/chromium"
    for argument in ("--headless", "--no-sandbox", "--disable-gpu", "--no-first-run",
                     "--disable-background-networking", "--disable-component-update", "--disable-sync",
                     "--window-size=1280,900", f"--user-data-dir={profile}"):
        options.add_argument(argument)
    options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
    driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
    test.addCleanup(driver.quit)
    return driver


def local_path(url):
    parsed = urllib.parse.urlsplit(url)
    if parsed.scheme != "file":
        raise AssertionError(f"{url} is not a file on disk")
    return urllib.parse.unquote(parsed.path)


class GalleryBrowserTest(unittest.TestCase):

    def make_tree(self, root):
        make_image(os.path.join(root, "sunset.jpg"), 800, 600)
        exiftool(os.path.join(root, "sunset.jpg"), "-ImageDescription=Sunset over the bay")
        make_image(os.path.join(root, HOSTILE), 640, 480)
        exiftool(os.path.join(root, HOSTILE), '-ImageDescription=<script>alert("x")</script>')
        make_image(os.path.join(root, "2008 Summer", "beach.jpg"), 640, 480)
        # Stored lying down and tagged to be turned: a browser shows it standing.
        make_image(os.path.join(root, "2008 Summer", "phone.jpg"), 600, 300)
        exiftool(os.path.join(root, "2008 Summer", "phone.jpg"), "-Orientation#=6")
        make_image(os.path.join(root, "2008 Summer", "lake.png"), 400, 300)
        exiftool(os.path.join(root, "2008 Summer", "lake.png"), "-XMP-dc:Description=Lake at noon")
        make_image(os.path.join(root, "Trips", "Alps", "peak.png"), 300, 400)
        os.makedirs(os.path.join(root, "Empty"))
        with open(os.path.join(root, "Empty", "notes.txt"), "w", encoding="utf-8") as f:
            f.write("no picture here\n")

    def resize_with_pages(self):
        work = tempfile.mkdtemp(prefix="pexa-e2e-gallery-")
        self.addCleanup(shutil.rmtree, work, True)
        root, destination = os.path.join(work, "photos"), os.path.join(work, "web")
        self.make_tree(root)
        program = Program(self, {"main": {"root_path": root, "dest_path": destination, "tn_size": "100x100"},
                                 "web": {"pages": "1", "title": "Holiday & friends"}})
        main = program.main_window()
        press(control(main, pyatspi.ROLE_PUSH_BUTTON, "Scan Root"))
        status = status_label(main, r"6 images out of 7 scanned!")
        press(control(main, pyatspi.ROLE_PUSH_BUTTON, "Resize"))
        top = os.path.join(destination, "index.html")
        # The pages follow the last image; the caption reads as at rest once they are written.
        wait_for(lambda: f"no finished resize with pages (status {status.name!r}, caption {main.name!r})",
                 lambda: status.name == "6 images out of 6 files completed!" and main.name == "Pexa Resizer"
                 and os.path.exists(top))
        press(control(main, pyatspi.ROLE_PUSH_BUTTON, "Exit"))
        program.wait_exit()
        return destination

    def check_page(self, driver, url, destination):
        """Opens one page and checks it as a visitor's browser meets it. Gives its links."""
        driver.get(url)
        self.assertNotIn("<script", driver.page_source.lower(), f"{url} holds a script")

        images = driver.find_elements(By.TAG_NAME, "img")
        self.assertTrue(images, f"{url} shows no picture")
        for image in images:
            # Lazy pictures load when they come near the view.
            driver.execute_script("arguments[0].scrollIntoView()", image)
            WebDriverWait(driver, 20).until(
                lambda _: driver.execute_script("return arguments[0].complete", image),
                f"{image.get_attribute('src')} did not finish loading")
            natural = driver.execute_script("return [arguments[0].naturalWidth, arguments[0].naturalHeight]",
                                            image)
            self.assertGreater(natural[0], 0, f"{image.get_attribute('src')} did not load on {url}")
            self.assertEqual(image.get_dom_attribute("loading"), "lazy")
            self.assertIsNotNone(image.get_dom_attribute("alt"))
            # Every picture here is a thumbnail the page gives its own size, turned as its tag says.
            self.assertEqual([int(image.get_dom_attribute("width")), int(image.get_dom_attribute("height"))], natural,
                             f"{image.get_attribute('src')} on {url}: the page's size is not the browser's")

        links = driver.find_elements(By.TAG_NAME, "a")
        hrefs = [link.get_attribute("href") for link in links]
        for href in hrefs:
            path = local_path(href)
            self.assertTrue(os.path.isfile(path), f"{href} on {url} leads to no file")
            self.assertTrue(path.startswith(destination + os.sep), f"{href} leads out of the gallery")

        # Tab walks the links in the page's order, each visibly focused.
        driver.execute_script("document.activeElement && document.activeElement.blur()")
        reached = []
        for _ in links:
            ActionChains(driver).send_keys(Keys.TAB).perform()
            reached.append(driver.execute_script("return document.activeElement.href"))
            outline = driver.execute_script(
                "const s = getComputedStyle(document.activeElement); return [s.outlineStyle, s.outlineWidth]")
            self.assertEqual(outline, ["solid", "3px"], f"the focused link {reached[-1]} shows no outline")
        self.assertEqual(reached, hrefs, f"Tab on {url} does not reach the links in order")

        errors = [entry for entry in driver.get_log("browser") if entry["level"] == "SEVERE"]
        self.assertEqual(errors, [], f"{url} logged errors")
        return hrefs

    def test_written_gallery_browses_in_chromium(self):
        destination = self.resize_with_pages()
        pages = sorted(os.path.relpath(os.path.join(folder, name), destination)
                       for folder, _, files in os.walk(destination) for name in files if name.endswith(".html"))
        self.assertEqual(pages, ["2008 Summer/index.html", "Trips/Alps/index.html", "Trips/index.html",
                                 "index.html"])
        self.assertTrue(os.path.isfile(os.path.join(destination, "pexa-gallery.css")))
        for page in pages:
            self.assertIsNone(check_html5.first_error(os.path.join(destination, page)), page)

        driver = browser(self)
        top = "file://" + urllib.parse.quote(os.path.join(destination, "index.html"))
        seen, queue = set(), [top]
        while queue:
            url = queue.pop(0)
            if url in seen:
                continue
            seen.add(url)
            hrefs = self.check_page(driver, url, destination)
            queue += [href for href in hrefs if href.endswith("/index.html")]
        self.assertEqual(len(seen), len(pages), f"the links reach {sorted(seen)}")

        driver.get(top)
        text = driver.find_element(By.TAG_NAME, "body").text
        for shown in ("Holiday & friends", "2008 Summer", "3 images", "Trips", "1 image", "Sunset over the bay",
                      '<script>alert("x")</script>'):
            self.assertIn(shown, text)
        alts = [image.get_attribute("alt") for image in driver.find_elements(By.TAG_NAME, "img")]
        self.assertIn('<script>alert("x")</script>', alts)
        hostile = driver.find_element(By.CSS_SELECTOR, "figure a[href*='%23']")
        self.assertEqual(os.path.basename(local_path(hostile.get_attribute("href"))), HOSTILE)

        # Light by default, dark when the visitor's system prefers it.
        background = "return getComputedStyle(document.body).backgroundColor"
        light = driver.execute_script(background)
        driver.save_screenshot(SCREENSHOT)
        driver.execute_cdp_cmd("Emulation.setEmulatedMedia",
                               {"features": [{"name": "prefers-color-scheme", "value": "dark"}]})
        self.assertNotEqual(driver.execute_script(background), light)


def main():
    global SCREENSHOT
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--program", required=True, help="the built PexaResizer executable")
    parser.add_argument("--screenshot", required=True, help="where the top page's screenshot goes")
    args, rest = parser.parse_known_args()
    test_desktop.PROGRAM = os.path.abspath(args.program)
    SCREENSHOT = os.path.abspath(args.screenshot)
    if not os.environ.get("DISPLAY") or not os.environ.get("DBUS_SESSION_BUS_ADDRESS"):
        sys.exit("no private desktop: run this through tests/scripts/with-desktop.sh")
    warnings.simplefilter("default")
    warnings.filterwarnings("ignore", category=DeprecationWarning, module="pyatspi")
    unittest.main(argv=[sys.argv[0], *rest], verbosity=2, warnings=False)


if __name__ == "__main__":
    main()
