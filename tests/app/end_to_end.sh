#!/bin/sh
# Starts the real numera on a virtual X display without a window manager,
# takes a screenshot and checks that the window shows at its fixed size with
# the start button painted. Usage: end_to_end.sh <numera binary> <screenshot.png>
set -u
app=$1
shot=$2
for tool in xvfb-run import convert; do
    command -v "$tool" >/dev/null 2>&1 || { echo "SKIP: $tool not found"; exit 77; }
done
rm -f "$shot"
unset QT_QPA_PLATFORM

# The screen stays black until the window maps; once something shows, wait a
# moment for the first frame and take the shot.
xvfb-run -a -s "-screen 0 1024x768x24" sh -c '
    "$1" & pid=$!
    for i in $(seq 60); do
        sleep 0.5
        import -window root "$2" 2>/dev/null
        if [ -s "$2" ] && [ "$(convert "$2" -format "%[fx:maxima.r]" info:)" != "0" ]; then
            sleep 1
            import -window root "$2"
            break
        fi
        rm -f "$2"
    done
    kill $pid 2>/dev/null
    wait $pid 2>/dev/null
    exit 0' sh "$app" "$shot" </dev/null
[ -s "$shot" ] || { echo "FAIL: no window appeared"; exit 1; }

# Without a window manager the window is the only non-black area: 400 wide,
# 505 of content under the menu bar.
box=$(convert "$shot" -format '%@' info:)
size=${box%%+*} offset=${box#*+}
width=${size%x*} height=${size#*x} left=${offset%+*} top=${offset#*+}
echo "window ${width} x ${height} at ${left},${top}"
if [ "$width" -ne 400 ] || [ "$height" -lt 505 ] || [ "$height" -gt 560 ]; then
    echo "FAIL: unexpected window size"
    exit 1
fi

# Inside the disc, above its title: the idle button blue (66, 135, 245).
x=$((left + 200)) y=$((top + height - 505 + 50))
set -- $(convert "$shot" -format "%[fx:int(255*p{$x,$y}.r+0.5)] %[fx:int(255*p{$x,$y}.g+0.5)] %[fx:int(255*p{$x,$y}.b+0.5)]" info:)
echo "disc pixel at $x,$y: $*"
if [ $(( ($1 - 66) * ($1 - 66) + ($2 - 135) * ($2 - 135) + ($3 - 245) * ($3 - 245) )) -gt 27 ]; then
    echo "FAIL: the start button is not painted"
    exit 1
fi
echo "PASS"
