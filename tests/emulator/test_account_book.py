"""The account book is plain C++: built and checked here on its own, without Python objects."""
import pytest

from native_checks import run_native_check

pytestmark = pytest.mark.timeout(300)


def test_the_account_book_on_its_own(tmp_path):
    run_native_check(tmp_path, "account_book_check.cpp", ["account_book.cpp", "cqg_constants.cpp"])
