"""The Telegram bot plug-in (import ``corvane.plugins.telegram.bot`` to start the bot)."""
