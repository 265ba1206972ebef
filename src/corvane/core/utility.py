"""Small helpers shared across the framework."""
import functools
import sys
import traceback


def safe_call(func):
    """Decorator: run ``func``; on an exception, print it with its traceback on standard
    error and return None instead of raising."""

    @functools.wraps(func)
    def wrapper(*args, **kwargs):
        try:
            return func(*args, **kwargs)
        except Exception:
            traceback.print_exc(file=sys.stderr)
            return None

    return wrapper
