#!/bin/sh
# Runs a command as a program runs on a desktop with a screen reader: on a
# virtual X display, with a private session D-Bus that starts the AT-SPI bus
# when asked, and Qt's AT-SPI bridge on. Every tool is required: a missing
# one fails the test instead of skipping it.
# Usage: atspi_session.sh <command> [argument...]
set -u
fail() { echo "FAIL: $*"; exit 1; }
for tool in Xvfb dbus-run-session dbus-daemon dbus-send timeout; do
    command -v "$tool" >/dev/null 2>&1 || fail "$tool not found (scripts/install-deps installs it)"
done
[ -x /usr/libexec/at-spi-bus-launcher ] || fail "at-spi-bus-launcher not found (package at-spi2-core)"
[ -x /usr/libexec/at-spi2-registryd ] || fail "at-spi2-registryd not found (package at-spi2-core)"

work=$(mktemp -d)
xvfb=""
cleanup() {
    [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null && wait "$xvfb" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 1' INT TERM
mkdir -m 700 "$work/runtime"
# Nothing of the user's session leaks in, and nothing the app stores leaks out.
export XDG_RUNTIME_DIR="$work/runtime" XDG_DATA_HOME="$work/data" XDG_CONFIG_HOME="$work/config" \
    XDG_CACHE_HOME="$work/cache"
unset DBUS_SESSION_BUS_ADDRESS AT_SPI_BUS_ADDRESS QT_ACCESSIBILITY NO_AT_BRIDGE
export QT_QPA_PLATFORM=xcb QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1

# A display of its own: Xvfb picks a free number and writes it to fd 3 only
# once it takes connections. -noreset: the AT-SPI bus launcher connects to
# the display and leaves again, and an X server resets when its last client
# leaves, refusing connections meanwhile; a program starting at that moment
# "could not connect to display" (under xvfb-run, now and then).
Xvfb -displayfd 3 -noreset -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" >"$work/xvfb.log" 2>&1 &
xvfb=$!
for _ in $(seq 100); do
    [ -s "$work/display" ] && break
    kill -0 "$xvfb" 2>/dev/null || fail "Xvfb did not start: $(cat "$work/xvfb.log")"
    sleep 0.1
done
[ -s "$work/display" ] || fail "Xvfb gave no display within 10 s"
export DISPLAY=":$(head -n 1 "$work/display")"

# Qt's bridge turns on only when the AT-SPI bus is already there, as a
# desktop session starts it at login: ask for its address first.
# dbus-run-session ends the bus when the command ends, and the AT-SPI bus
# and registry it started end with it. timeout signals the whole group
# should any of them hang.
timeout -k 10 "${NUMERA_ATSPI_TIMEOUT:-400}" \
    dbus-run-session -- sh -c '
        dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus org.a11y.Bus.GetAddress \
            >/dev/null || { echo "FAIL: the AT-SPI bus did not start"; exit 1; }
        exec "$@"' sh "$@" </dev/null
status=$?
[ "$status" -eq 124 ] && fail "timed out after ${NUMERA_ATSPI_TIMEOUT:-400} s"
exit "$status"
