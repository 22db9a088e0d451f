"""The options of `zelhost render`, read from its own --help, so that zelfarm takes what the zelhost
beside it takes without a second list to keep in step."""

import re
import subprocess
from dataclasses import dataclass

#: Options zelfarm reads itself before it passes the rest on: the inputs and outputs become each
#: task's own, and the range and the sound decide how a file is split.
OWN = {"--input", "--output", "--overwrite", "--start", "--frames", "--duration", "--audio", "--no-audio",
       "--quiet", "--threads", "--help"}

_LINE = re.compile(r"^  (-\w,)?(--[\w-]+)(?: ([^\s].*?))?(?:\s{2,}(\S.*))?$")


@dataclass
class RenderOption:
    long: str
    short: str | None
    metavar: str | None  #: None: a flag
    help: str

    @property
    def takes_value(self):
        return self.metavar is not None


def parse_help(text):
    """The options listed under "Options:" in zelhost render's --help, in their order."""
    options, section, last = [], None, None
    for line in text.splitlines():
        if line and not line.startswith(" "):
            section = line.rstrip(":")
            last = None
            continue
        if section != "Options":
            continue
        m = _LINE.match(line)
        if m:
            short = m.group(1)[:-1] if m.group(1) else None
            words = (m.group(3) or "").split()
            words = [w for w in words if w not in ("REQUIRED", "...")]
            last = RenderOption(m.group(2), short, words[0] if words else None, m.group(4) or "")
            options.append(last)
        elif last is not None and line.strip() and not last.help:
            last.help = line.strip()
    return options


def read_options(zelhost):
    """Runs `zelhost render --help`; raises RuntimeError when it cannot."""
    try:
        done = subprocess.run([zelhost, "render", "--help"], capture_output=True, text=True, check=False, timeout=60)
    except OSError as e:
        raise RuntimeError("cannot run %s: %s" % (zelhost, e.strerror)) from e
    options = parse_help(done.stdout)
    if done.returncode != 0 or not any(o.long == "--output" for o in options):
        raise RuntimeError("%s render --help did not list its options" % zelhost)
    return options
