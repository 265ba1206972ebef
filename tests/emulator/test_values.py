"""Values crossing COM arrive as a VARIANT carries them, both ways; COM dates; failures inside a
server method reach the caller as com_error."""
import datetime as dt
import decimal
import enum
import math
import time

import numpy
import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

import corvane_emulator as emu
import pythoncom
import pywintypes
import win32com.client

from emulator_helpers import call_from_another_apartment

pytestmark = pytest.mark.timeout(20)

UTC = dt.timezone.utc
NOT_A_VARIANT = r"^Objects of type '%s' can not be converted to a COM VARIANT$"


class Level(enum.IntEnum):
    HIGH = 3


class Text(str):
    pass


@pytest.mark.parametrize("sent, received", [
    (True, True),
    (7, 7),
    (2 ** 40, 2 ** 40),
    (Level.HIGH, 3),
    (numpy.int64(5), 5.0),
    (numpy.float64(1.5), 1.5),
    (Text("x"), "x"),
    (decimal.Decimal("1.2500"), decimal.Decimal("1.2500")),
    ([1, [2, "a"]], (1, (2, "a"))),
    (b"\x00\x01", b"\x00\x01"),
    (None, None),
])
def test_values_make_the_round_trip_as_a_variant_carries_them(apartment, sent, received):
    probe = emu.make_probe()
    probe.Value = sent
    for got in (probe.Value, probe.Echo(sent)):
        assert got == received and type(got) is type(received)
        if isinstance(got, tuple):
            assert type(got[1]) is tuple


def test_values_no_variant_can_carry_never_leave_the_caller(late_bound, owner_thread):
    # Late-bound: a generated Startup() refuses any argument before conversion.
    cel = owner_thread().proxy()
    with pytest.raises(TypeError, match=NOT_A_VARIANT % "object"):
        cel.Startup(object())
    with pytest.raises(TypeError, match=NOT_A_VARIANT % "set"):
        cel.APIConfiguration.UseOrderSide = {1}
    with pytest.raises(OverflowError):
        cel.Startup(2 ** 64)
    assert emu.cel_calls() == [] and emu.configuration_log() == []

    cel.APIConfiguration.UseOrderSide = numpy.int64(1)  # a VT_R8 on the way
    [(name, value)] = emu.configuration_log()
    assert name == "UseOrderSide" and value == 1.0 and type(value) is float


def test_objects_sent_arrive_as_objects(apartment):
    probe = emu.make_probe()
    cel = win32com.client.Dispatch("CQG.CQGCEL.4")
    for sent in (cel, cel._oleobj_):
        back = probe.Echo(sent)
        assert type(back) is type(cel) and back == cel


class ArgumentSink:
    def __init__(self):
        self.seen = []

    def OnValues(self, *args):
        self.seen.append(args)


def test_event_arguments_arrive_converted_and_unconvertible_ones_reach_nobody(apartment):
    cel = win32com.client.Dispatch("CQG.CQGCEL.4")
    sink = win32com.client.WithEvents(cel, ArgumentSink)
    emu.fire_event("Values", numpy.int64(2), [1.5, Level.HIGH], cel)
    with pytest.raises(TypeError, match=NOT_A_VARIANT % "object"):
        emu.fire_event("Values", 1, object())
    pythoncom.PumpWaitingMessages()
    [(count, array, obj)] = sink.seen
    assert count == 2.0 and type(count) is float
    assert array == (1.5, 3) and type(array[1]) is int
    assert type(obj) is type(cel) and obj == cel  # wrapped, as the events class hands it over


def test_com_dates_are_utc_labelled_wall_clock_times_kept_to_the_millisecond():
    assert pywintypes.datetime is pywintypes.TimeType
    assert issubclass(pywintypes.TimeType, dt.datetime)
    stamp = emu.make_com_time(1767571200 + 3723.1239)  # 2026-01-05 01:02:03.1239
    assert type(stamp) is pywintypes.TimeType and stamp.tzinfo is UTC
    # Milliseconds rounded to the nearest, not cut.
    assert (stamp.hour, stamp.minute, stamp.second, stamp.microsecond) == (1, 2, 3, 124000)
    assert str(stamp) == "2026-01-05 01:02:03.124000+00:00"
    assert stamp.Format("%H:%M") == "01:02"

    naive = dt.datetime(2026, 1, 5, 1, 2, 3)
    with pytest.raises(TypeError):
        stamp < naive
    with pytest.raises(TypeError):
        stamp - naive
    wall_clock = dt.datetime(year=stamp.year, month=stamp.month, day=stamp.day, hour=stamp.hour,
                             minute=stamp.minute, second=stamp.second)
    assert wall_clock == naive


@settings(max_examples=400, deadline=None)
@given(st.one_of(st.floats(min_value=-62135596800.0, max_value=253402300799.0),
                 st.integers(min_value=-62135596800, max_value=253402300799).map(float),
                 st.sampled_from([0.0, -0.0005, 951782400.0, 951868799.999, 4107542400.0,
                                  -2203891200.0, 253402300799.999])))
def test_com_dates_fall_on_the_calendar_day_datetime_gives(seconds):
    stamp = emu.make_com_time(seconds)
    milliseconds = math.floor(seconds * 1000 + 0.5)
    expected = dt.datetime(1970, 1, 1, tzinfo=UTC) + dt.timedelta(milliseconds=milliseconds)
    assert type(stamp) is pywintypes.TimeType and stamp.tzinfo is UTC
    assert stamp == expected and str(stamp) == str(expected)


@pytest.mark.parametrize("seconds", [math.nan, math.inf, -math.inf, 1e20, -1e20])
def test_com_dates_outside_the_calendar_are_refused(seconds):
    with pytest.raises((ValueError, OverflowError, OSError)):
        emu.make_com_time(seconds)


def test_dates_sent_arrive_in_utc_a_naive_one_taken_as_local_time(apartment, monkeypatch):
    monkeypatch.setenv("TZ", "CST-8")  # eight hours east of UTC, no time-zone files needed
    time.tzset()
    try:
        probe = emu.make_probe()
        back = probe.Echo(dt.datetime(2026, 1, 5, 9, 30, 0, 123456))
        assert type(back) is pywintypes.TimeType and back.tzinfo is UTC
        assert back == dt.datetime(2026, 1, 5, 1, 30, 0, 123000, tzinfo=UTC)
        plus_two = dt.timezone(dt.timedelta(hours=2))
        assert probe.Echo(dt.datetime(2026, 1, 5, 9, 30, tzinfo=plus_two)) == \
            dt.datetime(2026, 1, 5, 7, 30, tzinfo=UTC)
        stamp = emu.make_com_time(1767571200.5)
        assert probe.Echo(stamp) == stamp and str(probe.Echo(stamp)) == str(stamp)
    finally:
        monkeypatch.undo()
        time.tzset()


@pytest.mark.parametrize("member, args, description", [
    ("RaisePythonError", ("bad price",), "ValueError: bad price"),
    ("ThrowCppError", ("engine broke",), "engine broke"),
    ("ReturnUnconvertible", (),
     "TypeError: Objects of type 'object' can not be converted to a COM VARIANT"),
])
def test_a_failure_inside_a_server_method_reaches_the_caller_as_com_error(
        apartment, member, args, description):
    probe = emu.make_probe()

    def call(obj):
        try:
            getattr(obj, member)(*args)
        except Exception as error:  # returned to the test
            return error

    for error in (call(probe), call_from_another_apartment(probe, call)):
        assert type(error) is pythoncom.com_error
        assert error.hresult == -2147352567 and error.strerror == "Exception occurred."
        assert error.excepinfo[1:3] == ("CorvaneEmulator.Probe", description)


def test_com_errors_of_the_server_itself_pass_unchanged(late_bound, apartment):
    probe = emu.make_probe()
    with pytest.raises(pythoncom.com_error) as raised:
        probe.RaisePythonError()
    assert raised.value.hresult == -2147352562  # wrong number of arguments
