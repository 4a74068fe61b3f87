#!/usr/bin/env python3
"""Checks that includes run down the layers only, and that the lower layers stay free of Qt.

    base/                      at the bottom
    tablet/, capture/          above base, without Qt
    pen/                       over the link, without Qt
    gdi/, platform/            beside them, above base
    view/                      over all of those
    app/                       on top
    tools/ (the emulator)      over the link and captures, without Qt

Argument: the source tree (default: this script's parent folder). Prints each include that
breaks a rule and exits 1; exits 0 when there is none.
"""
import pathlib
import re
import sys

# The project folders each folder may include from (its own always).
ALLOWED = {
    "base": set(),
    "res": set(),
    "tablet": {"base"},
    "capture": {"base", "tablet"},
    "gdi": {"base"},
    "platform": {"base"},
    "pen": {"base", "tablet"},
    "view": {"base", "tablet", "capture", "gdi", "platform", "res"},
    "app": {"base", "tablet", "capture", "gdi", "platform", "res", "view", "pen"},
    "tools": {"base", "tablet", "capture"},
}
QT_FREE = {"base", "tablet", "capture", "pen", "tools"}
PROJECT_INCLUDE = re.compile(r'^\s*#\s*include\s+"([^/"]+)/[^"]*"', re.M)
QT_INCLUDE = re.compile(r"^\s*#\s*include\s+<(Q\w*)[/>]", re.M)


def main():
    root = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else pathlib.Path(__file__).parent.parent)
    faults = []
    for layer, allowed in sorted(ALLOWED.items()):
        for path in sorted((root / layer).rglob("*")):
            if path.suffix not in (".h", ".cpp"):
                continue
            text = path.read_text(errors="replace")
            where = path.relative_to(root)
            for folder in PROJECT_INCLUDE.findall(text):
                if folder != layer and folder not in allowed:
                    faults.append(f"{where}: includes {folder}/, which {layer}/ may not")
            if layer in QT_FREE:
                for header in QT_INCLUDE.findall(text):
                    faults.append(f"{where}: includes Qt ({header}), which {layer}/ may not")
    for fault in faults:
        print(fault)
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
