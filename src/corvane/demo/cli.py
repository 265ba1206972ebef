"""``corvane-demo``: a whole trading session on the CQGCEL emulator, then its summary, the
chat transcript and a chart. ``corvane-demo --tour`` runs the per-module tour instead."""
import argparse
import contextlib
import importlib.util
import math
import sys
import tempfile
from datetime import datetime
from pathlib import Path

from corvane.demo import scenario


def parse_options(argv=None):
    from corvane.demo.session import Options
    defaults = Options()
    parser = argparse.ArgumentParser(
        prog="corvane-demo",
        description="Runs a trading session on the emulated CQGCEL: live market, a small "
                    "moving-average strategy, the SQLite store and the Telegram bot against a "
                    "local Bot API server on 127.0.0.1.")
    parser.add_argument("--duration", type=float, default=defaults.duration,
                        help="seconds the session runs (default %(default)s)")
    parser.add_argument("--speed", type=float, default=None,
                        help="emulated seconds per second; 40 closes a minute bar every 1.5 s "
                             f"(default {defaults.speed:g}; with --replay 1, the recorded pace, "
                             "and inf as fast as it goes)")
    parser.add_argument("--symbols", default=",".join(defaults.symbols),
                        help="comma-separated futures to trade (default %(default)s)")
    parser.add_argument("--seed", type=int, default=defaults.seed,
                        help="seed of the emulated market (default %(default)s)")
    parser.add_argument("--db-dir", type=Path, default=None,
                        help="folder for corvane.db, the chart and the progress log "
                             "(default: a new folder under ./demo-output)")
    parser.add_argument("--no-bot", action="store_true", help="run without the Telegram bot")
    parser.add_argument("--no-chart", action="store_true", help="draw no chart")
    parser.add_argument("--record", type=Path, default=None, metavar="FOLDER",
                        help="record the market the gateway receives into FOLDER (a new "
                             "recording folder; see corvane.recording)")
    parser.add_argument("--replay", type=Path, default=None, metavar="PATH",
                        help="replay a recording folder (made by --record) or a CSV history "
                             "(time,symbol,kind,price,volume) as the market")
    parser.add_argument("--tour", action="store_true",
                        help="run the per-module tour instead of a session")
    args = parser.parse_args(argv)
    return args.tour, checked_options(parser, args)


def checked_options(parser, args):
    """The session's Options from the parsed arguments. Anything the session could not run
    with ends here, before anything starts, with argparse's one-line error and exit code 2."""
    from corvane.demo.session import Options
    if args.speed is None:
        args.speed = 1.0 if args.replay is not None else Options().speed
    if not (math.isfinite(args.duration) and args.duration > 0):
        parser.error(f"--duration must be a finite number above zero, not {args.duration:g}")
    # A replay may run as fast as it goes (inf); the live market needs a finite pace.
    if not (args.speed > 0 and (math.isfinite(args.speed) or args.replay is not None)):
        parser.error(f"--speed must be a finite number above zero, not {args.speed:g}")
    if args.replay is not None and not args.replay.exists():
        parser.error(f"--replay: no recording or CSV history at {args.replay}")
    symbols = tuple(s.strip() for s in args.symbols.split(",") if s.strip())
    repeated = sorted({s for s in symbols if symbols.count(s) > 1})
    if repeated:
        parser.error(f"--symbols names {', '.join(repeated)} more than once")
    try:
        scenario.securities_for(list(symbols))
    except ValueError as error:
        parser.error(str(error))
    if args.record is not None and args.record.exists() and (
            not args.record.is_dir() or any(args.record.iterdir())):
        parser.error(f"--record: {args.record} exists; a recording needs a new folder")
    folder = args.db_dir or Path("demo-output") / datetime.now().strftime("%Y%m%d-%H%M%S")
    problem = None if args.tour else _unwritable(folder)
    if problem:
        parser.error(f"--db-dir {folder}: {problem}")
    return Options(duration=args.duration, speed=args.speed, symbols=symbols, seed=args.seed,
                   db_dir=folder, bot=not args.no_bot, chart=not args.no_chart,
                   record=args.record, replay=args.replay)


def _unwritable(folder):
    """Why the store, the chart and the log cannot be written into `folder` (made if
    missing), or None when they can."""
    try:
        folder.mkdir(parents=True, exist_ok=True)
        with tempfile.TemporaryFile(dir=folder):
            pass
    except OSError as error:
        return error.strerror or str(error)
    return None


EMULATOR_MISSING = (
    "corvane-demo runs on the emulated CQGCEL and Bot API of the distribution "
    "corvane-emulator, which is not installed. Install it from corvane's source folder with "
    "pip install ./emulator (make demo there installs both and runs the demo).")


def main(argv=None):
    tour, options = parse_options(argv)
    if importlib.util.find_spec("corvane_emulator") is None:
        print(EMULATOR_MISSING, file=sys.stderr)
        return 2
    if tour:
        from corvane.demo.tour import main as run_tour
        run_tour()
        return 0
    from rich.console import Console
    from corvane.demo.replay import ReplayError
    from corvane.demo.report import print_report
    from corvane.demo.session import run_session

    # Bound to the real output, kept when stdout goes to the log below; a file or a pipe
    # gets wide lines rather than an 80-column wrap.
    console = Console(file=sys.stdout, width=None if sys.stdout.isatty() else 120)
    options.db_dir.mkdir(parents=True, exist_ok=True)
    progress_log = options.db_dir / "progress.log"
    market = (f"replaying {options.replay}" if options.replay is not None
              else f"{', '.join(options.symbols)}, seed {options.seed}")
    console.print(f"[bold]corvane demo[/]: {options.duration:g} s on the emulated CQGCEL, "
                  f"{market}, clock x{options.speed:g}; "
                  f"CQG progress lines go to {progress_log}")
    # The CQG side's progress lines (Trace, print) go to the log; the console keeps the
    # status line, the engine's orders and fills, and the report.
    try:
        with open(progress_log, "w") as stream, contextlib.redirect_stdout(stream):
            result = run_session(options, console)
    except KeyboardInterrupt:
        console.print("interrupted: the session was stopped and everything closed")
        return 130
    except ReplayError as error:
        console.print(str(error), markup=False)
        return 2
    print_report(console, result)
    return 0 if not result.unanswered and not result.threads_left else 1


if __name__ == "__main__":
    sys.exit(main())
