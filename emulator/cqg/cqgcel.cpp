#include "cqgcel.hpp"

#include "api_configuration.hpp"
#include "cqg_account.hpp"
#include "cqg_error.hpp"
#include "cqg_instrument.hpp"
#include "cqg_ticks.hpp"
#include "cqg_timed_bars.hpp"
#include "gateway.hpp"
#include "market/cqg_constants.hpp"
#include "platform/com_errors.hpp"
#include "platform/com_runtime.hpp"
#include "platform/interface.hpp"
#include "platform/thread_queue.hpp"

namespace cqgemu {

Cqgcel::Cqgcel(std::shared_ptr<ThreadQueue> home, GatewayScript script,
               std::shared_ptr<CelRecord> record)
    : EventSource(home), script_(std::move(script)), record_(std::move(record)),
      configuration_(make_emulated<ApiConfiguration>(home, record_)),
      accounts_(make_emulated<CqgAccounts>(home, record_)),
      account_subscription_level_(*cqg_constant("aslNone")),
      instruments_(make_emulated<CqgObjectList<CqgInstrument>>(home, "CQGInstruments")),
      all_ticks_(make_emulated<CqgObjectList<CqgTicks>>(home, "CQGTicksCollection")),
      all_timed_bars_(make_emulated<CqgObjectList<CqgTimedBars>>(home, "CQGTimedBarsCollection")) {}

const MemberTable &Cqgcel::members() const {
    static const MemberTable table = [] {
        MemberTable t;
        MemberTable::Builder<Cqgcel>(t)
            .property("APIConfiguration", &Cqgcel::api_configuration)
            .method("Startup", &Cqgcel::startup)
            .method("Shutdown", &Cqgcel::shutdown)
            .method("GWLogon", &Cqgcel::gw_logon, {required("UserName"), required("Password")})
            .method("GWLogoff", &Cqgcel::gw_logoff)
            .property("AccountSubscriptionLevel", &Cqgcel::account_subscription_level,
                      &Cqgcel::set_account_subscription_level)
            .property("Accounts", &Cqgcel::accounts)
            .method("NewInstrument", &Cqgcel::new_instrument, {required("Symbol")})
            .method("RemoveInstrument", &Cqgcel::remove_instrument, {required("Instrument")})
            .property("Instruments", &Cqgcel::instruments)
            .method("CreateTicksRequest", &Cqgcel::create_ticks_request)
            .method("RequestTicks", &Cqgcel::request_ticks, {required("Request")})
            .method("RemoveTicks", &Cqgcel::remove_ticks, {required("Ticks")})
            .property("AllTicks", &Cqgcel::all_ticks)
            .method("CreateTimedBarsRequest", &Cqgcel::create_timed_bars_request)
            .method("RequestTimedBars", &Cqgcel::request_timed_bars, {required("Request")})
            .method("RemoveTimedBars", &Cqgcel::remove_timed_bars, {required("TimedBars")})
            .property("AllTimedBars", &Cqgcel::all_timed_bars)
            .method("CreateOrder", &Cqgcel::create_order,
                    {required("OrderType"), required("Instrument"), required("Account"),
                     required("Quantity"), required("OrderSide"), optional("LimitPrice"),
                     optional("StopPrice")})
            .property("Orders", &Cqgcel::orders);
        return t;
    }();
    return table;
}

void Cqgcel::disconnect() {
    EventSource::disconnect();
    configuration_->disconnect();
    accounts_->disconnect();
    instruments_->disconnect();
    all_ticks_->disconnect();
    all_timed_bars_->disconnect();
    disconnect_orders();
}

nb::object Cqgcel::api_configuration() { return interface_for_this_thread(configuration_); }

void Cqgcel::record_call(const char *name, nb::tuple args) {
    // An object argument is noted by its type name: the record outlives the objects, and must
    // not keep them (and the Python objects they hold) alive.
    nb::list noted;
    for (nb::handle arg : args) {
        std::optional<Interface> iface = interface_of(arg);
        if (iface)
            noted.append(nb::str(iface->target->type_name()));
        else
            noted.append(arg);
    }
    nb::tuple kept(noted);
    record_->note_call(name, current_thread_ident(), kept);
    record_->note_object_call(type_name(), name, kept);
}

void Cqgcel::fire_data_error(long code, const std::string &description) {
    auto error = make_emulated<CqgError>(home(), code, description);
    fire("DataError",
         nb::make_tuple(interface_for_this_thread(error), nb::str(description.c_str())));
}

nb::object Cqgcel::startup(nb::tuple args) {
    require_argument_count(args, 0);
    record_call("Startup");
    if (script_.startup == StartupAnswer::NeverAnswered)
        return nb::none();
    // The answer is an event, so it reaches the sinks through the pump, after this call returns.
    if (script_.startup_delay > 0) {
        std::weak_ptr<EmulatedObject> weak = weak_from_this();
        gateway().schedule_after(script_.startup_delay, [weak] {
            if (auto self = std::static_pointer_cast<Cqgcel>(weak.lock()))
                if (!self->disconnected())
                    self->answer_startup();
        });
    } else {
        answer_startup();
    }
    return nb::none();
}

void Cqgcel::answer_startup() {
    switch (script_.startup) {
    case StartupAnswer::Started:
        fire("CELStarted", nb::tuple());
        break;
    case StartupAnswer::DataError:
        fire_data_error(script_.startup_error_code, script_.startup_error_description);
        break;
    case StartupAnswer::DataErrorWithoutObject:
        fire("DataError",
             nb::make_tuple(nb::none(), nb::str(script_.startup_error_description.c_str())));
        break;
    case StartupAnswer::NeverAnswered:
        break;
    }
}

nb::object Cqgcel::shutdown(nb::tuple args) {
    require_argument_count(args, 0);
    record_call("Shutdown");
    return nb::none();
}

} // namespace cqgemu
