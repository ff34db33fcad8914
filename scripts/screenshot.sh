#!/usr/bin/env bash
# Takes the README's screenshots. Under Xvfb: makes a small photo tree, starts a copy of the program
# whose settings point at it, presses Continue on the About box, scans, previews the third entry
# and captures the main window, then presses Resize with gallery pages on. Headless Chromium,
# driven through chromedriver by Selenium, then captures an album page and a photo page as a phone
# shows them (390x844 CSS pixels, two device pixels to one) and as a laptop does (1366x768), and
# pngquant makes every file small. Builds the program into build/ first when BINARY is not there,
# so a fresh clone needs only what scripts/install-deps.sh installs, and pngquant.
#   screenshot.sh [BINARY [DOCS_DIR]]
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
binary=${1:-$top/build/src/PexaResizer}
docs=${2:-$top/docs}
out=$docs/main-window.png
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

if [[ ! -x "$binary" ]]; then
    cmake -S "$top" -B "$top/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPEXA_BUILD_TESTS=OFF \
        -DPEXA_BUILD_BENCH=OFF >/dev/null
    cmake --build "$top/build" --target PexaResizer
    binary=$top/build/src/PexaResizer
fi

photos=$work/Photos
mkdir -p "$photos/2008 Summer" "$photos/2009 Winter" "$work/Web" "$docs"
/usr/bin/convert -size 1600x1200 plasma:orange-blue "$photos/2008 Summer/beach.jpg"
/usr/bin/convert -size 1600x1200 gradient:skyblue-seagreen "$photos/2008 Summer/harbour.jpg"
/usr/bin/convert -size 1200x1600 plasma:green-yellow "$photos/2008 Summer/garden.jpg"
/usr/bin/convert -size 1600x1200 gradient:white-slategray "$photos/2009 Winter/snow.jpg"
/usr/bin/convert -size 1600x1200 plasma:navy-white "$photos/2009 Winter/lake.png"
/usr/bin/convert -size 2048x1536 plasma:red-gold "$photos/sunset.jpg"
/usr/bin/convert -size 2048x1536 gradient:gold-firebrick "$photos/evening.jpg"
exif() { /usr/bin/exiftool -q -q -overwrite_original "$@"; }
exif -ImageDescription="Sunset over the bay" -DateTimeOriginal="2009:08:01 20:40:00" "$photos/sunset.jpg"
exif -ImageDescription="The last ferry home" -DateTimeOriginal="2009:08:01 21:15:00" "$photos/evening.jpg"
exif -ImageDescription="Low tide at noon" -DateTimeOriginal="2008:07:14 12:05:00" "$photos/2008 Summer/beach.jpg"
exif -DateTimeOriginal="2008:07:14 09:30:00" "$photos/2008 Summer/harbour.jpg"
exif -ImageDescription="Grandmother's roses" -DateTimeOriginal="2008:07:15 17:20:00" \
    "$photos/2008 Summer/garden.jpg"

cp "$binary" "$work/PexaResizer"
# Copies at most 1080 pixels high, so a photo page has a picture worth showing, none of them
# marked too large to upload (the pages would leave it out).
printf '[main]\nroot_path=%s\ndest_path=%s\ntn_size=100x100\nresize_mode=Exceed Limit to Limit\nresize_limit=1080H\n[ftp]\nul_size_limit=5000\n[web]\npages=1\ntitle=Holidays\n' \
    "$photos" "$work/Web" >"$work/settings.ini"

# Control places are in pixels of the window's client area, below a menu bar of about 24 pixels.
# The top page is the last file the pages step writes: once it is there, every page is.
xvfb-run -a -s "-screen 0 1024x768x24" bash -c "
    set -e
    \"$work/PexaResizer\" &
    app=\$!
    about=\$(xdotool search --sync --name '^About PexaResizer\$' | head -n 1)
    xdotool windowfocus --sync \"\$about\"; xdotool key --window \"\$about\" Return
    main=\$(xdotool search --sync --name '^Pexa Resizer\$' | head -n 1)
    sleep 1
    xdotool mousemove --window \"\$main\" 40 79 click 1
    sleep 2
    xdotool mousemove --window \"\$main\" 60 118 click 1
    sleep 1
    import -window \"\$main\" -frame \"$out\"
    xdotool mousemove --window \"\$main\" 50 466 click 1
    for _ in \$(seq 600); do [ -e \"$work/Web/index.html\" ] && break; sleep 0.1; done
    sleep 1
    kill \$app
"
echo "Saved $out"

album="2008 Summer/index.html"
photo="2008 Summer/beach.jpg.index.html"
for page in "$album" "$photo"; do
    [[ -e "$work/Web/$page" ]] || { echo "The resize wrote no $page" >&2; exit 1; }
done
# Chromium's window cannot be as narrow as a phone; its device emulation gives the page a phone's
# viewport and pixel ratio, as the browser's developer tools do.
/usr/bin/python3 - "$work/Web" "$docs" "$album" "$photo" <<'EOF'
import pathlib
import sys
import time

from selenium import webdriver
from selenium.webdriver.chrome.service import Service

web, docs, album, photo = sys.argv[1:5]
options = webdriver.ChromeOptions()
options.binary_location = "/usr/bin/chromium"
for argument in ("--headless", "--no-sandbox", "--disable-gpu", "--no-first-run", "--disable-background-networking",
                 "--disable-component-update", "--disable-sync", "--hide-scrollbars"):
    options.add_argument(argument)
driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
try:
    for page, kind in ((album, "album"), (photo, "photo")):
        for form, width, height, scale in (("phone", 390, 844, 2), ("laptop", 1366, 768, 1)):
            driver.execute_cdp_cmd("Emulation.setDeviceMetricsOverride", {
                "width": width, "height": height, "deviceScaleFactor": scale, "mobile": form == "phone"})
            driver.get(pathlib.Path(web, page).as_uri())
            # The pictures in view have loaded; the lazy ones further down need not.
            shown = ("return [...document.images].filter(i => i.getBoundingClientRect().top < innerHeight)"
                     ".every(i => i.complete && i.naturalWidth > 0)")
            deadline = time.monotonic() + 20
            while not driver.execute_script(shown) and time.monotonic() < deadline:
                time.sleep(0.1)
            png = f"{docs}/gallery-{kind}-{form}.png"
            driver.save_screenshot(png)
            print(f"Saved {png}")
finally:
    driver.quit()
EOF

for png in "$out" "$docs"/gallery-{album,photo}-{phone,laptop}.png; do
    pngquant --force --strip --quality=0-90 --output "$png" -- "$png"
done
