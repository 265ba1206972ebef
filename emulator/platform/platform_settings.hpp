// How the emulated COM platform behaves for the scenario loaded: how events reach their
// handlers, and what win32com.client.Dispatch hands out. The world sets them when it loads a
// scenario or is reset; the platform reads them and knows nothing of the scenario itself.
#pragma once

#include <string>

namespace cqgemu {

// Queued: an event waits in the subscriber's queue for its pump. Nested: an event fired on the
// subscriber's own thread runs its handlers at once, inside the call that caused it, and a
// thread waiting on an outgoing call runs what reaches its queue meanwhile.
enum class EventDelivery { Queued, Nested };

// What win32com.client.Dispatch hands out for a CQG object. Generated: an instance of the class
// the type library's wrapper makes for its type, as once the library is loaded (names exactly as
// declared, methods with keyword arguments and defaults). LateBound: the case-blind CDispatch,
// as where no generated class exists.
enum class DispatchKind { Generated, LateBound };

struct PlatformSettings {
    EventDelivery event_delivery = EventDelivery::Queued;
    DispatchKind dispatch = DispatchKind::Generated;
};

// The process's settings; read and changed with the GIL held.
PlatformSettings &platform_settings();

// The type library whose generated classes Dispatch hands out: the module they name as theirs
// and the description their repr shows. Set by the world when the module is made.
struct GeneratedLibrary {
    std::string module;
    std::string description;
};

GeneratedLibrary &generated_library();

} // namespace cqgemu
