"""Runs one case: writes its discs, rips them through the virtual drive (the
oracle), through the emulated drive (the run under test) and, where it
tells something, with cd-paranoia on the same emulated drive."""

import os
import re
import shutil
from dataclasses import dataclass, field
from typing import Dict, List, Optional, Tuple

from . import procs
from .case import Case, draw_case, expected_seconds
from .disc import DiscAudio, DiscPlan, load_disc_audio
from .faults import Faults
from .judge import Evidence, Finding, judge, paranoia_verdict
from .outputs import decode, track_files, wave_data

_EVENT = re.compile(r"disc (ejected|changed) after (\d+) reads, the last of (\d+)\+(\d+)")
_OFFLINE = "http://127.0.0.1:9"  # nothing listens there


@dataclass
class Tools:
    build: str
    slow: float = 1.0          # a sanitizer build runs slower
    virtual_drive: int = 1     # the virtual drive's number after the machine's own drives

    def bin(self, name: str) -> str:
        return os.path.join(self.build, "bin", name)


@dataclass
class CaseReport:
    seed: int
    work: str = ""
    description: str = ""
    findings: List[Finding] = field(default_factory=list)
    notes: List[str] = field(default_factory=list)
    commands: List[Tuple[str, str]] = field(default_factory=list)
    seconds: float = 0.0
    status: Optional[int] = None
    output: str = ""  # what the rip printed


def rip_environment(env: Dict[str, str], fmt: str) -> Dict[str, str]:
    """The WMA plug-in leaves FFmpeg's one-time allocations to the process;
    unloaded at exit, they read as leaks to a sanitizer (its own rip test
    does not look for leaks either)."""
    if not fmt.startswith("wma"):
        return env
    options = env.get("ASAN_OPTIONS", "")
    return dict(env, ASAN_OPTIONS=(options + ":" if options else "") + "detect_leaks=0")


def base_environment(home: str) -> Dict[str, str]:
    """The caller's environment without Cadrix's own settings, offline, with
    private configuration, data and cache folders."""
    env = {k: v for k, v in os.environ.items() if not k.startswith("CADRIX_")}
    env.update({"HOME": home, "XDG_CONFIG_HOME": os.path.join(home, "config"),
                "XDG_DATA_HOME": os.path.join(home, "data"), "XDG_CACHE_HOME": os.path.join(home, "cache"),
                "CADRIX_ACCURATERIP_SERVER": _OFFLINE, "CADRIX_MUSICBRAINZ_SERVER": _OFFLINE,
                "CADRIX_GNUDB_SERVER": _OFFLINE, "CADRIX_VIRTUAL_DRIVES": ""})
    return env


def environment_line(work: str, build: str) -> str:
    """The shell settings every replayed command line below assumes."""
    env = base_environment(os.path.join(work, "home"))
    settings = " ".join("%s=%s" % (k, env[k] or "''") for k in sorted(env)
                        if k.startswith(("CADRIX_", "XDG_")) or k == "HOME")
    return "W=%s; B=%s; export %s" % (work, os.path.join(build, "bin"), shorten(settings, work, build))


def shorten(line: str, work: str, build: str) -> str:
    return line.replace(work, "$W").replace(os.path.join(build, "bin"), "$B")


def make_disc(tools: Tools, plan: DiscPlan, folder: str, report: CaseReport) -> DiscAudio:
    args = plan.discgen_args(tools.bin("cadrix-discgen"), os.path.join(folder, "disc"), os.path.join(folder, "audio"))
    report.commands.append(("disc", procs.command_line(args, {})))
    done = procs.run(args, dict(os.environ), 120)
    if done.status != 0:
        raise RuntimeError("cadrix-discgen failed: " + done.stderr.strip())
    return load_disc_audio(os.path.join(folder, "audio"), done.stdout)


def _decode_all(files: Dict[int, str], fmt: str) -> Dict[int, Tuple[Optional[str], Optional[bytes]]]:
    return {t: decode(path, fmt) for t, path in files.items()}


def rip_virtual(tools: Tools, case: Case, work: str, env: Dict[str, str], timeout: float, report: CaseReport):
    """The oracle: the same rip of the image as a virtual drive."""
    env = dict(env, CADRIX_VIRTUAL_DRIVES=os.path.join(work, "disc"))
    out = os.path.join(work, "virtual")
    args = [tools.bin("cadrix-rip"), "--drive", str(tools.virtual_drive), "--output", out] + case.rip_args()
    report.commands.append(("oracle", procs.command_line(args, {"CADRIX_VIRTUAL_DRIVES": env["CADRIX_VIRTUAL_DRIVES"]})))
    done = procs.run(args, env, timeout)
    return done, _decode_all(track_files(out), case.fmt)


def drive_args(tools: Tools, case: Case, work: str) -> List[str]:
    args = [tools.bin("cadrix-drivesim"), "--image", os.path.join(work, "disc", "disc.cue")]
    if case.second:
        args += ["--image", os.path.join(work, "second", "disc", "disc.cue")]
    return args + case.faults.drive_args() + ["--log", os.path.join(work, "drive.log")]


def rip_emulated(tools: Tools, case: Case, work: str, env: Dict[str, str], timeout: float, report: CaseReport,
                 interrupt_after: Optional[float]):
    """The run under test: cadrix-rip reading the emulated drive."""
    if case.faults.told:
        env = dict(env, CADRIX_READ_OFFSET=str(case.faults.offset))
    out = os.path.join(work, "emulated")
    args = drive_args(tools, case, work) + ["--", tools.bin("cadrix-rip"), "--output", out] + case.rip_args()
    line = procs.command_line(args, {"CADRIX_READ_OFFSET": str(case.faults.offset)} if case.faults.told else {})
    if interrupt_after is not None:
        line += "   # SIGINT after %.2f s" % interrupt_after
    report.commands.append(("rip", line))
    done = procs.run(args, env, timeout, interrupt_after=interrupt_after)
    return done, track_files(out)


def rip_paranoia(tools: Tools, case: Case, work: str, env: Dict[str, str], timeout: float, report: CaseReport):
    """cd-paranoia -B on the same disc in a drive with the same jitter and
    read offset (untold) but no errors, events or speed limit: which tracks
    can be read exactly through that jitter."""
    folder = os.path.join(work, "paranoia")
    os.makedirs(folder, exist_ok=True)
    env = dict(env, ASAN_OPTIONS="detect_leaks=0")  # a sanitized drivesim preloads its runtime here too
    faults = Faults(jitter=case.faults.jitter, offset=case.faults.offset)
    args = [tools.bin("cadrix-drivesim"), "--image", os.path.join(work, "disc", "disc.cue")] + faults.drive_args()
    args += ["--", "sh", "-c", 'exec cd-paranoia -q -B -d "$CADRIX_DRIVESIM_DEVICE"']
    report.commands.append(("cd-paranoia", "cd %s && %s" % (folder, procs.command_line(args, {}))))
    done = procs.run(args, env, timeout, cwd=folder)
    pcm: Dict[int, bytes] = {}
    for name in sorted(os.listdir(folder)):
        match = re.match(r"track(\d\d)\.cdda\.wav$", name)
        if match:
            with open(os.path.join(folder, name), "rb") as f:
                problem, data = wave_data(f.read())
            if data is not None:
                pcm[int(match.group(1))] = data
    return done, pcm


def drive_event(work: str):
    """(kind, reads, lba, count) of the eject or change the drive logged."""
    try:
        with open(os.path.join(work, "drive.log"), errors="replace") as log:
            match = _EVENT.search(log.read())
    except OSError:
        return None
    if not match:
        return None
    kind = "eject" if match.group(1) == "ejected" else "disc-change"
    return kind, int(match.group(2)), int(match.group(3)), int(match.group(4))


def run_case(tools: Tools, seed: int, work: str) -> CaseReport:
    """Draws case `seed`, runs it in `work` and judges what it left."""
    report = CaseReport(seed, work=work)
    report.commands.append(("env", environment_line(work, tools.build)))
    case, audio = draw_case(seed, lambda plan: make_disc(tools, plan, work, report))
    env = rip_environment(base_environment(os.path.join(work, "home")), case.fmt)
    if case.second:
        make_disc(tools, case.second, os.path.join(work, "second"), report)
    report.description = case.describe()
    seconds = expected_seconds(case, audio, tools.slow)
    timeout = 30 * tools.slow + 4 * seconds
    oracle, oracle_decoded = rip_virtual(tools, case, work, env, timeout, report)
    interrupt = case.interrupt * seconds if case.interrupt is not None else None
    rip, files = rip_emulated(tools, case, work, env, timeout, report, interrupt)
    report.seconds, report.status, report.output = rip.seconds, rip.status, rip.stdout + rip.stderr
    evidence = Evidence(case, audio, rip, files, {}, oracle, oracle_decoded, drive_event(work))
    if rip.status is not None:
        evidence.decoded = _decode_all(files, case.fmt)
    # The second oracle: always under jitter (what it cannot correct is not
    # held against the rip), now and then elsewhere, as a check of the model.
    if shutil.which("cd-paranoia") and (case.faults.jitter or seed % 4 == 0):
        paranoia, pcm = rip_paranoia(tools, case, work, env, timeout, report)
        evidence.paranoia_exact, report.notes = paranoia_verdict(case, audio, paranoia, pcm)
    report.findings = judge(evidence)
    report.notes += evidence.notes
    return report
