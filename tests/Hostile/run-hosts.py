#!/usr/bin/env python3
"""Runs the host programs over generated hostile boards and checks that each run succeeds or
fails cleanly with a message, within the time and memory limits, and is never killed. Runs past
the target a file browser can live with (5 s, 512 MiB) are marked in the table; runs past the
hard limits fail the test.

    run-hosts.py GENERATOR WORKDIR [--thumb PATH] [--index PATH]

Thumbnails are asked for at 256 and at 1024 pixels, the smallest and the largest size a desktop
asks for, drawn as on an idle machine of DREVALIN_BANDS processors (4 unless set), so in bands
wherever a picture is large enough for them. Prints one line per run: host (with the thumbnail's
size), board, outcome, wall time and peak resident memory (wait4).
"""
import argparse
import os
import signal
import subprocess
import sys
import threading
import time
from concurrent.futures import ThreadPoolExecutor

TIME_LIMIT = 30.0
MEMORY_LIMIT_KIB = 2 * 1024 * 1024
TARGET_TIME = 5.0
TARGET_MEMORY_KIB = 512 * 1024
THUMBNAIL_SIZES = (256, 1024)
# A runaway child is stopped well past the limits so that it cannot take the machine down.
HARD_TIME = 60.0
HARD_MEMORY = 6 << 30


def limit_child():
    import resource
    resource.setrlimit(resource.RLIMIT_AS, (HARD_MEMORY, HARD_MEMORY))
    resource.setrlimit(resource.RLIMIT_CORE, (0, 0))


# The thumbnail host draws as on an idle machine whatever the load: a loaded machine would
# otherwise draw every picture at once and hide every fault of the band threads.
HOST_ENV = dict(os.environ, DREVALIN_BANDS=os.environ.get("DREVALIN_BANDS", "4"))


def run(host, argv, board):
    start = time.monotonic()
    child = subprocess.Popen(argv, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
                             preexec_fn=limit_child, env=HOST_ENV)
    timer = threading.Timer(HARD_TIME, lambda: child.send_signal(signal.SIGKILL))
    timer.start()
    # Read standard error on the side so that a chatty child never blocks on a full pipe.
    chunks = []
    reader = threading.Thread(target=lambda: chunks.append(child.stderr.read()))
    reader.start()
    _, status, usage = os.wait4(child.pid, 0)
    elapsed = time.monotonic() - start
    timer.cancel()
    reader.join()
    child.returncode = 0  # reaped here; keep Popen from waiting again
    message = b"".join(chunks).decode("utf-8", "replace").strip()
    problems = []
    if os.WIFSIGNALED(status):
        problems.append("killed by signal %d" % os.WTERMSIG(status))
        code = None
    else:
        code = os.WEXITSTATUS(status)
        if code != 0 and not message:
            problems.append("failed (status %d) without a message" % code)
    if elapsed > TIME_LIMIT:
        problems.append("took %.1f s" % elapsed)
    if usage.ru_maxrss > MEMORY_LIMIT_KIB:
        problems.append("peak memory %d MiB" % (usage.ru_maxrss // 1024))
    outcome = "ok" if code == 0 else "failed cleanly" if code is not None else "killed"
    first_line = message.splitlines()[-1][:120] if message and code != 0 else ""
    over = elapsed > TARGET_TIME or usage.ru_maxrss > TARGET_MEMORY_KIB
    line = "%-21s %-26s %-15s %7.2f s %7d MiB %s %s" % (host, board, outcome, elapsed, usage.ru_maxrss // 1024,
                                                       "OVER TARGET" if over else "", first_line)
    return line, problems


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("generator")
    parser.add_argument("workdir")
    parser.add_argument("--thumb")
    parser.add_argument("--index")
    parser.add_argument("--jobs", type=int, default=2)
    args = parser.parse_args()

    boards_dir = os.path.join(args.workdir, "boards")
    out_dir = os.path.join(args.workdir, "out")
    os.makedirs(out_dir, exist_ok=True)
    subprocess.run([sys.executable, args.generator, boards_dir], check=True)
    boards = sorted(os.listdir(boards_dir))

    for host, path in (("thumbwright-host", args.thumb), ("indexwright-host", args.index)):
        if not path:
            print("%s: not part of this build, not run" % host)
    runs = []
    for board in boards:
        path = os.path.join(boards_dir, board)
        if args.thumb:
            for size in THUMBNAIL_SIZES:
                runs.append(("thumbwright-host@%d" % size,
                             [args.thumb, "-s", str(size), path, os.path.join(out_dir, "%s.%d.png" % (board, size))],
                             board))
        if args.index:
            runs.append(("indexwright-host", [args.index, path], board))
    if not runs:
        print("no host to run")
        return 1

    failures = []
    # The table is also kept beside the boards, so that the test script can show it after a
    # passing run, when the test runner keeps the output to itself.
    with open(os.path.join(args.workdir, "report.txt"), "w") as report:
        def say(line):
            print(line, flush=True)
            report.write(line + "\n")
        with ThreadPoolExecutor(max_workers=args.jobs) as pool:
            for (host, _, board), (line, problems) in zip(runs, pool.map(lambda r: run(*r), runs)):
                say(line)
                for problem in problems:
                    failures.append("%s on %s: %s" % (host, board, problem))
        for failure in failures:
            say("FAIL: " + failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
