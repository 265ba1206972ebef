// Class DB: the record store's connection and its record operations.
#pragma once

#include <nanobind/nanobind.h>

#include <memory>

#include "store_context.hpp"

namespace corvane::store {

nb::object make_db_class(nb::handle module, std::shared_ptr<const StoreContext> context);

} // namespace corvane::store
