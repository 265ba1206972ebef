#include "market_values.hpp"

#include "safe_access.hpp"
#include "truth.hpp"

namespace corvane::gatelink {

namespace {

// The exact value of a plain int or float, when it is one and fits a double exactly enough
// to compare: `known` false sends the comparison to Python.
struct PlainNumber {
    bool known = false;
    double value = 0;
};

PlainNumber plain_number(nb::handle value) {
    PyObject *object = value.ptr();
    if (PyFloat_CheckExact(object))
        return {true, PyFloat_AS_DOUBLE(object)};
    if (PyLong_CheckExact(object)) {
        int overflow = 0;
        long long integer = PyLong_AsLongLongAndOverflow(object, &overflow);
        // Integers of up to 53 bits convert to double without rounding.
        constexpr long long exact_limit = 1LL << 53;
        if (!overflow && integer > -exact_limit && integer < exact_limit)
            return {true, static_cast<double>(integer)};
    }
    return {};
}

} // namespace

bool differs_from_zero(nb::handle value) {
    PlainNumber number = plain_number(value);
    if (number.known)
        return number.value != 0;
    nb::object zero = nb::int_(0);
    nb::object result = nb::steal(PyObject_RichCompare(value.ptr(), zero.ptr(), Py_NE));
    if (!result.is_valid())
        throw nb::python_error();
    return pyglue::is_true(result);
}

MarkerTest::MarkerTest(nb::handle marker) : marker_(marker) {
    PlainNumber number = plain_number(marker);
    plain_ = number.known;
    number_ = number.value;
}

bool MarkerTest::matches_any(nb::handle value) const {
    if (plain_) {
        PlainNumber number = plain_number(value);
        if (number.known)
            return number.value == number_;
    }
    return pyglue::equals(value, marker_);
}

} // namespace corvane::gatelink
