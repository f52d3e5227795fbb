#!/usr/bin/python3
"""The window as a screen reader sees it: starts the real numera with Qt's
AT-SPI bridge on, reads its accessible tree over the AT-SPI bus with pyatspi,
presses START through its accessible action and follows the series by the
events a screen reader gets. Prints the tree before and after the series.

Run inside a session D-Bus and an X display (atspi_session.sh sets them
up), with NUMERA_TEST_SYSINFO_ROOT naming the Xeon fixture tree.
Usage: atspi_tree.py <numera binary>
"""
import os
import re
import subprocess
import sys
import time

try:
    import pyatspi
    from gi.repository import GLib
except ImportError as error:
    print("FAIL: %s (packages python3-pyatspi and python3-gi, for /usr/bin/python3)" % error)
    sys.exit(1)

DESCRIPTION = "Computes pi to 8,388,608 digits five times and scores this processor"
# The machine of the fixture tree the app is pointed at.
ROWS = [
    ("CPU:", "Intel(R) Xeon(R) Processor"),
    ("Cores:", "2 cores"),
    ("Memory:", "24576 MB"),
    ("OS:", "Debian GNU/Linux 12 (bookworm)"),
    ("Architecture:", "x86_64"),
]
APPEAR_SECONDS = 30
SERIES_SECONDS = float(os.environ.get("NUMERA_ATSPI_SERIES_SECONDS", "300"))

failures = []


def check(condition, what):
    print(("ok   " if condition else "FAIL ") + what, flush=True)
    if not condition:
        failures.append(what)
    return condition


def relations(acc):
    out = []
    for relation in acc.getRelationSet():
        kind = relation.getRelationType().value_nick
        for i in range(relation.getNTargets()):
            out.append((kind, relation.getTarget(i)))
    return out


def value_of(acc):
    try:
        return acc.queryValue().currentValue
    except NotImplementedError:
        return None


def describe(acc):
    parts = ["[%s] %r" % (acc.getRoleName(), acc.name)]
    if acc.description:
        parts.append("description=%r" % acc.description)
    value = value_of(acc)
    if value is not None:
        v = acc.queryValue()
        parts.append("value=%g (%g..%g)" % (value, v.minimumValue, v.maximumValue))
    states = acc.getState()
    for state, word in ((pyatspi.STATE_SENSITIVE, "sensitive"), (pyatspi.STATE_BUSY, "busy"),
                        (pyatspi.STATE_FOCUSABLE, "focusable")):
        if states.contains(state):
            parts.append(word)
    try:
        action = acc.queryAction()
        parts.append("actions=%s" % [action.getName(i) for i in range(action.nActions)])
    except NotImplementedError:
        pass
    for kind, target in relations(acc):
        parts.append("%s %r" % (kind, target.name))
    return " ".join(parts)


def walk(acc, depth=0, out=None):
    out = [] if out is None else out
    out.append((depth, acc))
    for child in acc:
        if child is not None:
            walk(child, depth + 1, out)
    return out


def print_tree(title, app):
    print("---- accessible tree %s ----" % title)
    for depth, acc in walk(app):
        print("  " * depth + describe(acc))
    print("---- end of tree ----", flush=True)


def find_app(pid):
    deadline = time.monotonic() + APPEAR_SECONDS
    while time.monotonic() < deadline:
        for app in pyatspi.Registry.getDesktop(0):
            if app is not None and app.get_process_id() == pid and app.childCount > 0:
                return app
        time.sleep(0.2)
    return None


def find(app, role, name=None):
    return [acc for _, acc in walk(app)
            if acc.getRole() == role and (name is None or acc.name == name)]


def check_idle_tree(app):
    buttons = find(app, pyatspi.ROLE_PUSH_BUTTON, "START")
    if not check(len(buttons) == 1, "one push button named START"):
        return None
    button = buttons[0]
    check(button.description == DESCRIPTION, "the button's description: %r" % button.description)
    check(button.getState().contains(pyatspi.STATE_ENABLED) and
          button.getState().contains(pyatspi.STATE_SENSITIVE), "the button is enabled")
    check(button.childCount == 0, "the painted title is not a child of its own")
    try:
        value = button.queryValue()
        check((value.minimumValue, value.maximumValue, value.currentValue) == (0, 100, 0),
              "the button's value is 0 in 0..100 before any series")
    except NotImplementedError:
        check(False, "the button has a value interface")
    try:
        action = button.queryAction()
        names = [action.getName(i) for i in range(action.nActions)]
        check("Press" in names, "the button's actions %s include Press" % names)
    except NotImplementedError:
        check(False, "the button has an action interface")

    labels = find(app, pyatspi.ROLE_LABEL)
    names = [label.name for label in labels]
    check("Score: --" in names and "Time: --" in names, "the result card reads 'Score: --' and 'Time: --'")
    for row_name, row_value in ROWS:
        name_labels = [l for l in labels if l.name == row_name]
        value_labels = [l for l in labels if l.name == row_value]
        if not check(len(name_labels) == 1 and len(value_labels) == 1,
                     "one label %r and one label %r" % (row_name, row_value)):
            continue
        name_label, value_label = name_labels[0], value_labels[0]
        check(("labelled-by", name_label) in relations(value_label),
              "%r is labelled by %r" % (row_value, row_name))
        check(("label-for", value_label) in relations(name_label),
              "%r is the label for %r" % (row_name, row_value))
    return button


def follow_series(app, button):
    """Presses the button through AT-SPI and records what a screen reader
    hears until the score label announces the outcome."""
    score_label = find(app, pyatspi.ROLE_LABEL, "Score: --")[0]
    heard = {"values": [], "sensitive": [], "announced": None}

    def on_value(event):
        if event.source == button:
            heard["values"].append(value_of(button))

    def on_state(event):
        if event.source == button:
            heard["sensitive"].append(bool(event.detail1))

    def on_name(event):
        if event.source == score_label and event.source.name.startswith("Score: ") and \
                event.source.name != "Score: --":
            heard["announced"] = event.source.name
            pyatspi.Registry.stop()

    def give_up():
        pyatspi.Registry.stop()
        return False

    pyatspi.Registry.registerEventListener(on_value, "object:property-change:accessible-value")
    pyatspi.Registry.registerEventListener(on_state, "object:state-changed:sensitive")
    pyatspi.Registry.registerEventListener(on_name, "object:property-change:accessible-name")

    def press():
        button.queryAction().doAction(0)
        return False

    started = time.monotonic()
    GLib.timeout_add(200, press)
    GLib.timeout_add(int(SERIES_SECONDS * 1000), give_up)
    pyatspi.Registry.start()
    seconds = time.monotonic() - started

    values = heard["values"]
    print("series of five runs followed for %.1f s; %d value events: %s" % (seconds, len(values), values))
    print("sensitive changes: %s" % heard["sensitive"])
    print("announced: %r" % heard["announced"], flush=True)
    check(heard["announced"] is not None, "the score label announced the outcome within %g s" % SERIES_SECONDS)
    if heard["announced"]:
        check(re.fullmatch(r"Score: \d+, time: \d+\.\d{3} sec", heard["announced"]) is not None,
              "the announcement holds score and time")
    check(heard["sensitive"][:1] == [False] and heard["sensitive"][-1:] == [True],
          "the button went insensitive for the series and came back")
    known = [v for v in values if v is not None]
    check(len(known) == len(values) and known == sorted(known),
          "the value only grows during a successful series")
    check(len(set(v for v in known if 0 < v < 100)) >= 5, "at least five distinct values between 0 and 100")
    check(known[-1:] == [100], "the value ends at 100")
    check(value_of(button) == 100, "the button's value reads 100 after the series")
    time_labels = [l for l in find(app, pyatspi.ROLE_LABEL) if re.fullmatch(r"Time: \d+\.\d{3} sec", l.name)]
    check(len(time_labels) == 1, "the time label reads 'Time: <seconds> sec'")


def main():
    app_path = sys.argv[1]
    process = subprocess.Popen([app_path])
    try:
        app = find_app(process.pid)
        if not check(app is not None, "numera appeared on the AT-SPI bus within %d s" % APPEAR_SECONDS):
            return 1
        print_tree("before the series", app)
        button = check_idle_tree(app)
        if button is not None:
            follow_series(app, button)
            print_tree("after the series", app)
    finally:
        process.terminate()
        try:
            process.wait(timeout=10)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()
    print("%d failure(s)" % len(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
