#!/usr/bin/env python3
"""Holds numera-cli(1) to what the program says it has.

The truth is `numera-cli --help` and `numera-cli <command> --help` (CLI11's
"Options:", "Positionals:" and "Subcommands:" lists). The page must give
every option of the main command a .TP entry in OPTIONS, every command a .SS
block under COMMANDS that starts with the command's words, and every option
of a command (but --help, which OPTIONS covers) a .TP entry in that block; a command's positionals must be named
in its .SS heading. Entries for options or commands the program no longer has
fail too, so the page neither falls behind nor keeps what was removed.

usage: check_man_page.py NUMERA_CLI MAN_PAGE
"""
import re
import subprocess
import sys

OPTION = re.compile(r"(?<![\w-])(--?[A-Za-z0-9][\w-]*)")
HELP = {"-h", "--help"}


def help_text(cli, path):
    out = subprocess.run([cli, *path, "--help"], capture_output=True, text=True, timeout=30)
    if out.returncode != 0:
        sys.exit(f"{' '.join([cli, *path, '--help'])} exited {out.returncode}: {out.stderr}")
    return out.stdout


def parse_help(text):
    """Options, positional names and subcommand names of one --help page."""
    options, positionals, commands = set(), [], []
    section = None
    for line in text.splitlines():
        heading = re.match(r"^(Options|Positionals|Subcommands):\s*$", line)
        if heading:
            section = heading.group(1)
            continue
        if not line.strip() or not line.startswith("  "):
            if not line.strip():
                continue
            section = None
            continue
        entry = re.match(r"^  (\S+)", line)
        if not entry:
            continue
        if section == "Options" and entry.group(1).startswith("-"):
            options.update(entry.group(1).split(","))
        elif section == "Positionals":
            positionals.append(entry.group(1))
        elif section == "Subcommands":
            commands.append(entry.group(1))
    return options, positionals, commands


def program_commands(cli):
    """{command path tuple: (options, positionals)}; () is the main command."""
    found = {}
    pending = [()]
    while pending:
        path = pending.pop()
        options, positionals, commands = parse_help(help_text(cli, path))
        found[path] = (options, positionals)
        pending.extend(path + (c,) for c in commands)
    return found


def plain(line):
    """A roff line as the reader sees its words: no macros, fonts or escapes."""
    line = re.sub(r"\\f(\[[^]]*\]|\(..|.)", "", line)
    line = line.replace("\\-", "-").replace("\\&", "").replace("\\ ", " ")
    line = re.sub(r"\\\(..|\\\[[^]]*\]", "", line)
    line = re.sub(r"^\.[A-Za-z]+\s*", "", line)
    return line.replace('"', " ").strip()


def page_blocks(page):
    """{block: {"heading": words, "tags": [tag texts]}}; blocks are "SYNOPSIS",
    "OPTIONS" and ("COMMANDS", heading) for each .SS under COMMANDS."""
    blocks = {}
    section, block, tag_next = None, None, False
    for raw in open(page, encoding="utf-8"):
        raw = raw.rstrip("\n")
        if raw.startswith(".\\\""):
            continue
        if raw.startswith(".SH"):
            section = plain(raw).upper()
            block = section if section in ("SYNOPSIS", "OPTIONS") else None
            if block:
                blocks[block] = {"heading": "", "tags": [], "text": []}
            continue
        if raw.startswith(".SS") and section == "COMMANDS":
            heading = plain(raw)
            block = ("COMMANDS", heading)
            blocks[block] = {"heading": heading, "tags": [], "text": []}
            continue
        if raw.startswith(".SS"):
            block = None
            continue
        if block is None:
            continue
        if raw.startswith(".TP"):
            tag_next = True
            continue
        if tag_next:
            blocks[block]["tags"].append(plain(raw))
            tag_next = False
        blocks[block]["text"].append(plain(raw))
    return blocks


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    cli, page = sys.argv[1], sys.argv[2]
    commands = program_commands(cli)
    blocks = page_blocks(page)
    problems = []

    # Each documented command block belongs to the longest command path its
    # heading starts with.
    documented = {(): blocks.get("OPTIONS", {"heading": "", "tags": [], "text": []})}
    for key, block in blocks.items():
        if not isinstance(key, tuple):
            continue
        words = block["heading"].split()
        matches = [p for p in commands if p and tuple(words[:len(p)]) == p]
        if not matches:
            problems.append(f'COMMANDS has ".SS {block["heading"]}", a command numera-cli does not have')
            continue
        path = max(matches, key=len)
        if path in documented:
            problems.append(f"COMMANDS documents '{' '.join(path)}' twice")
        documented[path] = block

    for path, (options, positionals) in sorted(commands.items()):
        name = " ".join(path) or "the main command"
        block = documented.get(path)
        if block is None:
            problems.append(f"'{name}' has no .SS block under COMMANDS")
            continue
        where = "OPTIONS" if not path else f"the .SS block of '{name}'"
        tagged = {o for tag in block["tags"] for o in OPTION.findall(tag)}
        if path:
            # Every command takes --help; OPTIONS says so once.
            options, tagged = options - HELP, tagged - HELP
        for option in sorted(options - tagged):
            problems.append(f"{option} of {name} has no .TP entry in {where}")
        for option in sorted(tagged - options):
            problems.append(f"{where} has a .TP entry for {option}, which {name} does not have")
        named = blocks.get("SYNOPSIS", {"text": []})["text"] if not path else [block["heading"]]
        for positional in positionals:
            if not any(re.search(rf"(?<![\w-]){re.escape(positional)}(?![\w-])", t) for t in named):
                problems.append(f"positional {positional} of {name} is not named in "
                                + ("SYNOPSIS" if not path else "its .SS heading"))

    for p in problems:
        print(f"{page}: {p}")
    options = sum(len(o) for o, _ in commands.values())
    print(f"numera-cli: {len(commands) - 1} commands, {options} options; "
          f"{len(problems)} missing or stale in {page}")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
