"""Quotes as GATELINK's quote handler packs them for a recorder: one fixed-size row of native
numbers per quote (market_recording.hpp in gatelink lays it out), so that the writing thread
turns a second of quotes into columns with a few array operations rather than a conversion
per value while it holds the GIL.

A row holds the received time, the quote-type value, the price, the volume, the server time
(UTC nanoseconds), the code of the full name (its position in the recorder's
``quote_names``) and flags. A quote with values that do not fit (a price that is no float,
...) is a row flagged IN_LISTS,
its values appended to the recorder's lists: the rows keep the order of all quotes."""

ROW_SIZE = 48
IS_VALID, HAS_VOLUME, IN_LISTS, HAS_SERVER_TIME = 1, 2, 4, 8


def row_type():
    import numpy as np

    return np.dtype({"names": ["received", "quote_type_value", "price", "volume", "server_time",
                               "full_name", "flags"],
                     "formats": ["=i8", "=i8", "=f8", "=f8", "=i8", "=i4", "u1"],
                     "offsets": [0, 8, 16, 24, 32, 40, 44], "itemsize": ROW_SIZE})


def take(packed, names):
    """The whole rows the bytearray ``packed`` holds now, taken out of it (the handler only
    ever appends whole rows), and the names their codes stand for."""
    size = len(packed) // ROW_SIZE * ROW_SIZE
    rows = packed[:size]
    del packed[:size]
    # Taken after the rows: every code they hold is in it.
    return rows, list(names)


def unlisted(packed):
    """How many of the rows in ``packed`` are not flagged IN_LISTS (their quotes are in no
    list)."""
    import numpy as np

    rows = np.frombuffer(bytes(packed[:len(packed) // ROW_SIZE * ROW_SIZE]), dtype=row_type())
    return int(((rows["flags"] & IN_LISTS) == 0).sum())


def arrays(rows, names):
    """(arrays by field name of the rows not flagged IN_LISTS, the flagged rows' positions as
    a numpy bool array)."""
    import numpy as np
    import pyarrow as pa

    packed = np.frombuffer(rows, dtype=row_type())
    listed = (packed["flags"] & IN_LISTS) != 0
    if listed.any():
        packed = packed[~listed]

    def column(name):
        return np.ascontiguousarray(packed[name])

    flags = column("flags")
    full_name = pa.DictionaryArray.from_arrays(pa.array(column("full_name")),
                                               pa.array(names, pa.string()))
    return {"received": pa.array(column("received")),
            "server_time": pa.array(column("server_time"), pa.timestamp("ns", tz="UTC"),
                                    mask=(flags & HAS_SERVER_TIME) == 0),
            "full_name": full_name,
            "quote_type_value": pa.array(column("quote_type_value")),
            "price": pa.array(column("price")),
            "volume": pa.array(column("volume"), mask=(flags & HAS_VOLUME) == 0),
            "is_valid": pa.array((flags & IS_VALID) != 0)}, listed


def interleave(plain, listed_arrays, listed):
    """The packed rows' arrays and the listed rows' in the order of the rows: ``listed``
    says which rows are the listed ones."""
    import numpy as np
    import pyarrow as pa

    count = len(listed)
    order = np.empty(count, dtype=np.int64)
    plain_count = count - int(listed.sum())
    order[~listed] = np.arange(plain_count)
    order[listed] = plain_count + np.arange(count - plain_count)
    indices = pa.array(order)
    merged = {}
    for name, array in plain.items():
        other = listed_arrays[name]
        if pa.types.is_dictionary(array.type) and not pa.types.is_dictionary(other.type):
            array = array.dictionary_decode()
        merged[name] = pa.concat_arrays([array, other.cast(array.type)]).take(indices)
    return merged
