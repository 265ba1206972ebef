"""Gateways link the framework to brokers and market-data sources."""


class BaseGateway:
    """What every gateway offers the engine. A concrete gateway overrides these."""

    def __init__(self, gateway_name: str = ""):
        self.gateway_name = gateway_name

    def connect(self):
        raise NotImplementedError

    def close(self):
        raise NotImplementedError

    def subscribe(self):
        raise NotImplementedError

    def place_order(self, order):
        raise NotImplementedError

    def cancel_order(self, order_id: str):
        raise NotImplementedError

    def get_balance(self):
        raise NotImplementedError

    def get_positions(self):
        raise NotImplementedError
