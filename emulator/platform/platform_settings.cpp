#include "platform_settings.hpp"

namespace cqgemu {

PlatformSettings &platform_settings() {
    static PlatformSettings settings;
    return settings;
}

GeneratedLibrary &generated_library() {
    static GeneratedLibrary library;
    return library;
}

} // namespace cqgemu
