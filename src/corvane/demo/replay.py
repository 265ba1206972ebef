"""What the demo replays: a recording folder or a CSV history, read into replay events, and
the line of the summary that says which and what span."""
from dataclasses import dataclass
from datetime import datetime, timezone
from pathlib import Path


class ReplayError(ValueError):
    """What was given to replay cannot be read (another format version, a bad CSV row)."""


@dataclass
class ReplaySource:
    path: Path
    kind: str          # "recording" or "CSV history"
    events: list
    cut: bool = False  # a recording whose process ended without closing it


def open_replay(path):
    """A recording folder or a CSV history file, read; ReplayError (naming the line of a bad
    CSV row, or the format version of another recording) for anything else."""
    from corvane.recording import open_recording, read_csv_history

    path = Path(path)
    try:
        if path.is_dir():
            recording = open_recording(path)
            return ReplaySource(path, "recording", list(recording.events()), recording.cut)
        return ReplaySource(path, "CSV history", list(read_csv_history(path)))
    except (OSError, ValueError) as error:
        raise ReplayError(f"cannot replay {path}: {error}") from error


def cut_notice(source):
    return (f"{source.path} was cut mid-write (its recorder never closed it): replaying up to "
            f"its last complete event")


def summary_line(source, loaded, stats):
    """Which recording, the span it covers and how much of it was replayed."""
    def utc(seconds):
        return datetime.fromtimestamp(seconds, timezone.utc)

    start, end = utc(loaded["start"]), utc(loaded["end"])
    line = (f"{source.path} ({source.kind}{', cut' if source.cut else ''}): "
            f"{start:%Y-%m-%d %H:%M:%S} to {end:%Y-%m-%d %H:%M:%S} UTC, "
            f"{stats['posted']} of {stats['events']} events")
    if loaded["left_out"]:
        line += "; left out: " + ", ".join(f"{symbol} ({count})"
                                           for symbol, count in loaded["left_out"].items())
    return line
