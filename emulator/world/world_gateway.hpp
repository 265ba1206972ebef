// The gateway the CQG objects talk to (cqg/gateway.hpp), answered by the world: its clock, its
// account book and order book, its market, and the order flow as the order desk. The module
// connects it when it loads.
#pragma once

#include "cqg/gateway.hpp"

namespace cqgemu {

Gateway &world_gateway();

} // namespace cqgemu
