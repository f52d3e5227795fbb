#!/usr/bin/env python3
"""numera-cli's result commands from the outside: JSON against the schema
(python3-jsonschema), CSV through Python's csv, the report's DOM as headless
Chromium renders it. Fast seeds a history from the fixtures; Slow runs the
benchmark. Run one class with `test_cli_results.py Fast`."""
import csv
import html.parser
import io
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest

CLI = os.environ["NUMERA_CLI"]
SEED = os.environ["NUMERA_SEED"]
SCHEMA = os.environ["NUMERA_SCHEMA"]
FIXTURES = os.environ["NUMERA_FIXTURES"]
README = os.environ["NUMERA_README"]
CHROMIUM = os.environ.get("NUMERA_CHROMIUM", "chromium")
SHOTS = os.environ.get("NUMERA_SHOTS", "")  # where to leave screenshots, if anywhere

import jsonschema  # noqa: E402  (after the environment, so a missing variable says so first)

with open(SCHEMA, encoding="utf-8") as f:
    _SCHEMA = json.load(f)
jsonschema.Draft202012Validator.check_schema(_SCHEMA)


def validator(definition=""):
    schema = _SCHEMA
    if definition:
        schema = {"$schema": _SCHEMA["$schema"], "$defs": _SCHEMA["$defs"], "$ref": "#/$defs/" + definition}
    return jsonschema.Draft202012Validator(schema)


def fixture(name):
    return os.path.join(FIXTURES, name)


ALL_FIXTURES = ["fixture-alpha.json", "fixture-bravo-single.json", "fixture-bravo-multi.json",
                "fixture-charlie.json", "fixture-delta.json", "fixture-echo.json"]


def chromium(*arguments, timeout=120):
    """Headless Chromium as root in this closed network: no sandbox, no GPU,
    nothing in the background that would try to go online, a fresh profile."""
    profile = tempfile.mkdtemp(prefix="numera-chromium-")
    try:
        return subprocess.run(
            [CHROMIUM, "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
             "--disable-background-networking", "--disable-component-update", "--disable-sync",
             "--hide-scrollbars", "--user-data-dir=" + profile, *arguments],
            capture_output=True, text=True, timeout=timeout, check=True)
    finally:
        shutil.rmtree(profile, ignore_errors=True)


class MachineRows(html.parser.HTMLParser):
    """The report's machine rows in DOM order: their data attributes and the
    text of each cell."""

    def __init__(self):
        super().__init__()
        self.rows = []
        self.ids = {}
        self._cell = None
        self._id = None
        self.remote = []  # attributes that would load something

    def handle_starttag(self, tag, attrs):
        a = dict(attrs)
        for key in ("src", "href"):
            if key in a:
                self.remote.append((tag, key, a[key]))
        if tag in ("script", "link", "img", "iframe", "object"):
            self.remote.append((tag, "", ""))
        if tag == "tr" and "machine" in a.get("class", "").split():
            self.rows.append({"attrs": a, "cells": []})
        elif tag == "td" and self.rows and self._cell is None:
            self._cell = ""
        if "id" in a:
            self._id = a["id"]
            self.ids[self._id] = ""

    def handle_endtag(self, tag):
        if tag == "td" and self._cell is not None:
            self.rows[-1]["cells"].append(self._cell.strip())
            self._cell = None
        if self._id is not None and tag in ("b", "span", "p", "td"):
            self._id = None

    def handle_data(self, data):
        if self._cell is not None:
            self._cell += data
        if self._id is not None:
            self.ids[self._id] += data


class CliCase(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="numera-cli-results-")
        self.env = dict(os.environ, XDG_DATA_HOME=os.path.join(self.dir, "data"))
        self.db = os.path.join(self.dir, "data", "numera", "results.sqlite3")

    def tearDown(self):
        shutil.rmtree(self.dir, ignore_errors=True)

    def cli(self, *arguments, status=0, env=None):
        p = subprocess.run([CLI, *arguments], capture_output=True, text=True, env=env or self.env,
                           stdin=subprocess.DEVNULL, timeout=600)
        self.assertEqual(p.returncode, status, f"numera-cli {' '.join(arguments)}\n{p.stdout}\n{p.stderr}")
        return p

    def seed(self, *names):
        p = subprocess.run([SEED, *[fixture(n) for n in names]], capture_output=True, text=True, env=self.env)
        self.assertEqual(p.returncode, 0, p.stderr)

    def assertValid(self, document, definition=""):
        errors = [f"{'/'.join(map(str, e.absolute_path))}: {e.message}"
                  for e in validator(definition).iter_errors(document)]
        self.assertEqual(errors, [], json.dumps(document)[:2000])

    def path(self, name):
        return os.path.join(self.dir, name)


class Fast(CliCase):
    def test_system_info_json(self):
        self.assertValid(json.loads(self.cli("--system-info", "--json").stdout), "system_info")

    def test_schema_rejects_broken_records(self):
        with open(fixture("fixture-bravo-single.json"), encoding="utf-8") as f:
            good = json.load(f)
        self.assertValid(good)
        breakages = {
            "no score": lambda j: j.pop("score"),
            "unknown mode": lambda j: j.update(mode="quad"),
            "multi without its block": lambda j: j.update(mode="multi"),
            "radix 7": lambda j: j["runs"][0].update(radix=7),
            "local time": lambda j: j.update(started_at="2025-03-01 10:00:00"),
            "extra field": lambda j: j.update(colour="red"),
        }
        for name, breakage in breakages.items():
            broken = json.loads(json.dumps(good))
            breakage(broken)
            self.assertFalse(validator().is_valid(broken), name)

    def test_history_lists_newest_first(self):
        p = self.cli("history")
        self.assertIn("No results in the history yet", p.stdout)
        self.assertFalse(os.path.exists(self.db), "reading makes no history")

        self.seed(*ALL_FIXTURES)
        lines = self.cli("history", "--limit", "0").stdout.splitlines()
        self.assertEqual(lines[0].split()[:4], ["#", "Date", "(UTC)", "Mode"])
        dates = [re.search(r"\d{4}-\d\d-\d\d \d\d:\d\d", line).group(0) for line in lines[1:]]
        self.assertEqual(len(dates), 9)
        self.assertEqual(dates, sorted(dates, reverse=True))
        self.assertIn("Computed digits do not match pi (run 2 of 2)", lines[1])
        stress = next(line for line in lines if "Error on CPU 3" in line)
        self.assertRegex(stress, r"stress.*3:12")
        self.assertEqual(len(self.cli("history", "--limit", "3").stdout.splitlines()), 4)

        listed = json.loads(self.cli("history", "--json", "--limit", "4").stdout)
        self.assertValid(listed)
        self.assertEqual(len(listed["results"]), 4)
        self.assertEqual([r["started_at"] for r in listed["results"]],
                         sorted((r["started_at"] for r in listed["results"]), reverse=True))
        self.assertTrue(all("history_id" in r for r in listed["results"]))

    def test_export_writes_everything_oldest_first(self):
        self.seed(*ALL_FIXTURES)
        out = self.path("all.json")
        self.cli("export", "-o", out)
        with open(out, encoding="utf-8") as f:
            exported = json.load(f)
        self.assertValid(exported)
        starts = [r["started_at"] for r in exported["results"]]
        self.assertEqual(len(starts), 9)
        self.assertEqual(starts, sorted(starts))
        self.cli("export", "--csv", "-o", self.path("all.csv"))
        with open(self.path("all.csv"), newline="", encoding="utf-8") as f:
            rows = list(csv.DictReader(f, strict=True))
        self.assertEqual(len(rows), 9)
        self.assertIn("No errors: 8 CPUs, 10:00, 1,312 runs", [r["verdict"] for r in rows])
        # history --csv gives the same records; bytes as written, as text mode would fold the CRLF ends.
        text = subprocess.run([CLI, "history", "--csv"], capture_output=True, env=self.env, check=True).stdout
        history = list(csv.DictReader(io.StringIO(text.decode("utf-8"), newline=""), strict=True))
        self.assertEqual(sorted(history, key=lambda r: int(r["id"])), sorted(rows, key=lambda r: int(r["id"])))
        self.assertEqual(sorted(os.listdir(self.dir)), ["all.csv", "all.json", "data"], "no temporary file left")
        # Into a folder that does not exist: one line, no file.
        p = self.cli("export", "-o", self.path("missing/all.json"), status=1)
        self.assertEqual(p.stderr.count("\n"), 1, p.stderr)
        # An export is a result file like any other.
        self.cli("report", out, "-o", self.path("r.html"))

    def test_compare_side_by_side(self):
        self.seed("fixture-alpha.json", "fixture-bravo-single.json", "fixture-charlie.json")
        # Same version, engine path and mode: comparable, with the ratio.
        p = self.cli("compare", fixture("fixture-bravo-single.json"), "best")
        self.assertNotIn("Warning", p.stdout)
        self.assertRegex(p.stdout, r"Score\s+904\s+1210\s+B/A 1\.338")
        self.assertRegex(p.stdout, r"Run 3\s+2\.075 s")
        self.assertIn("A: " + fixture("fixture-bravo-single.json"), p.stdout)
        self.assertIn("B: best (#1)", p.stdout)

        j = json.loads(self.cli("compare", "best:multi", "#1", "--json").stdout)
        self.assertValid(j, "comparison")
        self.assertFalse(j["comparable"])
        self.assertEqual(j["not_comparable_because"], ["different mode: multi vs single"])

        p = self.cli("compare", "last:single", "best")
        self.assertIn("Warning: not comparable: different engine path: x86-64-v3 vs x86-64-v4", p.stdout)

        for args in (["#99", "last"], ["best:stress", fixture("fixture-alpha.json")], ["#0", "last"]):
            p = self.cli("compare", *args, status=1)
            self.assertEqual(p.stderr.count("\n"), 1, p.stderr)
            self.assertEqual(p.stdout, "")

    def test_test_fakes_are_printed_not_stored(self):
        env = dict(self.env, NUMERA_TEST_FAKE_RUN_MS="20")
        failing = dict(env, NUMERA_TEST_FAIL_RUN="%d:2" % min(os.sched_getaffinity(0)))
        for command, status, run_env in ((["multi", "--runs", "1", "--json"], 0, env),
                                         (["multi", "--runs", "2", "--json"], 1, failing),
                                         (["stress", "--duration", "1s", "--keep-going", "--json"], 1, failing)):
            result = json.loads(self.cli(*command, status=status, env=run_env).stdout)
            self.assertValid(result)
            self.assertIs(result["test_fake_runs"], True)
        self.assertFalse(os.path.exists(self.db))

    def test_unreadable_files_name_file_and_field(self):
        broken = self.path("broken.json")
        with open(fixture("fixture-bravo-single.json"), encoding="utf-8") as f:
            record = json.load(f)
        del record["runs"][1]["score"]
        with open(broken, "w", encoding="utf-8") as f:
            json.dump(record, f)
        garbage = self.path("garbage.json")
        with open(garbage, "w", encoding="utf-8") as f:
            f.write("Score: 708\n")
        out = self.path("report.html")
        p = self.cli("report", fixture("fixture-alpha.json"), broken, garbage, "-o", out, status=1)
        lines = p.stderr.splitlines()
        self.assertEqual(lines[0], f"numera-cli: {broken}: field runs[1].score: missing")
        self.assertTrue(lines[1].startswith(f"numera-cli: {garbage}: not JSON"), lines[1])
        self.assertIn("no report written", lines[2])
        self.assertFalse(os.path.exists(out))
        p = self.cli("compare", broken, fixture("fixture-alpha.json"), status=1)
        self.assertIn("runs[1].score", p.stderr)


def dump_dom(page):
    return chromium("--dump-dom", "file://" + page).stdout


def screenshot(page, name, *extra):
    if not SHOTS:
        return
    os.makedirs(SHOTS, exist_ok=True)
    chromium("--window-size=1400,1250", "--screenshot=" + os.path.join(SHOTS, name), *extra, "file://" + page)


class Slow(CliCase):
    def test_run_stored_and_reported_with_other_machines(self):
        own = self.path("this-machine.json")
        p = self.cli("--runs", "1", "--json")
        with open(own, "w", encoding="utf-8") as f:
            f.write(p.stdout)
        result = json.loads(p.stdout)
        self.assertValid(result)
        self.assertTrue(result["success"])
        history = json.loads(self.cli("history", "--json").stdout)
        self.assertEqual([r["result_id"] for r in history["results"]], [result["result_id"]])
        self.assertEqual(self.cli("compare", own, "last").stdout.count("B/A 1.000"), 3)

        # The report: this run beside the synthetic fleet.
        page = self.path("report.html")
        p = self.cli("report", own, *[fixture(n) for n in ALL_FIXTURES], "-o", page)
        self.assertEqual(p.stdout, f"Wrote {page}: 6 machines, 10 results\n")
        dom = MachineRows()
        dom.feed(dump_dom(page))
        self.assertEqual(dom.remote, [], "the page loads nothing")

        this = result["host_name"]
        singles = {"fixture-alpha.example": 1210, "fixture-bravo.example": 904, "fixture-charlie.example": 640,
                   "fixture-delta.example": 480, this: result["score"]}
        expected = sorted(singles, key=lambda h: -singles[h]) + ["fixture-echo.example"]
        rows = dom.rows
        self.assertEqual([r["attrs"]["data-host"] for r in rows], expected)
        by_host = {r["attrs"]["data-host"]: r for r in rows}
        self.assertEqual(by_host[this]["attrs"]["data-single"], "%.0f" % result["score"])
        self.assertEqual(by_host["fixture-alpha.example"]["attrs"]["data-multi"], "8723")
        # Most scores are at 1.0.0 on x86-64-v4: those are the reference.
        self.assertEqual(dom.ids["ref-engine"], "x86-64-v4")
        comparable = {h: r["attrs"]["data-comparable"] for h, r in by_host.items()}
        own_path = result["engine"]["transform"] == "x86-64-v4" and result["engine"]["word_loops"] == "x86-64-v4"
        self.assertEqual(comparable, {"fixture-alpha.example": "true", "fixture-bravo.example": "true",
                                      "fixture-charlie.example": "false", "fixture-delta.example": "false",
                                      "fixture-echo.example": "true", this: "true" if own_path else "false"})
        self.assertIn("not comparable", by_host["fixture-delta.example"]["cells"][1])
        stability = {h: r["attrs"]["data-stability"] for h, r in by_host.items()}
        self.assertEqual((stability["fixture-alpha.example"], stability["fixture-charlie.example"], stability[this]),
                         ("pass", "fail", "none"))
        self.assertIn("Error on CPU 3 after 3:12", " ".join(by_host["fixture-charlie.example"]["cells"]))
        self.assertIn('Synthetic "Quoted", Fixture CPU <b>Delta</b> & Co', by_host["fixture-delta.example"]["cells"])
        self.assertTrue(by_host["fixture-echo.example"]["cells"][9].startswith("failed"))
        self.assertEqual([r["cells"][0] for r in rows], [str(i) for i in range(1, 7)])

        # Printed: every machine on the page, one sheet for six machines.
        pdf = os.path.join(SHOTS or self.dir, "report-print.pdf")
        chromium("--print-to-pdf=" + pdf, "--no-pdf-header-footer", "file://" + page)
        pages = re.search(r"^Pages:\s+(\d+)", subprocess.run(["pdfinfo", pdf], capture_output=True, text=True,
                                                             check=True).stdout, re.M)
        self.assertEqual(pages.group(1), "1")
        printed = subprocess.run(["pdftotext", "-layout", pdf, "-"], capture_output=True, text=True, check=True).stdout
        for host in expected:
            self.assertIn(host, printed)
        screenshot(page, "report-light.png")
        screenshot(page, "report-dark.png", "--force-dark-mode", "--blink-settings=preferredColorScheme=0")

    def test_multi_core_and_stability_results_are_stored(self):
        multi = json.loads(self.cli("multi", "--runs", "1", "--json").stdout)
        self.assertValid(multi)
        p = self.cli("stress", "--duration", "5s", "--json")
        stress = json.loads(p.stdout)
        self.assertValid(stress)
        self.assertTrue(stress["verdict"].startswith("No errors: "), stress["verdict"])
        self.cli("multi", "--runs", "1", "--no-history")
        listed = json.loads(self.cli("history", "--json").stdout)
        self.assertEqual([r["result_id"] for r in listed["results"]], [stress["result_id"], multi["result_id"]])
        lines = self.cli("history").stdout.splitlines()
        self.assertIn(stress["verdict"], lines[1])
        self.assertRegex(lines[2], r"\bmulti\s+%d\b" % multi["score"])
        j = json.loads(self.cli("compare", "best:multi", "last:stress", "--json").stdout)
        self.assertValid(j, "comparison")
        self.assertEqual(j["not_comparable_because"], ["different mode: multi vs stress"])
        self.assertEqual(len(j["cpus"]), len(multi["workers"]))

    def test_readme_example_runs_on_one_machine(self):
        with open(README, encoding="utf-8") as f:
            text = f.read()
        block = re.search(r"<!-- tested: one machine -->\s*```sh\n(.*?)```", text, re.S)
        self.assertIsNotNone(block, "the README's tested example is marked")
        work = self.path("fleet")
        os.makedirs(work)
        env = dict(self.env, PATH=os.path.dirname(CLI) + os.pathsep + os.environ["PATH"])
        p = subprocess.run(["bash", "-euo", "pipefail", "-c", block.group(1)], cwd=work, env=env,
                           capture_output=True, text=True, timeout=600)
        self.assertEqual(p.returncode, 0, p.stdout + p.stderr)
        dom = MachineRows()
        dom.feed(dump_dom(os.path.join(work, "report.html")))
        self.assertEqual(len(dom.rows), 1)
        self.assertTrue(dom.rows[0]["attrs"]["data-single"])

        # The GNU parallel line, with this machine (":") for the fleet and
        # one run for five.
        block = re.search(r"<!-- tested: with --sshlogin : \(this machine\) -->\s*```sh\n(.*?)```", text, re.S)
        self.assertIsNotNone(block, "the README's parallel example is marked")
        script = block.group(1).replace("node1,node2,node3", ":").replace("numera-cli --json", "numera-cli --runs 1 --json")
        p = subprocess.run(["bash", "-euo", "pipefail", "-c", script], cwd=work, env=env,
                           capture_output=True, text=True, timeout=600)
        self.assertEqual(p.returncode, 0, p.stdout + p.stderr)
        with open(os.path.join(work, "results", "_.json"), encoding="utf-8") as f:
            self.assertValid(json.load(f))


if __name__ == "__main__":
    unittest.main(verbosity=2)
