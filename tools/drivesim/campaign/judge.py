"""The invariants of a rip through the emulated drive, each a function that
returns what it found wrong. A finding's class names the invariant and,
after a slash, what about the track it concerns most likely caused it."""

import re
from dataclasses import dataclass, field
from typing import Dict, List, Optional, Set, Tuple

from .case import Case
from .disc import DiscAudio
from .outputs import LOSSLESS, first_difference
from .procs import Outcome

# How far past the read that met an eject or change the reader may have got
# (read-ahead, paranoia's overlap, the offset) before the track it fails.
EVENT_MARGIN = 300
_FAILED_TRACK = re.compile(r"^Track (\d+): (.+)$", re.M)


@dataclass
class Finding:
    cls: str
    detail: str


@dataclass
class Evidence:
    case: Case
    disc: DiscAudio
    rip: Outcome
    files: Dict[int, str]
    decoded: Dict[int, Tuple[Optional[str], Optional[bytes]]]
    oracle: Outcome
    oracle_decoded: Dict[int, Tuple[Optional[str], Optional[bytes]]]
    event: Optional[Tuple[str, int, int, int]]  # kind, reads, lba, count
    paranoia_exact: Optional[Set[int]] = None  # tracks cd-paranoia read exactly through the same jitter
    notes: List[str] = field(default_factory=list)

    def expected(self, track: int) -> bytes:
        return self.disc.expected(track, self.case.faults.offset, self.case.faults.told)

    def needed(self, track: int):
        return self.disc.needed_sectors(track, self.case.faults.offset, self.case.faults.told)


def _touches(spans, first: int, last: int, margin: int = 0) -> bool:
    return any(a - margin <= last and first < b + margin for a, b in spans)


def fault_track(ev: Evidence) -> Optional[int]:
    """The first selected track made of a sector that never reads."""
    for t in ev.case.selection:
        if any(_touches(ev.needed(t), a, b) for a, b in ev.case.faults.persistent):
            return t
    return None


def _near(ev: Evidence, track: int, ranges) -> bool:
    return any(_touches(ev.needed(track), a, b, 30) for a, b in ranges)


def cause_of(ev: Evidence, track: int, detail: str = "", read_failed: bool = False) -> str:
    """What about `track` most likely explains a finding on it: for a read
    that failed, errors nearby before jitter; for wrong audio, jitter first."""
    f, spans = ev.case.faults, ev.needed(track)
    if detail.startswith("byte-swapped"):
        return "byte-swapped"
    if ev.event and max((b for _, b in spans), default=0) > ev.event[2] - EVENT_MARGIN:
        return ev.event[0]
    if ev.disc.ends_before_data(track, within=75):
        return "audio-end-before-data"
    if ev.disc.follows_data(track):
        return "audio-after-data"
    errors = [("persistent-nearby", f.persistent), ("transient", [r[:2] for r in f.transient])]
    for name, ranges in errors + [("jitter", f.jitter)] if read_failed else [("jitter", f.jitter)] + errors:
        if _near(ev, track, ranges):
            return name
    if f.offset:
        return "offset-told" if f.told else "offset-untold"
    return "slow-drive" if f.speed else "plain"


def _compare(pcm: bytes, want: bytes, prefix: bool) -> Optional[str]:
    """None when `pcm` is `want` (or, with `prefix`, a start of it)."""
    if want.startswith(pcm) if prefix else pcm == want:
        return None
    swapped = bytearray(want)
    swapped[0::2], swapped[1::2] = want[1::2], want[0::2]
    if pcm and (swapped.startswith(pcm) if prefix else pcm == swapped):
        return "byte-swapped: the file holds the audio with its bytes swapped"
    return ("not a start of the track: " if prefix else "") + first_difference(pcm, want)


def difference(ev: Evidence, track: int, prefix: bool = False) -> Optional[str]:
    """None when the track's file holds what it should (a start of it, with
    `prefix`); else how it differs. Lossless files are held against the
    disc's audio; lossy ones against the virtual drive's file, where the
    drive's offset leaves the track's audio as the image has it."""
    problem, pcm = ev.decoded.get(track, ("no file", None))
    if pcm is None:
        return problem
    want = ev.expected(track)
    if ev.case.fmt not in LOSSLESS:
        oracle = ev.oracle_decoded.get(track, (None, None))[1]
        if prefix or oracle is None or want != ev.disc.expected(track, 0, False):
            return None
        want = oracle
    return _compare(pcm, want, prefix)


def silence_hides_jitter(ev: Evidence, track: int) -> bool:
    """Reads a drive places a few samples off are aligned by what they share
    with the reads before them; across digital silence longer than one read
    nothing is shared, so no reader can tell where the audio after it
    belongs, and that holds for the rest of the stream."""
    t = ev.disc.tracks.get(track)
    if t is None:
        return False
    reach = 25  # a read starting in a jitter range goes on this far
    for first, last in ev.case.faults.jitter:
        # A silence that began before the jitter counts from where it began.
        end = ev.disc.long_silence_end(first - reach - 1, min(last + reach, t.ripped_end - 1))
        if end is not None and first <= end <= t.ripped_end:
            return True
    return False


def _covered(ranges, first: int, last: int) -> bool:
    """Whether the union of inclusive `ranges` covers [first, last]."""
    at = first
    for a, b in sorted(ranges):
        if a > at:
            break
        at = max(at, b + 1)
    return at > last


def bad_sector_hides_jitter(ev: Evidence, track: int) -> bool:
    """A sector that never reads, or the start of the readable audio, with
    jitter from it up to the track: a stream cannot begin before it, and one
    that begins there has only the drive's placement of its first reads to
    go by (paranoia aligns reads to each other, never to the disc)."""
    t = ev.disc.tracks.get(track)
    if t is None:
        return False
    barriers = [b for _, b in ev.case.faults.persistent] + [first - 1 for first, _ in ev.disc.readable()]
    return any(b < t.start and _covered(ev.case.faults.jitter, b + 1, t.start) for b in barriers)


def jitter_meets_silence(ev: Evidence, track: int) -> bool:
    """Across a silence, reads a drive places a few samples off share only
    zeros with the audio before them, and paranoia can place the audio after
    it wrongly. The reader checks such a seam against reads that span it and
    fails the track when the stream stays off: a refusal, never wrong audio."""
    t = ev.disc.tracks.get(track)
    if t is None:
        return False
    reach = 25  # a read starting in a jitter range goes on this far
    for first, last in ev.case.faults.jitter:
        lo, hi = max(first, t.start - reach), min(last + reach, t.ripped_end)
        if lo <= hi and ev.disc.has_silence(lo, hi):
            return True
    return False


def track_finding(ev: Evidence, kind: str, track: int, detail: str, read_failed: bool = False) -> List[Finding]:
    """A finding on `track`, unless the drive jitters and cd-paranoia -B on
    the same drive cannot read the track exactly either (jitter it cannot
    correct, or a stream that jitter at its start left out of line)."""
    cause = cause_of(ev, track, detail, read_failed)
    if not read_failed and silence_hides_jitter(ev, track):
        ev.notes.append("%s on track %d passed over: jitter over a silence longer than a read" % (kind, track))
        return []
    if not read_failed and bad_sector_hides_jitter(ev, track):
        ev.notes.append("%s on track %d passed over: jitter from a sector that never reads up to the track" % (kind, track))
        return []
    if read_failed and jitter_meets_silence(ev, track):
        ev.notes.append("%s on track %d passed over: jitter meets a silence, the track was refused" % (kind, track))
        return []
    if ev.case.faults.jitter and ev.paranoia_exact is not None and track not in ev.paranoia_exact:
        ev.notes.append("%s on track %d passed over: cd-paranoia cannot correct that jitter either" % (kind, track))
        return []
    return [Finding("%s/%s" % (kind, cause), "track %d: %s" % (track, detail))]


def check_termination(ev: Evidence) -> List[Finding]:
    """Never a hang, a signal or a sanitizer report."""
    rip = ev.rip
    if rip.status is None:
        return [Finding("hang", "no exit within %.0f s" % rip.seconds)]
    report = rip.sanitizer_report()
    if report:
        return [Finding("crash/sanitizer", report)]
    if rip.status > 128 and rip.status != 130:
        return [Finding("crash/signal-%d" % (rip.status - 128), rip.stderr.strip()[-300:])]
    return []


def check_consistency(ev: Evidence) -> List[Finding]:
    """Every file the run left is a valid file of its format."""
    return [Finding("inconsistent-file", "track %d: %s" % (t, problem))
            for t, (problem, _) in sorted(ev.decoded.items()) if problem]


def check_complete(ev: Evidence) -> List[Finding]:
    """Exit 0: no selected track needed a sector that never reads, and every
    selected track's file is exact."""
    findings = []
    broken = fault_track(ev)
    if broken is not None:
        findings.append(Finding("completed-despite-unreadable-sector/" + cause_of(ev, broken),
                                "track %d needs sectors %s" % (broken, ev.case.faults.persistent)))
    for t in ev.case.selection:
        diff = difference(ev, t)
        if diff:
            findings += track_finding(ev, "completed-with-wrong-audio", t, diff)
    extra = sorted(set(ev.files) - set(ev.case.selection))
    if extra:
        findings.append(Finding("unselected-track-written", "tracks %s" % extra))
    return findings


def failed_track(ev: Evidence) -> Optional[Tuple[int, str]]:
    """The track and reason cadrix-rip printed after "Audio extraction failed."."""
    at = ev.rip.stdout.find("Audio extraction failed.")
    match = _FAILED_TRACK.search(ev.rip.stdout, at) if at >= 0 else None
    return (int(match.group(1)), match.group(2)) if match else None


def allowed_failures(ev: Evidence) -> Set[int]:
    """The tracks that may fail: the first one holding a persistent fault,
    and after an eject or change any track the reader had reached."""
    allowed = set()
    broken = fault_track(ev)
    if broken is not None:
        allowed.add(broken)
    if ev.event:
        _, _, lba, count = ev.event
        allowed |= {t for t in ev.case.selection
                    if min(a for a, _ in ev.needed(t)) <= lba + count + EVENT_MARGIN and t <= (broken or 99)}
    return allowed


def check_failed(ev: Evidence) -> List[Finding]:
    """Exit 1: the failing track holds the fault (or was being read at the
    eject or change), its reason is printed, the tracks before it are exact
    and its file holds only a start of its audio."""
    failed = failed_track(ev)
    if failed is None:
        if ev.event and not ev.files and "cadrix-rip:" in ev.rip.stderr:
            return []  # the disc left before the extraction began
        return [Finding("failure-without-reason", (ev.rip.stdout + ev.rip.stderr).strip()[-300:])]
    track, reason = failed
    allowed = allowed_failures(ev)
    findings = []
    if not allowed:
        findings += track_finding(ev, "failed-readable-disc", track, reason, read_failed=True)
    elif track not in allowed:
        findings += track_finding(ev, "wrong-track-failed", track,
                                  "%s; the fault is in track %s" % (reason, sorted(allowed)), read_failed=True)
    for t in ev.case.selection:
        diff = difference(ev, t) if t < track else difference(ev, t, prefix=True) if t == track else None
        if diff and (t < track or t in ev.files):
            kind = "earlier-track-wrong" if t < track else "failed-track-file-not-a-start"
            findings += track_finding(ev, kind, t, diff)
    return findings


def check_aborted(ev: Evidence) -> List[Finding]:
    """Exit 130 after SIGINT: the tracks finished before it are exact, the
    one it stopped holds only a start of its audio."""
    written = sorted(ev.files)
    findings = []
    for t in written:
        diff = difference(ev, t, prefix=t == written[-1])
        if diff:
            findings += track_finding(ev, "aborted-run-wrong-audio", t, diff)
    return findings


def check_oracle(ev: Evidence) -> List[Finding]:
    """The virtual drive rips the image exactly (lossless formats checked)."""
    if ev.oracle.sanitizer_report():
        return [Finding("crash/sanitizer-virtual-drive", ev.oracle.sanitizer_report())]
    if ev.oracle.status != 0:
        return [Finding("virtual-drive-failed", (ev.oracle.stdout + ev.oracle.stderr).strip()[-300:])]
    if ev.case.fmt not in LOSSLESS:
        return []
    for t in ev.case.selection:
        problem, pcm = ev.oracle_decoded.get(t, ("no file", None))
        want = ev.disc.expected(t, 0, False)
        if pcm != want:
            return [Finding("virtual-drive-mismatch/" + cause_of(ev, t),
                            "track %d: %s" % (t, problem or first_difference(pcm, want)))]
    return []


def judge(ev: Evidence) -> List[Finding]:
    findings = check_termination(ev)
    if not findings:
        findings = check_consistency(ev)
        status, interrupted = ev.rip.status, ev.rip.interrupted
        if status == 0:
            findings += check_complete(ev)
        elif status == 1:
            findings += check_failed(ev)
        elif status == 130 and interrupted:
            findings += check_aborted(ev)
        else:
            findings.append(Finding("unexpected-exit-status", "%d%s: %s" % (
                status, " after SIGINT" if interrupted else "", (ev.rip.stdout + ev.rip.stderr).strip()[-300:])))
    return findings + check_oracle(ev)


def paranoia_verdict(case: Case, disc: DiscAudio, run: Outcome, pcm: Dict[int, bytes]):
    """(tracks exact, notes): cd-paranoia's rip against the drive's audio
    (its offset untold). A track it ends past the audio (into a data
    track's pregap) counts as exact when the audio is."""
    exact, wrong = set(), []
    for t, data in sorted(pcm.items()):
        want = disc.expected(t, case.faults.offset, False) if t in disc.tracks else b""
        if run.status == 0 and want and data[:len(want)] == want:
            exact.add(t)
        elif t in disc.tracks:
            wrong.append(t)
    notes = ["cd-paranoia -B (exit %s): exact tracks %s" % (run.status, sorted(exact) or "none")]
    if wrong:
        notes.append("cd-paranoia -B: tracks %s differ from the drive's audio" % wrong)
    return exact, notes
