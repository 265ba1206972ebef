"""The emulated platform's COM client package."""
