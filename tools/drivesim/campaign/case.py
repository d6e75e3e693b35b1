"""One case of the campaign, drawn from one seed: the disc, the tracks, the
format, the drive's faults and an interrupt."""

import random
from dataclasses import dataclass
from typing import List, Optional

from .disc import DiscAudio, DiscPlan, draw_disc, frames_of, same_layout_other_audio
from .faults import Faults, draw_faults

FORMATS = ["pcm"] * 7 + ["flac"] * 4 + ["ogg"] * 3 + ["wma"] * 3 + ["wma-lossless"] * 3


@dataclass
class Case:
    seed: int
    disc: DiscPlan
    selection: List[int]   # the audio tracks ripped, ascending
    all_tracks: bool       # no --tracks option
    fmt: str
    faults: Faults
    second: Optional[DiscPlan] = None   # the disc a change puts in
    interrupt: Optional[float] = None   # SIGINT after this share of the expected time

    def rip_args(self) -> List[str]:
        args = ["--no-lookup", "--format", self.fmt]
        if not self.all_tracks:
            args += ["--tracks", ",".join(str(t) for t in self.selection)]
        return args

    def describe(self) -> str:
        tracks = "all" if self.all_tracks else ",".join(str(t) for t in self.selection)
        text = "disc %s; faults: %s; format %s; tracks %s" % (self.disc.describe(), self.faults.describe(),
                                                             self.fmt, tracks)
        if self.second:
            text += "; second disc %s" % self.second.describe()
        if self.interrupt is not None:
            text += "; SIGINT at %d%% of the expected time" % round(self.interrupt * 100)
        return text


def draw_selection(rng: random.Random, disc: DiscAudio):
    """(tracks, all): every audio track, one, a run of them or a scattered few."""
    numbers = sorted(disc.tracks)
    shape = rng.random()
    if shape < 0.4 or len(numbers) == 1:
        return numbers, True
    if shape < 0.65:
        return [rng.choice(numbers)], False
    if shape < 0.8:
        first = rng.randrange(len(numbers))
        return numbers[first:first + rng.randint(2, 6)], False
    chosen = sorted(rng.sample(numbers, min(len(numbers), rng.randint(2, 6))))
    return chosen, False


def draw_case(seed: int, make_disc) -> "tuple[Case, DiscAudio]":
    """Draws a case; `make_disc(plan)` writes the disc and returns its audio,
    so that faults can be placed on its tracks."""
    rng = random.Random(seed)
    plan = draw_disc(rng)
    audio = make_disc(plan)
    selection, all_tracks = draw_selection(rng, audio)
    faults = draw_faults(rng, audio, selection)
    second = None
    if faults.change_after:
        second = same_layout_other_audio(plan) if rng.random() < 0.5 else draw_disc(rng)
    fmt = rng.choice(FORMATS)
    interrupt = rng.random() if rng.random() < 0.1 else None
    case = Case(seed, plan, selection, all_tracks, fmt, faults, second, interrupt)
    return case, audio


def expected_seconds(case: Case, audio: DiscAudio, slow: float) -> float:
    """About how long the emulated rip takes, for its time limit and interrupt."""
    frames = frames_of(audio, case.selection)
    reading = 0.0
    if case.faults.speed:  # each pass, and the start of every track's reading (paranoia's cache model)
        reading = (3 * frames + 1200 * len(case.selection)) / (75.0 * case.faults.speed)
    work = frames / (75.0 * (60 if case.fmt in ("pcm", "flac") else 25))
    return 0.2 + slow * (work + 0.2) + reading
