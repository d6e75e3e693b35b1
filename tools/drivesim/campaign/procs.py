"""Running a program under test: in a session of its own, bounded in time,
interrupted on request, its output kept."""

import os
import re
import shlex
import signal
import subprocess
import time
from dataclasses import dataclass
from typing import Dict, List, Optional

_SANITIZER = re.compile(r"ERROR: (Address|Leak|Memory|Thread)Sanitizer|WARNING: ThreadSanitizer|"
                        r"runtime error:|SUMMARY: UndefinedBehaviorSanitizer")


@dataclass
class Outcome:
    status: Optional[int]  # exit status, 128 + N after signal N; None: killed at the time limit
    stdout: str
    stderr: str
    seconds: float
    interrupted: bool = False  # SIGINT was sent while it ran

    def sanitizer_report(self) -> Optional[str]:
        match = _SANITIZER.search(self.stderr)
        if not match:
            return None
        return self.stderr[match.start():].splitlines()[0]


def _finish(proc: subprocess.Popen, deadline: float):
    """Waits for `proc` up to `deadline`; kills its session past it."""
    try:
        out, err = proc.communicate(timeout=max(0.0, deadline - time.monotonic()))
        return out, err, False
    except subprocess.TimeoutExpired:
        os.killpg(proc.pid, signal.SIGKILL)
        out, err = proc.communicate()
        return out, err, True


def run(args: List[str], env: Dict[str, str], timeout: float, cwd: Optional[str] = None,
        interrupt_after: Optional[float] = None) -> Outcome:
    """Runs `args`; sends it SIGINT after `interrupt_after` seconds if it
    still runs (cadrix-drivesim passes it on, as a terminal's Ctrl-C would)."""
    start = time.monotonic()
    proc = subprocess.Popen(args, env=env, cwd=cwd, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                            start_new_session=True)
    interrupted = False
    out = err = b""
    timed_out = False
    if interrupt_after is not None:
        try:
            out, err = proc.communicate(timeout=interrupt_after)
        except subprocess.TimeoutExpired:
            proc.send_signal(signal.SIGINT)
            interrupted = True
    if proc.returncode is None:
        out, err, timed_out = _finish(proc, start + timeout)
    status = None if timed_out else (proc.returncode if proc.returncode >= 0 else 128 - proc.returncode)
    return Outcome(status, out.decode(errors="replace"), err.decode(errors="replace"),
                   time.monotonic() - start, interrupted)


def command_line(args: List[str], env_changes: Dict[str, str]) -> str:
    """A shell line that repeats the run."""
    settings = ["%s=%s" % (k, shlex.quote(v)) for k, v in sorted(env_changes.items())]
    return " ".join(settings + [shlex.join(args)])
