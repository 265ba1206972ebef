#include "program_ids.hpp"

#include "scenario.hpp"
#include "cqg/cqgcel.hpp"
#include "platform/com_errors.hpp"
#include "platform/com_runtime.hpp"
#include "platform/dispatch.hpp"
#include "platform/thread_queue.hpp"

namespace cqgemu {

nb::object create_by_program_id(const std::string &program_id) {
    require_apartment();
    if (lower_ascii(program_id) != "cqg.cqgcel.4")
        raise_com_error(hresult::CO_E_CLASSSTRING);
    World &w = world();
    if (w.scenario.fail_creation)
        raise_com_error(hresult::REGDB_E_CLASSNOTREG);
    auto record = std::make_shared<CelRecord>();
    record->thread_ident = current_thread_ident();
    auto cel = make_emulated<Cqgcel>(current_queue(), w.scenario.gateway, record);
    w.current_cel = cel;
    w.last_record = record;
    return wrap_for_names(nb::cast<const Interface &>(interface_for_this_thread(cel)));
}

} // namespace cqgemu
