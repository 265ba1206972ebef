"""corvane's configuration: copy next to your strategy and fill in."""

# The Telegram bot's access token, as given by Telegram when the bot was made.
TELEGRAM_TOKEN = "123456:replace-with-your-token"

# The one chat allowed to use the bot (an integer). With None the bot accepts no command;
# send the bot a message and call corvane.plugins.telegram.bot.bot.get_chat_id() to find it.
TELEGRAM_CHAT_ID = None

# Optional: the Bot API server to talk to, for a self-hosted one. None (or leaving the
# name out) means Telegram's own service.
TELEGRAM_BASE_URL = None

# Optional: connections the bot keeps to Telegram (8 when None or left out), enough for the
# library's threads and one engine thread; add one for each further thread of yours that
# sends messages at the same time.
TELEGRAM_CONNECTION_POOL_SIZE = None

# Plug-in settings: the folder that holds the SQLite store's corvane.db.
DB = {"sqlite3": "."}
