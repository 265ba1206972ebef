"""The demo's market and configuration: which futures, the emulator's world, and the
corvane_config module the plug-ins read."""
import calendar
import sys
import textwrap
from datetime import datetime
from pathlib import Path

from corvane.core.constants import Exchange
from corvane.core.security import Futures

ACCOUNT_ID = 1001
CREDENTIALS = ("trader", "secret")  # what the emulated gateway takes
CHAT_ID = 4242
STRANGER_CHAT_ID = 999
BOT_TOKEN = "123456:local-demo-token"

# The futures the emulated market knows: CQG full name, starting price, tick size, name.
KNOWN_FUTURES = {
    "EPZ26": ("F.US.EPZ26", 6000.0, 0.25, "E-mini S&P 500 Dec 26", Exchange.CME),
    "ENQZ26": ("F.US.ENQZ26", 21000.0, 0.25, "E-mini Nasdaq-100 Dec 26", Exchange.CME),
    "CLEF27": ("F.US.CLEF27", 70.0, 0.01, "Crude Oil Jan 27", Exchange.NYMEX),
}


def securities_for(codes):
    """The Futures of the given codes; an unknown code is a ValueError naming the known."""
    unknown = [code for code in codes if code not in KNOWN_FUTURES]
    if unknown or not codes:
        raise ValueError(f"unknown symbol(s) {', '.join(unknown) or '(none given)'}; "
                         f"the emulated market has {', '.join(KNOWN_FUTURES)}")
    return [Futures(code=code, security_name=KNOWN_FUTURES[code][3], lot_size=1,
                    exchange=KNOWN_FUTURES[code][4]) for code in codes]


def tick_size(code):
    return KNOWN_FUTURES[code][2] if code in KNOWN_FUTURES else 0.01


def replayed_futures(events):
    """The futures a recording (or a CSV history) trades, in the order they first appear:
    the known ones by their names, any other by its symbol. Returns (securities, scenario
    instruments) for the emulator; a bare symbol becomes the full name F.US.<symbol>."""
    first_price = {}
    for event in events:
        name = event[2]
        if name not in first_price and event[0] in ("quote", "tick") and event[4] > 0:
            first_price[name] = event[4]
    securities, instruments = [], []
    for name, price in first_price.items():
        code = name.rsplit(".", 1)[-1]
        if code in KNOWN_FUTURES:
            full_name, _, tick, title, exchange = KNOWN_FUTURES[code]
            security = Futures(code=code, security_name=title, lot_size=1, exchange=exchange)
        else:
            full_name = name if "." in name else f"F.US.{code}"
            tick = 0.01
            security = Futures(code=code, security_name=code, lot_size=1)
        securities.append(security)
        instruments.append({"full_name": full_name, "price": price, "tick_size": tick})
    if not securities:
        raise ValueError("the recording holds no quote or tick to replay")
    return securities, instruments


def load_replay_market(emulator, instruments, history_bars=0):
    """A fresh emulated world of the replayed futures and one account."""
    emulator.reset()
    emulator.load_scenario(
        history_bars=history_bars, instruments=instruments,
        accounts=[{"id": ACCOUNT_ID, "name": f"DEMO-{ACCOUNT_ID}"}])


def load_market(emulator, codes, seed, history_bars=60):
    """A fresh emulated world: the chosen futures and one account, its clock starting at the
    local date and time of now. CQG's time stamps are naive local times once converted, so
    the store's rows (created at the engine's local time, updated at CQG's) read as one
    session."""
    emulator.reset()
    emulator.set_clock(calendar.timegm(datetime.now().timetuple()))
    emulator.load_scenario(
        seed=seed, history_bars=history_bars,
        instruments=[{"full_name": KNOWN_FUTURES[c][0], "price": KNOWN_FUTURES[c][1],
                      "tick_size": KNOWN_FUTURES[c][2]} for c in codes],
        accounts=[{"id": ACCOUNT_ID, "name": f"DEMO-{ACCOUNT_ID}"}])


def write_config(folder: Path, base_url=None):
    """Writes corvane_config.py into `folder` and puts the folder first on sys.path."""
    (folder / "corvane_config.py").write_text(textwrap.dedent(f"""\
        TELEGRAM_TOKEN = {BOT_TOKEN!r}
        TELEGRAM_CHAT_ID = {CHAT_ID}
        TELEGRAM_BASE_URL = {base_url!r}
        DB = {{"sqlite3": {str(folder)!r}}}
        """))
    sys.path.insert(0, str(folder))
    sys.modules.pop("corvane_config", None)
