// CQGError: the error object a DataError event carries.
#pragma once

#include "platform/emulated_object.hpp"

#include <string>

namespace cqgemu {

class CqgError : public EmulatedObject {
public:
    CqgError(std::shared_ptr<ThreadQueue> home, long code, std::string description);

    const char *type_name() const override { return "CQGError"; }
    const MemberTable &members() const override;

    nb::object code();
    nb::object description();

private:
    long code_;
    std::string description_;
};

} // namespace cqgemu
