// Values crossing COM, converted in one place as a VARIANT converts them.
//
// Going in (method arguments, property puts, event arguments and results an emulated object
// hands out) a Python value becomes what a VARIANT can hold: None, bool, int (up to 64 bits),
// float, str, bytes, decimal.Decimal, a COM date (pywintypes.TimeType, UTC), a tuple of such
// values (a SAFEARRAY), or a bare interface. numpy's numbers go in as floats. Anything else is
// refused with pywin32's TypeError. Coming out, a bare interface becomes one valid on the
// receiving thread; every other value arrives as it is.
#pragma once

#include <nanobind/nanobind.h>

#include <string>

namespace cqgemu {

namespace nb = nanobind;

nb::object to_variant(nb::handle value);

// The text of a str as an emulated object receives it: a BSTR holds UTF-16, lone surrogates
// included, so every str has one (encoded as UTF-8, a lone surrogate as its three bytes);
// such a text simply matches no name or GUID the emulator made.
std::string bstr_text(nb::handle text);

nb::object from_variant(nb::handle value, unsigned long receiving_thread);

} // namespace cqgemu
