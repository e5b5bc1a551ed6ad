#!/usr/bin/env python3
"""Times what the write policy costs the light programs, side by side.

For each image size, round after round (in a new order each round), it
runs oiiotool's plain PIZ half copy (when oiiotool is there) and each light
program of each build given, replacing its earlier output, and the first
build's programs once more writing a new file each run (the policy syncs
only a file that replaces another). It reports each one's median time, the
median of the rounds' ratios to oiiotool's copy in the same round, and the
median processor time (user and system). Then, under strace, the time a
run spends in the policy's own system calls (fsync, rename, linkat) when it
replaces a file and when it makes a new one: off the processor, so a
profile of the processor does not show it. It measures; it asserts nothing.

    python3 bench/writecost.py --build build --versus before=../before/build \\
        --sizes tiny,2,8 --runs 15
"""
import argparse
import os
import random
import re
import resource
import shutil
import statistics
import subprocess
import time

SIZES = {"tiny": (256, 128), "2": (2048, 1024), "8": (4096, 2048), "32": (8192, 4096)}
POLICY_CALLS = ("fsync", "fdatasync", "rename", "renameat", "renameat2", "linkat")


def seconds(argv, fresh=None):
    """Wall seconds and processor seconds (user and system) of one run."""
    if fresh and os.path.exists(fresh):
        os.unlink(fresh)
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    start = time.perf_counter()
    subprocess.run(argv, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
    wall = time.perf_counter() - start
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    return wall, after.ru_utime + after.ru_stime - before.ru_utime - before.ru_stime


def policy_seconds(argv, work, fresh, runs):
    """Median seconds a run spends in the policy's calls, from strace -T."""
    trace = os.path.join(work, "strace.txt")
    totals = []
    for _ in range(runs):
        if fresh and os.path.exists(fresh):
            os.unlink(fresh)
        subprocess.run(["strace", "-o", trace, "-T", "-e", "trace=" + ",".join(POLICY_CALLS)] + argv,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
        total = 0.0
        with open(trace) as f:
            for line in f:
                m = re.match(r"(\w+)\(.*<([0-9.]+)>$", line.strip())
                if m and m.group(1) in POLICY_CALLS:
                    total += float(m.group(2))
        totals.append(total)
    return statistics.median(totals)


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--build", default="build", help="build folder (default build)")
    ap.add_argument("--versus", action="append", default=[], metavar="NAME=DIR",
                    help="another build folder, timed in the same rounds (repeatable)")
    ap.add_argument("--sizes", default="tiny,2,8", help="image sizes in MP: tiny,2,8,32")
    ap.add_argument("--runs", type=int, default=9, help="rounds (default 9)")
    ap.add_argument("--programs", default="radbright,radmean,radreceptor-rgb")
    ap.add_argument("--work", default="/tmp/radsuite-writecost", help="scratch folder")
    ap.add_argument("--out", default="", help="also write the tables to this Markdown file")
    args = ap.parse_args()

    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    builds = [("this build", os.path.abspath(args.build))]
    for v in args.versus:
        name, _, folder = v.partition("=")
        builds.append((name, os.path.abspath(folder)))
    programs = args.programs.split(",")
    oiiotool = shutil.which("oiiotool")
    strace = shutil.which("strace")
    os.makedirs(args.work, exist_ok=True)
    photo = os.path.join(root, "data", "forest.exr")
    lines = ["| size | run | median s | ratio to oiiotool's copy | median processor s |",
             "|---|---|---|---|---|"]
    calls = ["| size | program | build | target | s in fsync, rename, linkat a run |",
             "|---|---|---|---|---|"]

    for size in args.sizes.split(","):
        w, h = SIZES[size]
        image = os.path.join(args.work, "in-%s.exr" % size)
        if not os.path.exists(image):
            subprocess.run([os.path.join(builds[0][1], "bench", "makeimages"), photo, image,
                            str(w), str(h)], check=True)
        runs = []  # (label, argv, file to remove before each run)
        if oiiotool:
            runs.append(("oiiotool copy", [oiiotool, "--threads", "1", image, "-d", "half",
                                           "--compression", "piz", "-o",
                                           os.path.join(args.work, "copy.exr")], None))
        for p in programs:
            for name, folder in builds:
                out = os.path.join(args.work, "%s-%s.exr" % (p, len(runs)))
                runs.append(("%s, %s" % (p, name), [os.path.join(folder, "bin", p), image, out], None))
            new = os.path.join(args.work, "%s-new.exr" % p)
            runs.append(("%s, %s, new file" % (p, builds[0][0]),
                         [os.path.join(builds[0][1], "bin", p), image, new], new))
        times = {label: [] for label, _, _ in runs}
        cpu = {label: [] for label, _, _ in runs}
        for label, argv, fresh in runs:
            seconds(argv, fresh)  # the first run makes the output replaced later
        order = random.Random(size)
        for _ in range(args.runs):
            # in a new order each round, so that no run always follows
            # oiiotool's (which leaves the caches and the disk busier)
            for label, argv, fresh in order.sample(runs, len(runs)):
                wall, processor = seconds(argv, fresh)
                times[label].append(wall)
                cpu[label].append(processor)
        for label, _, _ in runs:
            ratio = "-"
            if oiiotool:
                ratio = "%.3f" % statistics.median(
                    [t / o for t, o in zip(times[label], times["oiiotool copy"])])
            lines.append("| %s | %s | %.4f | %s | %.4f |" % (
                size, label, statistics.median(times[label]), ratio, statistics.median(cpu[label])))
            print(lines[-1], flush=True)
        if strace:
            for p in programs[:1]:
                for name, folder in builds:
                    argv = [os.path.join(folder, "bin", p), image, os.path.join(args.work, "traced.exr")]
                    calls.append("| %s | %s | %s | replaced | %.4f |" % (
                        size, p, name, policy_seconds(argv, args.work, None, args.runs)))
                    print(calls[-1], flush=True)
                new = os.path.join(args.work, "traced-new.exr")
                argv = [os.path.join(builds[0][1], "bin", p), image, new]
                calls.append("| %s | %s | %s | new | %.4f |" % (
                    size, p, builds[0][0], policy_seconds(argv, args.work, new, args.runs)))
                print(calls[-1], flush=True)
    if args.out:
        with open(args.out, "w") as f:
            f.write("\n".join(lines) + "\n\n" + ("\n".join(calls) + "\n" if strace else ""))


if __name__ == "__main__":
    main()
