#!/usr/bin/env bash
# Installs a numera .deb on this machine as a user would (apt-get, with its
# dependencies), checks that the programs run from /usr/bin and that the
# desktop files and the icon are where the desktop looks, then purges the
# package and checks that none of its files or directories is left.
# Needs root (CI runs it); the package must not be installed already.
#
#   tests/package/install_check.sh build/release/numera_1.0.0_amd64.deb
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
deb=$(realpath "$1")
version=$(dpkg-deb -f "$deb" Version)
app_id=app.numera.Numera
export DEBIAN_FRONTEND=noninteractive

if dpkg-query -W -f='${Status}' numera 2>/dev/null | grep -q 'ok installed'; then
  echo "install_check: numera $(dpkg-query -W -f='${Version}' numera) is installed already; remove it first" >&2
  exit 1
fi

installed=0
cleanup() { if [ "$installed" = 1 ]; then apt-get remove --purge -y -qq numera > /dev/null || true; fi; }
trap cleanup EXIT

echo "-- apt-get install $(basename "$deb")"
apt-get install -y -qq "$deb" > /dev/null
installed=1
files=$(mktemp)
dpkg -L numera | sort > "$files"
echo "-- installed $(wc -l < "$files") paths"

check() { echo "-- $*"; "$@"; }

[ "$(command -v numera-cli)" = /usr/bin/numera-cli ] || { echo "numera-cli is not /usr/bin/numera-cli" >&2; exit 1; }
[ "$(/usr/bin/numera-cli --version)" = "numera-cli $version" ] || { echo "numera-cli --version: $(/usr/bin/numera-cli --version)" >&2; exit 1; }
echo "-- /usr/bin/numera-cli --version: $(/usr/bin/numera-cli --version)"
check /usr/bin/numera-cli --system-info
/usr/bin/numera-cli --system-info --json | jq -e '.system and .engine' > /dev/null
[ "$(man -w numera-cli)" = /usr/share/man/man1/numera-cli.1.gz ] || { echo "man -w numera-cli: $(man -w numera-cli)" >&2; exit 1; }

if [ -x /usr/bin/numera ]; then
  check desktop-file-validate /usr/share/applications/$app_id.desktop
  check appstreamcli validate --no-net /usr/share/metainfo/$app_id.metainfo.xml
  check python3 "$here/check_icon_theme.py" / /usr/share/applications/$app_id.desktop
  # The app starts from /usr/bin with the libraries and Qt plugins the
  # package depends on, and is still up three seconds later.
  status=0
  QT_QPA_PLATFORM=offscreen timeout 3 /usr/bin/numera > /dev/null 2>&1 || status=$?
  [ "$status" = 124 ] || { echo "/usr/bin/numera exited with $status within 3 s" >&2; exit 1; }
  echo "-- /usr/bin/numera ran for 3 s (offscreen)"
fi

echo "-- apt-get remove --purge numera"
apt-get remove --purge -y -qq numera > /dev/null
installed=0
if dpkg-query -W -f='${Status}' numera 2>/dev/null | grep -qv 'not-installed'; then
  echo "numera still known to dpkg: $(dpkg-query -W -f='${Status}' numera)" >&2
  exit 1
fi
# Files must be gone; a directory may stay only while another package owns it.
left=0
while IFS= read -r path; do
  [ "$path" = /. ] && continue
  if [ -d "$path" ] && [ ! -L "$path" ]; then
    dpkg-query -S "$path" > /dev/null 2>&1 && continue
  elif [ ! -e "$path" ] && [ ! -L "$path" ]; then
    continue
  fi
  echo "left behind: $path" >&2
  left=$((left + 1))
done < "$files"
echo "-- after removal: $left of $(wc -l < "$files") paths left behind"
rm -f "$files"
[ "$left" = 0 ]
