"""The CQG gateway."""
