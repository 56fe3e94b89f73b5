#pragma once
// Narrow texts from clients are in the OEM code page; the server keeps every text as UTF-16.

#include <memory>

namespace kvt {

// MultiByteToWideChar(CP_OEMCP, MB_PRECOMPOSED): once to measure, once to convert, into a
// new NUL-terminated buffer. A null text gives null; an empty text, or one the conversion
// rejects, gives an empty text. length receives the code units before the NUL.
std::unique_ptr<wchar_t[]> oem_to_wide(const char* text, std::size_t* length = nullptr);

} // namespace kvt
