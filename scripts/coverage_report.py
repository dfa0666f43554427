#!/usr/bin/env python3
"""Prints the driver's line and branch coverage per file from gcovr's JSON
report, lists every line and branch the run did not reach, and checks them
against docs/coverage.md.

    coverage_report.py GCOVR_JSON DOC --min-branch PERCENT [--suites SUITES_JSON]

Fails (exit 1) when a line of the driver was not reached, when a branch was
not reached that DOC does not explain, when DOC explains a branch that is now
reached (or no longer exists), or when branch coverage falls below PERCENT.

DOC's table of unreached branches has one row per source line:

    | `file` | `the line's code, as written` | k of n | why |

matched by file and code (not by line number, so that edits elsewhere in the
file do not move it), and by how many of the line's n branches are unreached.

SUITES_JSON, the report of ctest without the corpus replays, adds
their figure and names what only a corpus replay reaches: there only the
fuzz invariants check what the driver did.
"""
import argparse
import json
import re
import sys
from pathlib import Path

ROW = re.compile(r"^\|\s*`([^`]+)`\s*\|\s*`(.+?)`\s*\|\s*(\d+) of (\d+)\s*\|")


def measured_lines(entry):
    """The lines gcovr counts: code lines not excluded."""
    return [l for l in entry["lines"] if not l.get("gcovr/noncode") and not l.get("gcovr/excluded")]


def unreached(files):
    """Per file and line: how many of the line's branches, and whether the
    line itself, the run did not reach."""
    result = {}
    for entry in files:
        for l in measured_lines(entry):
            missed = sum(1 for b in l["branches"] if b["count"] == 0)
            result[(entry["file"], l["line_number"])] = (l["count"] == 0, missed)
    return result


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("report")
    parser.add_argument("doc")
    parser.add_argument("--min-branch", type=float, required=True)
    parser.add_argument("--suites")
    args = parser.parse_args()

    files = sorted(json.loads(Path(args.report).read_text())["files"], key=lambda f: f["file"])
    rows = []
    unreached_lines = []
    unreached_branches = {}  # (file, code) -> (line number, unreached, branches)
    totals = [0, 0, 0, 0]
    for entry in files:
        name = entry["file"]
        source = Path(name).read_text().split("\n")
        lines = measured_lines(entry)
        reached = sum(1 for l in lines if l["count"] > 0)
        branches = sum(len(l["branches"]) for l in lines)
        taken = sum(1 for l in lines for b in l["branches"] if b["count"] > 0)
        rows.append((name, reached, len(lines), taken, branches))
        for value, i in zip((reached, len(lines), taken, branches), range(4)):
            totals[i] += value
        for l in lines:
            code = source[l["line_number"] - 1].strip()
            if l["count"] == 0:
                unreached_lines.append(f"{name}:{l['line_number']}: {code}")
            missed = sum(1 for b in l["branches"] if b["count"] == 0)
            if missed:
                unreached_branches[(name, code)] = (l["line_number"], missed, len(l["branches"]))

    def percent(a, b):
        return f"{100.0 * a / b:6.2f}%" if b else "      -"

    print(f"{'driver file':32} {'lines':>11} {'':7}  {'branches':>11} {'':7}")
    for name, reached, lines, taken, branches in rows:
        print(f"{name:32} {reached:5} / {lines:<5}{percent(reached, lines)}  "
              f"{taken:5} / {branches:<5}{percent(taken, branches)}")
    reached, lines, taken, branches = totals
    print(f"{'total':32} {reached:5} / {lines:<5}{percent(reached, lines)}  "
          f"{taken:5} / {branches:<5}{percent(taken, branches)}")

    if args.suites:
        suites = json.loads(Path(args.suites).read_text())["files"]
        lines_total = sum(len(measured_lines(e)) for e in suites)
        lines_reached = sum(1 for e in suites for l in measured_lines(e) if l["count"] > 0)
        branch_total = sum(len(l["branches"]) for e in suites for l in measured_lines(e))
        branch_taken = sum(1 for e in suites for l in measured_lines(e)
                           for b in l["branches"] if b["count"] > 0)
        print(f"{'without the corpus replays':32} {lines_reached:5} / {lines_total:<5}"
              f"{percent(lines_reached, lines_total)}  {branch_taken:5} / {branch_total:<5}"
              f"{percent(branch_taken, branch_total)}")
        alone, whole = unreached(suites), unreached(files)
        only = [key for key in sorted(alone) if key in whole and alone[key] != whole[key]]
        if only:
            print("\nreached only by a corpus replay (lines, or branches of these lines):")
        for name, number in only:
            print(f"  {name}:{number}: {Path(name).read_text().split(chr(10))[number - 1].strip()}")

    documented = {}
    for text in Path(args.doc).read_text().split("\n"):
        match = ROW.match(text)
        if match:
            # A | inside the code is written \| in the table.
            code = match[2].replace("\\|", "|").strip()
            documented[(match[1], code)] = (int(match[3]), int(match[4]))

    failures = []
    for line in unreached_lines:
        failures.append(f"line not reached: {line}")
    if unreached_branches:
        print("\nbranches not reached (each explained in " + args.doc + "):")
    for (name, code), (number, missed, count) in sorted(unreached_branches.items()):
        print(f"  {name}:{number}: {missed} of {count}: {code}")
        if documented.get((name, code)) != (missed, count):
            failures.append(f"{name}:{number}: {missed} of {count} branches not reached, "
                            f"and {args.doc} does not explain it: {code}")
    for (name, code), (missed, count) in sorted(documented.items()):
        if (name, code) not in unreached_branches:
            failures.append(f"{args.doc} explains {missed} of {count} unreached branches of "
                            f"{name} `{code}`, but the run reached them (or the line is gone)")
    if branches and 100.0 * taken / branches < args.min_branch:
        failures.append(f"branch coverage {100.0 * taken / branches:.2f}% is below "
                        f"{args.min_branch}%")

    for failure in failures:
        print(f"coverage: {failure}", file=sys.stderr)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
