"""One trading session on the emulator: the market runs live with its clock sped up, the
engine trades it through the CQG gateway, a scripted user talks to the bot, and at the end
everything is stopped and what the store holds is read back."""
import contextlib
import sqlite3
import threading
from dataclasses import dataclass, field
from pathlib import Path
from typing import Optional

from corvane.demo import scenario
from corvane.demo.status import QuoteRate, StatusLine, status_text
from corvane.store_rows import TABLES


@dataclass
class Options:
    duration: float = 25.0        # seconds of wall time
    speed: float = 40.0           # emulated seconds per wall second: a bar every 1.5 s
    symbols: tuple = tuple(scenario.KNOWN_FUTURES)
    seed: int = 7
    db_dir: Optional[Path] = None
    bot: bool = True
    chart: bool = True
    record: Optional[Path] = None   # a recording folder of the market the gateway receives
    replay: Optional[Path] = None   # a recording folder or CSV history replayed as the market
    quotes_per_second: float = 6.0  # per emulated second, shared by the instruments


@dataclass
class Result:
    engine: object
    folder: Path
    transcript: list = field(default_factory=list)
    unanswered: list = field(default_factory=list)
    stored: dict = field(default_factory=dict)          # table -> rows
    chart: Optional[Path] = None
    market_stats: dict = field(default_factory=dict)
    threads_left: list = field(default_factory=list)    # threads the session did not end
    recorder: object = None                             # when the session was recorded
    replayed: Optional[str] = None                      # what was replayed, its span


def run_session(options: Options, console, log=None):
    import corvane_emulator as emulator
    from corvane.engine import Engine, MovingAverageCross
    from corvane.gateways.cqg.gateway import CqgGateway

    folder = Path(options.db_dir).resolve()
    folder.mkdir(parents=True, exist_ok=True)
    log = log or (lambda line: console.print(line, soft_wrap=True, highlight=False,
                                             markup=False))
    source = None
    if options.replay is not None:
        from corvane.demo import replay
        source = replay.open_replay(options.replay)
        if source.cut:
            log(replay.cut_notice(source))
        securities, instruments = scenario.replayed_futures(source.events)
    else:
        securities = scenario.securities_for(list(options.symbols))
    threads_before = set(threading.enumerate())

    with contextlib.ExitStack() as stack:
        api = chat = bot = None
        if options.bot:
            from corvane_local_bot_api import LocalBotApi
            api = stack.enter_context(LocalBotApi(token=scenario.BOT_TOKEN))
        scenario.write_config(folder, api.base_url if api else None)
        stack.callback(_forget_config, folder)
        if options.bot:
            bot = _import_bot(stack)
        from corvane.plugins.sqlite3.db import DB

        stack.callback(emulator.reset)
        if source is None:
            scenario.load_market(emulator, options.symbols, options.seed)
            stack.callback(emulator.stop_market)
            emulator.start_live(speed=options.speed, step=0.05)
            emulator.start_market(options.quotes_per_second)
        else:
            # Loaded still: the engine's requests see the recorded history; the replay runs
            # once the engine has subscribed.
            scenario.load_replay_market(emulator, instruments)
            stack.callback(emulator.stop_live)
            loaded = emulator.load_replay(source.events, live=False)

        gateway = CqgGateway(securities)
        recorder = None
        if options.record is not None:
            from corvane.recording import Recorder
            recorder = Recorder(options.record).attach(gateway)
            stack.callback(recorder.close)  # after the engine has closed the gateway
        db = DB()
        stack.callback(_close_store, db)
        engine = Engine(gateway, scenario.ACCOUNT_ID, scenario.CREDENTIALS,
                        strategy=MovingAverageCross(), db=db, bot=bot, log=log)
        rate = QuoteRate()
        if options.chart:
            # Logging on waits for CQG and the session for the market: time enough to load
            # the plotting library before the chart is drawn.
            from corvane.demo.chart import PlottingImport
            stack.callback(PlottingImport().start().wait)

        def render():
            prices = {s.code: p for s, p in dict(engine.last_prices).items()}
            positions = {s.code: engine.net_position(s) for s in securities}
            b = engine.balance
            pnl = 0.0 if b is None else float((b.realized_pnl or 0) + (b.unrealized_pnl or 0))
            return status_text(emulator.clock_now(), rate(engine.quote_count), prices,
                               positions, pnl, len(engine.orders), len(engine.deals))

        with engine:
            if source is not None:
                emulator.start_live(speed=options.speed, step=0.05)
            if api is not None:
                chat = scripted_user(api, options.duration, engine, securities)
                stack.callback(chat.stop)
                chat.start()
            with StatusLine(console, render):
                # The user's /stop ends the run at `duration`; the deadline is the backstop.
                engine.run(duration=options.duration + (30.0 if api else 0.0))
            engine.log(f"session ended: {engine.stop_reason}")
        # Leaving `with engine` logged off, shut the bridge down and closed store and bot.
        if chat is not None:
            chat.stop()
        market_stats = dict(emulator.market_stats())
        replayed = None if source is None else replay.summary_line(
            source, loaded, emulator.replay_stats())

    result = Result(engine, folder, market_stats=market_stats, recorder=recorder,
                    replayed=replayed)
    if chat is not None:
        result.transcript, result.unanswered = chat.transcript, chat.unanswered()
    result.stored = read_store(folder / "corvane.db")
    result.threads_left = [t for t in threading.enumerate()
                           if t not in threads_before and t.is_alive()]
    if options.chart:
        result.chart = chart_of(engine, folder / "demo-chart.png")
    return result


def scripted_user(api, duration, engine, securities):
    from corvane.demo.chat_user import ChatUser
    code = securities[0].code

    def facts():
        last = engine.last_prices.get(securities[0])
        tick = scenario.tick_size(code)
        # A buy limit well under the market: it rests until the user cancels it.
        resting = round(round((last or 1000.0) * 0.98 / tick) * tick, 6)
        return {"code": code, "resting_price": f"{resting:g}"}

    return ChatUser(api, duration, facts)


def _import_bot(stack):
    """Imports the bot module afresh (its bot starts polling) and has `stack` close the bot.
    A Ctrl-C meanwhile is held back until the bot is in the stack's hands."""
    import importlib
    import logging
    import sys
    # A stranger's commands are refused with a warning; the transcript shows them instead.
    logging.getLogger("corvane.plugins.telegram.bot").setLevel(logging.ERROR)
    sys.modules.pop("corvane.plugins.telegram.bot", None)
    with interrupts_held_back():
        bot = importlib.import_module("corvane.plugins.telegram.bot").bot
        stack.callback(bot.close)
    return bot


@contextlib.contextmanager
def interrupts_held_back():
    """Ctrl-C inside the block is raised once the block is done (on the main thread, the
    only one Python hands signals to)."""
    import signal
    if threading.current_thread() is not threading.main_thread():
        yield
        return
    caught = []
    previous = signal.signal(signal.SIGINT, lambda signum, frame: caught.append(signum))
    try:
        yield
    finally:
        signal.signal(signal.SIGINT, previous)
    if caught:
        raise KeyboardInterrupt


def _close_store(db):
    # The engine closes the store once it has started; a second close is refused.
    with contextlib.suppress(sqlite3.ProgrammingError):
        db.close()


def _forget_config(folder):
    import sys
    with contextlib.suppress(ValueError):
        sys.path.remove(str(folder))
    sys.modules.pop("corvane_config", None)


def read_store(path):
    """Every row of the four tables, as dicts, read with plain sqlite3."""
    connection = sqlite3.connect(path)
    connection.row_factory = sqlite3.Row
    try:
        return {table: [dict(row) for row in connection.execute(f"SELECT * FROM {table}")]
                for table in TABLES}
    finally:
        connection.close()


def chart_of(engine, path):
    """Charts the instrument with the most fills (the first one when none filled)."""
    from corvane.demo.chart import save_chart
    securities = list(engine.gateway.securities.values())
    busiest = max(securities, key=lambda s: sum(
        1 for d in engine.deals.values() if d.order.security == s))
    fills = [(d.time, d.price, d.signed_quantity) for d in engine.deals.values()
             if d.order.security == busiest]
    return save_chart(path, busiest.code, engine.bars.get(busiest, []), fills, engine.equity)
