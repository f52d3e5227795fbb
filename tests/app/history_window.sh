#!/bin/sh
# Starts the real numera on a virtual X display with a seeded history and its
# History window open (NUMERA_TEST_SHOW_HISTORY), once on the default palette
# and once on a dark desktop's (NUMERA_TEST_DARK_PALETTE), takes a shot of
# the History window each time and checks that its chart is painted as a card
# in the palette's light and dark colours.
# Usage: history_window.sh <numera> <app_history_seed> <folder for the shots>
set -u
app=$1
seed=$2
out=$3
for tool in xvfb-run import convert xwininfo; do
    command -v "$tool" >/dev/null 2>&1 || { echo "SKIP: $tool not found"; exit 77; }
done
unset QT_QPA_PLATFORM
mkdir -p "$out"
data=$(mktemp -d)
trap 'rm -rf "$data"' EXIT
XDG_DATA_HOME=$data "$seed" || exit 1

status=0
for look in light dark; do
    shot=$out/history-$look.png
    rm -f "$shot"
    dark=""
    [ "$look" = dark ] && dark=1
    XDG_DATA_HOME=$data NUMERA_TEST_SHOW_HISTORY=1 NUMERA_TEST_DARK_PALETTE=$dark \
    xvfb-run -a -s "-screen 0 1400x900x24" sh -c '
        [ -n "$NUMERA_TEST_DARK_PALETTE" ] || unset NUMERA_TEST_DARK_PALETTE
        "$1" & pid=$!
        for i in $(seq 60); do
            sleep 0.5
            if xwininfo -name History >/dev/null 2>&1; then
                sleep 1.5
                import -window History "$2"
                break
            fi
        done
        kill $pid 2>/dev/null
        wait $pid 2>/dev/null
        exit 0' sh "$app" "$shot" </dev/null
    if [ ! -s "$shot" ]; then
        echo "FAIL: no History window ($look)"
        status=1
        continue
    fi
    size=$(convert "$shot" -format '%wx%h' info:)
    # Inside the chart's card, under its frame and above the legend: the
    # palette's card colour.
    set -- $(convert "$shot" -format "%[fx:int(255*p{w/2,24}.r+0.5)] %[fx:int(255*p{w/2,24}.g+0.5)] %[fx:int(255*p{w/2,24}.b+0.5)]" info:)
    echo "$look: window $size, card pixel $*"
    want=211
    [ "$look" = dark ] && want=51
    if [ $(( ($1 - want) * ($1 - want) + ($2 - want) * ($2 - want) + ($3 - want) * ($3 - want) )) -gt 27 ]; then
        echo "FAIL: the chart card is not painted in the $look card colour ($want)"
        status=1
    fi
done
[ $status -eq 0 ] && echo "PASS"
exit $status
