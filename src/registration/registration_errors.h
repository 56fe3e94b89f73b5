#pragma once
// How the two registration actions turn the failures of their steps into the errors that
// the command line shows.

#include "core/error.h"
#include "settings/settings_key.h"

#include <optional>

namespace kvt {

// The class id's text. Throws usrerror "StringFromGUID2() failed." under caption when it
// cannot be made.
inline classidtext make_class_id_text(const wchar_t* caption)
{
    const std::optional<classidtext> text = class_id_text();
    if (!text)
        throw usrerror(caption, L"StringFromGUID2() failed.");
    return *text;
}

// Runs action; a Win32 code thrown from it becomes a syserror under caption.
template <class Action>
void translate_registry_errors(const wchar_t* caption, Action&& action)
{
    try {
        action();
    } catch (DWORD code) {
        throw syserror(code, caption, L"Unable to access system registry.\n\nError %2!d!: %1");
    }
}

} // namespace kvt
