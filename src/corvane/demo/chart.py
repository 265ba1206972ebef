"""The session's chart: one instrument's one-minute bars with the fills marked, and the
account's equity over the session, saved as a PNG."""
import threading
from datetime import timedelta


def _import_plotting():
    import matplotlib
    matplotlib.use("Agg")  # files only: no window, no display needed
    import matplotlib.dates  # noqa: F401
    import matplotlib.pyplot  # noqa: F401


class PlottingImport:
    """Imports matplotlib on a thread of its own (a second or two of work) while the
    session mostly waits on the market, so that the chart is drawn as soon as it ends;
    `wait()` before drawing. A failed import is left for save_chart() to raise."""

    def __init__(self):
        self._thread = threading.Thread(target=self._run, name="demo-chart-import")

    def _run(self):
        try:
            _import_plotting()
        except Exception:
            pass

    def start(self):
        self._thread.start()
        return self

    def wait(self):
        self._thread.join()


def save_chart(path, code, bars, fills, equity):
    """`bars`: the framework's Bar records, oldest first; `fills`: (time, price, quantity
    signed long positive); `equity`: (seconds into the session, equity)."""
    _import_plotting()
    import matplotlib.dates as mdates
    import matplotlib.pyplot as plt

    figure, (price_axes, equity_axes) = plt.subplots(
        2, 1, figsize=(8, 5.2), dpi=80, gridspec_kw={"height_ratios": [3, 1.3]})
    width = timedelta(seconds=40)
    for bar in bars:
        colour = "#2a9d5c" if bar.close >= bar.open else "#c8443a"
        middle = bar.datetime + timedelta(seconds=30)
        price_axes.vlines(middle, bar.low, bar.high, color=colour, linewidth=0.8)
        price_axes.bar(middle, abs(bar.close - bar.open) or 1e-9, width=width,
                       bottom=min(bar.open, bar.close), color=colour)
    for side, marker, colour in (("buy", "^", "#1f5fbf"), ("sell", "v", "#e08a00")):
        chosen = [(t, p) for t, p, q in fills if (q > 0) == (side == "buy")]
        if chosen:
            price_axes.scatter([t for t, _ in chosen], [p for _, p in chosen], marker=marker,
                               s=60, color=colour, edgecolor="black", zorder=3,
                               label=f"{side} fills ({len(chosen)})")
    price_axes.set_title(f"{code}: one-minute bars (emulated time, UTC) and fills")
    price_axes.xaxis.set_major_formatter(mdates.DateFormatter("%H:%M"))
    if fills:
        price_axes.legend(loc="best", fontsize=8)
    price_axes.grid(alpha=0.3)

    if equity:
        equity_axes.plot([s for s, _ in equity], [e for _, e in equity], color="#444",
                         drawstyle="steps-post")
    equity_axes.set_title("account equity (net liquidating value)", fontsize=9)
    equity_axes.set_xlabel("seconds into the session")
    equity_axes.grid(alpha=0.3)
    equity_axes.ticklabel_format(axis="y", useOffset=False, style="plain")
    figure.tight_layout()
    figure.savefig(path)
    plt.close(figure)
    return path
