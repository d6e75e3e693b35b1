#!/usr/bin/env python3
"""Keeps the house rules of includes; run by ctest as `include_rules`.

- The engine's rooms include only the rooms below them (ROOMS), and name the
  room of every engine header they include: "verify/accuraterip.h".
- names/, verify/ and output/ never include each other (ROOMS says so).
- Qt is included in ui/ and tests/ui/ only.
- platform/, plugins/ and plugin_api/ are loaded by the engine, never the
  other way round: they include no engine header.
- common/ (the CD's geometry, the text codec) includes nothing of the
  project: every part may include it.

Prints one line per broken rule and exits 1, or exits 0 when all hold.
"""
import re
import sys
from pathlib import Path

# Each room and the rooms it may include besides itself.
ROOMS = {
    "util": set(),
    "disc": {"util"},
    "output": {"util", "disc"},
    "settings": {"util", "disc", "output"},
    "names": {"util", "disc"},
    "verify": {"util", "disc"},
    "rip": {"util", "disc", "output", "settings", "names", "verify"},
}
SOURCE_SUFFIXES = {".c", ".cc", ".cpp", ".h", ".hpp"}
INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]', re.M)
QT_HEADER = re.compile(r"^(Q[A-Z]\w*|Qt\w*/.*|Qt\w+)$")
QT_ALLOWED = ("ui/", "tests/ui/")
NO_ENGINE = ("platform/", "plugins/", "plugin_api/")


def sources(root):
    for path in sorted(root.rglob("*")):
        rel = path.relative_to(root).as_posix()
        if rel.startswith(("build", ".git")) or path.suffix not in SOURCE_SUFFIXES or not path.is_file():
            continue
        yield rel, path


def engine_headers(root):
    """Every engine header by its name within its room: {"disc_model.h": "disc"}."""
    headers = {}
    for path in (root / "engine").glob("*/*.h"):
        headers[path.name] = path.parent.name
    return headers


def check(root):
    faults = []
    headers = engine_headers(root)
    rooms_on_disk = {p.name for p in (root / "engine").iterdir() if p.is_dir()}
    for room in sorted(rooms_on_disk - ROOMS.keys()):
        faults.append(f"engine/{room}/: a room without a rule in scripts/check_includes.py")
    for path in (root / "engine").glob("*.*"):
        if path.suffix in SOURCE_SUFFIXES:
            faults.append(f"{path.relative_to(root).as_posix()}: engine sources live in a room")

    for rel, path in sources(root):
        text = path.read_text(errors="replace")
        room = rel.split("/")[1] if rel.startswith("engine/") and rel.count("/") >= 2 else None
        for match in INCLUDE.finditer(text):
            bracket, name = match.groups()
            line = text.count("\n", 0, match.start()) + 1
            where = f"{rel}:{line}"
            if QT_HEADER.match(name) and not rel.startswith(QT_ALLOWED):
                faults.append(f"{where}: Qt header <{name}> outside ui/")
            if bracket != '"':
                continue
            if rel.startswith("common/"):
                faults.append(f'{where}: "{name}": common/ includes nothing of the project')
                continue
            parts = name.split("/")
            if len(parts) == 2 and parts[0] in ROOMS and parts[1] in headers:
                target = parts[0]
            elif len(parts) == 1 and headers.get(name) and (room or rel.startswith("engine/")):
                faults.append(f'{where}: "{name}" names no room; write "{headers[name]}/{name}"')
                continue
            else:
                continue
            if rel.startswith(NO_ENGINE):
                faults.append(f'{where}: "{name}": {rel.split("/")[0]}/ includes no engine header')
            if room and target != room and target not in ROOMS.get(room, set()):
                faults.append(f'{where}: room {room}/ may not include "{name}"')
    return faults


def main():
    root = Path(sys.argv[1] if len(sys.argv) > 1 else Path(__file__).resolve().parent.parent)
    faults = check(root)
    for fault in faults:
        print(fault)
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
