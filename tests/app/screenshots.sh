#!/bin/sh
# The runner windows mid-run and at the end, light and dark, with the real
# engine on every CPU (about three minutes on two cores). Run it under the
# shared build lock. Usage: screenshots.sh <app_screenshots binary> <output dir>
set -eu
tool=$1
out=$2
unset QT_QPA_PLATFORM
for theme in light dark; do
    xvfb-run -a -s "-screen 0 1280x800x24" "$tool" "$out" "$theme" </dev/null
done
