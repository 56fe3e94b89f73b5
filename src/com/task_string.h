#pragma once
// Strings handed to clients through out parameters: a CoTaskMemAlloc block of length + 1
// UTF-16 units, which the client frees with CoTaskMemFree.

#include "win/unique_resource.h"

namespace kvt {

// A copy of the NUL-terminated text. Throws outofmemory("CoTaskMemAlloc() failed").
// The caller hands it out with release() once nothing else can fail.
uniquetaskmem<wchar_t> task_string(const wchar_t* text);

} // namespace kvt
