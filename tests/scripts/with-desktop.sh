#!/usr/bin/env bash
# Runs a command on a private headless desktop: an X server, a session bus of its own and the
# accessibility bus, so tests see the program as a desktop shows it. Everything started here is
# stopped again when the command ends.
set -euo pipefail

runtime=$(mktemp -d)
chmod 700 "$runtime"
pids=()
cleanup() {
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
        kill "${pids[i]}" 2>/dev/null || true
        wait "${pids[i]}" 2>/dev/null || true
    done
    rm -rf "$runtime"
}
trap cleanup EXIT

# Xvfb writes its display number once it accepts clients.
exec {display_fd}<> <(:)
Xvfb -displayfd "$display_fd" -screen 0 1280x1024x24 -nolisten tcp -noreset >"$runtime/xvfb.log" 2>&1 &
pids+=($!)
read -r -u "$display_fd" display
exec {display_fd}<&-
export DISPLAY=":$display"
# The bus hands its environment to the services it starts: without this one the accessibility
# bus launcher puts its socket in the shared ~/.cache/at-spi, where two desktops collide.
export XDG_RUNTIME_DIR="$runtime"

dbus-daemon --session --nofork --print-address=1 >"$runtime/bus" 2>"$runtime/bus.log" &
pids+=($!)
while [[ ! -s "$runtime/bus" ]]; do
    kill -0 "${pids[-1]}" 2>/dev/null || { cat "$runtime/bus.log" >&2; exit 1; }
    sleep 0.05
done

export DBUS_SESSION_BUS_ADDRESS
DBUS_SESSION_BUS_ADDRESS=$(head -n1 "$runtime/bus")
export QT_QPA_PLATFORM=xcb
export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
export NO_AT_BRIDGE=0
unset QT_QPA_PLATFORMTHEME XDG_CURRENT_DESKTOP DESKTOP_SESSION

dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus org.freedesktop.DBus.Properties.Set \
    string:org.a11y.Status string:IsEnabled variant:boolean:true >/dev/null
dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus org.a11y.Bus.GetAddress >/dev/null

"$@"
