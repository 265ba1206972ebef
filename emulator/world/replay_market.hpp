// A replay: the world's market driven by recorded events instead of the seeded walk. As the
// clock reaches their times, the recorded quotes, ticks and bars reach the current CQGCEL's
// sinks in recorded order (each advance posts what fell due, as one batch); the quotes move the
// matching engine's market, so orders fill at the recorded bid and ask; a timed-bars request is
// answered from the bars recorded before the cursor. Live, the clock's driver is told when the
// next event falls due and holds it back while the last batch still waits for a pump, so that
// nothing is skipped. GIL held throughout.
#pragma once

#include "market/market.hpp"
#include "market/market_state.hpp"
#include "market/replay_script.hpp"

#include <nanobind/nanobind.h>

#include <cstddef>
#include <optional>
#include <vector>

namespace cqgemu {

namespace nb = nanobind;

struct Replay {
    ReplayScript script;
    // The scenario's instrument each of the script's instruments stands for.
    std::vector<const InstrumentTerms *> terms;
    PostedBatches posted;
    size_t cqg_events = 0; // events given to sinks so far
};

// Replaces the market with the replay of `events` (replay event tuples, in recorded order):
// the clock moves to the first quote's or tick's time, and each instrument's bars become those
// the recording holds ahead of its market. A symbol the scenario does not have is warned about
// once and its events left out. `speed` None or infinite: as fast as the pumps take the events.
// `live` starts the clock's live driver at that speed; otherwise the clock moves when advanced.
// Returns what was loaded.
nb::dict load_replay(nb::handle events, std::optional<double> speed, bool live, double step);

// How far the replay has come.
nb::dict replay_stats();

// Posts the next `count` recorded events (whole CQG events: a few more when the last of them
// shares its event with the ones after it) as one batch and sets the clock to the last one's
// time. Only while the clock is not live. Returns how many were posted.
size_t advance_replay(size_t count);

} // namespace cqgemu
