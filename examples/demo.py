"""What the package offers so far: the instrument model and its value rules."""
from corvane.core import security
from corvane.core.constants import Exchange
from corvane.core.security import Futures, Security, Stock


def main():
    print(f"corvane.core.security is compiled: {security.__file__}")
    hsbc = Stock("0005", "HSBC Holdings")
    hsbc_lot_100 = Stock("0005", "HSBC Holdings", lot_size=100)
    plain = Security("0005", "HSBC Holdings", exchange=Exchange.SEHK)
    es = Futures("EPZ26", "E-mini S&P 500 Dec 26")
    print(hsbc)
    print(es)
    print(f"Stock == same Stock:               {hsbc == Stock('0005', 'HSBC Holdings')}")
    print(f"Stock == Stock with lot size 100:  {hsbc == hsbc_lot_100}")
    print(f"Security == Stock (either order):  {plain == hsbc}, {hsbc == plain}")
    print(f"hash(Security) is hash of its text: "
          f"{hash(plain) == hash('HSBC Holdings|0005|SEHK')}")
    print(f"Security and Stock share a set slot: {plain in {hsbc}}")
    try:
        hsbc.lot_size = 10
    except Exception as exc:  # frozen record
        print(f"assigning a field: {type(exc).__name__}: {exc}")


if __name__ == "__main__":
    main()
