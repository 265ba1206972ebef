#include "configured_settings.hpp"

#include <optional>

#include "chat_id.hpp"
#include "errors.hpp"

namespace corvane::telegram {

namespace {

// The Updater runs 4 workers; with its dispatcher, poller, job queue and the engine's
// thread that makes 8 users of the bot's connection pool. A strategy that sends from more
// threads at once sets TELEGRAM_CONNECTION_POOL_SIZE, or urllib3 discards the connections
// the pool has no room for (with a warning each).
constexpr int kDefaultConnectionPoolSize = 8;

const char *type_name_of(nb::handle value) { return Py_TYPE(value.ptr())->tp_name; }

} // namespace

nb::object configured_default_chat_id(nb::handle configured) {
    if (configured.is_none())
        return nb::none();
    std::optional<nb::object> chat = chat_id_as_int(configured);
    if (!chat)
        pyglue::raise_error(PyExc_TypeError, "Expected %.200s, got %.200s", "int",
                            type_name_of(configured));
    return *chat;
}

nb::object configured_base_url(nb::handle config) {
    nb::object base_url = nb::getattr(config, "TELEGRAM_BASE_URL", nb::none());
    if (!base_url.is_none() && !PyUnicode_Check(base_url.ptr()))
        pyglue::raise_error(PyExc_TypeError, "TELEGRAM_BASE_URL must be a str or None, got %.200s",
                            type_name_of(base_url));
    return base_url;
}

nb::object configured_pool_size(nb::handle config) {
    nb::object size = nb::getattr(config, "TELEGRAM_CONNECTION_POOL_SIZE", nb::none());
    if (size.is_none())
        return nb::int_(kDefaultConnectionPoolSize);
    if (!PyLong_CheckExact(size.ptr()))
        pyglue::raise_error(PyExc_TypeError,
                            "TELEGRAM_CONNECTION_POOL_SIZE must be an int or None, got %.200s",
                            type_name_of(size));
    int overflow = 0;
    long long count = PyLong_AsLongLongAndOverflow(size.ptr(), &overflow);
    if (overflow != 0 || count < 1)
        pyglue::raise_error(PyExc_ValueError,
                            "TELEGRAM_CONNECTION_POOL_SIZE must be at least 1, got %R", size.ptr());
    return size;
}

} // namespace corvane::telegram
