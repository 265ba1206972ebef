"""The bot's settings refused word for word when the module is imported. Each text is
formatted from the refused value, where a value handed to the wrong place in the format
would garble the text or end the process."""
import pytest


def test_refused_settings_name_the_setting_and_the_value(import_bot):
    cases = [
        ({"TELEGRAM_BASE_URL": 8080}, TypeError,
         "TELEGRAM_BASE_URL must be a str or None, got int"),
        ({"TELEGRAM_CONNECTION_POOL_SIZE": "8"}, TypeError,
         "TELEGRAM_CONNECTION_POOL_SIZE must be an int or None, got str"),
        ({"TELEGRAM_CONNECTION_POOL_SIZE": True}, TypeError,
         "TELEGRAM_CONNECTION_POOL_SIZE must be an int or None, got bool"),
        ({"TELEGRAM_CONNECTION_POOL_SIZE": 0}, ValueError,
         "TELEGRAM_CONNECTION_POOL_SIZE must be at least 1, got 0"),
        ({"TELEGRAM_CONNECTION_POOL_SIZE": -2**70}, ValueError,
         f"TELEGRAM_CONNECTION_POOL_SIZE must be at least 1, got {-2**70}"),
        ({"chat_id": [42]}, TypeError, "Expected int, got list"),
    ]
    for settings, error, text in cases:
        with pytest.raises(error) as raised:
            import_bot(**settings)
        assert str(raised.value) == text
