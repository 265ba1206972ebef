// The live market: while it runs, every advance of the clock (by the live driver or by a test)
// posts the quotes and ticks due at the set rates for the current CQGCEL's subscribed
// instruments, as one batch per advance, and keeps the forming bars moving with the trades. The
// live driver is told when the next quote falls due, so that each is posted when due rather
// than with the others of a step. GIL held throughout.
#pragma once

#include <optional>

namespace cqgemu {

// Rates are per emulated second, shared round robin by the subscribed instruments;
// `ticks_per_second` empty means the quote rate. `bar_seconds` given: bars close every that
// many emulated seconds instead of at the clock's minutes. `live`: also start the clock's live
// driver (speed 1, `step` seconds) unless it runs already.
void start_market(double quotes_per_second, std::optional<double> ticks_per_second,
                  std::optional<double> bar_seconds, bool live, double step);

// Stops posting and the clock's live driver; posted events still reach the pumps.
void stop_market();

} // namespace cqgemu
