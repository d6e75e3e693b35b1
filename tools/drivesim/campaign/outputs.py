"""The files a rip wrote: found by track number, checked for consistency
and decoded to PCM by independent tools (flac, FFmpeg) or, for WAVE, by
reading the RIFF chunks here."""

import os
import re
import struct
import subprocess
from typing import Dict, Optional, Tuple

LOSSLESS = {"pcm", "flac", "wma-lossless"}
_TRACK_FILE = re.compile(r"^(\d\d) - .*\.(wav|flac|ogg|wma)$")


def track_files(folder: str) -> Dict[int, str]:
    """Track number -> file, for every track file under `folder`."""
    files: Dict[int, str] = {}
    for root, _, names in os.walk(folder):
        for name in names:
            match = _TRACK_FILE.match(name)
            if match:
                files[int(match.group(1))] = os.path.join(root, name)
    return files


def wave_data(data: bytes) -> Tuple[Optional[str], Optional[bytes]]:
    """The PCM of a WAVE file whose header matches its data, or the problem."""
    if len(data) < 12 or data[:4] != b"RIFF" or data[8:12] != b"WAVE":
        return "not a RIFF WAVE file (%d bytes)" % len(data), None
    if struct.unpack_from("<I", data, 4)[0] != len(data) - 8:
        return "RIFF size %d, file %d bytes" % (struct.unpack_from("<I", data, 4)[0], len(data)), None
    at, fmt = 12, None
    while at + 8 <= len(data):
        tag, size = data[at:at + 4], struct.unpack_from("<I", data, at + 4)[0]
        body = data[at + 8:at + 8 + size]
        if tag == b"fmt ":
            fmt = struct.unpack_from("<HHIIHH", body)
        elif tag == b"data":
            if fmt != (1, 2, 44100, 176400, 4, 16):
                return "format chunk %s is not CD audio" % (fmt,), None
            if at + 8 + size != len(data) or size % 4:
                return "data chunk of %d bytes in a %d-byte file" % (size, len(data)), None
            return None, body
        at += 8 + size + (size & 1)
    return "no data chunk", None


def _tool(args, timeout: float) -> Tuple[int, bytes, str]:
    try:
        done = subprocess.run(args, stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=timeout)
    except subprocess.TimeoutExpired:
        return -1, b"", "timed out"
    return done.returncode, done.stdout, done.stderr.decode(errors="replace").strip()


def decode(path: str, fmt: str, timeout: float = 120) -> Tuple[Optional[str], Optional[bytes]]:
    """(problem, None) for an inconsistent file, else (None, its PCM):
    `flac -t` must pass for FLAC, FFmpeg must decode Ogg and WMA silently."""
    if fmt == "pcm":
        with open(path, "rb") as f:
            return wave_data(f.read())
    if fmt == "flac":
        status, _, err = _tool(["flac", "-t", "-s", path], timeout)
        if status != 0:
            return "flac -t: %s" % (err or status), None
        status, pcm, err = _tool(["flac", "-d", "-c", "-s", "--force-raw-format", "--endian=little",
                                  "--sign=signed", path], timeout)
        return ("flac -d: %s" % err, None) if status != 0 else (None, pcm)
    status, pcm, err = _tool(["ffmpeg", "-nostdin", "-v", "error", "-i", path, "-f", "s16le",
                              "-acodec", "pcm_s16le", "-"], timeout)
    if status != 0 or err:
        return "ffmpeg: %s" % (err.splitlines()[0] if err else "status %d" % status), None
    return None, pcm


def first_difference(got: bytes, want: bytes) -> str:
    """Where two PCM streams part, in frames, for the report."""
    if got == want:
        return "equal"
    common = next((k for k in range(0, min(len(got), len(want)), 4096) if got[k:k + 4096] != want[k:k + 4096]),
                  min(len(got), len(want)))
    while common < min(len(got), len(want)) and got[common] == want[common]:
        common += 1
    return "%d of %d frames, first difference at frame %d (byte %d)" % (
        len(got) // 2352, len(want) // 2352, common // 2352, common)
