#include "request_attributes.hpp"

#include "safe_access.hpp"
#include "truth.hpp"
#include "type_check.hpp"

namespace corvane::telegram {

using pyglue::read;
using pyglue::write;

nb::object make_library_bot_class(nb::handle module, nb::handle ext_bot) {
    nb::object module_name = read(module, "__name__");
    nb::dict ns;
    ns["__module__"] = module_name;
    ns["__qualname__"] = nb::str("CustomedExtBot");
    ns["__doc__"] = nb::str("The library bot, carrying the plug-in's request attributes.");
    ns["__slots__"] = nb::make_tuple("corvane_status");
    nb::handle metaclass = ext_bot.type();
    return metaclass(nb::str("CustomedExtBot"), nb::make_tuple(ext_bot), ns);
}

void set_initial_requests(nb::handle library_bot) {
    nb::object no = nb::bool_(false);
    nb::object none = nb::none();
    write(library_bot, "corvane_status", nb::str("Running"));
    write(library_bot, "get_balance", no);
    write(library_bot, "get_positions", no);
    write(library_bot, "get_orders", no);
    write(library_bot, "active_orders", no);
    write(library_bot, "num_orders_displayed", nb::int_(1));
    write(library_bot, "get_deals", no);
    write(library_bot, "num_deals_displayed", nb::int_(1));
    write(library_bot, "cancel_order", no);
    write(library_bot, "cancel_order_id", none);
    write(library_bot, "gateway_name", none);
    write(library_bot, "cancel_orders", no);
    write(library_bot, "send_order", no);
    write(library_bot, "order_string", nb::str(""));
    write(library_bot, "close_positions", no);
    write(library_bot, "close_positions_gateway_name", none);
}

nb::object library_bot_of(nb::handle self) {
    nb::object updater = read(self, "updater");
    return read(updater, "bot");
}

nb::object read_request(const RequestAttribute &attribute, nb::handle self) {
    nb::object library_bot = library_bot_of(self);
    return read(library_bot, attribute.name);
}

void store_request(const RequestAttribute &attribute, nb::handle self, nb::object val) {
    nb::object library_bot = library_bot_of(self);
    switch (attribute.stored) {
    case Stored::TruthValue:
        write(library_bot, attribute.name, nb::bool_(pyglue::is_true(val)));
        break;
    case Stored::ExactStr:
        pyglue::require_exact_type(val, &PyUnicode_Type, "val");
        write(library_bot, attribute.name, val);
        break;
    case Stored::AsGiven:
        write(library_bot, attribute.name, val);
        break;
    }
}

} // namespace corvane::telegram
