#pragma once
// What the registration and command-line tests share: a scratch HKEY_CLASSES_ROOT, recorded
// boxes, and the names and boxes of the registration.

#include "message_box_recorder.h"
#include "support/scratch_registry.h"

#include <gtest/gtest.h>

#include <string>

namespace kvt::test {

inline const std::wstring class_id = L"{00120700-2A33-11DC-9309-028037000300}";
inline const std::wstring class_key = L"CLSID\\" + class_id;
inline const std::wstring level_key = class_key + L"\\Settings\\Level";
inline const std::wstring limit_key = class_key + L"\\Settings\\Limit";

inline const shownbox registered{L"COM Server Registration", L"COM Server registered successfully.",
                                  MB_OK | MB_ICONINFORMATION};
inline const shownbox unregistered{L"COM Server Unregistration", L"COM Server unregistered successfully.",
                                    MB_OK | MB_ICONINFORMATION};

class RegistrationTest : public ::testing::Test {
protected:
    scratchregistry registry_;
    boxrecorder boxes_;
};

} // namespace kvt::test
