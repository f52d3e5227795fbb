#!/bin/sh
# Runs a command as a program runs on a desktop with a screen reader: on a
# virtual X display, with a private session D-Bus that starts the AT-SPI bus
# when asked, and Qt's AT-SPI bridge on. Every tool is required: a missing
# one fails the test instead of skipping it.
# Usage: atspi_session.sh <command> [argument...]
set -u
fail() { echo "FAIL: $*"; exit 1; }
for tool in xvfb-run Xvfb xauth dbus-run-session dbus-daemon dbus-send timeout; do
    command -v "$tool" >/dev/null 2>&1 || fail "$tool not found (scripts/install-deps installs it)"
done
[ -x /usr/libexec/at-spi-bus-launcher ] || fail "at-spi-bus-launcher not found (package at-spi2-core)"
[ -x /usr/libexec/at-spi2-registryd ] || fail "at-spi2-registryd not found (package at-spi2-core)"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT INT TERM
mkdir -m 700 "$work/runtime"
# Nothing of the user's session leaks in, and nothing the app stores leaks out.
export XDG_RUNTIME_DIR="$work/runtime" XDG_DATA_HOME="$work/data" XDG_CONFIG_HOME="$work/config" \
    XDG_CACHE_HOME="$work/cache"
unset DBUS_SESSION_BUS_ADDRESS AT_SPI_BUS_ADDRESS QT_ACCESSIBILITY NO_AT_BRIDGE
export QT_QPA_PLATFORM=xcb QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1

# Qt's bridge turns on only when the AT-SPI bus is already there, as a
# desktop session starts it at login: ask for its address first.
# dbus-run-session ends the bus when the command ends, and the AT-SPI bus
# and registry it started end with it; xvfb-run stops its Xvfb. timeout
# signals the whole group should any of them hang.
timeout -k 10 "${NUMERA_ATSPI_TIMEOUT:-400}" xvfb-run -a -s "-screen 0 1024x768x24" \
    dbus-run-session -- sh -c '
        dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus org.a11y.Bus.GetAddress \
            >/dev/null || { echo "FAIL: the AT-SPI bus did not start"; exit 1; }
        exec "$@"' sh "$@" </dev/null
status=$?
[ "$status" -eq 124 ] && fail "timed out after ${NUMERA_ATSPI_TIMEOUT:-400} s"
exit "$status"
