"""Soak: a long session on the live emulated market at a high rate, with the strategy's
orders, bars, the store and the chat, watched for growth of memory and of Python objects.

Every minute (every SOAK_SECONDS/10 when shorter) it prints the resident memory and the
object counts that grew most since the first sample. It fails (exit 1) when resident memory
grows by more than 5 MB after the first sample, or when the count of a type rose at every
sample after the first. The gateway is made as the demo makes it (it keeps the latest quote
and order book of each security and counts the rest); the engine keeps a history of 10
entries, so that its bounds are reached within the first sample, as they would be in a
long-running trader's process.

    SOAK_SECONDS=600 .venv/bin/python bench/session_soak.py      (make soak)
"""
import contextlib
import gc
import io
import os
import sys
import tempfile
import threading
import time
from collections import Counter
from pathlib import Path

import corvane_emulator as emulator
from corvane_local_bot_api import LocalBotApi
from corvane.demo import scenario
from corvane.demo.session import _forget_config, _import_bot
from corvane.engine import Engine, MovingAverageCross
from corvane.gateways.cqg.gateway import CqgGateway
from corvane.gateways.cqg.wrapper import gatelink

from bench_market_e2e import resident_kib

SECONDS = float(os.environ.get("SOAK_SECONDS", 600))
INTERVAL = min(60.0, SECONDS / 10)
QUOTES_PER_SECOND = 20_000
COMMANDS = ("/balance", "/positions", "/orders 5", "/deals 5")
LIMIT_MB, SHOWN = 5.0, 8


def object_counts():
    gc.collect()
    return Counter(type(o).__name__ for o in gc.get_objects())


def chat(api, stop):
    """The user asks for something every half second; the server forgets what it sent."""
    n = 0
    while not stop.wait(0.5):
        api.send_text(COMMANDS[n % len(COMMANDS)], chat_id=scenario.CHAT_ID)
        n += 1
        api.forget()


def main():
    folder = Path(tempfile.mkdtemp(prefix="corvane-soak-"))
    codes = list(scenario.KNOWN_FUTURES)
    gatelink.Trace = lambda line: None
    with contextlib.ExitStack() as stack:
        api = stack.enter_context(LocalBotApi(token=scenario.BOT_TOKEN))
        scenario.write_config(folder, api.base_url)
        bot = _import_bot(stack)
        from corvane.plugins.sqlite3.db import DB
        scenario.load_market(emulator, codes, seed=11)
        emulator.start_market(QUOTES_PER_SECOND, ticks_per_second=0, bar_seconds=2)
        engine = Engine(CqgGateway(scenario.securities_for(codes)),
                        scenario.ACCOUNT_ID, scenario.CREDENTIALS, strategy=MovingAverageCross(),
                        db=DB(), bot=bot, log=lambda line: None, history=10)
        stop = threading.Event()
        talker = threading.Thread(target=chat, args=(api, stop))
        samples = []

        def sample():  # the engine runs on this thread, which made its proxies
            started = time.monotonic()
            while not stop.wait(INTERVAL):
                counts = object_counts()
                counts["Counter"] -= len(samples)  # the censuses this soak itself keeps
                samples.append((time.monotonic() - started, resident_kib(), counts))
                report(samples, engine)
                if time.monotonic() - started >= SECONDS - 1:
                    engine.stop("end of the soak")
                    return

        sampler = threading.Thread(target=sample)
        try:
            # What the session prints goes nowhere; the samples go to the terminal.
            with contextlib.redirect_stdout(io.StringIO()) as quiet, engine:
                talker.start()
                sampler.start()
                while not engine._stop.is_set():
                    engine.run(duration=SECONDS + INTERVAL)
                    quiet.seek(0)
                    quiet.truncate()
        finally:
            stop.set()
            for thread in (talker, sampler):
                if thread.is_alive():
                    thread.join()
            emulator.stop_market()
            emulator.reset()
            _forget_config(folder)
    sys.exit(verdict(samples))


def report(samples, engine):
    elapsed, rss, counts = samples[-1]
    first_rss, first = samples[0][1], samples[0][2]
    growers = sorted(((counts[k] - first.get(k, 0), k) for k in counts), reverse=True)[:SHOWN]
    print(f"[{elapsed:6.0f} s] resident {rss / 1024:7.1f} MB ({(rss - first_rss) / 1024:+.2f}"
          f" since the first sample), {sum(counts.values()):,} objects; quotes "
          f"{engine.quote_count:,}, orders {engine.rows_written['trading_order']}, deals "
          f"{engine.rows_written['trading_deal']}, answers {len(engine.answers)}",
          file=sys.__stdout__, flush=True)
    print("         top growers: " + ", ".join(f"{name} {grown:+d}" for grown, name in growers),
          file=sys.__stdout__, flush=True)


def verdict(samples):
    growth_mb = (samples[-1][1] - samples[0][1]) / 1024
    failures = []
    if growth_mb > LIMIT_MB:
        failures.append(f"resident memory grew {growth_mb:.2f} MB (limit {LIMIT_MB} MB)")
    if len(samples) >= 4:
        counts = [c for _, _, c in samples]
        steady = [name for name in counts[0] if all(
            later[name] > earlier[name] for earlier, later in zip(counts, counts[1:]))]
        if steady:
            failures.append("counts rose at every sample: " + ", ".join(steady))
    for failure in failures:
        print("FAIL: " + failure)
    if not failures:
        print(f"PASS: resident memory {growth_mb:+.2f} MB after the first sample, no count "
              "rose steadily")
    return 1 if failures else 0


if __name__ == "__main__":
    main()
