"""Where a recording keeps what: the folder's files, the meta data and the column schemas."""
import json
import os

FORMAT_VERSION = 1

META_FILE = "meta.json"
KINDS = ("quotes", "ticks", "bars")

# A part is written under a name that starts with "." and renamed when complete; readers
# (pyarrow's dataset discovery included) skip names starting with "." or "_".
PART_PATTERN = "part-{:06d}.parquet"
TEMPORARY_PREFIX = "."


def schemas():
    """The Parquet schema of each kind; times are UTC nanoseconds."""
    import pyarrow as pa

    time = pa.timestamp("ns", tz="UTC")
    name = pa.dictionary(pa.int32(), pa.string())
    return {
        # `received` is when the gateway got the event (strictly increasing across all
        # kinds, the recording's order); `server_time` is CQG's own stamp where it gives one.
        "quotes": pa.schema([
            ("received", time), ("server_time", time), ("full_name", name),
            ("quote_type", name), ("quote_type_value", pa.int64()), ("price", pa.float64()),
            ("volume", pa.float64()), ("is_valid", pa.bool_()),
        ]),
        "ticks": pa.schema([
            ("received", time), ("server_time", time), ("symbol", name),
            ("price_type", name), ("price_type_value", pa.int64()), ("price", pa.float64()),
            ("volume", pa.float64()),
        ]),
        # A bar as it was when the request resolved (its history), when a bar was added, or
        # when the forming bar was updated; null where CQG left the value missing.
        "bars": pa.schema([
            ("received", time), ("event", name), ("symbol", name), ("bar_start", time),
            ("open", pa.float64()), ("high", pa.float64()), ("low", pa.float64()),
            ("close", pa.float64()), ("actual_volume", pa.float64()),
            ("tick_volume", pa.float64()),
        ]),
    }


def write_meta(folder, meta):
    """Replaces meta.json whole (a reader sees the old or the new one, never a mix)."""
    temporary = os.path.join(folder, TEMPORARY_PREFIX + META_FILE)
    with open(temporary, "w", encoding="utf-8") as out:
        json.dump(meta, out, indent=1)
        out.flush()
        os.fsync(out.fileno())
    os.replace(temporary, os.path.join(folder, META_FILE))


def part_files(folder, kind):
    """The complete parts of one kind, in the order they were written."""
    directory = os.path.join(folder, kind)
    if not os.path.isdir(directory):
        return []
    names = sorted(name for name in os.listdir(directory)
                   if name.startswith("part-") and name.endswith(".parquet"))
    return [os.path.join(directory, name) for name in names]
