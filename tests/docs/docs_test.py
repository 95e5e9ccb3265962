#!/usr/bin/python3
"""docs_test.py KOVDISC MAKE_SAMPLE_DISC [PAGE...]

Every session on the pages is run and compared with what the page shows, and every relative link
leads somewhere; tests/README.md has a row for every suite there is, and for nothing else.

A session is a code block whose lines start with "$ ": each such line is a command, and the lines
after it, up to the next command or the block's end, are what it prints, standard output and
error together. A line "..." stands for any number of lines (what varies, such as a time); blanks at a line's end
do not count. Each
page's commands run in order in a scratch folder of its own, through bash, with KOVDISC and
MAKE_SAMPLE_DISC first on PATH as kovdisc and make_sample_disc (KOV_KOVDISC, where set, in place of
KOVDISC: one built for another machine, run emulated). Every command must exit 0: a page
shows an exit code with `; echo "exit $?"`.

A link [text](target) to a file of the tree must name one that exists, and a #heading in it must
be one of the file's headings, as the web page of the file names them. An option the kovdisc
pages name must be one that kovdisc's help lists. The pages are README.md and docs/*.md unless
named. Exits 1 on any failure, naming the page and line.
"""
import glob
import os
import re
import shutil
import subprocess
import sys
import tempfile

ANY_LINES = "..."
# The pages that describe kovdisc's options: each option they name must be in its help.
OPTION_PAGES = ("docs/kovdisc.md", "docs/fixing-discs.md")


def code_blocks(lines):
    """Each code block as a list of (line number, text): indented by four blanks, or fenced."""
    blocks = []
    current = None  # the block being read
    fenced = False
    for number, line in enumerate(lines, 1):
        if line.strip().startswith("```"):
            if fenced:
                blocks.append(current)
            current, fenced = ([] if not fenced else None), not fenced
        elif fenced:
            current.append((number, line))
        elif line.startswith("    ") or (current and not line.strip()):
            current = (current or []) + [(number, line[4:])]
        elif current:
            blocks.append(current)
            current = None
    if current and not fenced:
        blocks.append(current)
    return blocks


def sessions(lines):
    """Each command of the page's sessions: (line number, command, expected lines)."""
    found = []
    for block in code_blocks(lines):
        while block and block[-1][1] == "":
            block.pop()
        if not block or not block[0][1].startswith("$ "):
            continue
        for number, text in block:
            if text.startswith("$ "):
                found.append((number, text[2:], []))
            else:
                found[-1][2].append(text)
    return found


def matches(expected, actual):
    """Whether the lines printed are the lines shown, a "..." line standing for any lines."""
    if not expected:
        return not actual
    if expected[0] == ANY_LINES:
        return any(matches(expected[1:], actual[i:]) for i in range(len(actual) + 1))
    return (bool(actual) and expected[0].rstrip() == actual[0].rstrip() and
            matches(expected[1:], actual[1:]))


def run_sessions(page, lines, tools, printed=None):
    """The failures of the page's sessions, each naming the page and line. `printed`, if given,
    receives what each command printed, by its line number."""
    failures = []
    scratch = tempfile.mkdtemp(prefix="kov-docs-")
    environment = dict(os.environ, PATH=tools + os.pathsep + os.environ["PATH"], LC_ALL="C.UTF-8")
    try:
        for number, command, expected in sessions(lines):
            result = subprocess.run(["bash", "-c", command], cwd=scratch, env=environment,
                                    stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
            actual = result.stdout.decode("utf-8", "replace").splitlines()
            if printed is not None:
                printed[number] = (len(expected), actual)
            if result.returncode != 0:
                failures.append("%s:%d: $ %s exited %d, which the page does not show" %
                                (page, number, command, result.returncode))
            elif not matches(expected, actual):
                failures.append("%s:%d: $ %s printed\n%s\n  where the page shows\n%s" %
                                (page, number, command, indent(actual), indent(expected)))
    finally:
        shutil.rmtree(scratch)
    return failures


def update(path, lines, tools):
    """Writes what each command printed into the page in place of what it showed, but for
    sessions that show "..."."""
    printed = {}
    run_sessions(path, lines, tools, printed)
    shown = {number: expected for number, _, expected in sessions(lines)}
    for number in sorted(printed, reverse=True):
        count, actual = printed[number]
        if ANY_LINES in shown[number]:
            continue
        prefix = re.match(r"\s*", lines[number - 1]).group()
        lines[number:number + count] = [(prefix + line).rstrip() for line in actual]
    with open(path, "w", encoding="utf-8") as page:
        page.write("\n".join(lines) + "\n")
    print("%s: rewrote what %d commands print" % (path, len(printed)))


def indent(lines):
    return "\n".join("    " + line for line in lines) if lines else "    (nothing)"


def heading_anchors(path):
    """The anchors of a Markdown file's headings, as the web page of the file makes them."""
    anchors = set()
    with open(path, encoding="utf-8") as page:
        for line in page:
            heading = re.match(r"#+\s+(.*?)\s*$", line)
            if heading and not line.startswith("    "):
                text = re.sub(r"[`*]", "", heading.group(1)).lower()
                anchors.add(re.sub(r"[^\w\- ]", "", text).replace(" ", "-"))
    return anchors


def check_links(page, lines, top):
    failures = []
    folder = os.path.dirname(os.path.join(top, page))
    for number, line in enumerate(lines, 1):
        for target in re.findall(r"\]\(([^)\s]+)\)", line):
            if re.match(r"[a-z]+:", target):
                continue
            path, _, anchor = target.partition("#")
            file = os.path.normpath(os.path.join(folder, path)) if path else os.path.join(top, page)
            if not os.path.exists(file):
                failures.append("%s:%d: the link %s leads to no file" % (page, number, target))
            elif anchor and anchor not in heading_anchors(file):
                failures.append("%s:%d: the link %s leads to no heading of %s" %
                                (page, number, target, os.path.relpath(file, top)))
    return failures


def help_options(kovdisc):
    """Every option kovdisc's help and its commands' help list."""
    texts = subprocess.run([kovdisc, "--help"], capture_output=True, text=True).stdout
    commands = re.findall(r"^  ([a-z]+) ", texts.split("Subcommands:")[1], re.MULTILINE)
    for command in commands:
        texts += subprocess.run([kovdisc, command, "--help"], capture_output=True,
                                text=True).stdout
    return set(re.findall(r"--[a-z][a-z-]*", texts))


def check_options(page, lines, options):
    failures = []
    for number, line in enumerate(lines, 1):
        if "make_sample_disc" in line or "cmake" in line:
            continue  # the options of other programs
        for option in re.findall(r"(?<![\w-])--[a-z][a-z-]*", line):
            if option not in options:
                failures.append("%s:%d: %s is no option kovdisc's help lists" %
                                (page, number, option))
    return failures


def map_problems(top):
    """tests/README.md has a row for each suite scripts/test.sh runs, and for nothing else."""
    def read(name):
        with open(os.path.join(top, name), encoding="utf-8") as text:
            return text.read()
    suites = {"rebuild_test"} | {os.path.basename(p)[:-4] for p in
                                 glob.glob(os.path.join(top, "tests", "fuzz", "*_fuzz.cpp"))}
    for name in ("tests/CMakeLists.txt", "tests/package/CMakeLists.txt"):
        suites |= set(re.findall(r"add_test\(NAME (\w+)", read(name)))
    rows = set(re.findall(r"^\| `(\w+)` \|", read("tests/README.md"), re.M))
    return (["tests/README.md has no row for the suite %s" % s for s in sorted(suites - rows)] +
            ["tests/README.md has a row for %s, which is no suite" % r for r in sorted(rows - suites)])


def main():
    if len(sys.argv) < 3:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    kovdisc = os.path.abspath(os.environ.get("KOV_KOVDISC") or sys.argv[1])
    tools = tempfile.mkdtemp(prefix="kov-docs-tools-")
    os.symlink(kovdisc, os.path.join(tools, "kovdisc"))
    os.symlink(os.path.abspath(sys.argv[2]), os.path.join(tools, "make_sample_disc"))
    top = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
    failures = map_problems(top)
    count = 0
    pages = sys.argv[3:] or ["README.md"] + sorted(
        os.path.relpath(page, top) for page in glob.glob(os.path.join(top, "docs", "*.md")))
    options = help_options(kovdisc)
    texts = {}
    try:
        for page in pages:
            with open(os.path.join(top, page), encoding="utf-8") as text:
                lines = texts[page] = text.read().splitlines()
            found = sessions(lines)
            count += len(found)
            if os.environ.get("KOV_UPDATE_GOLDEN") == "1":
                update(os.path.join(top, page), lines, tools)
                continue
            failures += run_sessions(page, lines, tools) + check_links(page, lines, top)
            if page in OPTION_PAGES:
                failures += check_options(page, lines, options)
            print("%s: %d commands" % (page, len(found)))
        # The runner itself: the first page whose sessions show a digit, with that digit
        # otherwise, must fail.
        first, line = next((page, number + i) for page in pages
                           for number, _, expected in sessions(texts[page])
                           for i, shown in enumerate(expected) if re.search(r"\d", shown))
        changed = list(texts[first])
        changed[line] = re.sub(r"\d", lambda d: str((int(d.group()) + 1) % 10), changed[line], 1)
        if not run_sessions(first, changed, tools):
            failures.append("the runner passed %s with a digit of line %d changed" %
                            (first, line + 1))
    finally:
        shutil.rmtree(tools)
    for failure in failures:
        print("FAILED: " + failure)
    print("docs: %d commands on %d pages; %d failures" % (count, len(pages), len(failures)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
