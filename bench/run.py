#!/usr/bin/env python3
"""Times every program of the suite against the floor of the same pass count.

For each image size the runner makes a test image by tiling the bundled
photograph, then for each program runs it and its floor (exrcopy with the
same number of decodes, writing or not as the program does) alternately,
A B A B ..., and reports the median of the pair-by-pair time ratios, the
program's throughput and its peak resident memory. With --peer it also
times oiiotool (single thread) on the same work. Results go to a Markdown
table. No figure is asserted: this measures, it does not test.
"""
import argparse
import os
import platform
import shutil
import statistics
import subprocess
import sys
import threading
import time

SIZES = {"tiny": (256, 128), "2": (2048, 1024), "8": (4096, 2048), "32": (8192, 4096)}

# program: (arguments, passes over the input image, writes an EXR)
# {in} the test image, {blur} a second image of the same size, read in step
# with the last pass, {out} the output; converters take their own formats.
PROGRAMS = {
    "radreceptor": ("{in} {out}", 2, True),
    "radreceptor-rgb": ("{in} {out}", 2, True),
    "radreceptor-cone": ("{in} {out}", 2, True),
    "radconereceptor": ("{in} {out}", 2, True),
    "radhybrid": ("-m 0.7 {in} {blur} {out}", 2, True),
    "radhybrid-inverse": ("-m 0.7 {in} {blur} {out}", 2, True),
    "radmask": ("{in} {blur} {out}", 1, True),
    "radmask-cone": ("{in} {blur} {out}", 1, True),
    "radmask-modes": ("{in} {blur} {out} 1 1", 1, True),
    "radappear": ("{in} {blur} {out}", 1, True),
    "radappear-cone": ("{in} {blur} {out}", 1, True),
    "radappear-sigmoid": ("{in} {blur} {out}", 1, True),
    "radadapt": ("{in} {blur} {out}", 1, True),
    "radadapt-degree": ("{in} {blur} {out} 0.5", 1, True),
    "radsoften": ("{in} {out} 0.05", 1, True),
    "radrescale": ("{in} {out}", 2, True),
    "radrescale-max": ("{in} {out}", 2, True),
    "radclamp": ("{in} {out}", 3, True),
    "radconegamma": ("-n 0.73 {in} {out}", 1, True),
    "radbright": ("{in} {out}", 1, True),
    "radtristim": ("{in} {out}", 1, True),
    "radmean": ("{in} {out}", 1, True),
    "radraster": ("{png} {out}", 0, True),
    "radexport": ("{in} {pngout}", 1, False),
    "radjfif": ("{jpg} {out}", 0, True),
    "radpixmap": ("{ppm} {out}", 0, True),
    "radraster-raw": ("{raw} {out}", 0, True),
    "raddiff": ("{in} {blur}", 1, False),
    "radsurvey": ("{in} {txt} 100", 1, False),
}


class TimedOut(Exception):
    pass


def run_once(argv, timeout=None):
    """Runs argv, returns (seconds, peak resident KB). With a timeout the
    process is killed when it runs longer, and TimedOut raised. Seconds the
    program reports on stdout as "untimed S" (the floor's loading of a
    program's output) are left out."""
    start = time.perf_counter()
    proc = subprocess.Popen(argv, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    timer = threading.Timer(timeout, proc.kill) if timeout else None
    if timer:
        timer.start()
    _, status, usage = os.wait4(proc.pid, 0)
    elapsed = time.perf_counter() - start
    proc.returncode = os.waitstatus_to_exitcode(status)
    for line in proc.stdout.read().decode(errors="replace").splitlines():
        if " untimed " in line:
            elapsed -= float(line.split()[-1])
    proc.stdout.close()
    if timer:
        timer.cancel()
        if elapsed >= timeout:
            raise TimedOut(" ".join(argv))
    if proc.returncode != 0:
        raise RuntimeError("failed: " + " ".join(argv))
    return elapsed, usage.ru_maxrss


def paired(a, b, runs, timeout=None, c=None):
    """Alternates a and b (and c, when given: A B C A B C ...); returns the
    median a time, median b time, median a/b, the peak memory of a and b,
    and the median a/c. The timeout applies to b (the peer)."""
    ta, tb, ratios, ratios_c, ma, mb = [], [], [], [], 0, 0
    for _ in range(runs):
        x, mx = run_once(a)
        y, my = run_once(b, timeout)
        if c:
            ratios_c.append(x / run_once(c)[0])
        ta.append(x)
        tb.append(y)
        ratios.append(x / y)
        ma, mb = max(ma, mx), max(mb, my)
    return (statistics.median(ta), statistics.median(tb), statistics.median(ratios), ma, mb,
            statistics.median(ratios_c) if c else None)


def floor_command(bench, decodes, writes, image, out, companion=None, written=None):
    """exrcopy with the program's decodes of its input, its companion image
    when it has one, and, given written, writing the program's own output."""
    if decodes == 0:
        # converters: the floor is writing an image of the same size
        return [bench + "/exrcopy", "-p", "1", image, out]
    argv = [bench + "/exrcopy", "-p", str(decodes)]
    argv += ["-c", companion] if companion else []
    argv += ["-w", written] if written else []
    return argv + ([image, out] if writes else ["-n", image])


def floor_flags(argv):
    """The floor's options as the table shows them: passes, -n, and c for a
    companion image."""
    flags = argv[1:3] + (["-n"] if "-n" in argv else [])
    return flags + (["-c"] if "-c" in argv else [])


def machine():
    cpu = "unknown"
    try:
        with open("/proc/cpuinfo") as f:
            for line in f:
                if line.startswith("model name"):
                    cpu = line.split(":", 1)[1].strip()
                    break
    except OSError:
        pass
    return "%s, %d cores, %s" % (cpu, os.cpu_count(), platform.platform())


def load():
    """The load average and any fuzzers running, which skew the timings."""
    one, five, fifteen = os.getloadavg()
    try:
        fuzzers = subprocess.run(["pgrep", "-c", "-f", "fuzz_"], capture_output=True,
                                 text=True).stdout.strip() or "0"
    except OSError:
        fuzzers = "unknown"
    return "load average %.2f, %.2f, %.2f; %s fuzzer processes" % (one, five, fifteen, fuzzers)


def blur_rate(bench, image):
    """blurpeak's reports: the blur's multiply-add rate against the peak of a
    register-only multiply-and-add loop, measured in one process, for the
    widest kernel the processor has and, where that is the eight-lane one,
    for the four-lane kernel too."""
    def report(*lanes):
        out = subprocess.run([bench + "/blurpeak", image, "0.05", *lanes], capture_output=True,
                             text=True, check=True)
        return out.stdout.strip().splitlines()
    widest = report()
    reports = [widest]
    if widest and widest[0].endswith(" 8 lanes"):
        reports.append(report("4"))
    return reports


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--build", default="build", help="build folder (default build)")
    ap.add_argument("--sizes", default="2,32", help="image sizes in MP: tiny,2,8,32")
    ap.add_argument("--runs", type=int, default=5, help="pairs per measurement")
    ap.add_argument("--programs", default="", help="comma-separated subset")
    ap.add_argument("--peer", action="store_true", help="also time oiiotool")
    ap.add_argument("--peer-timeout", type=int, default=900,
                    help="seconds after which a peer run is stopped (default 900)")
    ap.add_argument("--no-peer-blur", action="store_true",
                    help="with --peer, leave out the blur (the longest peer run)")
    ap.add_argument("--versus", default="",
                    help="another build folder: time each program against its own there, side by side")
    ap.add_argument("--work", default="/tmp/radsuite-bench", help="scratch folder")
    ap.add_argument("--out", default="", help="write the Markdown table here")
    args = ap.parse_args()

    load_start = load()
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    build = os.path.join(root, args.build)
    bindir, bench = build + "/bin", build + "/bench"
    os.makedirs(args.work, exist_ok=True)
    programs = [p for p in PROGRAMS if not args.programs or p in args.programs.split(",")]
    oiiotool = shutil.which("oiiotool") if args.peer else None

    blur_lines = []
    one_pass = {}  # size: [(program, seconds)] of the programs that read their input once
    lines = ["| size | program | MP/s | ratio to floor | ratio to own-output floor"
             " | ns a pixel above it | floor | peak MB | floor peak MB |",
             "|---|---|---|---|---|---|---|---|---|"]
    peer_lines = ["| size | work | suite s | oiiotool s | speed-up | suite MB | oiiotool MB |",
                  "|---|---|---|---|---|---|---|"]
    versus_lines = ["| size | program | s | s in %s | ratio | peak MB | peak MB in %s |"
                    % (args.versus, args.versus), "|---|---|---|---|---|---|---|"]
    for size in args.sizes.split(","):
        w, h = SIZES[size]
        mp = w * h / 1e6
        d = os.path.join(args.work, size)
        os.makedirs(d, exist_ok=True)
        f = {"in": d + "/in.exr", "blur": d + "/blur.exr", "out": d + "/out.exr",
             "pngout": d + "/out.png", "txt": d + "/hist.txt",
             "png": d + "/in.png", "jpg": d + "/in.jpg", "ppm": d + "/in.ppm", "raw": d + "/in.raw"}
        photo = os.path.join(root, "data/forest.exr")
        if not os.path.exists(f["in"]):
            subprocess.run([bench + "/makeimages", photo, f["in"], str(w), str(h)], check=True)
            subprocess.run([bench + "/makeimages", photo, f["blur"], str(w), str(h)], check=True)
            subprocess.run([bench + "/makeformats", f["in"], d + "/in"], check=True)
        for name in programs:
            template, decodes, writes = PROGRAMS[name]
            argv = [bindir + "/" + name] + template.format(**f).split()
            companion = f["blur"] if "{blur}" in template else None
            floor = floor_command(bench, decodes, writes, f["in"], d + "/floor.exr", companion)
            own = None
            if decodes > 0 and writes and name != "radsoften":
                # The floor that also writes what the program writes: its
                # output from a first run, loaded before the floor starts.
                run_once(argv)
                shutil.copyfile(f["out"], d + "/own.exr")
                own = floor_command(bench, decodes, writes, f["in"], d + "/floor.exr", companion,
                                    d + "/own.exr")
            runs = min(args.runs, 3) if name == "radsoften" and size == "32" else args.runs
            pixels = 768 * 512 / 1e6 if name == "radraster-raw" else mp
            if name == "radraster-raw":
                floor = [bench + "/exrcopy", "-p", "1", d + "/raw-size.exr", d + "/floor.exr"]
                if not os.path.exists(d + "/raw-size.exr"):
                    subprocess.run([bench + "/makeimages", photo, d + "/raw-size.exr", "768", "512"],
                                   check=True)
            ta, tb, ratio, ma, mb, ratio_own = paired(argv, floor, runs, c=own)
            # Above the own-output floor is the program's own arithmetic.
            above = "%.0f" % (ta * (1 - 1 / ratio_own) / pixels * 1e3) if own else "-"
            lines.append("| %s MP | %s | %.2f | %.2f | %s | %s | %s | %.1f | %.1f |" % (
                size, name, pixels / ta, ratio, "%.2f" % ratio_own if own else "-", above,
                " ".join(["exrcopy"] + floor_flags(floor)), ma / 1024, mb / 1024))
            print(lines[-1], flush=True)
            # Programs that read one image once, set against oiiotool's copy.
            if decodes <= 1 and companion is None and name not in ("radsoften", "radraster-raw"):
                one_pass.setdefault(size, []).append((name, ta, ma))
            if args.versus:
                # The same program of the other build, A B A B ...
                other = [os.path.join(root, args.versus, "bin", name)] + argv[1:]
                va, vb, vratio, vma, vmb, _ = paired(argv, other, runs)
                versus_lines.append("| %s MP | %s | %.2f | %.2f | %.2f | %.1f | %.1f |" % (
                    size, name, va, vb, vratio, vma / 1024, vmb / 1024))
                print(versus_lines[-1], flush=True)
            if name == "radsoften":
                for report_lines in blur_rate(bench, f["in"]):
                    blur_lines.append("%s MP: " % size + "; ".join(report_lines))
                    print(blur_lines[-1], flush=True)
        if oiiotool:
            # The same work done by oiiotool: a PIZ half copy for the
            # EXR-to-EXR programs, and for each converter its own conversion
            # (radexport's PNG at level 9 with the Paeth filter only); of the
            # programs timed. The blur comes with radsoften.
            to_exr = ["-d", "half", "--compression", "piz", "-o", d + "/peer.exr"]
            peers = {
                "radbright": ("one-pass copy", [f["in"]] + to_exr),
                "radexport": ("EXR to 8-bit PNG", [f["in"], "--attrib", "png:compressionLevel", "9",
                                                   "--attrib", "png:filter", "128", "-d", "uint8",
                                                   "-o", d + "/peer.png"]),
                "radraster": ("PNG to EXR", [f["png"]] + to_exr),
                "radjfif": ("JPEG to EXR", [f["jpg"]] + to_exr),
                "radpixmap": ("PPM to EXR", [f["ppm"]] + to_exr),
            }
            copy_time = None
            for name, (work, peer_args) in peers.items():
                if name not in programs:
                    continue
                template = PROGRAMS[name][0]
                argv = [bindir + "/" + name] + template.format(**f).split()
                ta, tb, ratio, ma, mb, _ = paired(argv, [oiiotool, "--threads", "1"] + peer_args,
                                                  args.runs)
                if name == "radbright":
                    copy_time, copy_mb = tb, mb
                peer_lines.append("| %s MP | %s (%s) | %.2f | %.2f | %.1fx | %.1f | %.1f |"
                                  % (size, work, name, ta, tb, tb / ta, ma / 1024, mb / 1024))
                print(peer_lines[-1], flush=True)
            others = [p for p in one_pass.get(size, []) if p[0] not in peers]
            if others and copy_time:
                slow = max(others, key=lambda p: p[1])
                big = max(others, key=lambda p: p[2])
                peer_lines.append("| %s MP | slowest other one-pass program (%s) against the copy;"
                                  " most memory (%s) | %.2f | %.2f | %.1fx | %.1f | %.1f |"
                                  % (size, slow[0], big[0], slow[1], copy_time,
                                     copy_time / slow[1], big[2] / 1024, copy_mb / 1024))
                print(peer_lines[-1], flush=True)
            # radsoften's Gaussian has sigma s/sqrt(2); oiiotool's gaussian
            # filter of width W has sigma W/4. A W x W kernel would be a full
            # two-dimensional convolution; a W x 1 then a 1 x W one is the
            # separable blur, the same work radsoften does.
            if args.no_peer_blur or "radsoften" not in programs:
                continue
            s = int(w * 0.05 + 1) - 1
            width = 4 * s / 2 ** 0.5
            blur = [oiiotool, "--threads", "1", f["in"], "--blur", "%.1fx1" % width,
                    "--blur", "1x%.1f" % width, "-d", "half", "--compression", "piz",
                    "-o", d + "/peer.exr"]
            runs = 1 if size == "32" else args.runs
            try:
                ta, tb, ratio, ma, mb, _ = paired([bindir + "/radsoften", f["in"], f["out"], "0.05"],
                                                  blur, runs, args.peer_timeout)
                peer_lines.append("| %s MP | blur 0.05 (radsoften) | %.2f | %.2f | %.1fx | %.1f | %.1f |"
                                  % (size, ta, tb, tb / ta, ma / 1024, mb / 1024))
            except TimedOut:
                ta, ma = run_once([bindir + "/radsoften", f["in"], f["out"], "0.05"])
                peer_lines.append("| %s MP | blur 0.05 (radsoften) | %.2f | > %d | > %.1fx | %.1f | - |"
                                  % (size, ta, args.peer_timeout, args.peer_timeout / ta, ma / 1024))
            print(peer_lines[-1], flush=True)

    text = "Machine: %s\nAt the start: %s\nAt the end: %s\n\n" % (machine(), load_start, load())
    text += "\n".join(lines) + "\n"
    if blur_lines:
        text += "\nBlur against the core's multiply-add peak:\n\n" + "\n".join(
            "- " + b for b in blur_lines) + "\n"
    if args.versus:
        text += "\n" + "\n".join(versus_lines) + "\n"
    if oiiotool:
        text += "\n" + "\n".join(peer_lines) + "\n"
    if args.out:
        with open(args.out, "w") as out:
            out.write(text)
    return 0


if __name__ == "__main__":
    sys.exit(main())
