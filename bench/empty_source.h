#pragma once
// The baseline of the disabled level: an ILogSource whose CreateMessage does nothing but
// answer S_FALSE with a null message. It is defined in its own source file, so a call
// through the pointer stays a real virtual call, as a call on the service's source is.

#include <kvtlog.h>

namespace kvt::bench {

// A static object; AddRef and Release do not count.
ILogSource& empty_source() noexcept;

} // namespace kvt::bench
