"""Reading the progress log back: lines per thread and the lines a run writes."""

MODULE = "corvane.gateways.cqg.wrapper.ComBridge"

CEL_PREPARATION = [
    "COM framework is initializing...",
    "COM framework is initialized!",
    "CQG.CQGCEL.4 creation...",
    "CQG.CQGCEL.4 created!",
    "Marshal CQGCEL in stream",
    "CQGCEL is marshaled in stream",
    "Internal sink subscription to events",
    "Internal sink ctor",
    "Internal sink subscribed",
    "Sink subscription to events",
    "Sink subscribed",
    "Internal sink is initialized",
    "Starting message pumping..",
]
CEL_UNINITIALIZING = ["COM framework is uninitializing...", "COM framework is uninitialized!"]
CALLER_HAND_OVER = [
    "Waiting for CQGCEL creation..",
    "CQGCEL is created!",
    "Marshaled CQGCEL from stream",
    "CQGCEL is marshaled from stream!",
    "CQGCEL default configuring...",
    "Startup CQGCEL..",
    "Waiting for CQGCEL start..",
    "CQGCEL has started.",
]
CALLER_SHUTDOWN = ["CQGCEL is being shut down..", "CQGCEL is shut down."]


def parse_log(text):
    """The progress lines as (thread ident, message) pairs; other output is skipped."""
    lines = []
    for line in text.splitlines():
        ident, sep, message = line.partition(": ")
        if sep and ident.isdigit():
            lines.append((int(ident), message))
    return lines


def messages_of(lines, ident):
    return [message for who, message in lines if who == ident]
