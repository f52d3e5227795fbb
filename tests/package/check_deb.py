#!/usr/bin/env python3
"""Checks a built numera .deb from the outside, with dpkg's own tools.

- Contents: `dpkg-deb -c` must list exactly the expected paths (a file lost
  from an install rule, or a stray one, fails), owned by root, directories
  and programs 0755, everything else 0644.
- Control: name, version, architecture, section, priority, maintainer,
  a summary and a long description.
- Depends: for every library a program links (ELF NEEDED), the Debian
  package that owns it in this machine's multiarch folder for the package's
  architecture (`dpkg -S`) is in Depends, which is what dpkg-shlibdeps
  should have computed.
- Programs are stripped; md5sums covers every file and matches.
- Man pages are gzipped without name or time stamp, render without a
  warning, and every program has one; the changelog names this version;
  the copyright file is in the machine-readable format.
- The programs run from the unpacked tree: numera-cli --version and
  --system-info, and the app (offscreen) is still up after a few seconds.

usage: check_deb.py [--cpack CPackConfig.cmake --work DIR] [--arch ARCH]
                    [--run-with EMULATOR] EXPECTED VERSION [DEB]
  With --cpack, builds the package into DIR first (then DEB is not given).
  ARCH defaults to this machine's; a foreign one needs its multiarch
  libraries installed and an EMULATOR (qemu-aarch64-static) to run them.
"""
import argparse
import glob
import gzip
import os
import re
import shutil
import subprocess
import sys
import tempfile

problems = []


def run(*args, **kw):
    return subprocess.run(args, capture_output=True, text=True, check=True, **kw).stdout


def fail(text):
    problems.append(text)


def expected_paths(path):
    wanted = set()
    for line in open(path, encoding="utf-8"):
        line = line.split("#", 1)[0].strip()
        if line:
            wanted.add(line)
    return wanted


def check_listing(deb, wanted):
    listed = {}
    for line in run("dpkg-deb", "-c", deb).splitlines():
        mode, owner, _size, _date, _time, path = line.split(None, 5)
        path = path.split(" -> ")[0]
        path = path[2:] if path.startswith("./") else path
        if path in ("", "/"):
            continue
        listed[path] = (mode, owner)
    for path in sorted(wanted - listed.keys()):
        fail(f"missing from the package: {path}")
    for path in sorted(listed.keys() - wanted):
        fail(f"not expected in the package: {path}")
    for path, (mode, owner) in sorted(listed.items()):
        if owner != "root/root":
            fail(f"{path}: owned by {owner}")
        if mode.startswith("l"):
            continue
        program = path.startswith("usr/bin/") and not path.endswith("/")
        want = "drwxr-xr-x" if path.endswith("/") else "-rwxr-xr-x" if program else "-rw-r--r--"
        if mode != want:
            fail(f"{path}: mode {mode}, not {want}")
    return listed


def check_control(deb, version, arch):
    fields = {}
    for name in ("Package", "Version", "Architecture", "Section", "Priority",
                 "Maintainer", "Description", "Depends", "Installed-Size", "Homepage"):
        fields[name] = run("dpkg-deb", "-f", deb, name).rstrip("\n")
    expect = {"Package": "numera", "Version": version, "Architecture": arch,
              "Section": "utils", "Priority": "optional"}
    for name, value in expect.items():
        if fields[name] != value:
            fail(f"control: {name} is {fields[name]!r}, not {value!r}")
    if not re.fullmatch(r"[^<>]+ <[^@<>\s]+@[^@<>\s]+\.[a-z]+>", fields["Maintainer"]):
        fail(f"control: Maintainer {fields['Maintainer']!r} is not 'Name <address>'")
    summary, _, extended = fields["Description"].partition("\n")
    if not summary or len(summary) > 80 or summary.lower().startswith("numera"):
        fail(f"control: Description summary {summary!r}")
    if len(extended.splitlines()) < 2:
        fail("control: Description has no long description")
    if not fields["Installed-Size"].isdigit():
        fail(f"control: Installed-Size {fields['Installed-Size']!r}")
    depends = {re.split(r"[\s(:]", d.strip(), maxsplit=1)[0]
               for alt in fields["Depends"].split(",") for d in alt.split("|") if d.strip()}
    return depends


def owning_package(soname, triplet):
    """The package owning the library in the architecture's multiarch
    folders (merged /usr: dpkg may know either path)."""
    for folder in (f"/lib/{triplet}", f"/usr/lib/{triplet}"):
        path = os.path.join(folder, soname)
        if not os.path.exists(path):
            continue
        for candidate in (path, path[4:] if path.startswith("/usr/") else "/usr" + path):
            out = subprocess.run(["dpkg", "-S", candidate], capture_output=True, text=True)
            if out.returncode == 0:
                return out.stdout.split(":")[0].split(",")[0].strip()
    return None


def check_programs(tree, depends, arch):
    triplet = run("dpkg-architecture", "-a", arch, "-qDEB_HOST_MULTIARCH").strip()
    programs = sorted(glob.glob(os.path.join(tree, "usr/bin/*")))
    for program in programs:
        name = os.path.basename(program)
        sections = run("readelf", "-S", "-W", program)
        for section in (".symtab", ".debug_info", ".debug_line"):
            if re.search(rf"\s{re.escape(section)}\s", sections):
                fail(f"usr/bin/{name}: not stripped ({section})")
        needed = re.findall(r"\(NEEDED\)\s+Shared library: \[([^]]+)\]", run("readelf", "-d", "-W", program))
        if not needed:
            fail(f"usr/bin/{name}: links no shared library (static?)")
        for soname in needed:
            package = owning_package(soname, triplet)
            if package is None:
                fail(f"usr/bin/{name}: no installed package owns {soname}")
            elif package not in depends:
                fail(f"usr/bin/{name} links {soname} of {package}, which Depends does not name")
        if not os.path.exists(os.path.join(tree, f"usr/share/man/man1/{name}.1.gz")):
            fail(f"usr/bin/{name} has no man page")
    return programs


def check_gzip(path):
    with open(path, "rb") as f:
        head = f.read(10)
    if head[:2] != b"\x1f\x8b":
        fail(f"{path}: not gzipped")
    elif head[3] & 0x08 or head[4:8] != b"\0\0\0\0":
        fail(f"{path}: gzip header holds a file name or time stamp (gzip -n)")


def check_docs(tree, version):
    for page in sorted(glob.glob(os.path.join(tree, "usr/share/man/man1/*.gz"))):
        check_gzip(page)
        env = dict(os.environ, LC_ALL="C.UTF-8", MANWIDTH="80", MANROFFSEQ="")
        out = subprocess.run(["man", "--warnings", "-E", "UTF-8", "-l", "-Tutf8", "-Z", page],
                             capture_output=True, text=True, env=env)
        if out.returncode != 0 or out.stderr.strip():
            fail(f"{os.path.relpath(page, tree)} renders with warnings: {out.stderr.strip()}")
    doc = os.path.join(tree, "usr/share/doc/numera")
    changelog = os.path.join(doc, "changelog.gz")
    if os.path.exists(changelog):
        check_gzip(changelog)
        first = gzip.open(changelog, "rt", encoding="utf-8").readline()
        if not first.startswith(f"numera ({version}) "):
            fail(f"changelog.gz: newest entry is {first.strip()!r}, not version {version}")
    copyright_file = os.path.join(doc, "copyright")
    if os.path.exists(copyright_file):
        text = open(copyright_file, encoding="utf-8").read()
        paragraphs = [p for p in text.split("\n\n") if p.strip()]
        if not paragraphs[0].startswith(
                "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/"):
            fail("copyright: not in the machine-readable format (Format: line)")
        used, texts = set(), set()
        for p in paragraphs[1:]:
            m = re.search(r"^License: (\S+)(\n )?", p, re.M)
            if m:
                used.add(m.group(1))
                if m.group(2):
                    texts.add(m.group(1))
        for licence in sorted(used - texts):
            fail(f"copyright: licence {licence} has no text")
        if not any(p.startswith("Files: *\n") for p in paragraphs):
            fail("copyright: no 'Files: *' paragraph")


def check_md5sums(tree, control):
    sums = os.path.join(control, "md5sums")
    if not os.path.exists(sums):
        fail("control: no md5sums")
        return
    listed = {line.split(None, 1)[1].strip() for line in open(sums, encoding="utf-8")}
    files = {os.path.relpath(os.path.join(d, f), tree)
             for d, _, fs in os.walk(tree) for f in fs if not os.path.islink(os.path.join(d, f))}
    for path in sorted(files - listed):
        fail(f"md5sums: {path} not listed")
    out = subprocess.run(["md5sum", "--quiet", "-c", sums], cwd=tree, capture_output=True, text=True)
    if out.returncode != 0:
        fail(f"md5sums do not match: {out.stdout.strip()}")


def check_runs(tree, version, emulator):
    wrap = [emulator] if emulator else []
    cli = os.path.join(tree, "usr/bin/numera-cli")
    out = subprocess.run(wrap + [cli, "--version"], capture_output=True, text=True, timeout=60)
    if out.stdout.strip() != f"numera-cli {version}":
        fail(f"usr/bin/numera-cli --version: {out.stdout.strip()!r} {out.stderr.strip()!r}")
    out = subprocess.run(wrap + [cli, "--system-info"], capture_output=True, text=True, timeout=60)
    if out.returncode != 0 or "Engine:" not in out.stdout:
        fail(f"usr/bin/numera-cli --system-info exited {out.returncode}: {out.stderr.strip()}")
    app = os.path.join(tree, "usr/bin/numera")
    if os.path.exists(app):
        # Up after five seconds: its libraries and Qt's platform plugin loaded.
        env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
        try:
            out = subprocess.run(wrap + [app], capture_output=True, text=True, timeout=5, env=env)
            fail(f"usr/bin/numera exited {out.returncode} within 5 s: {out.stderr.strip()}")
        except subprocess.TimeoutExpired:
            pass


def main():
    parser = argparse.ArgumentParser(usage=__doc__)
    parser.add_argument("--cpack")
    parser.add_argument("--work")
    parser.add_argument("--arch")
    parser.add_argument("--run-with")
    parser.add_argument("expected")
    parser.add_argument("version")
    parser.add_argument("deb", nargs="?")
    args = parser.parse_args()

    deb = args.deb
    if args.cpack:
        shutil.rmtree(args.work, ignore_errors=True)
        out = subprocess.run(["cpack", "--config", args.cpack, "-B", args.work], capture_output=True, text=True)
        if out.returncode != 0:
            sys.exit(f"cpack failed:\n{out.stdout}{out.stderr}")
        debs = glob.glob(os.path.join(args.work, "*.deb"))
        if len(debs) != 1:
            sys.exit(f"cpack made {debs}, not one .deb")
        deb = debs[0]
    arch = args.arch or run("dpkg", "--print-architecture").strip()
    if os.path.basename(deb) != f"numera_{args.version}_{arch}.deb":
        fail(f"file name {os.path.basename(deb)}, not numera_{args.version}_{arch}.deb")

    listed = check_listing(deb, expected_paths(args.expected))
    depends = check_control(deb, args.version, arch)
    with tempfile.TemporaryDirectory() as tmp:
        tree, control = os.path.join(tmp, "tree"), os.path.join(tmp, "DEBIAN")
        run("dpkg-deb", "-x", deb, tree)
        run("dpkg-deb", "-e", deb, control)
        programs = check_programs(tree, depends, arch)
        check_docs(tree, args.version)
        check_md5sums(tree, control)
        try:
            check_runs(tree, args.version, args.run_with)
        except OSError as e:
            fail(f"cannot run the {arch} programs here ({e}); --run-with names an emulator")

    for p in problems:
        print(p)
    print(f"{os.path.basename(deb)}: {len(listed)} paths, {len(programs)} programs, "
          f"Depends {', '.join(sorted(depends))}; {len(problems)} problems")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
