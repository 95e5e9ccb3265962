#!/usr/bin/python3
"""random_readers.py KOVDISC MAKE_SAMPLE_DISC [SECONDS]

Several kovdisc processes work one disc at random for SECONDS (default 20; 10 for a kovdisc under
an emulator, KOV_KOVDISC_EMULATED, whose every start is slow): adds, adds killed in
the middle of their copy, check, check --repair, list, verify, recover and copy. Readers read a
disc that writers change under them; none may ever exit 2 (input that cannot be read). At the
end every trailer an add reported as added is still listed, and the disc is sound and verifies.
Prints what it counted. KOV_KOVDISC, where set, is run in place of KOVDISC.
"""
import collections
import json
import os
import random
import signal
import subprocess
import sys
import tempfile
import threading
import time

WORKERS = 3


def listed_trailers(kovdisc, index):
    """The index's trailers as (position, name, serial)."""
    listing = json.loads(subprocess.run([kovdisc, "list", index, "--json"], check=True,
                                        capture_output=True, text=True).stdout)
    return [(t["position"], t["name"], t["serial"]) for t in listing["trailers"]]


def main():
    kovdisc = os.path.abspath(os.environ.get("KOV_KOVDISC") or sys.argv[1])
    make_sample_disc = os.path.abspath(sys.argv[2])
    seconds = float(sys.argv[3]) if len(sys.argv) > 3 else 20.0
    if os.environ.get("KOV_KOVDISC_EMULATED"):
        seconds = min(seconds, 10.0)
    work = tempfile.mkdtemp(prefix="kov-random-readers-")
    os.chdir(work)
    sources = ["s1", "s2"]
    for seed, source in enumerate(sources, 1):
        subprocess.run([make_sample_disc, source, "--trailers", "120", "--fixed-units", "300",
                        "--seed", str(seed)], check=True, stdout=subprocess.DEVNULL)
    subprocess.run([kovdisc, "new", "disc"], check=True, stdout=subprocess.DEVNULL)
    disc = "disc/R14TRLR.TXT"
    sources = [source + "/R14TRLR.TXT" for source in sources]
    # Each source's trailers by PICK, as their name and SERIAL on a disc.
    trailers = {}
    for source in sources:
        for trailer in listed_trailers(kovdisc, source):
            trailers[(source, "#%d" % trailer[0])] = trailer[1:]

    counts = collections.Counter()
    problems = []
    added = set()  # (source, trailer number) an add reported as added
    lock = threading.Lock()
    deadline = time.monotonic() + seconds

    def run(name, arguments, kill_after=None):
        process = subprocess.Popen([kovdisc] + arguments, stdout=subprocess.PIPE,
                                   stderr=subprocess.PIPE, text=True, errors="replace")
        if kill_after is not None:
            time.sleep(kill_after)
            process.send_signal(signal.SIGKILL)
        out, err = process.communicate()
        with lock:
            counts[(name, process.returncode)] += 1
            if process.returncode == 2:
                problems.append("%s exited 2: %s" % (" ".join(arguments), err.strip()))
        return process.returncode, out, err

    def worker(number):
        chooser = random.Random(number)
        copies = 0
        while time.monotonic() < deadline:
            choice = chooser.choice(["add", "add", "killed add", "check", "repair", "list",
                                     "verify", "recover", "copy"])
            source = chooser.choice(sources)
            pick = "#%d" % chooser.randint(1, 120)
            if choice == "add":
                code, out, _ = run("add", ["add", disc, source, pick])
                if code == 0 and out.startswith("added 1"):
                    with lock:
                        added.add((source, pick))
            elif choice == "killed add":
                run("killed add", ["add", disc, source, pick], chooser.uniform(0, 0.03))
            elif choice == "check":
                run("check", ["check", disc])
            elif choice == "repair":
                run("check --repair", ["check", disc, "--repair"])
            elif choice == "list":
                run("list", ["list", disc, "--json"])
            elif choice == "verify":
                run("verify", ["verify", disc] + sources)
            elif choice == "recover":
                run("recover", ["recover", disc] + sources + ["--json"])
            else:
                copies += 1
                run("copy", ["copy", disc, "copy-%d-%d" % (number, copies)])

    threads = [threading.Thread(target=worker, args=(n,)) for n in range(WORKERS)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()

    # What is left of a killed add is cut by the next writer; check --repair cuts it here.
    subprocess.run([kovdisc, "check", disc, "--repair"], stdout=subprocess.DEVNULL)
    on_disc = {trailer[1:] for trailer in listed_trailers(kovdisc, disc)}
    lost = [pick for pick in sorted(added) if trailers[pick] not in on_disc]
    verify = subprocess.run([kovdisc, "verify", disc] + sources, capture_output=True, text=True)
    check = subprocess.run([kovdisc, "check", disc], capture_output=True, text=True)
    listed = len(on_disc)
    if check.returncode != 0:
        problems.append("the disc is not sound at the end: " + check.stdout + check.stderr)
    if verify.returncode != 0:
        problems.append("the disc does not verify at the end: " + verify.stdout[-300:])
    if lost:
        problems.append("trailers reported added are no longer listed: %s" % lost)

    print("random readers: %d workers for %.0f s on one disc" % (WORKERS, seconds))
    for (name, code), count in sorted(counts.items()):
        print("  %-15s exit %3d: %d" % (name, code, count))
    print("  %d trailers reported added; %d listed at the end" %
          (len(added), listed))
    for problem in problems:
        print("FAILED: " + problem)
    subprocess.run(["rm", "-rf", work])
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
