#!/usr/bin/env python3
"""Draws boards whose text reaches many font files with the thumbnail host again and again, in
bands, and reports how every run ended and how many different pictures each board gave: all
runs should exit 0, and each board should give one picture.

    text-threads-stress.py HOST WORKDIR [--runs N] [--texts N] [--size PX] [--bands 2,3,4]
                           [--jobs J] [--board PATH ...]

Boards: texts over 12, 16 and 40 font files (families in regular, bold, italic and bold italic,
at many sizes, some rotated, the 40-file one with Han, Arabic and emoji that fallback fonts
show), and any board given with --board. The band count of each run cycles through --bands
(DREVALIN_BANDS, the processors the host counts free; a picture takes at most 4 bands). Exits 1 when a run failed or a board gave more than one picture.
"""
import argparse
import collections
import hashlib
import json
import os
import random
import subprocess
import sys
from concurrent.futures import ThreadPoolExecutor

FAMILIES_12 = ["Liberation Sans", "Liberation Serif", "Liberation Mono"]
FAMILIES_16 = FAMILIES_12 + ["DejaVu Serif"]
FAMILIES_40 = FAMILIES_12 + ["DejaVu Sans", "DejaVu Serif", "DejaVu Sans Mono", "DejaVu Sans Condensed",
                             "DejaVu Serif Condensed", "FreeSans", "FreeSerif"]
LATIN = ["Quick brown fox", "naïve café Übermaß", "Jumps over 12 lazy dogs", "WAVY glyphs & kerning",
         "fi fl ffi ligatures"]
OTHERS = ["日本語の文字と漢字", "مرحبا بالعالم", "😀🎉🚀 emoji", "中文 and عربي 👍"]
INKS = ["#1e1e1e", "#1971c2", "#c92a2a", "rgba(0,0,0,0.5)"]


def text_board(families, fallbacks, texts, seed):
    r = random.Random(seed)
    elements = []
    for i in range(texts):
        style = (i // len(families)) % 4
        size = round(10 + r.random() * 130, 2)
        content = r.choice(LATIN)
        if fallbacks and r.randrange(3) == 0:
            content += " " + r.choice(OTHERS)
        e = {"id": "t%d" % i, "type": "text", "x": round(r.random() * 1400), "y": round(r.random() * 1400),
             "strokeColor": r.choice(INKS), "fillColor": "transparent", "strokeWidth": 1, "opacity": 1,
             "roughness": 0, "content": content, "fontSize": size, "fontFamily": families[i % len(families)],
             "width": round(size * 10), "height": round(size * 1.3), "bold": bool(style & 1),
             "italic": bool(style & 2)}
        if r.randrange(4) == 0:
            e["rotation"] = round(r.random() * 6.28, 2)
        elements.append(e)
    return {"version": 1, "elements": elements}


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("host")
    parser.add_argument("workdir")
    parser.add_argument("--runs", type=int, default=500)
    parser.add_argument("--texts", type=int, default=300)
    parser.add_argument("--size", type=int, default=1024)
    parser.add_argument("--bands", default="2,3,4")
    parser.add_argument("--jobs", type=int, default=4)
    parser.add_argument("--board", action="append", default=[])
    args = parser.parse_args()

    os.makedirs(args.workdir, exist_ok=True)
    boards = {}
    for name, families, fallbacks in (("text-12-files", FAMILIES_12, False), ("text-16-files", FAMILIES_16, False),
                                      ("text-40-files", FAMILIES_40, True)):
        path = os.path.join(args.workdir, name + ".json")
        with open(path, "w", encoding="utf-8") as f:
            json.dump(text_board(families, fallbacks, args.texts, 39), f, ensure_ascii=False)
        boards[name] = path
    for path in args.board:
        boards[os.path.splitext(os.path.basename(path))[0]] = path
    bands = [int(b) for b in args.bands.split(",")]

    def run(job):
        name, k = job
        out = os.path.join(args.workdir, "%s.%d.png" % (name, k))
        env = dict(os.environ, DREVALIN_BANDS=str(bands[k % len(bands)]))
        done = subprocess.run([args.host, "-s", str(args.size), boards[name], out], env=env,
                              stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        digest = None
        if done.returncode == 0:
            with open(out, "rb") as f:
                digest = hashlib.sha256(f.read()).hexdigest()
            os.remove(out)
        return name, done.returncode, digest

    statuses = collections.defaultdict(collections.Counter)
    pictures = collections.defaultdict(set)
    jobs = [(name, k) for name in boards for k in range(args.runs)]
    with ThreadPoolExecutor(max_workers=args.jobs) as pool:
        for name, code, digest in pool.map(run, jobs, chunksize=1):
            statuses[name][code] += 1
            if digest:
                pictures[name].add(digest)
    failed = False
    print("%-20s %6s  %-28s %s" % ("board", "runs", "exit statuses", "distinct pictures"))
    for name in boards:
        codes = ", ".join("%s: %d" % (c if c >= 0 else "signal %d" % -c, n) for c, n in sorted(statuses[name].items()))
        print("%-20s %6d  %-28s %d" % (name, sum(statuses[name].values()), codes, len(pictures[name])))
        failed |= set(statuses[name]) != {0} or len(pictures[name]) != 1
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
