#!/usr/bin/env bash
# Takes the README's screenshots under Xvfb: makes a small photo tree, starts a copy of the program
# whose settings point at it, presses Continue on the About box, scans, previews the third entry
# and captures the main window; then presses Resize with gallery pages on and has headless
# Chromium capture the top page written. Needs xvfb, xdotool, imagemagick, exiftool and chromium.
#   screenshot.sh [BINARY [MAIN_WINDOW_PNG [GALLERY_PAGE_PNG]]]
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
binary=${1:-$top/build/src/PexaResizer}
out=${2:-$top/docs/main-window.png}
gallery_out=${3:-$top/docs/gallery-page.png}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

photos=$work/Photos
mkdir -p "$photos/2008 Summer" "$photos/2009 Winter" "$work/Web" "$(dirname "$out")" "$(dirname "$gallery_out")"
/usr/bin/convert -size 640x480 plasma:orange-blue "$photos/2008 Summer/beach.jpg"
/usr/bin/convert -size 640x480 gradient:skyblue-seagreen "$photos/2008 Summer/harbour.jpg"
/usr/bin/convert -size 480x640 plasma:green-yellow "$photos/2008 Summer/garden.jpg"
/usr/bin/convert -size 800x600 gradient:white-slategray "$photos/2009 Winter/snow.jpg"
/usr/bin/convert -size 800x600 plasma:navy-white "$photos/2009 Winter/lake.png"
/usr/bin/convert -size 1024x768 plasma:red-gold "$photos/sunset.jpg"
/usr/bin/convert -size 1024x768 gradient:gold-firebrick "$photos/evening.jpg"
/usr/bin/exiftool -q -q -overwrite_original -ImageDescription="Sunset over the bay" "$photos/sunset.jpg"
/usr/bin/exiftool -q -q -overwrite_original -ImageDescription="The last ferry home" "$photos/evening.jpg"

cp "$binary" "$work/PexaResizer"
printf '[main]\nroot_path=%s\ndest_path=%s\ntn_size=100x100\n[web]\npages=1\ntitle=Holidays\n' \
    "$photos" "$work/Web" >"$work/settings.ini"

# Control places are in pixels of the window's client area, below a menu bar of about 24 pixels.
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

/usr/bin/chromium --headless --no-sandbox --disable-gpu --no-first-run --disable-background-networking \
    --disable-component-update --disable-sync --user-data-dir="$work/chromium" --hide-scrollbars \
    --window-size=960,560 --virtual-time-budget=5000 --screenshot="$gallery_out" "file://$work/Web/index.html" \
    2>/dev/null
echo "Saved $gallery_out"
