"""The CQG side: the COM bridge and the gateway link (native modules)."""
