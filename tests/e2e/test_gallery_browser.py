#!/usr/bin/python3
"""Gallery pages in a real browser: the built program resizes a small tree with pages on, driven
as a user drives it on a private desktop (tests/scripts/with-desktop.sh), then Debian's headless
Chromium, driven by chromedriver through Selenium, opens the written top page from disk and
every page it leads to, steps through a folder's photo pages, and checks the previews on a sharp screen.

    with-desktop.sh /usr/bin/python3 test_gallery_browser.py --program PATH --screenshot PNG
"""

import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import time
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


def browser(test, *extra):
    """Headless Chromium with a profile of its own that asks nothing of the network."""
    profile = tempfile.mkdtemp(prefix="pexa-chromium-")
    test.addCleanup(shutil.rmtree, profile, True)
    options = webdriver.ChromeOptions()
    options.binary_location = "/usr/bin/chromium"
    for argument in ("--headless", "--no-sandbox", "--disable-gpu", "--no-first-run",
                     "--disable-background-networking", "--disable-component-update", "--disable-sync",
                     "--window-size=1280,900", f"--user-data-dir={profile}", *extra):
        options.add_argument(argument)
    options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
    driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
    test.addCleanup(driver.quit)
    return driver


def shown_size(path):
    """A picture file's size as a browser shows it: sides swapped where its EXIF turns it."""
    out = subprocess.run(["/usr/bin/identify", "-format", "%w %h %[EXIF:Orientation] ", path], check=True,
                         capture_output=True, text=True).stdout.split()
    width, height = int(out[0]), int(out[1])
    turned = len(out) > 2 and out[2].isdigit() and int(out[2]) >= 5
    return [height, width] if turned else [width, height]


def local_path(url):
    parsed = urllib.parse.urlsplit(url)
    if parsed.scheme != "file":
        raise AssertionError(f"{url} is not a file on disk")
    return urllib.parse.unquote(parsed.path)


class GalleryBrowserTest(unittest.TestCase):

    # The order the pictures of "2008 Summer" were taken in: not their names' order.
    SUMMER = ["shell.jpg", "beach.jpg", "dunes.jpg", "lake.png", "phone.jpg"]

    def make_tree(self, root):
        # Wide enough that the previews are not narrowed by the copies.
        make_image(os.path.join(root, "sunset.jpg"), 1600, 1200)
        exiftool(os.path.join(root, "sunset.jpg"), "-ImageDescription=Sunset over the bay")
        make_image(os.path.join(root, HOSTILE), 1280, 960)
        exiftool(os.path.join(root, HOSTILE), '-ImageDescription=<script>alert("x")</script>')
        summer = os.path.join(root, "2008 Summer")
        make_image(os.path.join(summer, "beach.jpg"), 1280, 960)
        exiftool(os.path.join(summer, "beach.jpg"), "-DateTimeOriginal=2008:06:20 10:00:00")
        make_image(os.path.join(summer, "shell.jpg"), 1280, 960)
        exiftool(os.path.join(summer, "shell.jpg"), "-DateTimeOriginal=2008:06:01 09:30:00")
        make_image(os.path.join(summer, "dunes.jpg"), 1200, 800)
        # Stored lying down and tagged to be turned: a browser shows it standing.
        make_image(os.path.join(summer, "phone.jpg"), 1600, 1200)
        exiftool(os.path.join(summer, "phone.jpg"), "-Orientation#=6")
        make_image(os.path.join(summer, "lake.png"), 1200, 900)
        exiftool(os.path.join(summer, "lake.png"), "-XMP-dc:Description=Lake at noon")
        # Without a time taken, the files' times order them after the others.
        for year, name in ((2010, "dunes.jpg"), (2011, "lake.png"), (2012, "phone.jpg")):
            stamp = time.mktime((year, 1, 1, 12, 0, 0, 0, 0, -1))
            os.utime(os.path.join(summer, name), (stamp, stamp))
        make_image(os.path.join(root, "Trips", "Alps", "peak.png"), 1200, 1600)
        os.makedirs(os.path.join(root, "Empty"))
        with open(os.path.join(root, "Empty", "notes.txt"), "w", encoding="utf-8") as f:
            f.write("no picture here\n")

    def resize_with_pages(self):
        work = tempfile.mkdtemp(prefix="pexa-e2e-gallery-")
        self.addCleanup(shutil.rmtree, work, True)
        root, destination = os.path.join(work, "photos"), os.path.join(work, "web")
        self.make_tree(root)
        program = Program(self, {"main": {"root_path": root, "dest_path": destination, "tn_size": "100x100",
                                          "resize_mode": "Exceed Limit to Limit", "resize_limit": "1200W"},
                                 "ftp": {"ul_size_limit": "1000"},
                                 "web": {"pages": "1", "title": "Holiday & friends"}})
        main = program.main_window()
        press(control(main, pyatspi.ROLE_PUSH_BUTTON, "Scan Root"))
        status = status_label(main, r"8 images out of 9 scanned!")
        press(control(main, pyatspi.ROLE_PUSH_BUTTON, "Resize"))
        top = os.path.join(destination, "index.html")
        # The pages follow the last image; the caption reads as at rest once they are written.
        wait_for(lambda: f"no finished resize with pages (status {status.name!r}, caption {main.name!r})",
                 lambda: status.name == "8 images out of 8 files completed!" and main.name == "Pexa Resizer"
                 and os.path.exists(top))
        press(control(main, pyatspi.ROLE_PUSH_BUTTON, "Exit"))
        program.wait_exit()
        return destination

    def wait_loaded(self, driver, image):
        # Lazy pictures load when they come near the view.
        driver.execute_script("arguments[0].scrollIntoView()", image)
        WebDriverWait(driver, 20).until(
            lambda _: driver.execute_script("return arguments[0].complete && arguments[0].naturalWidth > 0", image),
            f"{image.get_attribute('src')} did not load")

    def check_page(self, driver, url, destination):
        """Opens one page and checks it as a visitor's browser meets it. Gives its links."""
        driver.get(url)
        photo_page = not url.endswith("/index.html")
        # A photo page has one short script of its own that loads nothing; an album none.
        scripts = [(script.get_dom_attribute("src"), len(script.get_property("text").encode()) < 2048)
                   for script in driver.find_elements(By.TAG_NAME, "script")]
        self.assertEqual(scripts, [(None, True)] if photo_page else [], url)

        images = driver.find_elements(By.TAG_NAME, "img")
        self.assertTrue(images, f"{url} shows no picture")
        for index, image in enumerate(images):
            self.wait_loaded(driver, image)
            # The first row loads at once, the very first (or a photo page's photo) first of all.
            loading, priority = image.get_dom_attribute("loading"), image.get_dom_attribute("fetchpriority")
            self.assertEqual(priority, "high" if index == 0 else None, f"{url} picture {index}")
            self.assertEqual(loading == "lazy", index >= 4, f"{url} picture {index}")
            self.assertIsNotNone(image.get_dom_attribute("alt"))
            # On this screen a grid takes the narrow preview, the size the page gives; a photo page
            # the copy or a preview of it, at least as wide as shown, and of the copy's shape.
            # Turned as its tag says.
            chosen = local_path(driver.execute_script("return arguments[0].currentSrc", image))
            given = [int(image.get_dom_attribute("width")), int(image.get_dom_attribute("height"))]
            if photo_page:
                copy = local_path(url).removesuffix(".index.html")
                self.assertTrue(chosen.startswith(copy), f"{url} shows {chosen}")
                width, height = shown_size(chosen)
                self.assertAlmostEqual(width / height, given[0] / given[1], delta=0.02, msg=chosen)
                self.assertGreaterEqual(width, image.rect["width"], f"{chosen} is shown enlarged on {url}")
            else:
                self.assertEqual(given, shown_size(chosen), f"{chosen} on {url}: the page's size is not the file's")

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

    def walk_summer(self, driver, summer, keys):
        """From the first photo of "2008 Summer" to the last and back; gives the photos passed."""
        driver.get(summer)
        driver.find_element(By.CSS_SELECTOR, "#images ~ ul a").click()

        def here():
            return os.path.basename(local_path(driver.current_url)).removesuffix(".index.html")

        def go(rel, key):
            """Follows the previous or next link, or presses its key; False at the end it leads past."""
            links, before = driver.find_elements(By.CSS_SELECTOR, f"a[rel='{rel}']"), driver.current_url
            if not links:
                return False
            if keys:
                ActionChains(driver).send_keys(key).perform()
                WebDriverWait(driver, 10).until(lambda _: driver.current_url != before, f"{key} did not step")
            else:
                links[0].click()
            return True

        forth, back = [here()], []
        while go("next", Keys.ARROW_RIGHT):
            forth.append(here())
        back.append(here())
        while go("prev", Keys.ARROW_LEFT):
            back.append(here())
        return forth, back

    def test_written_gallery_browses_in_chromium(self):
        destination = self.resize_with_pages()
        pages = sorted(os.path.relpath(os.path.join(folder, name), destination)
                       for folder, _, files in os.walk(destination) for name in files if name.endswith(".html"))
        albums = ["2008 Summer/index.html", "Trips/Alps/index.html", "Trips/index.html", "index.html"]
        photos = [f"2008 Summer/{name}.index.html" for name in self.SUMMER] + [
            "Trips/Alps/peak.png.index.html", f"{HOSTILE}.index.html", "sunset.jpg.index.html"]
        self.assertEqual(pages, sorted(albums + photos))
        self.assertTrue(os.path.isfile(os.path.join(destination, "pexa-gallery.css")))
        for page in pages:
            self.assertIsNone(check_html5.first_error(os.path.join(destination, page)), page)

        driver = browser(self)
        top = "file://" + urllib.parse.quote(os.path.join(destination, "index.html"))
        summer = "file://" + urllib.parse.quote(os.path.join(destination, "2008 Summer", "index.html"))
        seen, queue = set(), [top]
        while queue:
            url = queue.pop(0)
            if url in seen:
                continue
            seen.add(url)
            hrefs = self.check_page(driver, url, destination)
            queue += [href for href in hrefs if href.endswith(".html")]
        self.assertEqual(len(seen), len(pages), f"the links reach {sorted(seen)}")

        driver.get(top)
        text = driver.find_element(By.TAG_NAME, "body").text
        for shown in ("Holiday & friends", "2008 Summer", "5 images", "Trips", "1 image", "Sunset over the bay",
                      '<script>alert("x")</script>'):
            self.assertIn(shown, text)
        # A caption is its tile's link text, read once: the picture in it says nothing more.
        hostile = driver.find_element(By.CSS_SELECTOR, ".grid a[href*='%23']")
        self.assertEqual(hostile.text, '<script>alert("x")</script>')
        self.assertEqual(hostile.find_element(By.TAG_NAME, "img").get_dom_attribute("alt"), "")
        self.assertEqual(os.path.basename(local_path(hostile.get_attribute("href"))), HOSTILE + ".index.html")

        # Light by default, dark when the visitor's system prefers it.
        background = "return getComputedStyle(document.body).backgroundColor"
        light = driver.execute_script(background)
        driver.save_screenshot(SCREENSHOT)
        driver.execute_cdp_cmd("Emulation.setEmulatedMedia",
                               {"features": [{"name": "prefers-color-scheme", "value": "dark"}]})
        self.assertNotEqual(driver.execute_script(background), light)
        driver.execute_cdp_cmd("Emulation.setEmulatedMedia", {"features": []})

        # Through "2008 Summer" in the order the photos were taken, no further than its ends.
        expected = (self.SUMMER, self.SUMMER[::-1])
        self.assertEqual(self.walk_summer(driver, summer, keys=False), expected)
        self.assertEqual(self.walk_summer(driver, summer, keys=True), expected)
        ActionChains(driver).send_keys(Keys.ESCAPE).perform()
        WebDriverWait(driver, 10).until(lambda _: driver.current_url == summer, "Escape did not lead to the album")
        # A key with a modifier is the browser's.
        driver.find_element(By.CSS_SELECTOR, "#images ~ ul a").click()
        first = driver.current_url
        ActionChains(driver).key_down(Keys.ALT).send_keys(Keys.ARROW_RIGHT).key_up(Keys.ALT).perform()
        time.sleep(0.5)
        self.assertEqual(driver.current_url, first)

        # With scripts off the links still lead through (and the keys, proof that they are off, do not).
        still = browser(self, "--blink-settings=scriptEnabled=false")
        self.assertEqual(self.walk_summer(still, summer, keys=False), expected)
        ActionChains(still).send_keys(Keys.ARROW_RIGHT).perform()
        time.sleep(0.5)
        self.assertTrue(still.current_url.endswith(urllib.parse.quote(self.SUMMER[0]) + ".index.html"))

        # On a screen of two device pixels to a CSS pixel, each grid picture is a file two to three
        # times as wide as it is shown: sharp, and not the copy.
        sharp = browser(self, "--force-device-scale-factor=2")
        checked = 0
        for album in albums:
            sharp.get("file://" + urllib.parse.quote(os.path.join(destination, album)))
            for image in sharp.find_elements(By.CSS_SELECTOR, ".grid img"):
                self.wait_loaded(sharp, image)
                chosen = local_path(sharp.execute_script("return arguments[0].currentSrc", image))
                shown = sharp.execute_script("return arguments[0].getBoundingClientRect().width", image)
                ratio = shown_size(chosen)[0] / shown
                self.assertTrue(2 <= ratio <= 3, f"{chosen} on {album}: {ratio:.2f} file pixels to a CSS pixel")
                checked += 1
        self.assertEqual(checked, 11)


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
