#pragma once
// The registry path of the service's settings under HKEY_CLASSES_ROOT.

#include <string>

namespace kvt {

// "CLSID\{00120700-2A33-11DC-9309-028037000300}\Settings", the class id in the form that
// StringFromGUID2 gives. Throws std::bad_alloc, also when StringFromGUID2 fails.
std::wstring settings_key_path();

} // namespace kvt
