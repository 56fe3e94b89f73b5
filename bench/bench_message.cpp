#include "bench_message.h"

#include "kvtlog/client.h"

namespace kvt::bench {

namespace {

bool append_values(ILogMessage& m) noexcept
{
    return SUCCEEDED(m.AddInt32(message_number)) && SUCCEEDED(m.AddWString(message_text)) &&
           SUCCEEDED(m.AddDouble(message_real));
}

} // namespace

bool log_message(ILogSource& source) noexcept
{
    ILogMessage* m = nullptr;
    if (source.CreateMessage(message_level, IID_ILogMessage, reinterpret_cast<void**>(&m)) != S_OK)
        return false;
    const bool ok = SUCCEEDED(m->SetLocation(__FILE__, __LINE__, __func__)) && append_values(*m);
    m->Release();
    return ok;
}

void log_statement(const kvtlog::source& log) noexcept { log.info() << message_number << message_text << message_real; }

ILogMessage* open_message(ILogSource& source) noexcept
{
    ILogMessage* m = nullptr;
    if (source.CreateMessage(message_level, IID_ILogMessage, reinterpret_cast<void**>(&m)) != S_OK)
        return nullptr;
    if (!append_values(*m)) {
        m->Release();
        return nullptr;
    }
    return m;
}

} // namespace kvt::bench
