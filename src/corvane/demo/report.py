"""What the demo prints once the session is over: a summary table, the chat transcript and
the chart's path."""
from collections import Counter

from rich.markup import escape
from rich.table import Table

from corvane.demo.scenario import STRANGER_CHAT_ID


def summary_table(result):
    engine = result.engine
    table = Table(title="Session summary", show_header=True, header_style="bold")
    table.add_column("what")
    table.add_column("value", overflow="fold")
    statuses = Counter(order.status.value for order in engine.orders.values())
    table.add_row("orders by final status",
                  ", ".join(f"{status} {count}" for status, count in sorted(statuses.items()))
                  or "none")
    table.add_row("fills", f"{len(engine.deals)} "
                  f"({sum(d.quantity for d in engine.deals.values()):g} lots)")
    if engine.failed_placements:
        table.add_row("orders not placed", str(len(engine.failed_placements)))
    if engine.unknown_updates:
        table.add_row("reports of orders placed elsewhere", str(len(engine.unknown_updates)))
    positions = ", ".join(f"{p.security.code} {p.direction.value} {p.quantity:g} "
                          f"@{p.holding_price:g}" for p in engine.positions) or "flat"
    table.add_row("final positions", positions)
    b = engine.balance
    if b is not None:
        table.add_row("final balance", f"cash {b.cash:,.2f}  realized P&L {b.realized_pnl:,.2f}"
                                       f"  unrealized P&L {b.unrealized_pnl:,.2f}")
    table.add_row("rows written (in the store)", ", ".join(
        f"{name} {engine.rows_written[name]} ({len(result.stored.get(name, []))})"
        for name in engine.rows_written))
    if result.replayed is not None:
        table.add_row("replayed", result.replayed)
    stats = result.market_stats
    if stats:
        table.add_row("market events posted", f"{stats.get('quotes', 0)} quotes, "
                      f"{stats.get('ticks', 0)} ticks")
    table.add_row("session ended by", engine.stop_reason or "?")
    return table


def print_transcript(console, result):
    if not result.transcript:
        return
    console.rule("Chat transcript")
    for turn in result.transcript:
        who = "stranger" if turn.chat_id == STRANGER_CHAT_ID else "user"
        console.print(f"[bold]{who} ({turn.chat_id})>[/] {escape(turn.sent)}", highlight=False,
                      soft_wrap=True)
        if not turn.replies:
            console.print("    (no reply: ignored)", style="dim")
        for reply in turn.replies:
            for number, line in enumerate(reply.splitlines()):
                console.print(("  < " if number == 0 else "    ") + line, highlight=False,
                              markup=False, soft_wrap=True)


def print_report(console, result):
    console.print(summary_table(result))
    print_transcript(console, result)
    if result.unanswered:
        console.print(f"[red]{len(result.unanswered)} chat message(s) not fully answered[/]")
    if result.threads_left:
        console.print(f"[red]threads still running: {[t.name for t in result.threads_left]}[/]")
    console.print(f"store: {result.folder / 'corvane.db'}")
    if result.recorder is not None:
        counts = result.recorder.counts
        console.print(f"recording: {result.recorder.path} ({counts['quotes']} quotes, "
                      f"{counts['ticks']} ticks, {counts['bars']} bars)")
    if result.chart is not None:
        console.print(f"chart: {result.chart}")
