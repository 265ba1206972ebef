#include "cqg_error.hpp"

namespace cqgemu {

CqgError::CqgError(std::shared_ptr<ThreadQueue> home, long code, std::string description)
    : EmulatedObject(std::move(home)), code_(code), description_(std::move(description)) {}

const MemberTable &CqgError::members() const {
    static const MemberTable table = [] {
        MemberTable t;
        MemberTable::Builder<CqgError>(t)
            .property("Code", &CqgError::code)
            .property("Description", &CqgError::description);
        return t;
    }();
    return table;
}

nb::object CqgError::code() { return nb::int_(code_); }
nb::object CqgError::description() { return nb::str(description_.c_str()); }

} // namespace cqgemu
