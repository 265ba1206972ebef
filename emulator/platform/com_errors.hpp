// The platform's two error types, `pywintypes.com_error` and `pywintypes.error`, and the
// HRESULTs the emulator reports.
#pragma once

#include <nanobind/nanobind.h>

namespace cqgemu {

namespace nb = nanobind;

namespace hresult {
constexpr long CO_E_NOTINITIALIZED = -2147221008;   // 0x800401F0
constexpr long CO_E_CLASSSTRING = -2147221005;      // 0x800401F3
constexpr long REGDB_E_CLASSNOTREG = -2147221164;   // 0x80040154
constexpr long RPC_E_WRONG_THREAD = -2147417842;    // 0x8001010E
constexpr long RPC_E_CHANGED_MODE = -2147417850;    // 0x80010106
constexpr long RPC_E_DISCONNECTED = -2147417848;    // 0x80010108
constexpr long RPC_E_SERVER_DIED_DNE = -2147418094; // 0x80010012
constexpr long E_NOINTERFACE = -2147467262;         // 0x80004002
constexpr long E_UNEXPECTED = -2147418113;          // 0x8000FFFF
constexpr long E_FAIL = -2147467259;                // 0x80004005
constexpr long DISP_E_EXCEPTION = -2147352567;      // 0x80020009
constexpr long DISP_E_TYPEMISMATCH = -2147352571;   // 0x80020005
constexpr long DISP_E_BADPARAMCOUNT = -2147352562;  // 0x8002000E
constexpr long DISP_E_BADINDEX = -2147352565;       // 0x8002000B
constexpr long DISP_E_PARAMNOTOPTIONAL = -2147352561; // 0x8002000F
constexpr long TYPE_E_LIBNOTREGISTERED = -2147319779; // 0x8002801D
} // namespace hresult

// Creates both exception types and stores them in `module` (once per process).
void define_error_types(nb::module_ &module);

nb::handle com_error_type();
nb::handle win32_error_type();

// Raise com_error(hresult, text of the hresult, None, None).
[[noreturn]] void raise_com_error(long code);

// Runs `read` on argument `position` of a call with `count` arguments: a type mismatch it
// raises names that argument in `argerror`, as IDispatch::Invoke's puArgErr does (an index
// into the arguments as COM stores them, last first).
template <class Read> auto argument_at(size_t position, size_t count, Read read) -> decltype(read());
void add_argument_index(nb::python_error &error, size_t position, size_t count);

// Raise com_error(DISP_E_EXCEPTION, "Exception occurred.", (0, source, description, None, 0,
// scode), None): an error reported by the emulated server itself.
[[noreturn]] void raise_server_error(const char *source, const std::string &description,
                                     long scode);

// Raise pywintypes.error(winerror, function name, text).
[[noreturn]] void raise_win32_error(int winerror, const char *function);

template <class Read> auto argument_at(size_t position, size_t count, Read read) -> decltype(read()) {
    try {
        return read();
    } catch (nb::python_error &error) {
        add_argument_index(error, position, count);
        throw;
    }
}

} // namespace cqgemu
