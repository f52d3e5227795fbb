#!/usr/bin/env python3
"""Checks that the icon a desktop file names is found in the hicolor theme.

An icon lookup (freedesktop icon theme rules) only searches the directories
that the theme's index.theme lists, and picks a fixed-size icon by the Size
of its directory. So: the desktop file's Icon= must be a bare name; every
file of that name under ROOT's hicolor tree must sit in a listed directory;
a PNG must be as many pixels square as its directory says; an SVG must sit
in a Scalable directory; and there must be at least one.

usage: check_icon_theme.py ROOT DESKTOP_FILE [INDEX_THEME]
  ROOT          / for an installed package, or an unpacked package tree
  INDEX_THEME   default /usr/share/icons/hicolor/index.theme (the system's)
"""
import configparser
import os
import struct
import sys


def png_size(path):
    with open(path, "rb") as f:
        head = f.read(24)
    if head[:8] != b"\x89PNG\r\n\x1a\n" or head[12:16] != b"IHDR":
        return None
    return struct.unpack(">II", head[16:24])


def main():
    if len(sys.argv) not in (3, 4):
        sys.exit(__doc__)
    root, desktop = sys.argv[1], sys.argv[2]
    index_path = sys.argv[3] if len(sys.argv) == 4 else "/usr/share/icons/hicolor/index.theme"

    entry = configparser.ConfigParser(interpolation=None, strict=False)
    entry.optionxform = str
    entry.read(desktop, encoding="utf-8")
    icon = entry.get("Desktop Entry", "Icon", fallback="")
    problems = []
    if not icon or "/" in icon or os.path.splitext(icon)[1] in (".png", ".svg", ".xpm"):
        sys.exit(f"{desktop}: Icon={icon!r} is not a theme icon name")

    index = configparser.ConfigParser(interpolation=None, strict=False)
    index.optionxform = str
    if not index.read(index_path, encoding="utf-8"):
        sys.exit(f"{index_path}: cannot read the hicolor theme index")
    listed = {d.strip() for d in index.get("Icon Theme", "Directories").split(",") if d.strip()}

    theme_dir = os.path.join(root, "usr/share/icons/hicolor")
    found = []
    for dirpath, _, files in os.walk(theme_dir):
        for name in files:
            if os.path.splitext(name)[0] == icon:
                found.append(os.path.relpath(os.path.join(dirpath, name), theme_dir))
    if not found:
        problems.append(f"no file named {icon}.* under {theme_dir}")

    for rel in sorted(found):
        subdir, name = os.path.split(rel)
        if subdir not in listed:
            problems.append(f"{rel}: {subdir} is not a directory of the hicolor theme")
            continue
        kind = index.get(subdir, "Type", fallback="Threshold")
        size = index.getint(subdir, "Size") * index.getint(subdir, "Scale", fallback=1)
        if name.endswith(".svg"):
            if kind != "Scalable":
                problems.append(f"{rel}: an SVG in a {kind} directory")
        elif name.endswith(".png"):
            dims = png_size(os.path.join(theme_dir, rel))
            if dims is None:
                problems.append(f"{rel}: not a PNG")
            elif dims != (size, size) and kind != "Scalable":
                problems.append(f"{rel}: {dims[0]}x{dims[1]} pixels in a {size}x{size} directory")
        else:
            problems.append(f"{rel}: neither PNG nor SVG")

    for p in problems:
        print(p)
    print(f"{icon}: {len(found)} files in the hicolor theme, {len(problems)} problems")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
