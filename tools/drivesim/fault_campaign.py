#!/usr/bin/env python3
"""A seeded fault campaign: cadrix-rip against an emulated CD-ROM drive whose
discs and faults are drawn at random, so that they are not chosen together
with the reader they test.

    python3 tools/drivesim/fault_campaign.py --build build/dev [--seconds 60] [--seed N]
    python3 tools/drivesim/fault_campaign.py --build build/dev --replay SEED [--keep]

Each case comes from one printed case seed. It draws a disc (cadrix-discgen:
1-99 tracks, tracks of 1-30 frames among longer ones, PREGAP and INDEX 00
pregaps, a data track first and/or last, an Enhanced CD, big-endian, WAVE or
file-per-track storage), the tracks to rip (all, one, a run, a scattered
few), a format (pcm, flac, ogg, wma, wma-lossless) and the drive's faults
(cadrix-drivesim: errors that clear after 1-4 failures and errors that never
clear, on the first or last sector of a track, the sector after it or
anywhere; jitter ranges, often across a track boundary; a read offset of up
to +-2000 samples, told through CADRIX_READ_OFFSET or not; an eject or a
change to another disc at a random read; a slow drive), and sometimes a
SIGINT at a random time. It rips through the emulated drive, offline and
with private XDG folders, and judges the result:

- never a crash (a signal, a sanitizer report) or a hang (a time limit);
- every file left is consistent: a WAVE header matching its data, `flac -t`
  passing, FFmpeg decoding Ogg and WMA without an error;
- exit 0: no selected track needs a sector that never reads, and every
  selected track is exact;
- exit 1: the failing track (from "Track N: reason" after "Audio extraction
  failed.") is the first selected track made of a sector that never reads,
  or, after an eject or a change, one the reader had reached; a reason is
  printed; every selected track before it is exact; its own file holds
  only a start of its audio;
- exit 130 (only after SIGINT): the tracks before the stopped one are exact,
  the stopped one holds only a start of its audio;
- the virtual drive (the same rip of the image, CADRIX_VIRTUAL_DRIVES) is
  exact too; it is the oracle for lossy files.

What "exact" means, per fault. Errors that clear after a few failures and
jitter change nothing: paranoia must read through them, as `cd-paranoia -B`
does on the same drive. An error that never clears makes the sectors it
covers unreadable; a track fails only when its audio needs one of them,
and with a told offset a track's audio comes partly from the first sectors
of the next. A told offset is corrected: the rip is the image's audio, but
for samples that would have to come from outside the readable audio, which
are silence. An untold offset leaves the drive's shifted audio in the
files; rather than only checking consistency, the expected audio is the
drive's own (the image's audio stream moved by the offset, silence outside
the audio), which is what cd-paranoia rips from the same drive.

Where the expected audio comes from. cadrix-discgen --audio-out writes each
audio track's audio and its place on the disc, from the generator's own
model, not read back through the code under test. Lossless files (WAVE,
FLAC, WMA Lossless) are decoded (flac, FFmpeg) and held against it. Lossy
files are decoded by FFmpeg and held against the virtual drive's file of
the same track, where the drive's offset leaves the track's audio as the
image has it; otherwise only their consistency is checked.

cd-paranoia -B is the second oracle. It rips the same disc in a drive with
the case's jitter and offset (untold) but without its errors, events or
speed limit: in every case with jitter, and in a quarter of the others as
a check of the model. Jitter is to be corrected as cd-paranoia corrects it: a
track it cannot read exactly through that jitter (at the very start of the
audio nothing anchors paranoia's alignment, and a stream put out of line
there stays so) is not held against the rip; what it reads exactly is.

Discs whose data track follows audio in the same session get a 2-s pregap
(PREGAP plus INDEX 00 frames) before it, as real discs do: the emulated
drive gives no sub-channel, so a reader has no other way to find where the
audio ends.

A failing case prints its seed, its classes (the invariant, then what about
the track most likely caused it: completed-with-wrong-audio/jitter), what
differed and the command lines that replay it; the run ends with the count
of cases and failures by class. Cases are removed unless --keep; --replay
makes one again and keeps it. The exit status is 0 when no case failed.
"""

import argparse
import os
import random
import shutil
import sys
import tempfile
import time
from collections import OrderedDict

sys.dont_write_bytecode = True  # no __pycache__ in the source tree
from campaign import procs
from campaign.judge import Finding
from campaign.runner import CaseReport, Tools, base_environment, run_case, shorten


def parse_args():
    parser = argparse.ArgumentParser(description="A seeded fault campaign against the emulated drive.")
    parser.add_argument("--build", required=True, help="the build folder (bin/cadrix-rip, bin/cadrix-drivesim ...)")
    parser.add_argument("--seconds", type=float, default=60, help="start cases for this long (default 60)")
    parser.add_argument("--seed", type=int, help="the campaign's seed (default: a random one)")
    parser.add_argument("--replay", type=int, metavar="SEED", help="run the one case of this case seed")
    parser.add_argument("--keep", action="store_true", help="keep every case's folder (--replay keeps its own)")
    parser.add_argument("--verbose", action="store_true", help="print each case's rip output")
    return parser.parse_args()


def find_tools(build: str) -> Tools:
    """The programs under test, how slow the build is and the virtual drive's number."""
    tools = Tools(os.path.abspath(build))
    for name in ("cadrix-rip", "cadrix-drivesim", "cadrix-discgen"):
        if not os.access(tools.bin(name), os.X_OK):
            sys.exit("fault_campaign: %s is missing (build it first)" % tools.bin(name))
    cache = os.path.join(tools.build, "CMakeCache.txt")
    if os.path.exists(cache) and "CADRIX_SANITIZE:STRING=address" in open(cache).read():
        tools.slow = 3.0
    with tempfile.TemporaryDirectory() as home:
        listing = procs.run([tools.bin("cadrix-rip"), "--list", "--no-lookup"], base_environment(home), 60)
    tools.virtual_drive = listing.stdout.count("\nDrive ") + listing.stdout.startswith("Drive ") + 1
    return tools


def run_one(tools: Tools, seed: int, root: str, keep: bool) -> CaseReport:
    work = os.path.join(root, "case-%d" % seed)
    os.makedirs(work)
    try:
        report = run_case(tools, seed, work)
    except Exception as error:  # a broken case is a finding of the campaign itself
        report = CaseReport(seed, work=work)
        report.findings = [Finding("campaign-error", repr(error))]
    if keep:
        report.notes.append("files kept in " + work)
    else:  # --replay SEED makes them again
        shutil.rmtree(work, ignore_errors=True)
    return report


def print_case(index: int, report: CaseReport, build: str, verbose: bool, tools: Tools) -> None:
    verdict = "ok" if not report.findings else "FAIL " + " ".join(sorted({f.cls for f in report.findings}))
    print("case %d seed %d: exit %s in %.1f s: %s" % (index, report.seed, report.status, report.seconds, verdict))
    if not report.findings and not verbose:
        return
    print("  case: " + report.description)
    shown = {}
    for finding in report.findings:
        shown[finding.cls] = shown.get(finding.cls, 0) + 1
        if shown[finding.cls] <= 3:
            print("  [%s] %s" % (finding.cls, finding.detail))
    for cls, count in shown.items():
        if count > 3:
            print("  [%s] ... and %d more" % (cls, count - 3))
    for note in report.notes:
        print("  note: " + note)
    for name, line in report.commands:
        print("  %s: %s" % (name, line if name == "env" else shorten(line, report.work, tools.build)))
    if verbose and report.output:
        print("  output:\n    " + report.output.strip().replace("\n", "\n    "))
    print("  replay: python3 %s --build %s --replay %d" % (os.path.relpath(__file__), build, report.seed))
    sys.stdout.flush()


def print_summary(reports) -> None:
    classes = OrderedDict()
    for report in reports:
        for cls in sorted({f.cls for f in report.findings}):
            classes.setdefault(cls, []).append(report.seed)
    failed = sum(1 for r in reports if r.findings)
    print("summary: %d cases, %d passed, %d failed" % (len(reports), len(reports) - failed, failed))
    for cls, seeds in sorted(classes.items(), key=lambda item: -len(item[1])):
        print("  %-48s %3d  (e.g. seed %s)" % (cls, len(seeds), ", ".join(str(s) for s in seeds[:3])))


def main() -> int:
    args = parse_args()
    tools = find_tools(args.build)
    root = tempfile.mkdtemp(prefix="cadrix-campaign-")
    reports = []
    if args.replay is not None:
        reports.append(run_one(tools, args.replay, root, True))
        print_case(1, reports[-1], args.build, True, tools)
    else:
        seed = args.seed if args.seed is not None else random.SystemRandom().randrange(1, 10**9)
        print("fault campaign: seed %d, %g s, build %s" % (seed, args.seconds, args.build))
        sys.stdout.flush()
        draw = random.Random(seed)
        deadline = time.monotonic() + args.seconds
        while time.monotonic() < deadline:
            reports.append(run_one(tools, draw.randrange(1, 10**9), root, args.keep))
            print_case(len(reports), reports[-1], args.build, args.verbose, tools)
    print_summary(reports)
    if not args.keep and args.replay is None:
        shutil.rmtree(root, ignore_errors=True)
    return 1 if any(r.findings for r in reports) else 0


if __name__ == "__main__":
    sys.exit(main())
