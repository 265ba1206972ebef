// CQGCEL's type library as pywin32 knows it: the GUID and version EnsureModule is asked for,
// and the description its generated wrapper shows. The one place the emulator keeps them.
#pragma once

#include <string>

namespace cqgemu {

struct TypeLibrary {
    const char *guid;        // braced, upper case, as EnsureModule is answered
    long lcid, major, minor;
    const char *description; // the library's help string
};

inline constexpr TypeLibrary kCqgTypeLibrary{"{51F35562-AEB4-4AB3-99E8-AC9666344B64}", 0, 4, 0,
                                             "CQGCEL 4.0 Type Library"};

// The module pywin32 generates for a library: "win32com.gen_py." followed by its GUID without
// braces and "x<lcid>x<major>x<minor>".
inline std::string generated_module_name(const TypeLibrary &library) {
    std::string guid = library.guid;
    return "win32com.gen_py." + guid.substr(1, guid.size() - 2) + "x" +
           std::to_string(library.lcid) + "x" + std::to_string(library.major) + "x" +
           std::to_string(library.minor);
}

} // namespace cqgemu
