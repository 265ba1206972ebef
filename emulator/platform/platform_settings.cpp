#include "platform_settings.hpp"

namespace cqgemu {

PlatformSettings &platform_settings() {
    static PlatformSettings settings;
    return settings;
}

} // namespace cqgemu
