#pragma once
// What the registration and command-line tests share: the program's message boxes recorded
// instead of shown, and the names and boxes of the registration.

#include "core/message_box.h"
#include "support/scratch_registry.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace kvt::test {

// A box the program showed: its caption, text and style.
using shownbox = std::tuple<std::wstring, std::wstring, UINT>;

// Puts a recorder in place of the program's message box for the life of the object, so a
// test sees each box instead of a window. The quiet flag is cleared before and after, so no
// test inherits it.
class boxrecorder {
public:
    boxrecorder()
    {
        boxes_.clear();
        set_quiet(false);
    }
    ~boxrecorder()
    {
        message_box = previous_;
        set_quiet(false);
    }

    const std::vector<shownbox>& shown() const { return boxes_; }

private:
    static int WINAPI record(HWND owner, LPCWSTR text, LPCWSTR caption, UINT style)
    {
        EXPECT_EQ(owner, nullptr) << "a box of the program has an owner window";
        boxes_.emplace_back(caption, text, style);
        return IDOK;
    }

    inline static std::vector<shownbox> boxes_;  // what record saw, in order
    message_box_function previous_ = std::exchange(message_box, &record);
};

inline const std::wstring class_id = L"{00120700-2A33-11DC-9309-028037000300}";
inline const std::wstring class_key = L"CLSID\\" + class_id;

inline const shownbox registered{L"COM Server Registration", L"COM Server registered successfully.",
                                  MB_OK | MB_ICONINFORMATION};
inline const shownbox unregistered{L"COM Server Unregistration", L"COM Server unregistered successfully.",
                                    MB_OK | MB_ICONINFORMATION};

} // namespace kvt::test
