"""Gateways link the framework to brokers and market-data sources."""


class BaseGateway:
    """What every gateway offers the engine. A concrete gateway overrides these.

    The engine's order of calls: ``connect``, ``logon``, ``subscribe_account``, then
    ``subscribe`` for each security; while it runs, ``get_balance``, ``get_positions``,
    ``get_bars``, ``place_order`` and ``cancel_order``; at the end ``unsubscribe``,
    ``unsubscribe_account``, ``logoff`` and ``close``.
    """

    def __init__(self, gateway_name: str = ""):
        self.gateway_name = gateway_name

    # -- session ------------------------------------------------------------------------

    def connect(self):
        raise NotImplementedError

    def close(self):
        raise NotImplementedError

    def logon(self, user_name: str, password: str):
        raise NotImplementedError

    def logoff(self):
        raise NotImplementedError

    # -- account ------------------------------------------------------------------------

    def subscribe_account(self, account_id: int):
        """Follows the account's balance, positions, orders and fills."""
        raise NotImplementedError

    def unsubscribe_account(self, account_id: int):
        raise NotImplementedError

    def get_balance(self):
        """The followed account's balance (an ``AccountBalance``), read afresh."""
        raise NotImplementedError

    def get_positions(self):
        """The followed account's open positions (``PositionData``), read afresh, in a list
        of the caller's own."""
        raise NotImplementedError

    # -- market data --------------------------------------------------------------------

    def subscribe(self, security, bar_lookback, bar_frequency: str = "1Min"):
        """Subscribes the security's quotes, order book and bars of `bar_frequency`, with
        `bar_lookback` bars of history."""
        raise NotImplementedError

    def unsubscribe(self, security):
        raise NotImplementedError

    def get_bars(self, security):
        """The security's bars so far, oldest first, or None when none has come."""
        raise NotImplementedError

    # -- orders -------------------------------------------------------------------------

    def place_order(self, order):
        raise NotImplementedError

    def cancel_order(self, order_id: str):
        raise NotImplementedError
