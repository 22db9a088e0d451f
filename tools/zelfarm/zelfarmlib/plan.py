"""The plan: which `zelhost render` commands make each output, and how FFmpeg joins their chunks.

A file is one task, or, when it is long, chunks of --chunk-frames rendered with --start/--frames
as video only; the join copies the chunks' video one after another and takes the sound, subtitles,
time code, metadata and chapters from the source once, as one render of the whole file does. The
plan is data: zelfarm runs it on Dask, and `zelfarm plan` prints it for any other queue.
"""

import bisect
import concurrent.futures
import json
import os
import shlex
import subprocess
from dataclasses import dataclass, field
from fractions import Fraction

#: Containers whose files can be made from chunks (the others are written by one task).
CONTAINERS = {"mp4": "mp4", "mov": "mov", "mkv": "matroska"}
#: What a folder given as -i contributes: its video files, by extension.
VIDEO_EXTENSIONS = {"mp4", "mov", "mkv", "m4v", "mxf", "avi", "mts", "m2ts", "ts", "webm", "mpg", "mpeg", "y4m",
                    "dv", "flv", "3gp", "wmv", "ogv", "nut"}


#: Text subtitles, which a container that does not take them gets as its own (as one render
#: converts them), by the container's text subtitle codec.
TEXT_SUBTITLES = {"subrip", "srt", "ass", "ssa", "mov_text", "webvtt", "text"}
TEXT_SUBTITLE_CODEC = {"mp4": "mov_text", "mov": "mov_text", "matroska": "ass"}

#: Tags of the source that describe its own encoding, not the output's (one render drops them too).
STALE_TAGS = ("encoder", "major_brand", "minor_version", "compatible_brands", "duration")


#: Files probed at once while planning: the work is reading, so more than the cores is fine.
PROBES_AT_ONCE = 8


class PlanError(Exception):
    """A file that cannot be planned: named in one line, the other files go on."""


class UsageError(Exception):
    """A command line that cannot work for any file: exit code 2."""


@dataclass
class Request:
    """What the user asked for, checked: the same settings for every file."""
    zelhost: str
    inputs: list            #: absolute paths of files (folders already expanded); empty: the test pattern
    output: str             #: a path, a {name}/{ext} pattern, or a folder ending in "/"
    work_dir: str           #: where the chunks go: a folder every worker reaches
    passed: list            #: zelhost render options given on to every task, as an argument list
    overwrite: bool = False
    start: int = 0
    frames: int | None = None
    duration: str | None = None
    audio: str = "auto"
    threads: str | None = None
    shortest: bool = False  #: the other streams end with the video (else each keeps its whole length)
    chunk_frames: int = 0   #: 0: no chunks, a file per task


@dataclass
class Task:
    args: list              #: the zelhost command, as an argument list
    output: str             #: the file it writes
    frames: int | None      #: frames it renders, where known


@dataclass
class FilePlan:
    input: str | None
    output: str
    error: str | None = None
    tasks: list = field(default_factory=list)
    frames: int | None = None
    join_list: str | None = None      #: path of FFmpeg's concat list
    join_list_text: str | None = None
    join: list | None = None          #: the FFmpeg command that joins the chunks
    result: str | None = None         #: the finished file in the work folder, moved to `output` last
    notes: list = field(default_factory=list)

    def to_json(self):
        d = {"input": self.input, "output": self.output}
        if self.error:
            d["error"] = self.error
            return d
        d["frames"] = self.frames
        d["tasks"] = [{"args": t.args, "output": t.output, "frames": t.frames} for t in self.tasks]
        if self.join:
            d["join"] = {"list": self.join_list, "list_text": self.join_list_text, "args": self.join}
        d["result"] = self.result
        if self.notes:
            d["notes"] = self.notes
        return d


# --- Inputs and outputs -------------------------------------------------------------------------

def extension(path):
    name = os.path.basename(path)
    return name.rsplit(".", 1)[1].lower() if "." in name.lstrip(".") else ""


def expand_inputs(inputs):
    """Files as given, and the video files of each folder (sorted, hidden ones left out)."""
    files = []
    for path in inputs:
        if os.path.isdir(path):
            found = sorted(os.path.join(path, n) for n in os.listdir(path)
                           if not n.startswith(".") and extension(n) in VIDEO_EXTENSIONS
                           and os.path.isfile(os.path.join(path, n)))
            if not found:
                raise UsageError("-i %s: the folder holds no video file (%s)" % (quoted(path), ", ".join(
                    "." + e for e in sorted(VIDEO_EXTENSIONS))))
            files += found
        else:
            files.append(path)
    return files


def is_pattern(output):
    return output.endswith("/") or "{name}" in output or "{ext}" in output


def output_for(pattern, path):
    """The output of input `path`: {name} is its name without extension, {ext} its extension; a
    folder ending in "/" keeps the whole name."""
    name = os.path.basename(path)
    if pattern.endswith("/"):
        return pattern + name
    stem = name.rsplit(".", 1)[0] if "." in name.lstrip(".") else name
    return pattern.replace("{name}", stem).replace("{ext}", extension(name))


def quoted(text):
    return "'" + str(text) + "'"


# --- Probing ------------------------------------------------------------------------------------

@dataclass
class Probe:
    format_name: str
    start: float                #: seconds: the earliest start of any stream (FFmpeg's origin)
    streams: list               #: ffprobe's stream records
    video: dict | None          #: the video stream rendered
    pts: list                   #: presentation times of its frames, sorted, in its time base
    time_base: Fraction
    keyframes: list = field(default_factory=list)  #: indices of the frames coded as keyframes


def _fraction(text, default=Fraction(0)):
    try:
        num, _, den = str(text).partition("/")
        return Fraction(int(num), int(den or 1)) if int(den or 1) != 0 else default
    except ValueError:
        return default


def probe(path):
    done = subprocess.run(["ffprobe", "-v", "error", "-show_streams", "-show_format", "-of", "json", path],
                          capture_output=True, text=True, check=False)
    if done.returncode != 0:
        raise PlanError("cannot read %s: %s" % (quoted(path), last_line(done.stderr) or "ffprobe failed"))
    info = json.loads(done.stdout or "{}")
    streams = info.get("streams", [])
    video = next((s for s in streams if s.get("codec_type") == "video"
                  and not s.get("disposition", {}).get("attached_pic")), None)
    pts, keys, tb = [], set(), Fraction(1)
    if video is not None:
        tb = _fraction(video.get("time_base"), Fraction(1))
        done = subprocess.run(["ffprobe", "-v", "error", "-select_streams", str(video["index"]), "-show_entries",
                               "packet=pts,flags", "-of", "csv=p=0", path], capture_output=True, text=True,
                              check=False)
        for line in done.stdout.splitlines():
            value, _, flags = line.partition(",")
            # Packets an edit list hides are not shown: they are no frame of the file.
            if value.strip().lstrip("-").isdigit() and "D" not in flags:
                pts.append(int(value))
                if "K" in flags:
                    keys.add(int(value))
        pts.sort()
    keyframes = [n for n, t in enumerate(pts) if t in keys]
    fmt = info.get("format", {})
    try:
        start = float(fmt.get("start_time", 0))
    except ValueError:
        start = 0.0
    return Probe(fmt.get("format_name", ""), start, streams, video, pts, tb, keyframes)


def last_line(text):
    lines = [line.strip() for line in (text or "").splitlines() if line.strip()]
    return lines[-1] if lines else ""


# --- The join -----------------------------------------------------------------------------------

def _copy_works(source, index, fmt):
    """Whether the container takes a copy of the stream: FFmpeg's muxer sets itself up with it."""
    done = subprocess.run(["ffmpeg", "-nostdin", "-v", "error", "-i", source, "-map", "0:%d" % index, "-c", "copy",
                           "-t", "0", "-f", fmt, "-y", os.devnull], capture_output=True, check=False)
    return done.returncode == 0


def _seconds(text):
    try:
        return float(text)
    except (TypeError, ValueError):
        return None


def _is_cover(stream):
    """A cover picture: a video stream of one picture outside the timeline."""
    return stream.get("codec_type") == "video" and stream.get("disposition", {}).get("attached_pic") == 1


def kept_streams(source, info, fmt, audio):
    """The source's other streams as one render keeps them: (index, "copy", "encode" or the text
    subtitle codec to convert to) each, and the notes for what is left out, encoded or converted."""
    kept, notes = [], []
    timecode = info.video is not None and "timecode" in {k.lower() for k in info.video.get("tags", {})}
    for s in info.streams:
        if info.video is not None and s["index"] == info.video["index"]:
            continue
        kind, codec = s.get("codec_type", "other"), s.get("codec_name", "none")
        name = "stream %d (%s, %s)" % (s["index"], kind, codec)
        if kind == "audio" and audio == "none":
            continue
        cover = _is_cover(s)
        if cover:
            name = "stream %d (cover picture, %s)" % (s["index"], codec)
        if kind == "video" and not (cover and fmt == "mp4"):
            notes.append("not kept: " + name)
            continue
        if kind == "data" and codec in ("none", "unknown", "") and timecode:
            continue  # a time code track: the muxer writes its own from the video's tag
        copyable = _copy_works(source, s["index"], fmt)
        if kind == "audio" and (audio == "encode" or (audio == "auto" and not copyable)):
            kept.append((s["index"], "encode"))
            notes.append(name + " encoded")
        elif copyable:
            kept.append((s["index"], "copy"))
        elif kind == "subtitle" and codec in TEXT_SUBTITLES and fmt in TEXT_SUBTITLE_CODEC:
            kept.append((s["index"], TEXT_SUBTITLE_CODEC[fmt]))
            notes.append(name + " converted to " + TEXT_SUBTITLE_CODEC[fmt])
        else:
            notes.append("not kept: " + name)
    return kept, notes


def _time(seconds):
    return "%.6f" % seconds


def make_join(source, info, chunks, frames, output_ext, audio, list_path, joined, cut):
    """The concat list and the FFmpeg command that make `joined` from `chunks` [(start, path)]."""
    fmt = CONTAINERS[output_ext]
    kept, notes = kept_streams(source, info, fmt, audio)
    tb = info.time_base
    rate = _fraction(info.video.get("avg_frame_rate")) or _fraction(info.video.get("r_frame_rate")) or Fraction(25)
    pts = info.pts[:frames]
    first = pts[0] * tb
    by_index = {s["index"]: s for s in info.streams}
    # A cover picture has no place in time (one render leaves it out of the origin too).
    starts = [None if _is_cover(by_index[i]) else _seconds(by_index[i].get("start_time")) for i, _ in kept]
    # Output time 0, as one render puts it: the earliest start of the video and the streams kept,
    # so that each keeps its place against the video.
    origin = min([float(first)] + [s for s in starts if s is not None])
    # The first chunk is the file's beginning: its own time 0 is the earliest of its video and the
    # other streams it kept (no sound), which its list entry skips so that every chunk starts at
    # its first frame.
    chunk0_starts = [s for (i, how), s in zip(kept, starts)
                     if s is not None and by_index[i].get("codec_type") != "audio"]
    lead0 = float(first) - min([float(first)] + chunk0_starts)
    lines = ["ffconcat version 1.0"]
    for n, (k, path) in enumerate(chunks):
        lines.append("file " + _concat_quoted(path))
        if n == 0 and lead0 > 0:
            lines.append("inpoint " + _time(lead0))
        if n + 1 < len(chunks):
            # Durations from the source's own timestamps, rounded so that their running sum stays
            # on the exact start of the next chunk.
            here, there = (pts[k] - pts[0]) * tb, (pts[chunks[n + 1][0]] - pts[0]) * tb
            micro = round(there * 1000000) - round(here * 1000000)
            lines.append("duration %d.%06d" % divmod(micro, 1000000))
    # One render keeps every other stream at its whole length, and ends them with the video for
    # --shortest or a part (--frames): its last frame's time plus a frame at the rate.
    end = float(pts[-1] * tb) - origin + float(1 / rate) if cut else None
    args = ["ffmpeg", "-nostdin", "-v", "error", "-y", "-f", "concat", "-safe", "0"]
    if float(first) - origin > 0:
        args += ["-itsoffset", _time(float(first) - origin)]
    args += ["-i", list_path]
    if info.start < origin:
        args += ["-itsoffset", _time(info.start - origin)]
    args += ["-i", source, "-map", "0:v:0"]
    for index, _ in kept:
        args += ["-map", "1:%d" % index]
    args += ["-map_metadata", "1", "-map_chapters", "1", "-map_metadata:s:0", "1:s:%d" % info.video["index"],
             "-c:0", "copy"]
    for n, (index, how) in enumerate(kept, start=1):
        args += ["-map_metadata:s:%d" % n, "1:s:%d" % index]
        if how != "encode":
            args += ["-c:%d" % n, how]  # a copy, or the container's text subtitles
        # MP4 and MOV have no stream titles: as in one render, a title becomes the track's name.
        tags = {k.lower(): v for k, v in by_index[index].get("tags", {}).items()}
        if fmt in ("mp4", "mov") and "title" in tags and "handler_name" not in tags:
            args += ["-metadata:s:%d" % n, "handler_name=" + tags["title"]]
    # Tags the encoder or muxer writes for itself: a copy would carry the source's stale values.
    for stale in STALE_TAGS:
        args += ["-metadata", stale + "="]
        for n in range(len(kept) + 1):
            args += ["-metadata:s:%d" % n, stale + "="]
    if fmt in ("mp4", "mov"):
        args += ["-movflags", "+faststart"]
    if end is not None:
        args += ["-t", _time(end)]
    args += ["-f", fmt, joined]
    return "\n".join(lines) + "\n", args, notes


def _concat_quoted(path):
    return "'" + path.replace("'", "'\\''") + "'"


# --- Planning a file ----------------------------------------------------------------------------

def _task_args(req, input_path, output, start=None, frames=None, audio=None):
    args = [req.zelhost, "render"]
    if input_path is not None:
        args += ["-i", input_path]
    args += ["-o", output, "-y", "-q"]
    if start is not None:
        args += ["--start", str(start)]
    elif req.start:
        args += ["--start", str(req.start)]
    if frames is not None:
        args += ["--frames", str(frames)]
    elif req.frames is not None:
        args += ["--frames", str(req.frames)]
    elif req.duration is not None:
        args += ["--duration", req.duration]
    args += ["--audio", audio or req.audio]
    if req.threads:
        args += ["--threads", req.threads]
    return args + req.passed


def chunk_starts(frames, size, keyframes):
    """The first frames of the chunks: every `size` frames, each moved to the source's keyframe
    nearest to it within half a chunk, so that a chunk's render does not decode the frames before
    its start to reach it (about a CPU-second per chunk of 1080p H.264 with a 10 s keyframe
    interval). Without a keyframe near, the chunk starts where it would."""
    starts = [0]
    for target in range(size, frames, size):
        # Not nearer than half a chunk to the chunk before, nor further than that from the target.
        low, high = max(starts[-1] + size // 2, target - size // 2), target + size // 2
        near = keyframes[bisect.bisect_left(keyframes, low):bisect.bisect_right(keyframes, high)]
        start = min(near, key=lambda k: (abs(k - target), k)) if near else target
        if starts[-1] < start < frames:
            starts.append(start)
    return starts


def plan_file(req, input_path, output, folder):
    """The tasks that make `output` from `input_path`, writing into `folder` (the file's own in the
    work folder). Raises PlanError for a file that cannot be done as asked."""
    plan = FilePlan(input_path, output)
    ext = extension(output)
    result = os.path.join(folder, "whole." + (ext or "out"))
    # A file is split where its frames and the rest of it can be put together again as one render
    # gives them: a video file into a video container, from its first frame.
    info = probe(input_path) if input_path is not None and req.chunk_frames > 0 else None
    chunked = (info is not None and ext in CONTAINERS and info.video is not None and len(info.pts) > 1
               and not info.format_name.startswith("image2") and not info.format_name.endswith("_pipe")
               and req.start == 0 and req.duration is None)
    frames = None
    if chunked:
        frames = len(info.pts) if req.frames is None else min(req.frames, len(info.pts))
        chunked = frames > req.chunk_frames
    if not chunked:
        plan.tasks = [Task(_task_args(req, input_path, result), result, req.frames)]
        plan.result, plan.frames = result, frames
        return plan
    chunks = []
    starts = chunk_starts(frames, req.chunk_frames, info.keyframes)
    for k, end in zip(starts, starts[1:] + [frames]):
        n = end - k
        path = os.path.join(folder, "chunk-%09d.%s" % (k, ext))
        chunks.append((k, path))
        plan.tasks.append(Task(_task_args(req, input_path, path, start=k, frames=n, audio="none"), path, n))
    joined = os.path.join(folder, "joined." + ext)
    plan.join_list = os.path.join(folder, "chunks.ffconcat")
    plan.join_list_text, plan.join, plan.notes = make_join(input_path, info, chunks, frames, ext, req.audio,
                                                           plan.join_list, joined,
                                                           cut=req.shortest or req.frames is not None)
    plan.result, plan.frames = joined, frames
    return plan


def plan_all(req, run_folder):
    """A FilePlan per input, in order; a file that cannot be planned carries its error."""
    inputs = req.inputs or [None]
    if len(inputs) > 1 and not is_pattern(req.output):
        raise UsageError("-o %s: %d inputs need a pattern with {name} (and {ext}), or a folder ending in /" % (
            quoted(req.output), len(inputs)))
    plans, taken = [], {}
    for n, path in enumerate(inputs):
        output = output_for(req.output, path) if path is not None and is_pattern(req.output) else req.output
        output = os.path.abspath(output)
        folder = os.path.join(run_folder, "%04d-%s" % (n, os.path.basename(path or "pattern")))
        try:
            if path is not None and not os.path.exists(path):
                raise PlanError("cannot read %s: no such file" % quoted(path))
            if output in taken:
                raise PlanError("%s is the output of %s too" % (quoted(output), quoted(taken[output])))
            if path is not None and os.path.exists(output) and os.path.samefile(output, path):
                raise PlanError("-o %s is the input: the render would destroy it" % quoted(output))
            if not os.path.isdir(os.path.dirname(output)):
                raise PlanError("cannot write %s: folder %s does not exist" % (
                    quoted(output), quoted(os.path.dirname(output))))
            if os.path.lexists(output) and not req.overwrite:
                raise PlanError("%s exists already: add -y to replace it" % quoted(output))
            taken[output] = path
            plans.append((path, output, folder))
        except PlanError as e:
            plans.append(FilePlan(path, output, error=str(e)))

    # Probing is ffprobe and ffmpeg processes reading each file: side by side, a day of files is
    # planned in a fraction of the time one after another takes.
    def plan_one(item):
        if isinstance(item, FilePlan):
            return item
        path, output, folder = item
        try:
            return plan_file(req, path, output, folder)
        except PlanError as e:
            return FilePlan(path, output, error=str(e))

    with concurrent.futures.ThreadPoolExecutor(max_workers=PROBES_AT_ONCE) as pool:
        return list(pool.map(plan_one, plans))


# --- Printing -----------------------------------------------------------------------------------

def shell_tasks(plans):
    return [shlex.join(t.args) for p in plans if not p.error for t in p.tasks]


def shell_finish(plans, overwrite):
    """After every task: the joins, and each result moved to its output, then the work folder
    removed. A file whose task failed is left out by `set -e`'s stop, never half written."""
    lines = []
    for p in plans:
        if p.error:
            lines.append("# %s: %s" % (p.input, p.error))
            continue
        if p.join:
            lines.append("cat > %s <<'ZELFARM_LIST'\n%sZELFARM_LIST" % (shlex.quote(p.join_list), p.join_list_text))
            lines.append(shlex.join(p.join))
        lines.append(shlex.join(["mv", "-f" if overwrite else "-n", "--", p.result, p.output]))
    return lines
