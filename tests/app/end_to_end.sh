#!/bin/sh
# Starts the real numera on a virtual X display without a window manager,
# captures the screen and checks that the window shows at its fixed size
# with the start button painted.
# Usage: end_to_end.sh <numera binary> <screenshot.png>
set -u
app=$1
shot=$2
for tool in xvfb-run import convert; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "SKIP: $tool not found"
        exit 77
    fi
done
rm -f "$shot"
unset QT_QPA_PLATFORM

# The screen is black until the window maps; take the shot once something
# else shows, after a moment for the first frame to be painted.
xvfb-run -a -s "-screen 0 1024x768x24" sh -c '
    "$1" & pid=$!
    i=0
    while [ $i -lt 60 ]; do
        sleep 0.5
        import -window root "$2" 2>/dev/null
        if [ -s "$2" ] && [ "$(convert "$2" -format "%[fx:maxima.r]" info:)" != "0" ]; then
            sleep 1
            import -window root "$2"
            break
        fi
        rm -f "$2"
        i=$((i + 1))
    done
    kill $pid 2>/dev/null
    wait $pid 2>/dev/null
    exit 0' sh "$app" "$shot" </dev/null
if [ ! -s "$shot" ]; then
    echo "FAIL: no window appeared"
    exit 1
fi

# Without a window manager the window is the only non-black area.
box=$(convert "$shot" -format '%@' info:)
size=${box%%+*}
width=${size%x*}
height=${size#*x}
offset=${box#*+}
left=${offset%+*}
top=${offset#*+}
echo "window ${width} x ${height} at ${left},${top}"
# 400 wide; 505 of content under the menu bar.
if [ "$width" -ne 400 ] || [ "$height" -lt 505 ] || [ "$height" -gt 560 ]; then
    echo "FAIL: unexpected window size"
    exit 1
fi

# Inside the disc, above its title: the idle button blue (66, 135, 245).
x=$((left + 200))
y=$((top + height - 505 + 50))
pixel=$(convert "$shot" -format "%[fx:int(255*p{$x,$y}.r+0.5)] %[fx:int(255*p{$x,$y}.g+0.5)] %[fx:int(255*p{$x,$y}.b+0.5)]" info:)
echo "disc pixel at $x,$y: $pixel"
set -- $pixel
if [ $(( ($1 - 66) * ($1 - 66) + ($2 - 135) * ($2 - 135) + ($3 - 245) * ($3 - 245) )) -gt 27 ]; then
    echo "FAIL: the start button is not painted"
    exit 1
fi
echo "PASS"
