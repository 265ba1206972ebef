// CQGCEL: the object "CQG.CQGCEL.4" creates. Start-up and shut-down for now; the session,
// instruments, bars, ticks, accounts and orders hang off it as they are added.
#pragma once

#include "event_source.hpp"
#include "scenario.hpp"

namespace cqgemu {

class ApiConfiguration;

class Cqgcel : public EventSource {
public:
    Cqgcel(std::shared_ptr<ThreadQueue> home, Scenario scenario, std::shared_ptr<CelRecord> record);

    const char *type_name() const override { return "CQG.CQGCEL.4"; }
    const MemberTable &members() const override;
    void disconnect() override;

    nb::object api_configuration();
    nb::object startup(nb::tuple args);
    nb::object shutdown(nb::tuple args);

    const std::shared_ptr<CelRecord> &record() const { return record_; }

private:
    void answer_startup();
    void record_call(const char *name);

    Scenario scenario_;
    std::shared_ptr<CelRecord> record_;
    std::shared_ptr<ApiConfiguration> configuration_;
};

// win32com.client.Dispatch("CQG.CQGCEL.4") and any other program id.
nb::object create_by_program_id(const std::string &program_id);

} // namespace cqgemu
