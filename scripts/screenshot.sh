#!/usr/bin/env bash
# Takes the README's screenshot of the main window under Xvfb: makes a small photo tree, starts a
# copy of the program whose settings point at it, presses Continue on the About box, scans,
# previews the third entry and captures the main window. Needs xvfb, xdotool and imagemagick.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
binary=${1:-$top/build/src/PexaResizer}
out=${2:-$top/docs/main-window.png}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

photos=$work/Photos
mkdir -p "$photos/2008 Summer" "$photos/2009 Winter" "$work/Web" "$(dirname "$out")"
/usr/bin/convert -size 640x480 plasma:orange-blue "$photos/2008 Summer/beach.jpg"
/usr/bin/convert -size 640x480 gradient:skyblue-seagreen "$photos/2008 Summer/harbour.jpg"
/usr/bin/convert -size 480x640 plasma:green-yellow "$photos/2008 Summer/garden.jpg"
/usr/bin/convert -size 800x600 gradient:white-slategray "$photos/2009 Winter/snow.jpg"
/usr/bin/convert -size 800x600 plasma:navy-white "$photos/2009 Winter/lake.png"
/usr/bin/convert -size 1024x768 plasma:red-gold "$photos/sunset.jpg"

cp "$binary" "$work/PexaResizer"
printf '[main]\nroot_path=%s\ndest_path=%s\ntn_size=100x100\n' "$photos" "$work/Web" >"$work/settings.ini"

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
    kill \$app
"
echo "Saved $out"
