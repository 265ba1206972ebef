// What every concern of GATELINK shares: the module's globals, read at the moment of use
// as a Python module reads them (so `gatelink.TIMEOUT`, `gatelink.time` or `gatelink.Trace`
// rebound by a caller take effect at once), and the few steps every request repeats.
#pragma once

#include <nanobind/nanobind.h>

#include <memory>

#include "constant_texts.hpp"
#include "module_globals.hpp"
#include "record_copy.hpp"

namespace corvane::gatelink {

namespace nb = nanobind;

class Scope {
public:
    // Made once the module's imports are bound.
    explicit Scope(nb::handle module);

    // The module's globals, which every method and function given this scope holds where
    // the collector sees it (the scope only borrows them), as a Python function holds its
    // __globals__.
    nb::handle globals() const { return globals_.dict(); }

    // The module global `name` as bound now.
    nb::object global(const char *name) const { return globals_.get(name); }
    nb::object global(const pyglue::Name &name) const { return globals_.get(name); }

    // Trace(message), the progress log.
    void trace(nb::handle message) const;
    void trace(const char *message) const;

    // AssertMessage(event.wait(TIMEOUT), message): waits (the wait lets go of the GIL) and
    // raises RuntimeError(message) if the event was not set in time.
    void wait_or_fail(nb::handle event, nb::handle message) const;
    void wait_or_fail(nb::handle event, const char *message) const;

    // event.wait(TIMEOUT) whose outcome is left to the caller's next step: the market-data
    // subscriptions go on after a time-out.
    void wait_at_most_timeout(nb::handle event) const;

    // The CQGCEL object, as `self.comBridge.cqgCEL` reads it now.
    static nb::object cqg_cel(nb::handle self);

    // `if not self.<event>.is_set(): self.<event>.set()`
    static void release(nb::handle self, const char *event_name);

    // dataclasses.replace for the framework's Quote and OrderBook records (and any other
    // record class handed in), each class worked out once and checked on every copy.
    const pyglue::RecordCopier &quote_copier() const { return quote_copier_; }
    const pyglue::RecordCopier &order_book_copier() const { return order_book_copier_; }

    // Naming CQG's constants: each table's values are read again only when the constants
    // may have changed, and answer as a table built afresh on each call would.
    cqgglue::ConstantTexts &constant_texts() const { return constant_texts_; }

private:
    pyglue::ModuleGlobals globals_;
    pyglue::RecordCopier quote_copier_;
    pyglue::RecordCopier order_book_copier_;
    mutable cqgglue::ConstantTexts constant_texts_;
};

using ScopeRef = const Scope &;
using SharedScope = std::shared_ptr<const Scope>;

} // namespace corvane::gatelink
