#pragma once
// One typed value of a message. Arguments are immutable once made; the record holds each
// through a counted reference, and the writer thread has each append its text to the line,
// once, while it holds the record's lock.

#include "core/counted.h"

#include <string>

namespace kvt {

class argument {
public:
    virtual ~argument() = default;
    // Appends the text. Throws std::bad_alloc; out may then hold part of it.
    virtual void render(std::wstring& out) const = 0;
};

using argumentref = counted<const argument>;

} // namespace kvt
