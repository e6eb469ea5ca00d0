#!/usr/bin/env python3
"""Writes DVRender/Resources/KubernetesIcons.json from the icon sources beside it.

The sources are DVRender/Resources/k8s-icons/manifest.tsv (id, label, category, file per
line, in pack order) and one SVG file per icon. Each icon's src is the base64 data URL of its
SVG text, so exported drawings that refer to an icon stay self-contained.

  generate-icon-pack.py          rewrite the JSON
  generate-icon-pack.py --check  exit 1 when the committed JSON differs from the sources
"""
import base64
import json
import pathlib
import re
import sys

TOP = pathlib.Path(__file__).resolve().parent.parent
SOURCES = TOP / "DVRender" / "Resources" / "k8s-icons"
OUTPUT = TOP / "DVRender" / "Resources" / "KubernetesIcons.json"
MAX_SRC_UNITS = 65536


def build():
    icons = []
    for line in (SOURCES / "manifest.tsv").read_text(encoding="utf-8").splitlines():
        if not line or line.startswith("#"):
            continue
        ident, label, category, file = line.split("\t")
        if not re.fullmatch(r"[a-z0-9-]{1,64}", ident):
            sys.exit(f"bad icon id: {ident!r}")
        svg = (SOURCES / file).read_text(encoding="utf-8").rstrip("\n")
        src = "data:image/svg+xml;base64," + base64.b64encode(svg.encode("utf-8")).decode("ascii")
        if len(src) > MAX_SRC_UNITS:
            sys.exit(f"icon {ident} is too large for a self-contained src")
        icons.append({"id": ident, "label": label, "category": category, "src": src, "svg": svg})
    return json.dumps({"icons": icons}, indent=2, ensure_ascii=False) + "\n"


def main():
    text = build()
    if len(sys.argv) > 1 and sys.argv[1] == "--check":
        if OUTPUT.read_text(encoding="utf-8") != text:
            print(f"{OUTPUT} is out of date: run {pathlib.Path(__file__).name}", file=sys.stderr)
            return 1
        return 0
    OUTPUT.write_text(text, encoding="utf-8")
    return 0


if __name__ == "__main__":
    sys.exit(main())
