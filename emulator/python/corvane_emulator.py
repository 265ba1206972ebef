"""Control of the CQGCEL emulator, for tests and the demo.

On hosts without pywin32 the modules ``pythoncom``, ``win32event``, ``pywintypes`` and
``win32com.client`` come from the emulator, and ``win32com.client.Dispatch("CQG.CQGCEL.4")``
creates an emulated CQGCEL in the calling thread's apartment. This module steers that world.

Typical test::

    import corvane_emulator as emu
    emu.reset()                                   # default scenario, fresh clock
    emu.load_scenario(startup="data_error", error_code=5, error_description="bad symbol")
    ... run the bridge ...
    assert emu.configuration_log()[0] == ("CollectionsThrowException", False)
    assert emu.cel_calls() == ["Startup", "Shutdown"]

Scenario (``load_scenario``, keyword arguments; anything not given takes its default):

- ``startup``: how ``Startup()`` is answered, always as an event through the pump of the thread
  that subscribed the sink: ``"started"`` (``CELStarted``), ``"data_error"`` (``DataError`` with
  an error object whose ``Code``/``Description`` are ``error_code``/``error_description``),
  ``"data_error_without_object"`` (``DataError(None, error_description)``) or ``"never"``.
- ``startup_delay``: emulated seconds before the answer; it then comes only when the clock is
  advanced (``advance``) or runs live.
- ``fail_creation``: creating "CQG.CQGCEL.4" raises ``pythoncom.com_error`` (class not registered).
- ``seed``: seed of the emulated market.
- ``gw_user`` (``"trader"``), ``gw_password`` (``"secret"``): the credentials ``GWLogon`` takes.
  With them it is answered by ``GWConnectionStatusChanged(csConnectionUp)``; with others by
  ``DataError`` (an error object with ``Code``/``Description``) and no "up".
- ``logon``, ``logoff``, ``accounts_reload``: ``"answered"`` (the default) or ``"never"``, for
  ``GWLogon``, ``GWLogoff`` (answered by ``GWConnectionStatusChanged(csConnectionDown)``) and
  the raising of ``AccountSubscriptionLevel`` to ``aslAccountUpdatesAndOrders`` from any other
  level (answered by ``AccountChanged(actAccountsReloaded, None, None)``).
- ``accounts``: a list of dicts, by default
  ``[{"id": 1001, "name": "SIM-1001"}, {"id": 1002, "name": "SIM-1002"}]``, in the order
  ``Accounts`` iterates them. Keys: ``id`` (int), ``name`` (str), ``summary`` (a dict from
  ``Balance``, ``Collaterals``, ``NLV``, ``MaintenanceMargin``, ``ProfitLoss``, ``UPL`` to the
  values by index; each defaults to ``[0.0, 0.0]``, ``Balance`` and ``NLV`` to
  ``[100000.0, 100000.0]``), ``positions`` (a list of dicts: ``instrument`` as a full name like
  ``"F.US.EPZ26"``, ``quantity`` int, ``side`` ``"buy"``/``"sell"`` or a raw int,
  ``average_price``, ``ote``, ``profit_loss``). An unknown key is a ValueError.

The accounts live in the emulated gateway, not in one CQGCEL: every CQGCEL sees the same ones,
and ``reset`` or ``load_scenario`` starts them afresh.
- ``event_delivery``: ``"queued"`` (the default: every event waits in the subscriber's queue for
  its pump) or ``"nested"`` (as a server in the same apartment: an event fired on the
  subscriber's own thread runs its handlers at once, inside the call that caused it, and a
  thread waiting on an outgoing call through a proxy runs the events and calls that reach its
  own queue meanwhile, so one handler can run inside another).

Threads and the pump:

- ``post_quit(thread_ident)``: posts a quit message to that thread's queue
  (``PumpWaitingMessages`` then returns a true value).
- ``inject_wait_result(thread_ident, result=WAIT_ABANDONED_0)``: the next (or current)
  ``MsgWaitForMultipleObjects`` on that thread returns ``result``; ``WAIT_FAILED`` makes it raise
  ``pywintypes.error`` as a failed wait does.
- ``cel_thread_ident()``: the thread the last CQGCEL was created on (for the two calls above).
- ``waiting_message_count(thread_ident)``: messages waiting in that thread's queue.

Gateway, accounts and faults (each event goes to the current CQGCEL's sinks):

- ``set_position(account_id, instrument, quantity, side="buy", average_price=0.0, ote=0.0,
  profit_loss=0.0)``: opens or changes the account's position in that instrument and fires
  ``AccountChanged`` with ``actPositionAdded`` (new) or ``actPositionChanged`` (existing), the
  account and the position as arguments. An unknown account is a ValueError.
- ``set_summary(account_id, name, index, value)``: changes one summary value (no event).
- ``drop_gateway()`` / ``restore_gateway()``: ``GWConnectionStatusChanged`` with
  ``csConnectionDown`` / ``csConnectionUp``. ``set_data_connection(status)``:
  ``DataConnectionStatusChanged(status)``. ``data_error(code, description, with_object=True)``:
  a ``DataError`` at any moment (``with_object=False`` sends None for the error object).
- ``fail_property(type_name, member, times=None)``: reading or calling ``member`` (any case) on
  objects of that type (as ``repr`` names it: ``"CQG.CQGCEL.4"``, ``"CQGAccounts"``,
  ``"CQGAccount"``, ``"CQGAccountSummary"``, ``"CQGPositions"``, ``"CQGPosition"``) raises
  ``pythoncom.com_error`` (DISP_E_EXCEPTION, whose excepinfo names the member), ``times`` times
  or, with None, until ``clear_faults()`` (``reset`` clears them too). Iterating a collection
  whose ``_NewEnum`` fails is a TypeError, as on the real platform.

Events and inspection:

- ``fire_event(name, *args)``: raises event ``name`` on the current CQGCEL; each sink's
  ``On<name>`` runs on its own thread inside its pump. ``make_error(code, description)`` makes an
  error object to pass as an argument.
- ``configuration_log()``: the ``APIConfiguration`` assignments of the last CQGCEL, in order,
  as ``(property, value as given)``; ``cel_calls()``: its method calls, in order;
  ``sink_count()``: sinks connected to the current CQGCEL; ``configuration_threads()`` and
  ``cel_call_threads()``: the thread each assignment and call ran on (the CQGCEL's own).

Values and the platform itself:

- ``make_com_time(wall_clock_seconds)``: the COM date (``pywintypes.TimeType``) an emulated
  object hands out for that wall-clock time: labelled UTC, cut to milliseconds.
- ``make_probe()``: an object in this thread's apartment for tests of the platform: property
  ``Value``; ``Echo(*values)`` gives its arguments back after the round trip;
  ``RaisePythonError(text)`` and ``ThrowCppError(text)`` fail inside the server;
  ``ReturnUnconvertible()`` returns what no VARIANT can carry; ``Fire(name, *args)`` raises an
  event from inside the call.
- ``schedule_failure(delay, message)``: an action on the clock that fails inside the emulator
  with a C++ exception (live, the driver reports it as unraisable and goes on).

Emulated clock:

- deterministic (the default): nothing scheduled happens until ``advance(seconds)`` (seconds
  not negative: the clock never runs backwards);
  ``clock_now()``, ``set_clock(epoch_seconds)``, ``pending_actions()``,
  ``schedule_event(delay, name, *args)`` (an event after ``delay`` emulated seconds).
- live: ``start_live(speed=1.0, step=0.1)`` (both above zero) advances the clock by
  ``step * speed`` every ``step`` seconds of wall time from a background driver;
  ``stop_live()`` (after which the clock moves only when advanced), ``is_live()``.
"""
from _cqgemu import (
    advance,
    cel_call_args,
    cel_call_threads,
    cel_calls,
    cel_thread_ident,
    clear_faults,
    clock_now,
    configuration_log,
    configuration_threads,
    data_error,
    drop_gateway,
    fail_property,
    inject_wait_result,
    is_live,
    load_scenario,
    make_com_time,
    make_error,
    make_probe,
    pending_actions,
    post_quit,
    property_log,
    reset,
    restore_gateway,
    schedule_failure,
    set_clock,
    set_data_connection,
    set_position,
    set_summary,
    sink_count,
    start_live,
    stop_live,
    waiting_message_count,
)
from _cqgemu import fire_event as _fire_event
from _cqgemu import schedule_event as _schedule_event

__all__ = [
    "advance", "cel_call_args", "cel_call_threads", "cel_calls", "cel_thread_ident",
    "clear_faults", "clock_now", "configuration_log", "configuration_threads", "data_error",
    "drop_gateway", "fail_property", "fire_event", "inject_wait_result", "is_live",
    "load_scenario", "make_com_time", "make_error", "make_probe", "pending_actions", "post_quit",
    "property_log", "reset", "restore_gateway", "schedule_event", "schedule_failure", "set_clock",
    "set_data_connection", "set_position", "set_summary", "sink_count", "start_live", "stop_live",
    "waiting_message_count",
]


def fire_event(name, *args):
    """Raises event `name` with `args` on the current CQGCEL."""
    _fire_event(name, args)


def schedule_event(delay, name, *args):
    """Raises event `name` with `args` on the current CQGCEL once the clock has moved `delay`."""
    _schedule_event(delay, name, args)
