"""A tour of corvane's native modules, run on this machine with no outside service.

The CQG side runs against the CQGCEL emulator, the Telegram bot against a local Bot API
server on 127.0.0.1, and the SQLite store in a temporary folder.
"""
import sys
import tempfile
import textwrap
import time
from datetime import datetime
from pathlib import Path


def heading(title):
    print(f"\n=== {title} ===", flush=True)


def write_config(folder: Path, chat_id: int, base_url: str):
    (folder / "corvane_config.py").write_text(textwrap.dedent(f"""\
        TELEGRAM_TOKEN = "123456:local-test-token"
        TELEGRAM_CHAT_ID = {chat_id}
        TELEGRAM_BASE_URL = {base_url!r}
        DB = {{"sqlite3": {str(folder)!r}}}
        """))
    sys.path.insert(0, str(folder))


def show_instrument_model():
    heading("Instrument model: corvane.core.security")
    from corvane.core import security
    from corvane.core.constants import Exchange
    from corvane.core.security import Futures, Security, Stock

    print(f"compiled module: {Path(security.__file__).name}")
    hsbc = Stock("0005", "HSBC Holdings")
    plain = Security("0005", "HSBC Holdings", exchange=Exchange.SEHK)
    print(hsbc)
    print(Futures("EPZ26", "E-mini S&P 500 Dec 26"))
    print(f"Stock == same Stock: {hsbc == Stock('0005', 'HSBC Holdings')}; "
          f"with lot size 100: {hsbc == Stock('0005', 'HSBC Holdings', lot_size=100)}")
    print(f"plain Security == Stock, either order: {plain == hsbc}, {hsbc == plain}")
    print(f"hash(plain Security) == hash('HSBC Holdings|0005|SEHK'): "
          f"{hash(plain) == hash('HSBC Holdings|0005|SEHK')}")
    try:
        hsbc.lot_size = 10
    except Exception as exc:
        print(f"assigning a field: {type(exc).__name__}: {exc}")


def show_record_store():
    heading("SQLite store: corvane.plugins.sqlite3.db")
    from corvane.plugins.sqlite3.db import DB

    db = DB()
    now = datetime.now().replace(microsecond=0)
    db.insert_records("balance", broker_name="CQG", broker_environment="SIMULATE",
                      broker_account_id=1, broker_account="DEMO-1", strategy_account_id=7,
                      strategy_account="trend", strategy_version="1.0", cash=100000.0,
                      available_cash=95000.0, update_time=now)
    for n, (price, status) in enumerate([(5012.25, "FILLED"), (5010.0, "SUBMITTED")], 1):
        db.insert_records("trading_order", broker_order_id=f"GUID-{n}", balance_id=1,
                          security_name="E-mini S&P", security_code="EPZ26", price=price,
                          quantity=1, direction="LONG", offset="OPEN", order_type="LIMIT",
                          create_time=now, update_time=now, filled_avg_price=price,
                          filled_quantity=1 if status == "FILLED" else 0, status=status,
                          remark='says "hi"; DROP TABLE balance; --')
    db.update_records("trading_order", {"status": "CANCELLED"}, broker_order_id="GUID-2")
    frame = db.select_records("trading_order", ["id", "broker_order_id", "price", "status", "remark"])
    print(frame.to_string(index=False))
    print(f"balance rows (still there): {len(db.select_records('balance'))}")
    db.close()


def show_com_bridge():
    heading("COM bridge on the CQGCEL emulator: corvane.gateways.cqg.wrapper.ComBridge")
    import corvane_emulator as emulator
    from corvane.gateways.cqg.wrapper import ComBridge

    class Sample(ComBridge.CELSinkBase):
        def Init(self, bridge):
            self.bridge = bridge

        def Start(self):
            ComBridge.Trace("Sample: CQGCEL is ready; the sample does its work here")

    emulator.reset()
    ComBridge.Start(Sample)

    print("-- again, with CQGCEL reporting a data error at start-up:", flush=True)
    emulator.load_scenario(startup="data_error", error_code=5, error_description="bad symbol")
    ComBridge.Start(Sample)
    emulator.reset()


def show_telegram_bot(server, chat_id):
    heading("Telegram bot against a local Bot API server: corvane.plugins.telegram.bot")
    from corvane.plugins.telegram.bot import bot

    def converse(text, chat, patience=5.0):
        before = len(server.sent())
        server.send_text(text, chat_id=chat)
        deadline = time.monotonic() + patience
        while time.monotonic() < deadline and len(server.sent()) == before:
            time.sleep(0.05)
        time.sleep(0.2)  # /orders answers twice
        replies = [m["text"] for m in server.sent()[before:]]
        print(f"chat {chat} says {text!r} -> " + (" | ".join(replies) if replies else "(no reply)"))

    converse("hello", chat_id)
    converse("/balance", chat_id)
    converse("/orders -a 5", chat_id)
    converse("/send_order EPZ26,1,l,o,l,CQG,5010.25,None", chat_id)
    converse("/stop", 999, patience=1.0)  # not the configured chat: ignored
    print(f"flags seen by the engine: get_balance={bot.get_balance}, get_orders={bot.get_orders}, "
          f"active_orders={bot.active_orders}, num_orders_displayed={bot.num_orders_displayed}, "
          f"order_string={bot.order_string!r}, corvane_status={bot.corvane_status!r}")
    bot.send_message("Balance: cash 100000.00, available 95000.00")
    bot.get_balance = False
    print(f"engine answered: {server.sent()[-1]['text']!r}; get_balance now {bot.get_balance}")
    bot.close()


def main():
    from corvane_local_bot_api import LocalBotApi

    show_instrument_model()
    chat_id = 4242
    with tempfile.TemporaryDirectory() as folder, LocalBotApi() as server:
        write_config(Path(folder), chat_id, server.base_url)
        show_record_store()
        show_com_bridge()
        show_telegram_bot(server, chat_id)
    print("\nDone.")


if __name__ == "__main__":
    main()
