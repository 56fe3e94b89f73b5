#pragma once
// One typed value of a message. Arguments are immutable once made; the record holds each
// through a counted reference, and the writer thread asks each for its text, once, while
// it holds the record's lock.

#include "core/counted.h"
#include "core/countedwstring.h"

namespace kvt {

class argument {
public:
    virtual ~argument() = default;
    virtual countedwstring render() const = 0;
};

using argumentref = counted<const argument>;

} // namespace kvt
