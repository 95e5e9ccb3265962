#!/usr/bin/python3
"""suite_results.py JUNIT_FILE

Reads the JUnit XML that ctest writes (--output-junit) and prints one line per suite, its
outcome and name separated by a tab: "passed", "FAILED", or "skipped" with the reason the suite
printed ("NAME skipped: REASON", or any line "... skipped: REASON") after the name. A suite that
did not run and gave no reason counts as failed: a skip must say why.
"""
import sys
import xml.etree.ElementTree as ElementTree


def reason_of(case):
    output = case.findtext("system-out") or ""
    for line in output.splitlines():
        if " skipped: " in line:
            return line.split(" skipped: ", 1)[1].strip()
    return None


def main():
    if len(sys.argv) != 2:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    for case in ElementTree.parse(sys.argv[1]).getroot().iter("testcase"):
        name = case.get("name")
        status = case.get("status")
        if status == "run":
            print("passed\t%s" % name)
            continue
        if status != "notrun":
            print("FAILED\t%s" % name)
            continue
        reason = reason_of(case)
        if reason is None:
            skipped = case.find("skipped")
            why = skipped.get("message", "") if skipped is not None else ""
            print("FAILED\t%s (did not run, and said no reason: %s)" % (name, why))
        else:
            print("skipped\t%s (%s)" % (name, reason))
    return 0


if __name__ == "__main__":
    sys.exit(main())
