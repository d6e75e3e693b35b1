#!/usr/bin/env python3
"""Checks with mutagen that a .wma file carries Cadrix's tags with their types.
Usage: wma_mutagen_check.py FILE TRACK_NUMBER TITLE"""
import sys

from mutagen.asf import ASF, ASFDWordAttribute, ASFUnicodeAttribute

path, track, title = sys.argv[1], int(sys.argv[2]), sys.argv[3]
f = ASF(path)
errors = []


def one(name, kind):
    values = f.tags.get(name, [])
    if len(values) != 1 or not isinstance(values[0], kind):
        errors.append(f"{name}: {values!r}")
        return None
    return values[0].value


if one("WM/Track", ASFDWordAttribute) != track - 1:
    errors.append("WM/Track value")
if one("WM/TrackNumber", ASFDWordAttribute) != track:
    errors.append("WM/TrackNumber value")
if one("Title", ASFUnicodeAttribute) != title:
    errors.append("Title value")
if one("WM/Year", ASFUnicodeAttribute) is None:
    errors.append("WM/Year missing")
if f.info.length <= 0 or f.info.sample_rate != 44100 or f.info.channels != 2:
    errors.append(f"info: {f.info.pprint()}")
if errors:
    print("\n".join(errors))
    sys.exit(1)
print(f.info.pprint())
