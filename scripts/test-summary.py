#!/usr/bin/env python3
"""test-summary.py LABEL JUNIT: counts the GoogleTest cases inside a CTest run (its JUnit file,
written with the whole output of every test) and prints them with every skipped case and its
reason. Fails when the run executed no test case at all, or when a test program ran none: a
launcher that starts nothing must not pass as green. Fails too when a case skipped for want of a
usable desktop: every suite runs where windows can be shown, so that skip means the prefix or
the runtime broke, and the windows would go untested without anyone noticing."""
import re
import sys
import xml.etree.ElementTree as ElementTree

label, junit = sys.argv[1], sys.argv[2]
ran = re.compile(r"^\[==========\] (\d+) tests? from \d+ test suites? ran", re.M)
outcome = re.compile(r"^\[ +(OK|SKIPPED|FAILED) +\] (\S+) \(\d+ ms\)$", re.M)
skip_reason = re.compile(r"^[^\n]*: Skipped\n(.*?)\n\[  SKIPPED \] (\S+) \(", re.M | re.S)

counts = {"OK": 0, "SKIPPED": 0, "FAILED": 0}
programs, empty, skipped = 0, [], []
for case in ElementTree.parse(junit).getroot().iter("testcase"):
    name = case.get("name")
    out = case.find("system-out")
    text = out.text if out is not None and out.text else ""
    if name.endswith("_setup"):
        continue  # a fixture that makes data, not a test program
    programs += 1
    totals = [int(n) for n in ran.findall(text)]
    if not totals or sum(totals) == 0:
        empty.append(name)
    for result, _ in outcome.findall(text):
        counts[result] += 1
    for reason, test in skip_reason.findall(text):
        skipped.append(f"{name}: {test}: {reason.strip()}")

total = sum(counts.values())
print(f"{label}: {total} test cases in {programs} test programs: {counts['OK']} passed, "
      f"{counts['SKIPPED']} skipped, {counts['FAILED']} failed")
for line in skipped:
    print(f"  skipped {line}")
no_desktop = [line for line in skipped if ": no usable desktop" in line]
if total == 0 or empty:
    print(f"{label}: FAILED: no test case ran" + (f" in {', '.join(empty)}" if empty else ""))
    sys.exit(1)
if no_desktop:
    print(f"{label}: FAILED: {len(no_desktop)} test cases skipped without a usable desktop")
    sys.exit(1)
