"""The market model (walk, bars, feed rates) is plain C++: built and checked here on its own."""
import pytest

from native_checks import run_native_check

pytestmark = pytest.mark.timeout(300)


def test_the_market_model_on_its_own(tmp_path):
    run_native_check(tmp_path, "market_model_check.cpp",
                     ["price_walk.cpp", "bar_history.cpp", "quote_feed.cpp", "market.cpp"])
