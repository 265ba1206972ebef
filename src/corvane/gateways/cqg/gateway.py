"""The framework's CQG gateway: owns the COM bridge and the GATELINK it returns, maps CQG
symbols to securities both ways, keeps the latest quote and order book of every followed
security, receives what GATELINK pushes, and carries out the engine's requests
(``BaseGateway``) as GATELINK's calls.

    with CqgGateway([Futures(code="EPZ26", ...)]) as gateway:
        gateway.logon("trader", "secret")
        gateway.subscribe_account(1001)
        guid = gateway.place_order(Order(security, OrderType.MARKET, Direction.LONG, 1))

The CQG symbol of a security is its ``code``. ``on_record(kind, record)``, if given, is
called with "quote", "orderbook", "order" or "deal" after each record is counted
(``received[kind]``). The gateway keeps the latest quote and order book of each security
(``cqg_quotes``, ``cqg_orderbooks``) and, of everything it received, only the latest
``history`` records of each kind (``quotes``, ``orderbooks``, ``orders``, ``deals``; none by
default), so that memory stays flat however long a session runs.
"""
import contextlib
from collections import deque

from corvane.gateways import BaseGateway


class CqgGateway(BaseGateway):
    def __init__(self, securities=(), api_configuration=None, on_record=None,
                 gateway_name="CQG", history=0):
        super().__init__(gateway_name)
        self.securities = {security.code: security for security in securities}
        self.api_configuration = api_configuration
        self.on_record = on_record
        # Keyed in advance for every followed security; None until the first record.
        self.cqg_quotes = {security: None for security in self.securities.values()}
        self.cqg_orderbooks = {security: None for security in self.securities.values()}
        self.history = history
        self.quotes, self.orderbooks, self.orders, self.deals = (
            deque(maxlen=history) for _ in range(4))
        self.received = {"quote": 0, "orderbook": 0, "order": 0, "deal": 0}
        self.comBridge = None
        self.gatelink = None

    # -- life cycle -------------------------------------------------------------------

    def connect(self):
        """Starts CQGCEL on the bridge's thread and binds GATELINK to this gateway. Any
        failure on the way, Ctrl-C included, shuts the bridge down again."""
        from corvane.gateways.cqg.wrapper.ComBridge import ComBridge
        from corvane.gateways.cqg.wrapper.gatelink import GATELINK

        self.comBridge = ComBridge()
        try:
            self.gatelink = self.comBridge.Init(GATELINK, self.api_configuration)
            self.gatelink.Init(self)
        except BaseException:
            # The start-up failure is the one to report, not a failure to close after it.
            with contextlib.suppress(Exception):
                self.close()
            raise
        return self

    def close(self):
        """Shuts the bridge down. The bridge is forgotten only once that has succeeded: a
        close that fails (called from a thread that does not own the proxy, say) can be
        made again from the right one."""
        if self.comBridge is not None:
            self.comBridge.Shutdown()
            self.comBridge = None

    def __enter__(self):
        return self.connect()

    def __exit__(self, *exc_info):
        self.close()  # also after Ctrl-C in the body; the exception goes on
        return False

    def _link(self):
        """GATELINK while the bridge runs. Before connect() or after close() a request gets
        a clear error instead of reaching a link that is missing or cut off from CQGCEL
        (whose answers would then be empty: a zero balance, no bars)."""
        if self.comBridge is None or self.gatelink is None:
            state = ("closed: connect() it again" if self.gatelink is not None
                     else "not connected: connect() it first")
            raise ConnectionError(f"the {self.gateway_name} gateway is {state}")
        return self.gatelink

    # -- symbols ----------------------------------------------------------------------

    def get_cv_security_from_cqg_symbol(self, cqg_symbol):
        return self.securities.get(cqg_symbol)

    def get_cqg_symbol_from_cv_security(self, security):
        return security.code

    # -- what GATELINK pushes -----------------------------------------------------------

    def _receiver(kind, kept_name):
        # One method per kind, each a single frame: quotes arrive a hundred thousand a second.
        def process(self, record):
            self.received[kind] += 1
            if self.history:
                getattr(self, kept_name).append(record)
            if self.on_record is not None:
                self.on_record(kind, record)

        process.__name__ = f"process_{kind}"
        process.__qualname__ = f"CqgGateway.process_{kind}"
        return process

    process_quote = _receiver("quote", "quotes")
    process_orderbook = _receiver("orderbook", "orderbooks")
    process_order = _receiver("order", "orders")
    process_deal = _receiver("deal", "deals")
    del _receiver

    # -- session, account and market data, as GATELINK's calls ---------------------------

    def logon(self, user_name, password):
        self._link().Logon(user_name, password)

    def logoff(self):
        self._link().Logoff()

    def subscribe_account(self, account_id):
        self._link().subscribe_account_and_positions(account_id)

    def unsubscribe_account(self, account_id):
        self._link().unsubscribe_account_and_positions(account_id)

    def get_balance(self):
        link = self._link()
        link.update_account_balance()
        return link.account_balance

    def get_positions(self):
        link = self._link()
        link.update_positions()
        return list(link.positions)

    def subscribe(self, security, bar_lookback, bar_frequency="1Min"):
        symbol = self.get_cqg_symbol_from_cv_security(security)
        link = self._link()
        link.subscribe_quote(symbol)
        link.subscribe_orderbook(symbol)
        link.subscribe_bar(symbol, bar_lookback, bar_frequency)

    def unsubscribe(self, security):
        symbol = self.get_cqg_symbol_from_cv_security(security)
        link = self._link()
        link.unsubscribe_quote(symbol)
        link.unsubscribe_orderbook(symbol)
        link.unsubscribe_bar(symbol)

    def get_bars(self, security):
        return self._link().get_subscribe_bars_data(security)

    # -- orders ---------------------------------------------------------------------

    def place_order(self, order):
        """Places a framework ``Order``; returns its CQG GUID once CQG has taken it."""
        return self._link().place_order(order)

    def cancel_order(self, order_id):
        """Asks CQG to cancel; the outcome arrives later as an order update."""
        self._link().cancel_order(order_id)
