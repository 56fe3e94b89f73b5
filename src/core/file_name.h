#pragma once
// Source file names on log lines: directories are cut off.

namespace kvt {

// The last component of a path: the text after the last backslash or slash.
inline const char* file_name_part(const char* path) noexcept
{
    const char* name = path;
    for (const char* p = path; *p; ++p)
        if (*p == '\\' || *p == '/')
            name = p + 1;
    return name;
}

} // namespace kvt
