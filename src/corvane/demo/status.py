"""The session's one live status line: redrawn in place on a terminal, printed as a plain
line every few seconds when the output is a file or a pipe."""
import threading
import time
from datetime import datetime, timezone

from rich.live import Live
from rich.text import Text


class QuoteRate:
    """Quotes per second between two readings of a growing count."""

    def __init__(self):
        self._last = None

    def __call__(self, count, now=None):
        now = time.monotonic() if now is None else now
        last, self._last = self._last, (now, count)
        if last is None or now <= last[0]:
            return 0.0
        return (count - last[1]) / (now - last[0])


def status_text(emulated_epoch, quotes_per_second, prices, positions, pnl, orders, fills):
    """One line: emulated time, quote rate, last prices, net positions, P&L, counts."""
    clock = datetime.fromtimestamp(emulated_epoch, timezone.utc).strftime("%H:%M:%S")
    text = Text()
    text.append(f"{clock} UTC", style="bold")
    text.append(f"  {quotes_per_second:5.0f} quotes/s  ")
    text.append("  ".join(f"{code} {price:.10g}" for code, price in prices.items()),
                style="cyan")
    held = "  ".join(f"{code} {qty:+g}" for code, qty in positions.items() if qty) or "flat"
    text.append(f"  pos {held}  ")
    text.append(f"P&L {pnl:+,.2f}", style="green" if pnl >= 0 else "red")
    text.append(f"  orders {orders} fills {fills}")
    return text


class StatusLine:
    """Shows `render()` (a rich Text) until the block ends."""

    def __init__(self, console, render, plain_every=3.0):
        self.console = console
        self.render = render
        self.plain_every = plain_every
        self._live = None
        self._quit = threading.Event()
        self._thread = None

    def __enter__(self):
        if self.console.is_terminal:
            self._live = Live(get_renderable=self.render, console=self.console,
                              refresh_per_second=4, redirect_stdout=False,
                              redirect_stderr=False)
            self._live.start()
        else:
            self._thread = threading.Thread(target=self._print_plain, name="demo-status")
            self._thread.start()
        return self

    def __exit__(self, *exc_info):
        if self._live is not None:
            self._live.stop()
        if self._thread is not None:
            self._quit.set()
            self._thread.join()
        return False

    def _print_plain(self):
        while not self._quit.wait(self.plain_every):
            self.console.print(self.render(), soft_wrap=True)
