"""The drive's faults for one case, drawn where they hurt most: the first
and last sectors of tracks, track boundaries, and anywhere at all."""

from dataclasses import dataclass, field
from typing import List, Optional, Tuple

from .disc import DiscAudio, frames_of

Range = Tuple[int, int]  # sectors [first, last], as --bad and --jitter take them


@dataclass
class Faults:
    transient: List[Tuple[int, int, int]] = field(default_factory=list)  # first, last, failures
    persistent: List[Range] = field(default_factory=list)
    jitter: List[Range] = field(default_factory=list)
    offset: int = 0
    told: bool = False
    eject_after: Optional[int] = None
    change_after: Optional[int] = None
    speed: Optional[int] = None

    def drive_args(self) -> List[str]:
        args: List[str] = []
        for a, b, n in self.transient:
            args += ["--bad", "%d-%d:%d" % (a, b, n)]
        for a, b in self.persistent:
            args += ["--bad", "%d-%d" % (a, b)]
        for a, b in self.jitter:
            args += ["--jitter", "%d-%d" % (a, b)]
        if self.offset:
            args += ["--read-offset", str(self.offset)]
        if self.eject_after:
            args += ["--eject-after-reads", str(self.eject_after)]
        if self.change_after:
            args += ["--change-after-reads", str(self.change_after)]
        if self.speed:
            args += ["--speed", str(self.speed)]
        return args

    def describe(self) -> str:
        parts = ["transient %d-%d:%d" % r for r in self.transient]
        parts += ["persistent %d-%d" % r for r in self.persistent]
        parts += ["jitter %d-%d" % r for r in self.jitter]
        if self.offset:
            parts.append("offset %+d (%s)" % (self.offset, "told" if self.told else "untold"))
        if self.eject_after:
            parts.append("eject after %d reads" % self.eject_after)
        if self.change_after:
            parts.append("change after %d reads" % self.change_after)
        if self.speed:
            parts.append("speed %dx" % self.speed)
        return ", ".join(parts) or "none"


def _spot(rng, disc: DiscAudio, selected: List[int]) -> int:
    """A sector worth a fault: mostly the first or last sector of a selected
    track or the one after its end, sometimes inside it, sometimes anywhere."""
    if rng.random() < 0.1:
        return rng.randrange(0, disc.lead_out)
    numbers = selected if rng.random() < 0.85 else sorted(disc.tracks)
    t = disc.tracks[rng.choice(numbers)]
    where = rng.random()
    if where < 0.3:
        return t.start
    if where < 0.55:
        return t.ripped_end - 1
    if where < 0.7:
        return min(t.ripped_end, disc.lead_out - 1)
    return rng.randrange(t.start, t.ripped_end)


def _clamp(disc: DiscAudio, first: int, last: int) -> Range:
    first = max(0, min(first, disc.lead_out - 1))
    return first, max(first, min(last, disc.lead_out - 1))


def _draw_jitter(rng, disc: DiscAudio, selected: List[int]) -> Range:
    """A jitter range, often across a track boundary."""
    centre = _spot(rng, disc, selected)
    before = rng.randint(0, 40) if rng.random() < 0.5 else rng.randint(0, 400)
    return _clamp(disc, centre - before, centre + rng.randint(0, 400))


def _draw_errors(rng, disc: DiscAudio, selected: List[int], faults: Faults) -> None:
    for _ in range(rng.choice([0, 0, 1, 1, 1, 2, 3])):
        kind = rng.random()
        if kind < 0.4:
            a = _spot(rng, disc, selected)
            a, b = _clamp(disc, a, a + rng.choice([0, 0, 1, 2]))
            faults.transient.append((a, b, rng.randint(1, 4)))
        elif kind < 0.75:
            faults.jitter.append(_draw_jitter(rng, disc, selected))
        elif not faults.persistent:
            a = _spot(rng, disc, selected)
            faults.persistent.append(_clamp(disc, a, a + rng.choice([0, 0, 1, 3])))


def _draw_offset(rng, faults: Faults) -> None:
    if rng.random() < 0.45:
        size = rng.randint(1, 30) if rng.random() < 0.25 else rng.randint(31, 2000)
        faults.offset = size * rng.choice([-1, 1])
        faults.told = rng.random() < 0.5


def _draw_events(rng, disc: DiscAudio, selected: List[int], faults: Faults) -> None:
    """An eject or disc change at a random read, and sometimes a slow drive."""
    reads = max(20, frames_of(disc) // 4 + 40)
    event = rng.random()
    if event < 0.07:
        faults.eject_after = rng.randint(1, reads)
    elif event < 0.14:
        faults.change_after = rng.randint(1, reads)
    # A slow drive retrying an error that never clears, or starting many
    # tracks, takes minutes: not here.
    speed = rng.choice([4, 8, 16, 24, 48])
    if (rng.random() < 0.12 and frames_of(disc, selected) <= speed * 75 * 5 and len(selected) <= 6
            and not faults.persistent):
        faults.speed = speed


def draw_faults(rng, disc: DiscAudio, selected: List[int]) -> Faults:
    faults = Faults()
    _draw_errors(rng, disc, selected, faults)
    _draw_offset(rng, faults)
    _draw_events(rng, disc, selected, faults)
    return faults
