"""Discs for the campaign: drawn at random, written by cadrix-discgen, and
the audio a drive reads of them, rebuilt from the generator's own output
(never from the image through the code under test)."""

import os
from dataclasses import dataclass, field
from typing import Dict, List, Optional, Tuple

SAMPLES_PER_FRAME = 588
SAMPLE_BYTES = 4
FRAME_BYTES = SAMPLES_PER_FRAME * SAMPLE_BYTES
# The data track that follows audio in the same session has a 2-s pregap on
# a real disc; a reader that cannot see its INDEX 00 assumes that length.
DATA_PREGAP_FRAMES = 150


@dataclass
class DiscPlan:
    """One disc layout, as cadrix-discgen options."""
    lengths: List[int]
    seed: int
    data_first: bool = False
    data_last: bool = False
    session2: bool = False
    data_mode: str = "mode1"
    pregap: int = 0
    index0: int = 0
    storage: str = "binary"  # binary, motorola, wave, file-per-track

    def discgen_args(self, discgen: str, folder: str, audio_out: str) -> List[str]:
        args = [discgen, "--out", folder, "--name", "disc", "--seed", str(self.seed),
                "--tracks", ",".join("%df" % n for n in self.lengths), "--print-toc", "--audio-out", audio_out]
        flags = [("--data-first", self.data_first), ("--data-last", self.data_last), ("--session2", self.session2)]
        args += [name for name, on in flags if on]
        if self.data_first or self.data_last or self.session2:
            args += ["--data-mode", self.data_mode]
        if self.pregap:
            args += ["--pregap", str(self.pregap)]
        if self.index0:
            args += ["--index0", str(self.index0)]
        if self.storage != "binary":
            args.append("--" + self.storage)
        return args

    def describe(self) -> str:
        kinds = [k for k, on in (("data-first", self.data_first), ("data-last", self.data_last),
                                 ("enhanced-cd", self.session2)) if on]
        return "%d tracks (%d frames), %s, pregap %d, index0 %d, %s" % (
            len(self.lengths), sum(self.lengths), "+".join(kinds) or "audio only", self.pregap, self.index0,
            self.storage)


def _track_lengths(rng, count: int, budget: int) -> List[int]:
    """Tracks of 1-30 frames among longer ones, about `budget` frames in all."""
    per_track = max(31, 2 * budget // count)
    return [rng.randint(1, 30) if rng.random() < 0.35 else rng.randint(31, per_track) for _ in range(count)]


def draw_disc(rng) -> DiscPlan:
    """A disc layout: 1-99 tracks, data first/last, Enhanced CD, pregaps, storage."""
    shape = rng.random()
    count = rng.randint(1, 5) if shape < 0.4 else rng.randint(6, 20) if shape < 0.85 else rng.randint(21, 99)
    budget = rng.choice([600, 1500, 2500, 2500, 6000, 12000])
    plan = DiscPlan(lengths=_track_lengths(rng, count, budget), seed=rng.randint(1, 10**6))
    kind = rng.random()
    if count >= 2:
        plan.data_last = 0.45 <= kind < 0.62
        plan.session2 = 0.62 <= kind < 0.78
        plan.data_first = 0.78 <= kind < 0.88 or (kind >= 0.95 and count >= 3)
        plan.data_last |= kind >= 0.95 and count >= 3
    if plan.data_first and plan.lengths[0] < 20:
        plan.lengths[0] = rng.randint(20, 400)
    plan.data_mode = rng.choice(["mode1", "mode1", "mode1-2048", "mode2"])
    _draw_gaps(rng, plan)
    plan.storage = rng.choice(["binary", "binary", "motorola", "wave", "file-per-track"])
    return plan


def _draw_gaps(rng, plan: DiscPlan) -> None:
    """PREGAP and INDEX 00 frames of every track after the first. Before a
    data track of the same session they add up to the 2-s pregap real discs
    have: a drive that gives no sub-channel leaves no other way to tell
    where the audio ends."""
    if plan.data_last and not plan.session2:
        plan.pregap = rng.choice([0, 0, DATA_PREGAP_FRAMES, rng.randint(0, DATA_PREGAP_FRAMES)])
        plan.index0 = DATA_PREGAP_FRAMES - plan.pregap
        return
    plan.pregap = rng.randint(1, 200) if rng.random() < 0.2 else 0
    plan.index0 = rng.randint(1, 200) if rng.random() < 0.35 else 0


def same_layout_other_audio(plan: DiscPlan) -> DiscPlan:
    """The same TOC with other audio: a disc change the TOC cannot show."""
    other = DiscPlan(**{k: getattr(plan, k) for k in plan.__dataclass_fields__})
    other.seed = plan.seed + 1
    return other


@dataclass
class AudioTrack:
    number: int
    first: int        # where its stored audio (INDEX 00 frames first) begins
    start: int        # INDEX 01
    end: int          # end of its stored audio
    ripped_end: int   # where its audio as ripped ends (the next audio track's INDEX 01, or the audio's end)


@dataclass
class DiscAudio:
    """What a drive reads of a disc, by LBA: each audio track's stored audio,
    silence everywhere else (pregap silence, data, the session gap)."""
    tracks: Dict[int, AudioTrack] = field(default_factory=dict)
    data_tracks: List[int] = field(default_factory=list)
    track_count: int = 0
    lead_out: int = 0
    segments: List[Tuple[int, bytes]] = field(default_factory=list)

    def readable(self) -> List[Tuple[int, int]]:
        """The sectors a reader reads as audio: the ripped extents, merged."""
        spans: List[Tuple[int, int]] = []
        for t in sorted(self.tracks.values(), key=lambda t: t.start):
            if spans and spans[-1][1] == t.start:
                spans[-1] = (spans[-1][0], t.ripped_end)
            else:
                spans.append((t.start, t.ripped_end))
        return spans

    def long_silence_end(self, first: int, last: int, longest_read: int = 25) -> Optional[int]:
        """Where the first stretch of digital silence longer than one read
        (`longest_read` sectors) within sectors [first, last] ends, if any."""
        run = 0
        for sector in range(max(first, 0), min(last, self.lead_out - 1) + 1):
            if any(self.samples(sector * SAMPLES_PER_FRAME, (sector + 1) * SAMPLES_PER_FRAME)):
                run = 0
                continue
            run += 1
            if run > longest_read:
                while sector + 1 < self.lead_out and not any(
                        self.samples((sector + 1) * SAMPLES_PER_FRAME, (sector + 2) * SAMPLES_PER_FRAME)):
                    sector += 1
                return sector + 1
        return None

    def has_silence(self, first: int, last: int, min_samples: int = 64) -> bool:
        """Whether sectors [first, last] hold a run of at least `min_samples`
        samples of digital silence."""
        first, last = max(first, 0), min(last, self.lead_out - 1)
        if last < first:
            return False
        audio = self.samples(first * SAMPLES_PER_FRAME, (last + 1) * SAMPLES_PER_FRAME)
        zeros = bytes(min_samples * SAMPLE_BYTES)
        at = audio.find(zeros)
        while at >= 0 and at % SAMPLE_BYTES:
            at = audio.find(zeros, at + 1)
        return at >= 0

    def samples(self, first: int, end: int) -> bytes:
        """Samples [first, end) of the disc's audio stream, silence outside it."""
        out = bytearray(max(0, end - first) * SAMPLE_BYTES)
        for frame, data in self.segments:
            s0 = frame * SAMPLES_PER_FRAME
            lo, hi = max(first, s0), min(end, s0 + len(data) // SAMPLE_BYTES)
            if lo < hi:
                out[(lo - first) * 4:(hi - first) * 4] = data[(lo - s0) * 4:(hi - s0) * 4]
        return bytes(out)

    def expected(self, number: int, offset: int, told: bool) -> bytes:
        """Track `number` as an exact rip gives it from a drive whose audio
        comes `offset` samples off. Told, the reader corrects it and the
        samples it would need from outside the readable audio are silence;
        untold, the rip holds the drive's shifted audio."""
        t = self.tracks[number]
        first, end = t.start * SAMPLES_PER_FRAME, t.ripped_end * SAMPLES_PER_FRAME
        if offset == 0 or not told:
            return self.samples(first - offset, end - offset)
        data = bytearray(self.samples(first, end))
        kept = [(r0 * SAMPLES_PER_FRAME - offset, r1 * SAMPLES_PER_FRAME - offset) for r0, r1 in self.readable()]
        position = first
        for k0, k1 in kept + [(end, end)]:
            lo, hi = max(position, first), min(max(k0, position), end)
            if lo < hi:
                data[(lo - first) * 4:(hi - first) * 4] = bytes((hi - lo) * 4)
            position = max(position, k1)
        return bytes(data)

    def needed_sectors(self, number: int, offset: int, told: bool) -> List[Tuple[int, int]]:
        """The drive sectors [a, b) whose audio track `number` is made of."""
        t = self.tracks[number]
        if offset == 0 or not told:
            return [(t.start, t.ripped_end)]
        lo = (t.start * SAMPLES_PER_FRAME + offset) // SAMPLES_PER_FRAME
        hi = (t.ripped_end * SAMPLES_PER_FRAME - 1 + offset) // SAMPLES_PER_FRAME + 1
        return [(max(lo, r0), min(hi, r1)) for r0, r1 in self.readable() if max(lo, r0) < min(hi, r1)]

    def ends_before_data(self, number: int, within: int = 0) -> bool:
        """The track ends at most `within` frames before the end of the audio
        that a data track (or the session gap before one) ends."""
        last = number
        while last + 1 in self.tracks:
            last += 1
        return last + 1 in self.data_tracks and self.tracks[last].ripped_end - self.tracks[number].ripped_end <= within

    def follows_data(self, number: int) -> bool:
        return any(d == number - 1 for d in self.data_tracks)


def load_disc_audio(audio_folder: str, toc_text: str) -> DiscAudio:
    """Reads what `cadrix-discgen --print-toc --audio-out` wrote."""
    disc = DiscAudio()
    for line in toc_text.splitlines():
        words = line.split()
        if words[:1] == ["track"]:
            disc.track_count = max(disc.track_count, int(words[1]))
            if words[2] == "data":
                disc.data_tracks.append(int(words[1]))
        elif words[:1] == ["lead-out"]:
            disc.lead_out = int(words[1])
    with open(os.path.join(audio_folder, "layout.txt")) as layout:
        for line in layout:
            number, first, start, end, ripped = (int(w) for w in line.split())
            disc.tracks[number] = AudioTrack(number, first, start, end, ripped)
            with open(os.path.join(audio_folder, "%02d.pcm" % number), "rb") as pcm:
                disc.segments.append((first, pcm.read()))
    return disc


def frames_of(disc: DiscAudio, numbers: Optional[List[int]] = None) -> int:
    chosen = numbers if numbers is not None else list(disc.tracks)
    return sum(disc.tracks[n].ripped_end - disc.tracks[n].start for n in chosen)
