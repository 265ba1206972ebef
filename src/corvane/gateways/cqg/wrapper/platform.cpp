#include "platform.hpp"

namespace combridge {

nb::module_ threading_module() { return nb::module_::import_("threading"); }

nb::module_ pythoncom_module() { return nb::module_::import_("pythoncom"); }

nb::module_ win32event_module() { return nb::module_::import_("win32event"); }

nb::module_ win32com_client_module() { return nb::module_::import_("win32com.client"); }

} // namespace combridge
