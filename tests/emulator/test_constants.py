"""CQG's named constants become available once the type library is ensured."""
import subprocess
import sys

import pytest

import _cqgemu
import pythoncom
import win32com.client
from win32com.client import constants

from corvane.gateways.cqg.wrapper.type_library import CQGCEL_TYPE_LIBRARY

QUOTE_TYPES = ["qtAsk", "qtBid", "qtCohUndAsk", "qtCohUndBid", "qtDayHigh", "qtDayLow",
               "qtDayOpen", "qtImpliedAsk", "qtImpliedBid", "qtIndicativeOpen", "qtMarker",
               "qtOutrightAsk", "qtOutrightBid", "qtSettlement", "qtTodayMarker", "qtTrade",
               "qtYesterdaySettlement"]
ORDER_STATUSES = ["osActiveAt", "osContingent", "osInCancel", "osInClient", "osInModify",
                  "osInTransit", "osNotSent", "osParked", "osInOrderBook", "osFilled", "osBusted",
                  "osCanceled", "osRejectFCM", "osRejectGW", "osDisconnected", "osExpired",
                  "osInTransitTimeout"]
OTHERS = ["tzChina", "csConnectionUp", "csConnectionDown", "dsQuotesAndBBA", "hpDaily",
          "pfds1Min", "dbcLastQuoteOrSettlement", "tbrContractVolume", "tbrCommodityVolume",
          "trtCurrentNotify", "tfAll", "tptAsk", "tptBid", "tptSettlement", "tptTrade", "aslNone",
          "aslAccountUpdatesAndOrders", "pslSnapshotAndUpdates", "pslNoPositions",
          "actPositionAdded", "actPositionChanged", "actAccountsReloaded", "otLimit", "otMarket",
          "otStop", "osdBuy", "osdSell", "opGWStatus", "opGUID", "opEventServerTimestamp",
          "opAverageFillPrice", "opFilledQuantity", "ctAdded", "ctChanged", "ctRemoved",
          "fsNormal"]


def test_every_constant_the_gateway_uses_exists_distinct_within_its_enumeration():
    for group in (QUOTE_TYPES, ORDER_STATUSES):
        values = [getattr(constants, name) for name in group]
        assert all(type(value) is int for value in values)
        assert len(set(values)) == len(values)
    names = QUOTE_TYPES + ORDER_STATUSES + OTHERS
    assert set(names) <= set(dir(constants))
    assert constants.csConnectionUp != constants.csConnectionDown
    assert constants.osdBuy != constants.osdSell
    assert len({constants.otLimit, constants.otMarket, constants.otStop}) == 3
    assert len({constants.ctAdded, constants.ctChanged, constants.ctRemoved}) == 3
    with pytest.raises(AttributeError):
        constants.qtNoSuchQuote


def test_constants_are_small_and_shared_across_enumerations_as_in_a_type_library():
    # Code that tests a constant for truth or compares it with one of another enumeration
    # must meet the same surprises it meets on Windows.
    values = [getattr(constants, name) for name in QUOTE_TYPES + ORDER_STATUSES + OTHERS]
    assert min(values) == 0 and max(values) < 100
    assert not all(values)
    assert constants.qtAsk in {constants.ctAdded, constants.tfAll, constants.aslNone}
    assert {getattr(constants, name) for name in QUOTE_TYPES} & \
        {getattr(constants, name) for name in ORDER_STATUSES}


def test_constants_appear_only_after_ensure_module_and_only_for_the_cqg_library():
    script = (
        "import win32com.client\n"
        "from win32com.client import constants\n"
        "assert not hasattr(constants, 'tzChina')\n"
        f"module = win32com.client.gencache.EnsureModule(*{CQGCEL_TYPE_LIBRARY!r})\n"
        "assert module is not None\n"
        "print(constants.tzChina)\n")
    run = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True, timeout=30)
    assert run.stdout.strip() == str(constants.tzChina), run.stderr
    with pytest.raises(pythoncom.com_error):
        win32com.client.gencache.EnsureModule("{00000000-1111-2222-3333-444444444444}", 0, 1, 0)
    with pytest.raises(pythoncom.com_error):
        win32com.client.gencache.EnsureModule(CQGCEL_TYPE_LIBRARY[0], 0, 5, 0)
    assert _cqgemu.constant("tzChina") == constants.tzChina


def test_a_loaded_library_keeps_its_constants_as_a_generated_class_does():
    # As pywin32 keeps them: the generated module's `constants` class, whose __dict__ (a
    # mappingproxy, read-only) joins the namespace once however often the library is ensured.
    module = win32com.client.gencache.EnsureModule(*CQGCEL_TYPE_LIBRARY)
    again = win32com.client.gencache.EnsureModule(*CQGCEL_TYPE_LIBRARY)
    assert again is module and module.__doc__ == "CQGCEL 4.0 Type Library"
    libraries = [names for names in constants.__dicts__ if "qtTrade" in names]
    assert libraries == [module.constants.__dict__]
    assert type(libraries[0]).__name__ == "mappingproxy"
    assert libraries[0]["qtTrade"] == module.constants.qtTrade == constants.qtTrade
    with pytest.raises(TypeError):
        libraries[0]["qtTrade"] = 0
