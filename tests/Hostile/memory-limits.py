#!/usr/bin/env python3
"""Runs both hosts over the hostile boards and the example boards under address-space and data
limits, in one band and in several, and checks that every run either gives exactly what the same
run gives without a limit or fails cleanly: status 1 or 2 with a message. A signal, another
status, a failure without a message or a different output under a limit is a fault.

    memory-limits.py GENERATOR EXAMPLES WORKDIR --thumb PATH --index PATH [--jobs N]
                     [--limits as:128,as:192,...] [--bands 1,4] [--boards NAME,...]

Thumbnails are asked for at 256 and 1024 pixels. Prints, per board and run, the result under
each limit ("ok", "1"/"2" for a clean failure, or the fault), then the smallest limit at which
each board still succeeds in every run.
"""
import argparse
import os
import resource
import shutil
import signal
import subprocess
import sys
import threading
from concurrent.futures import ThreadPoolExecutor

MIB = 1 << 20
DEFAULT_LIMITS = ["as:128", "as:192", "as:256", "as:384", "as:512", "data:128", "data:192"]
THUMBNAIL_SIZES = (256, 1024)
# Without a limit a run still must not take the machine down.
REFERENCE_LIMIT = 6 << 30
HARD_TIME = 90.0


def preexec(kind, mib):
    def apply():
        resource.setrlimit(resource.RLIMIT_CORE, (0, 0))
        if kind is None:
            resource.setrlimit(resource.RLIMIT_AS, (REFERENCE_LIMIT, REFERENCE_LIMIT))
        else:
            which = resource.RLIMIT_AS if kind == "as" else resource.RLIMIT_DATA
            resource.setrlimit(which, (mib * MIB, mib * MIB))
    return apply


def run_once(argv, output, bands, limit):
    """Runs argv; returns (status or -signal, stderr text, output bytes or None)."""
    if output and os.path.exists(output):
        os.unlink(output)
    env = dict(os.environ, DREVALIN_BANDS=str(bands))
    kind, mib = limit if limit else (None, 0)
    child = subprocess.Popen(argv, stdout=subprocess.PIPE, stderr=subprocess.PIPE, env=env,
                             preexec_fn=preexec(kind, mib))
    timer = threading.Timer(HARD_TIME, lambda: child.send_signal(signal.SIGKILL))
    timer.start()
    try:
        out, err = child.communicate()
    finally:
        timer.cancel()
    status = child.returncode
    if output:
        data = None
        if os.path.exists(output):
            with open(output, "rb") as f:
                data = f.read()
    else:
        data = out
    return status, err.decode("utf-8", "replace").strip(), data


def verdict(status, message, data, reference):
    """A short cell for the table and whether it is a fault."""
    if status < 0:
        return "SIG%s" % signal.Signals(-status).name[3:], True
    if status == 0:
        if data != reference:
            return "DIFFERS", True
        return "ok", False
    if status in (1, 2):
        if not message:
            return "%d-silent" % status, True
        if "bad_alloc" in message:
            return "%d-bad_alloc" % status, True
        return str(status), False
    return "exit%d" % status, True


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("generator")
    parser.add_argument("examples")
    parser.add_argument("workdir")
    parser.add_argument("--thumb", required=True)
    parser.add_argument("--index", required=True)
    parser.add_argument("--jobs", type=int, default=3)
    parser.add_argument("--limits", default=",".join(DEFAULT_LIMITS))
    parser.add_argument("--bands", default="1,4")
    parser.add_argument("--boards", default="")
    args = parser.parse_args()

    limits = []
    for word in args.limits.split(","):
        kind, mib = word.split(":")
        limits.append((kind, int(mib)))
    bands = [int(b) for b in args.bands.split(",")]

    boards_dir = os.path.join(args.workdir, "boards")
    out_dir = os.path.join(args.workdir, "out")
    shutil.rmtree(out_dir, ignore_errors=True)
    os.makedirs(out_dir, exist_ok=True)
    subprocess.run([sys.executable, args.generator, boards_dir], check=True, stdout=subprocess.DEVNULL)
    boards = [(name, os.path.join(boards_dir, name)) for name in sorted(os.listdir(boards_dir))]
    boards += [(name, os.path.join(args.examples, name)) for name in sorted(os.listdir(args.examples))
               if name.endswith(".drevalin")]
    if args.boards:
        wanted = set(args.boards.split(","))
        boards = [b for b in boards if b[0] in wanted]

    # Every configuration: (board, label, argv, output path, bands).
    configs = []
    for name, path in boards:
        for band in bands:
            for size in THUMBNAIL_SIZES:
                out = os.path.join(out_dir, "%s.%d.b%d.png" % (name, size, band))
                # The time limit is the hostile run's business: here a run slowed by a busy
                # machine must not pass for one that ran out of memory.
                configs.append((name, "thumb@%d b%d" % (size, band),
                                [args.thumb, "--time-limit", "80", "-s", str(size), path, out],
                                out, band))
            configs.append((name, "index b%d" % band, [args.index, path], None, band))

    def with_ref_path(argv, out):
        return argv[:-1] + [out] if out else argv

    with ThreadPoolExecutor(max_workers=args.jobs) as pool:
        refs = list(pool.map(lambda c: run_once(with_ref_path(c[2], c[3] and c[3] + ".ref"),
                                                c[3] and c[3] + ".ref", c[4], None), configs))
        runs = [(i, limit) for i in range(len(configs)) for limit in limits]

        def limited(item):
            i, limit = item
            name, label, argv, out, band = configs[i]
            # Each run writes an output of its own, so that runs of one board may go at once.
            own = out and "%s.%s%d" % (out, limit[0], limit[1])
            return run_once(with_ref_path(argv, own), own, band, limit)
        results = list(pool.map(limited, runs))

    # A picture that differs from its reference is drawn once more without a limit: a reference
    # that does not repeat itself (a font cache rebuilt meanwhile) is taken from that run.
    for (i, limit), (status, message, data) in zip(runs, results):
        if status == 0 and refs[i][0] == 0 and data != refs[i][2]:
            name, label, argv, out, band = configs[i]
            again = run_once(with_ref_path(argv, out and out + ".ref2"), out and out + ".ref2", band, None)
            if again[0] == 0 and again[2] == data:
                refs[i] = again

    faults = []
    header = "%-34s %-14s %-8s " % ("board", "run", "nolimit") + " ".join("%-11s" % ("%s%d" % l) for l in limits)
    print(header)
    cells = {}
    for (i, limit), (status, message, data) in zip(runs, results):
        ref_status, ref_message, ref_data = refs[i]
        cell, fault = verdict(status, message, data, ref_data if ref_status == 0 else object())
        if ref_status != 0 and status in (1, 2) and message:
            cell, fault = str(status), False
        cells[(i, limit)] = cell
        if fault:
            name, label = configs[i][0], configs[i][1]
            faults.append("%s %s under %s:%d MiB: %s %s" % (name, label, limit[0], limit[1], cell,
                                                            message.splitlines()[-1][:160] if message else ""))
    smallest = {}
    for i, (name, label, _, _, _) in enumerate(configs):
        ref_status = refs[i][0]
        row = "%-34s %-14s %-8s " % (name[:34], label, "ok" if ref_status == 0 else "exit%d" % ref_status)
        row += " ".join("%-11s" % cells[(i, limit)] for limit in limits)
        print(row, flush=True)
        for kind in ("as", "data"):
            ok = [mib for (k, mib) in limits if k == kind and cells[(i, (k, mib))] == "ok"]
            failed = [mib for (k, mib) in limits if k == kind and cells[(i, (k, mib))] != "ok"]
            # The smallest limit from which every larger one succeeds too.
            least = None
            for mib in sorted(ok, reverse=True):
                if all(f < mib for f in failed):
                    least = mib
            key = (name, kind)
            prev = smallest.get(key, 0)
            smallest[key] = None if least is None or prev is None else max(prev, least)

    print("\nsmallest limit (MiB) from which every run of the board succeeds ('-': none of these;"
          " boards refused without a limit are marked so):")
    print("%-34s %-8s %-8s" % ("board", "as", "data"))
    refused = {configs[i][0] for i in range(len(configs)) if refs[i][0] != 0}
    for name, _ in boards:
        if name in refused:
            print("%-34s %s" % (name[:34], "refused without a limit"))
            continue
        a, d = smallest.get((name, "as")), smallest.get((name, "data"))
        print("%-34s %-8s %-8s" % (name[:34], a if a is not None else "-", d if d is not None else "-"))
    for fault in faults:
        print("FAULT: " + fault)
    print("\n%d runs, %d faults" % (len(runs), len(faults)))
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
