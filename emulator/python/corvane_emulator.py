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

- ``instruments``: a list of dicts ``{"full_name": "F.US.EPZ26", "price": 6000.0,
  "tick_size": 0.25}`` (price and tick size above zero), by default the three futures
  "F.US.EPZ26" (6000.0, 0.25), "F.US.ENQZ26" (21000.0, 0.25), "F.US.CLEF27" (70.0, 0.01). A
  symbol names the first of them whose full name contains it.
- ``history_bars`` (200): completed one-minute bars generated from each instrument's walk
  before the clock's minute; ``invalid_fraction`` (0.0, up to 1.0): the share of their fields
  (open, high, low, close, volume) left at -2147483648, the value the server gives a field
  without one.

The accounts live in the emulated gateway, not in one CQGCEL: every CQGCEL sees the same ones,
and ``reset`` or ``load_scenario`` starts them afresh.
- ``event_delivery``: ``"queued"`` (the default: every event waits in the subscriber's queue for
  its pump) or ``"nested"`` (as a server in the same apartment: an event fired on the
  subscriber's own thread runs its handlers at once, inside the call that caused it, and a
  thread waiting on an outgoing call through a proxy runs the events and calls that reach its
  own queue meanwhile, so one handler can run inside another).
- ``dispatch``: ``"generated"`` (the default: ``win32com.client.Dispatch`` of a CQG object, every
  object a member returns and every object an event hands its handler are instances of a class
  made per CQG type, as once the type library is loaded: names answer exactly as declared,
  methods take keyword arguments and fill omitted optional ones, too many arguments is a
  TypeError) or ``"late-bound"`` (the case-blind ``CDispatch``, as where no generated class
  exists).

Threads and the pump:

- ``lifetime_fault_count()``: how many interfaces this process released or used after their
  thread had called ``CoUninitialize`` (each also reported on stderr as pywin32 reports it,
  "Win32 exception occurred releasing IUnknown at 0x…").
- ``declared_members()``: CQGCEL's member names, spelt exactly as its type library declares
  them; the emulated objects answer to no other.

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

Market (each event goes to the current CQGCEL's sinks, through their pumps):

- ``NewInstrument(symbol)`` is answered by ``InstrumentResolved(symbol, instrument, None)``, or
  ``InstrumentResolved(symbol, None, error)`` for a symbol no instrument contains; resolved
  instruments join ``Instruments`` once each. Quotes flow once the instrument's
  ``DataSubscriptionLevel`` is above ``dsNone``, and stop at ``RemoveInstrument``.
- ``RequestTicks(request)`` / ``RequestTimedBars(request)`` are answered by
  ``TicksResolved(ticks, None)`` / ``TimedBarsResolved(timedBars, None)`` (an error object for an
  unknown symbol) and join ``AllTicks`` / ``AllTimedBars`` until removed. The request is kept as
  it was sent. A timed-bars object holds the last ``-RangeEnd - 1`` completed bars (fewer when
  the history is shorter) and then the bar being formed; its size then stays the same. A bar's
  ``Timestamp`` is its start plus 250 ms, an aware UTC datetime like every time stamp here.
  With ``UpdatesEnabled`` false a timed-bars object is never updated.
- ``push_quotes(symbol, quotes)``: one ``InstrumentChanged(instrument, quotes, properties)`` per
  streaming instrument containing ``symbol``; each quote is ``(type, price)``,
  ``(type, price, is_valid)`` or ``(type, price, is_valid, volume)``, the type a name such as
  ``"qtBid"`` or a raw int (an unknown quote type). Returns the number of events.
- ``push_ticks(symbol, ticks)``: ``(type, price, volume)`` ticks (``"tptBid"``... or a raw int),
  stamped with the clock, appended to every ticks object of ``symbol``, with one
  ``TicksAdded(ticks, len(ticks))`` each. A ticks object keeps its latest 10,000 ticks.
- ``set_history(symbol, bars)``: replaces the instrument's completed bars with dicts
  ``{"open", "high", "low", "close", "volume"}`` (any may be -2147483648), oldest first, one
  minute apart and ending just before the forming bar; later requests see them.
- ``close_bar(symbol, open=None, high=None, low=None, close=None, volume=None)``: completes the
  forming bar (given values, the walk's for the rest) and fires ``TimedBarsAdded(timedBars)`` on
  every timed-bars object of it: the closed bar at ``Count - 2``, the next one, a minute later,
  at ``Count - 1``. Each minute the clock crosses does the same for every bar formed before it.
- ``update_forming_bar(symbol, close, volume=None)``: ``TimedBarsUpdated(timedBars, Count - 1)``.
- ``fail_next_resolution(kind, mode)``: the next ``"instrument"``, ``"ticks"`` or ``"bars"``
  request is answered with an error object (``"error"``) or not at all (``"never"``).
- ``start_market(quotes_per_second, ticks_per_second=None, bar_seconds=None, *, live=True,
  step=0.01)``: every advance of the clock then posts, as one batch per pump, the quotes due at
  that rate (per emulated second, shared by the streaming instruments: bid and ask or a trade
  mostly, the day's open, high or low and settlements now and then, an invalid quote sometimes)
  and the ticks due at ``ticks_per_second`` (the quote rate if None) to the tick requests; trades
  move the forming bars (``TimedBarsUpdated``). ``bar_seconds``: bars close every that many
  emulated seconds (still a minute apart in their time stamps). ``live`` also starts the clock's
  live driver (speed 1, ``step``) unless it runs; ``live=False`` posts only when a test advances
  the clock. The live driver wakes whenever the next quote or tick falls due, so that each is
  posted when due rather than with the rest of a step. It never outruns the pumps: while its last
  batch still waits in a queue, what falls due waits for the next one, and past 1,000 quotes (or
  ticks) waiting it is skipped rather than posted. ``stop_market()`` stops both;
  ``market_stats()`` gives the counts posted so far (``events``, ``quotes``, ``ticks``, ``bars``,
  ``batches``) and those the driver skipped (``quotes_skipped``, ``ticks_skipped``).
  ``take_quote_times()``: ``(number, times)``, the ``time.monotonic_ns()`` at which each valid
  quote of the feed was posted since the last call, the first of them the feed's ``number``-th
  valid quote (from 0); the latest four million are kept. Quotes are noted from the first call on
  (a long run that never asks keeps none).

Replay (the market driven by a recording instead of the seeded walk):

- ``load_replay(events, speed=1.0, *, live=True, step=0.05)``: ``events`` is an iterable of replay
  events in recorded order, plain tuples with times in nanoseconds since the Unix epoch:
  ``("quote", time_ns, full_name, quote_type, price, volume, is_valid)``, ``("tick", time_ns,
  full_name, price_type, price, volume)`` and ``("bar", time_ns, full_name, bar_start_ns, open,
  high, low, close, actual_volume, tick_volume)``; types by their constants' names (``"qtBid"``,
  ``"tptTrade"``), a volume None where there is none, a bar value NaN where the server left it
  out. A malformed event is a ValueError naming its index, before anything changes, and so is
  nothing to replay. A name is matched to the scenario's instrument of that full name, else of
  that symbol (the part after the last "."; a bare symbol is itself); a symbol the scenario lacks
  is warned about once (RuntimeWarning) and its events left out. The clock moves to the first
  quote's or tick's time. Each instrument's history (what a timed-bars request sees until the
  replay's bars move on; none for an instrument the recording lacks) is the bar events ahead of
  that time and its first run of bars wherever it comes (the answer to the recorded session's own
  request). As the clock reaches their times, the events reach the streaming instruments, tick
  requests and timed-bar requests in recorded order: consecutive quotes (ticks) of one instrument
  and time as one ``InstrumentChanged`` (``TicksAdded``), consecutive bars of one instrument
  received within a millisecond as one ``TimedBarsAdded`` (a bar starting after the forming one)
  or ``TimedBarsUpdated``. A time stamped before the one ahead of it counts as that one's time.
  Each recorded bid or ask moves the order book, so orders fill at the recorded prices; the walk
  and the minute closing no longer move anything. ``live`` starts the clock's live driver at
  ``speed`` (None or infinity: each batch as soon as the pump has taken the one before), waking
  when each event falls due; nothing is skipped. With ``live=False`` the clock moves when
  advanced, or by a later ``start_live(speed)``. Returns ``{"events", "history_bars",
  "instruments", "left_out", "start", "end"}`` (times in epoch seconds). ``replay_stats()``:
  ``{"events", "posted", "cqg_events", "finished", "start", "end"}``. ``advance_replay(count)``:
  posts the next ``count`` recorded events (whole CQG events) as one batch and sets the clock to
  the last one's time; not while the clock is live. ``market_stats()`` and ``take_quote_times()``
  count the replay's postings too.

Orders (CQGCEL's ``CreateOrder`` and ``Orders``; each report goes to the current CQGCEL's sinks):

- ``CreateOrder(type, instrument, account, quantity, side[, price[, stop_price]])`` checks its
  arguments as the server does (another count: com_error DISP_E_BADPARAMCOUNT; a value of the
  wrong kind: DISP_E_TYPEMISMATCH; an unknown type or side, a quantity that is not a whole
  number above zero, a limit order without a price or a stop order without a stop: a server
  error) and gives an order: ``GUID``, ``Manual`` (settable until placed), ``Place()``,
  ``Cancel()`` and ``Properties``, whose default member gives the property of an id
  (``opGWStatus``, ``opGUID``, ``opEventServerTimestamp``, ``opAverageFillPrice``,
  ``opFilledQuantity``) with its ``Value``. An order an event carries shows the order as it was
  at that event. ``Orders`` lists every order placed, in the order they came, with
  ``ItemByGuid(guid)``.
- ``Place()`` is reported as ``OrderChanged(ctAdded, order, None, None, None)`` (``osInTransit``),
  then ``ctChanged`` with ``osInOrderBook``; each fill follows as ``ctChanged`` carrying a fill
  object (``Id``, ``Order``, ``Timestamp``, ``Price``, ``Quantity``, ``Status`` ``fsNormal``),
  the order ``osInOrderBook`` while part of it is open and ``osFilled`` at the last, and then
  ``AccountChanged`` (``actPositionAdded`` or ``actPositionChanged``) for the position it moved.
  An order without an account is reported added, then ``osRejectGW``. In the nested mode the
  reports run inside ``Place()``.
- Matching: a buy fills at the ask, a sell at the bid. A market order fills at once; a limit
  order rests until the market reaches its price; a stop order waits for the market to reach its
  stop, then trades like a limit order at its price (at the market without one). Until a test
  sets it, an instrument's market is one tick either side of its walk. Each market update offers
  ``size`` lots a side (any amount when 0), shared by the resting orders in the order they came,
  so an order gets at most one fill per update and a large one fills in parts. The live market
  (``start_market``) matches resting orders against the books its quotes carry, the size being
  the smaller of the two sides' lots.
- ``Cancel()`` of a working order: ``ctChanged`` with ``osInCancel``, then with ``osCanceled``;
  of an order that is filled, rejected, cancelled or still in transit: nothing changes and
  nothing is reported.
- Fills move the account's position (signed quantity, side, average price, realised
  ``ProfitLoss``, ``OTE`` at the middle of the market) and summary index 0 (``ProfitLoss``, and
  ``Balance`` by the realised profit; ``UPL`` the sum of the OTEs; ``NLV`` = ``Balance`` +
  ``UPL``). Prices are points worth one unit of money each.
- Server time stamps (``opEventServerTimestamp``, a fill's ``Timestamp``) are the clock plus
  0.125 s of gateway processing, aware UTC to the millisecond.
- ``set_market(symbol, bid, ask, last=None, *, size=None)``: sets the instrument's market; its
  quotes go to streaming instruments, then the resting orders it reaches fill. Returns the
  number of events.
- ``manual_order(account_id, symbol, side, quantity, type="market", price=None,
  stop_price=None)``: an order placed from outside the algorithm (``Manual`` true), reported
  like any other, ``ctAdded`` first; returns its GUID.
- Faults on the next order or fill: ``reject_next_order()`` (added, then ``osRejectGW``),
  ``drop_next_order()`` (never reported; it stays in transit), ``duplicate_next_fill()`` (the
  next fill's report is sent twice, the position moved once), ``next_status(raw)`` (the next
  status report carries ``raw``), ``next_fill_status(name_or_raw)`` (the next fill's status, a
  name such as ``"fsBusted"`` or a raw int).
- ``orders()``: the book's orders as dicts ``{"guid", "type", "side", "quantity", "price",
  "stop_price", "status", "filled", "manual"}`` (status an ``os...`` name; prices None when not
  given); ``fills()``: every fill made, once each, as ``{"id", "guid", "price", "quantity",
  "made_ns"}`` (when it was made, on the clock of ``time.monotonic_ns()``).

Events and inspection:

- ``fire_event(name, *args)``: raises event ``name`` on the current CQGCEL; each sink's
  ``On<name>`` runs on its own thread inside its pump. ``make_error(code, description)`` makes an
  error object to pass as an argument.
- ``configuration_log()``: the ``APIConfiguration`` assignments of the last CQGCEL, in order,
  as ``(property, value as given)``; ``cel_calls()``: its method calls, in order;
  ``sink_count()``: sinks connected to the current CQGCEL; ``configuration_threads()`` and
  ``cel_call_threads()``: the thread each assignment and call ran on (the CQGCEL's own).
- ``property_log()``: assignments to the properties of CQG objects other than
  ``APIConfiguration`` (requests, instruments, the account level), as
  ``(type name, member, value as given)``; ``call_log()``: calls on CQG objects, CQGCEL's
  included, as ``(type name, member, arguments)``, an object argument noted by its type name.

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
    advance_replay,
    call_log,
    cel_call_args,
    cel_call_threads,
    cel_calls,
    cel_thread_ident,
    clear_faults,
    clock_now,
    close_bar,
    declared_members,
    configuration_log,
    configuration_threads,
    data_error,
    drop_gateway,
    drop_next_order,
    duplicate_next_fill,
    fail_next_resolution,
    fail_property,
    fills,
    inject_wait_result,
    is_live,
    lifetime_fault_count,
    load_replay,
    load_scenario,
    make_com_time,
    make_error,
    make_probe,
    manual_order,
    market_stats,
    take_quote_times,
    next_fill_status,
    next_status,
    orders,
    pending_actions,
    post_quit,
    property_log,
    push_quotes,
    push_ticks,
    reject_next_order,
    replay_stats,
    reset,
    restore_gateway,
    schedule_failure,
    set_clock,
    set_data_connection,
    set_history,
    set_market,
    set_position,
    set_summary,
    sink_count,
    start_live,
    start_market,
    stop_live,
    stop_market,
    update_forming_bar,
    waiting_message_count,
)
from _cqgemu import fire_event as _fire_event
from _cqgemu import schedule_event as _schedule_event

__all__ = [
    "advance", "call_log", "cel_call_args", "cel_call_threads", "cel_calls", "cel_thread_ident",
    "clear_faults", "clock_now", "close_bar", "configuration_log", "configuration_threads",
    "data_error", "declared_members", "drop_gateway", "drop_next_order", "duplicate_next_fill",
    "fail_next_resolution", "fail_property", "fills", "fire_event", "inject_wait_result", "is_live",
    "lifetime_fault_count", "load_scenario", "make_com_time", "make_error", "make_probe",
    "manual_order", "market_stats",
    "next_fill_status", "next_status", "orders", "pending_actions", "post_quit", "property_log",
    "push_quotes", "push_ticks", "reject_next_order", "reset", "restore_gateway", "schedule_event",
    "schedule_failure", "set_clock", "set_data_connection", "set_history", "set_market",
    "set_position", "set_summary", "sink_count", "start_live", "start_market", "stop_live",
    "stop_market", "take_quote_times", "update_forming_bar", "waiting_message_count",
    "load_replay", "replay_stats", "advance_replay",
]


def fire_event(name, *args):
    """Raises event `name` with `args` on the current CQGCEL."""
    _fire_event(name, args)


def schedule_event(delay, name, *args):
    """Raises event `name` with `args` on the current CQGCEL once the clock has moved `delay`."""
    _schedule_event(delay, name, args)
