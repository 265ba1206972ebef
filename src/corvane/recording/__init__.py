"""Recording a market session as the gateway receives it from CQGCEL, and reading it back.

A recording is a folder: ``meta.json`` (format version, start, end, instruments) and one
folder of Parquet parts per kind of event (``quotes``, ``ticks``, ``bars``), each part a
complete file, so that ``pandas.read_parquet(folder / "quotes")`` reads every quote at once.

    recorder = Recorder("session.rec").attach(gateway)   # a CqgGateway
    ...
    recorder.close()

    recording = open_recording("session.rec")
    for event in recording.events():      # ("quote", time_ns, full_name, ...), ...
        ...

Nothing here imports the CQG modules, pywin32 or the emulator, and pyarrow is imported
only when a recording is written or read.
"""

from corvane.recording.csv_history import read_csv_history
from corvane.recording.layout import FORMAT_VERSION
from corvane.recording.reader import Recording, open_recording
from corvane.recording.recorder import Recorder

__all__ = ["FORMAT_VERSION", "Recorder", "Recording", "open_recording", "read_csv_history"]
