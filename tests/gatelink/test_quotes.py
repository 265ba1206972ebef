"""Instruments and quotes: subscription, look-up and the quote handler's publication
rules, called directly with stand-ins shaped like pywin32 wrappers."""
import dataclasses
import threading

import pytest
from win32com.client import constants

from corvane.gateways.cqg.wrapper.type_library import CQGCEL_TYPE_LIBRARY

from market_fakes import EPZ26, NQZ26, Collection, CQGQuote, Instrument, Ticks, TimedBars


@pytest.fixture
def library():
    """The class whose __dict__ win32com.client.constants holds for CQGCEL's type library."""
    from win32com.client import gencache
    return gencache.EnsureModule(*CQGCEL_TYPE_LIBRARY).constants


def changed(link, full_name, *quotes):
    link.OnInstrumentChanged(Instrument(full_name), Collection(quotes), Collection())


class TestQuoteTypeNames:
    def test_every_type_and_the_shared_marker_text(self, gatelink):
        names = {"qtAsk": "Best ask", "qtBid": "Best bid", "qtTrade": "Last trade price",
                 "qtDayOpen": "Day open price", "qtDayHigh": "Current day high price",
                 "qtDayLow": "Current day low price",
                 "qtYesterdaySettlement": "Yesterday's settlement price",
                 "qtSettlement": "Settlement price", "qtImpliedBid": "Implied best bid",
                 "qtMarker": "Marker price", "qtTodayMarker": "Marker price",
                 "qtCohUndAsk": "Coherent underlying price for the best ask"}
        for constant, text in names.items():
            assert gatelink.QuoteType2String(getattr(constants, constant)) == text

    def test_unknown_value_is_a_key_error_with_that_value(self, gatelink):
        with pytest.raises(KeyError) as raised:
            gatelink.QuoteType2String(-7)
        assert raised.value.args == (-7,)

    def test_table_is_read_from_the_constants_of_the_moment(self, gatelink, monkeypatch):
        import win32com.client

        class Shifted:
            def __getattr__(self, name):
                return getattr(constants, name) + 1000

        monkeypatch.setattr(win32com.client, "constants", Shifted())
        assert gatelink.QuoteType2String(constants.qtBid + 1000) == "Best bid"
        monkeypatch.undo()
        assert gatelink.QuoteType2String(constants.qtBid) == "Best bid"

    def test_libraries_loaded_later_are_searched_in_order(self, gatelink, monkeypatch):
        # As pywin32 keeps them: one dict of names per loaded type library, first match wins.
        bid = constants.qtBid
        monkeypatch.setattr(constants, "__dicts__", [{"qtBid": 900}, *constants.__dicts__])
        assert gatelink.QuoteType2String(900) == "Best bid"
        with pytest.raises(KeyError):
            gatelink.QuoteType2String(bid)
        monkeypatch.undo()
        assert gatelink.QuoteType2String(constants.qtBid) == "Best bid"

    def test_constants_sharing_a_value_keep_the_later_text(self, gatelink, monkeypatch):
        import win32com.client

        class Overlapping:  # values as a type library may give them: small and shared
            def __getattr__(self, name):
                return {"qtAsk": 1, "qtBid": 1}.get(name, 0)

        monkeypatch.setattr(win32com.client, "constants", Overlapping())
        assert gatelink.QuoteType2String(1) == "Best bid"
        assert gatelink.QuoteType2String(0) == "Yesterday's settlement price"


    def test_a_missing_constant_fails_whatever_value_is_asked(self, gatelink, monkeypatch):
        import win32com.client

        class WithoutTrade:  # qtTrade comes late in the table; qtAsk matches first
            def __getattr__(self, name):
                if name == "qtTrade":
                    raise AttributeError(name)
                return getattr(constants, name)

        monkeypatch.setattr(win32com.client, "constants", WithoutTrade())
        with pytest.raises(AttributeError, match="qtTrade"):
            gatelink.QuoteType2String(constants.qtAsk)
        with pytest.raises(AttributeError, match="qtTrade"):  # not a KeyError
            gatelink.QuoteType2String(-7)

    def test_a_library_changed_in_place_is_read_again(self, gatelink, library, monkeypatch):
        # The values are kept between calls only while nothing they were read from changed:
        # the library's class (behind its mappingproxy) here.
        trade = constants.qtTrade
        assert gatelink.QuoteType2String(trade) == "Last trade price"
        monkeypatch.setattr(library, "qtTrade", 7777)
        assert gatelink.QuoteType2String(7777) == "Last trade price"
        with pytest.raises(KeyError):
            gatelink.QuoteType2String(trade)
        monkeypatch.delattr(library, "qtTrade")
        for _ in range(2):  # a failure is never kept as an answer
            with pytest.raises(AttributeError, match="qtTrade"):
                gatelink.QuoteType2String(constants.qtBid)
        monkeypatch.undo()
        assert gatelink.QuoteType2String(trade) == "Last trade price"

    def test_values_behind_a_mappingproxy_are_kept_until_something_changes(
            self, gatelink, library, monkeypatch):
        # A library's mappingproxy is followed to the dict behind it (gc.get_referents) when
        # the values are read; while no dict they came from changes, they are not read again.
        import gc
        looked_behind = []
        real = gc.get_referents
        monkeypatch.setattr(gc, "get_referents",
                            lambda *objects: looked_behind.append(objects) or real(*objects))
        proxies = len(constants.__dicts__)
        monkeypatch.setattr(library, "qtTrade", 7777)
        for _ in range(5):
            assert gatelink.QuoteType2String(7777) == "Last trade price"
        assert len(looked_behind) == proxies
        monkeypatch.setattr(constants, "qtAsk", 7778, raising=False)  # on the namespace itself
        for _ in range(3):
            assert gatelink.QuoteType2String(7778) == "Best ask"
        assert len(looked_behind) == 2 * proxies

    def test_a_library_loaded_later_is_searched_after_the_others(self, gatelink, library):
        newer = type("constants", (), {"qtAsk": 8888, "qtNewKind": 5})
        constants.__dicts__.append(newer.__dict__)
        try:
            assert gatelink.QuoteType2String(constants.qtAsk) == "Best ask"  # the first wins
            constants.__dicts__.insert(0, constants.__dicts__.pop())
            assert constants.qtAsk == 8888
            assert gatelink.QuoteType2String(8888) == "Best ask"
        finally:
            constants.__dicts__.remove(newer.__dict__)
        assert gatelink.QuoteType2String(constants.qtAsk) == "Best ask"

    def test_a_constant_set_on_the_namespace_itself_is_seen_as_attribute_access_sees_it(
            self, gatelink, monkeypatch):
        trade, bid, tick = constants.qtTrade, constants.qtBid, constants.tptTrade
        assert gatelink.QuoteType2String(trade) == "Last trade price"
        assert gatelink.TickType2String(tick) == "Trade price"
        monkeypatch.setattr(constants, "qtTrade", 99, raising=False)  # an instance attribute
        monkeypatch.setattr(constants, "tptTrade", 97, raising=False)
        assert constants.qtTrade == 99
        assert gatelink.QuoteType2String(99) == "Last trade price"
        assert gatelink.TickType2String(97) == "Trade price"
        with pytest.raises(KeyError):
            gatelink.QuoteType2String(trade)
        monkeypatch.setattr(type(constants), "qtBid", 98, raising=False)  # on its class
        assert constants.qtBid == 98 and gatelink.QuoteType2String(98) == "Best bid"
        monkeypatch.undo()
        assert gatelink.QuoteType2String(trade) == "Last trade price"
        assert gatelink.QuoteType2String(bid) == "Best bid"
        assert gatelink.TickType2String(tick) == "Trade price"

    def test_constants_that_are_not_plain_ints_are_hashed_on_every_call(self, gatelink, library,
                                                                         monkeypatch):
        class Drifting(int):  # an int whose hash follows a setting
            shift = 0

            def __hash__(self):
                return int(self) + Drifting.shift

            def __eq__(self, other):
                return hash(self) == hash(other)

        monkeypatch.setattr(library, "qtTrade", Drifting(5000))
        assert gatelink.QuoteType2String(5000) == "Last trade price"
        Drifting.shift = 1  # nothing in the namespace changed, only the hash
        assert gatelink.QuoteType2String(5001) == "Last trade price"

    def test_values_are_matched_as_dict_keys_are(self, gatelink):
        bid = constants.qtBid
        assert gatelink.QuoteType2String(float(bid)) == "Best bid"  # 1.0 finds the key 1
        with pytest.raises(KeyError) as raised:
            gatelink.QuoteType2String((bid, 1))
        assert raised.value.args == ((bid, 1),)  # a tuple stays one argument
        with pytest.raises(TypeError, match="unhashable"):
            gatelink.QuoteType2String([bid])
        with pytest.raises(KeyError):
            gatelink.TickType2String(constants.qtSettlement + 10**6)

class TestInstrumentLookup:
    # Each look-up, the collection it walks and how an object of it is made from a name.
    LOOKUPS = [
        ("get_instrument_from_cqg_symbol", "Instruments", lambda name: Instrument(f"F.US.{name}")),
        ("get_ticks_from_cqg_symbol", "AllTicks", lambda name: Ticks(name)),
        ("get_timedbars_from_cqg_symbol", "AllTimedBars", lambda name: TimedBars(name)),
    ]

    @pytest.mark.parametrize("lookup, collection, made", LOOKUPS)
    def test_the_object_of_that_very_symbol_first_then_the_first_containing_it(
            self, market, lookup, collection, made):
        link, cel, _ = market
        find = getattr(link, lookup)
        longer, short, exact = made("EPZ26"), made("EP"), made("EPZ2")
        getattr(cel, collection).items = [made("NQZ26"), longer, short, exact]
        # EP and EPZ26 both followed: each symbol finds its own contract.
        assert find("EP") is short and find("EPZ26") is longer and find("EPZ2") is exact
        assert find("Z26") is getattr(cel, collection).items[0]  # only contained: the first
        assert find("CLZ26") is None

    def test_the_symbol_part_is_after_the_last_dot_of_the_full_name(self, market):
        link, cel, _ = market
        dotted, plain = Instrument("F.US.EP.Z26"), Instrument("EP")
        cel.Instruments.items = [dotted, plain]
        assert link.get_instrument_from_cqg_symbol("EP") is plain
        assert link.get_instrument_from_cqg_symbol("Z26") is dotted

    def test_symbol_must_be_exactly_text(self, market):
        link, _, _ = market
        for bad in (None, b"EPZ26", 5):
            with pytest.raises(TypeError, match="Argument 'cqg_symbol' has incorrect type"):
                link.get_instrument_from_cqg_symbol(bad)


class TestSubscription:
    def test_resolution_raises_the_level_and_releases_the_wait(self, market, trace):
        link, cel, _ = market
        instrument = Instrument("F.US.EPZ26")
        cel.on_request = lambda member, arg: threading.Thread(
            target=link.OnInstrumentResolved, args=(arg, instrument, None)).start()
        link.eventQuoteDone.set()  # a stale set must not count: the request clears it first
        assert link.subscribe_quote("EPZ26") is None
        assert cel.calls == [("NewInstrument", "EPZ26")]
        assert instrument.DataSubscriptionLevel == constants.dsQuotesAndBBA
        assert trace == ["Waiting for eventQuoteDone in subscribe_quote(EPZ26)...",
                         "eventQuoteDone is done."]

    def test_time_out_and_error_are_not_failures(self, market, trace):
        link, cel, _ = market
        link.subscribe_quote("EPZ26")  # nobody answers
        assert trace[-1] == "eventQuoteDone is done." and not link.eventQuoteDone.is_set()
        link.OnInstrumentResolved("EPZ26", None, object())
        assert link.eventQuoteDone.is_set()

    def test_unsubscribe_removes_a_known_instrument_only(self, market, trace):
        link, cel, _ = market
        instrument = Instrument("F.US.EPZ26")
        cel.Instruments.items = [instrument]
        link.unsubscribe_quote("NQZ26")
        assert cel.calls == [] and trace == []
        link.eventQuoteDone.set()
        link.unsubscribe_quote("EPZ26")
        assert cel.calls == [("RemoveInstrument", instrument)]
        assert not link.eventQuoteDone.is_set()
        assert trace == ["Successfully unsubscribe quote for EPZ26"]


class TestPublication:
    def test_bid_alone_is_kept_and_ask_after_it_publishes(self, market, frozen_now):
        link, _, gateway = market
        changed(link, "F.US.EPZ26", CQGQuote("qtBid", 5999.75))
        stored = gateway.cqg_quotes[EPZ26]
        assert stored.bid_price == 5999.75 and stored.ask_price == 0
        assert stored.security is EPZ26 and stored.exchange is EPZ26.exchange
        assert stored.datetime.tzinfo is None and gateway.quotes == []
        changed(link, "F.US.EPZ26", CQGQuote("qtAsk", 6000.25))
        [published] = gateway.quotes
        assert (published.bid_price, published.ask_price) == (5999.75, 6000.25)
        assert published is gateway.cqg_quotes[EPZ26]
        assert stored.ask_price == 0  # the record stored before was copied, not changed

    def test_last_trade_publishes_at_once(self, market):
        link, _, gateway = market
        changed(link, "F.US.NQZ26", CQGQuote("qtTrade", 21000.5))
        [published] = gateway.quotes
        assert published.last_price == 21000.5 and published.bid_price == 0
        assert gateway.cqg_quotes[EPZ26] is None

    def test_each_field_from_its_type(self, market):
        link, _, gateway = market
        changed(link, "F.US.EPZ26", *[CQGQuote(t, p) for t, p in [
            ("qtDayOpen", 1.0), ("qtDayHigh", 2.0), ("qtDayLow", 3.0),
            ("qtYesterdaySettlement", 4.0), ("qtTrade", 5.0), ("qtBid", 6.0), ("qtAsk", 7.0)]])
        q = gateway.cqg_quotes[EPZ26]
        assert (q.open_price, q.high_price, q.low_price, q.prev_close_price,
                q.last_price, q.bid_price, q.ask_price) == (1.0, 2.0, 3.0, 4.0, 5.0, 6.0, 7.0)

    def test_other_types_store_unchanged_and_republish(self, market, frozen_now):
        link, _, gateway = market
        changed(link, "F.US.EPZ26", CQGQuote("qtSettlement", 1.0))
        assert gateway.quotes == [] and gateway.cqg_quotes[EPZ26].settlement_price == 0
        changed(link, "F.US.EPZ26", CQGQuote("qtTrade", 6000.0))
        before = gateway.cqg_quotes[EPZ26]
        changed(link, "F.US.EPZ26", CQGQuote("qtImpliedBid", 1.0), CQGQuote("qtMarker", 2.0))
        assert gateway.quotes == [before, before, before]

    def test_several_quotes_give_several_records_as_they_stood(self, market):
        link, _, gateway = market
        changed(link, "F.US.EPZ26", CQGQuote("qtTrade", 10.0), CQGQuote("qtBid", 9.0),
                CQGQuote("qtAsk", 11.0))
        assert [(q.last_price, q.bid_price, q.ask_price) for q in gateway.quotes] == [
            (10.0, 0, 0), (10.0, 9.0, 0), (10.0, 9.0, 11.0)]

    def test_invalid_quotes_and_unfollowed_symbols_change_nothing(self, market):
        link, _, gateway = market
        changed(link, "F.US.EPZ26", CQGQuote("qtTrade", 1.0, valid=False))
        changed(link, "F.US.CLEF27", CQGQuote("qtTrade", 70.0))
        assert gateway.quotes == [] and set(gateway.cqg_quotes.values()) == {None}

    def test_unknown_type_ends_the_event(self, market):
        link, _, gateway = market
        with pytest.raises(KeyError):
            changed(link, "F.US.EPZ26", CQGQuote("qtTrade", 1.0), CQGQuote(-7, 2.0),
                    CQGQuote("qtBid", 3.0))
        assert [q.last_price for q in gateway.quotes] == [1.0]
        assert gateway.cqg_quotes[EPZ26].bid_price == 0

    def test_security_the_gateway_does_not_keep_is_a_key_error(self, market):
        link, _, gateway = market
        del gateway.cqg_quotes[EPZ26]
        with pytest.raises(KeyError):
            changed(link, "F.US.EPZ26", CQGQuote("qtTrade", 1.0))

    def test_copy_runs_the_record_class_as_replace_does(self, market, gatelink):
        link, _, gateway = market
        made = []

        @dataclasses.dataclass(frozen=True)
        class CountedQuote(gatelink.Quote):
            def __post_init__(self):
                made.append(self.last_price)

        gateway.cqg_quotes[NQZ26] = CountedQuote(security=NQZ26, exchange=None, datetime=None)
        changed(link, "EPZ26.NQZ26", CQGQuote("qtTrade", 3.0))  # symbol after the last "."
        assert made == [0, 3.0] and type(gateway.quotes[0]) is CountedQuote

    def test_name_without_a_dot_is_the_symbol(self, market):
        link, _, gateway = market
        changed(link, "EPZ26", CQGQuote("qtTrade", 1.0))
        assert gateway.quotes[0].security is EPZ26
