#pragma once
// Puts a recorder in place of the program's message box for the life of the object, so a
// test sees the caption, text and style of each box instead of a window. The quiet flag is
// cleared before and after, so no test inherits it.

#include "core/message_box.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace kvt::test {

struct shownbox {
    std::wstring caption;
    std::wstring text;
    UINT style;
    friend bool operator==(const shownbox&, const shownbox&) = default;
};

inline void PrintTo(const shownbox& box, std::ostream* os)
{
    *os << "{" << ::testing::PrintToString(box.caption) << ", " << ::testing::PrintToString(box.text)
        << ", 0x" << std::hex << box.style << std::dec << "}";
}

class boxrecorder {
public:
    boxrecorder() : previous_(std::exchange(message_box, &record))
    {
        boxes_.clear();
        set_quiet(false);
    }
    ~boxrecorder()
    {
        message_box = previous_;
        set_quiet(false);
    }
    boxrecorder(const boxrecorder&) = delete;
    boxrecorder& operator=(const boxrecorder&) = delete;

    const std::vector<shownbox>& shown() const { return boxes_; }

private:
    static int WINAPI record(HWND owner, LPCWSTR text, LPCWSTR caption, UINT style)
    {
        EXPECT_EQ(owner, nullptr) << "a box of the program has an owner window";
        boxes_.push_back({caption, text, style});
        return IDOK;
    }

    inline static std::vector<shownbox> boxes_;  // what record saw, in order
    message_box_function previous_;
};

} // namespace kvt::test
