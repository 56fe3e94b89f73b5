#include "core/message_box.h"

namespace kvt {

message_box_function message_box = ::MessageBoxW;

namespace {

bool quiet_flag = false;

} // namespace

bool quiet() noexcept { return quiet_flag; }

void set_quiet(bool on) noexcept { quiet_flag = on; }

void show_message(const wchar_t* text, const wchar_t* caption, UINT style) noexcept
{
    if (!quiet_flag)
        message_box(nullptr, text, caption, style);
}

} // namespace kvt
