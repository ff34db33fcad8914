#!/usr/bin/env bash
# Takes the README's screenshot of the main window under Xvfb: starts the program, presses
# Continue on the About box and captures the main window. Needs xvfb, xdotool and imagemagick.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
binary=${1:-$top/build/src/PexaResizer}
out=${2:-$top/docs/main-window.png}
mkdir -p "$(dirname "$out")"
xvfb-run -a -s "-screen 0 1024x768x24" bash -c "
    set -e
    \"$binary\" &
    app=\$!
    about=\$(xdotool search --sync --name '^About PexaResizer\$' | head -n 1)
    xdotool windowfocus --sync \"\$about\"; xdotool key --window \"\$about\" Return
    main=\$(xdotool search --sync --name '^Pexa Resizer\$' | head -n 1)
    sleep 1
    import -window \"\$main\" -frame \"$out\"
    kill \$app
"
echo "Saved $out"
