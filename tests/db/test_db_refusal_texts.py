"""The store's refusals word for word. Each text is formatted from the refused value, where a
value handed to the wrong place in the format would garble the text or end the process."""
import pytest


def test_refused_names_and_values_are_named_in_the_text(store):
    plain = "a name is a letter or underscore followed by letters, digits or underscores"
    cases = [
        (lambda: store.update_records("balance", {1: 2.0}), TypeError,
         "Invalid column name 1: expected str, got int"),
        (lambda: store.select_records("balance", [b"cash"]), TypeError,
         "Invalid column name b'cash': expected str, got bytes"),
        (lambda: store.delete_table("a b"), ValueError, f"Invalid table name 'a b': {plain}"),
        (lambda: store.delete_records("balance", **{"cash;": 1}), ValueError,
         f"Invalid column name 'cash;': {plain}"),
        (lambda: store.insert_records("balance", cash=float("nan")), ValueError,
         "Column 'cash' is NaN: NaN cannot be stored (SQLite would keep NULL)"),
    ]
    for call, error, text in cases:
        with pytest.raises(error) as raised:
            call()
        assert str(raised.value) == text


@pytest.mark.parametrize(
    "source, cause",
    [
        ("DB = {'sqlite3': 42}\n", 'corvane_config.DB["sqlite3"] must be a str, not int'),
        ("DB = {'sqlite3': b'/tmp'}\n", 'corvane_config.DB["sqlite3"] must be a str, not bytes'),
    ],
)
def test_a_directory_that_is_no_text_is_named_in_the_cause(db_module, write_config, source,
                                                           cause):
    write_config(source)
    with pytest.raises(ValueError) as raised:
        db_module.DB()
    assert str(raised.value.__cause__) == cause
