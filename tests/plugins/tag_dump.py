#!/usr/bin/env python3
"""Prints the tags of FLAC, Ogg Vorbis and WMA files as mutagen reads them:
one "NAME=value" line per value, names in upper case, and for each picture
"PICTURE=<type> <mime> <width>x<height> <sha256 of the data>".
Usage: tag_dump.py FILE"""
import base64
import hashlib
import sys

import mutagen
from mutagen.flac import Picture

f = mutagen.File(sys.argv[1])
if f is None:
    sys.exit("not a file mutagen reads")


def picture_line(kind, mime, width, height, data):
    print(f"PICTURE={kind} {mime} {width}x{height} {hashlib.sha256(data).hexdigest()}")


for picture in getattr(f, "pictures", []):
    picture_line(picture.type, picture.mime, picture.width, picture.height, picture.data)
for name, values in (f.tags or {}).items() if hasattr(f.tags, "items") else []:
    values = values if isinstance(values, list) else [values]
    for value in values:
        if name.upper() == "METADATA_BLOCK_PICTURE":
            p = Picture(base64.b64decode(value))
            picture_line(p.type, p.mime, p.width, p.height, p.data)
        elif name == "WM/Picture":
            raw = value.value
            kind, size = raw[0], int.from_bytes(raw[1:5], "little")
            at, texts = 5, []
            for _ in range(2):
                end = at
                while raw[end:end + 2] != b"\0\0":
                    end += 2
                texts.append(raw[at:end].decode("utf-16-le"))
                at = end + 2
            picture_line(kind, texts[0], 0, 0, raw[at:at + size])
        else:
            print(f"{name.upper()}={getattr(value, 'value', value)}")
