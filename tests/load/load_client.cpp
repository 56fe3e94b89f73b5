// The load client: one process of the load test, four threads logging to a mix of sources
// through the real server, each recording in the shared block what became of its records.

#include "load/load_plan.h"
#include "load/running_server.h"

#include <kvtlog/client.h>

#include <thread>
#include <vector>

namespace kvt::test::load {

namespace {

void check(sharedblock& block, HRESULT hr)
{
    if (hr != S_OK) {
        block.last_failure = hr;
        ++block.failures;
    }
}

ComPtr<ILogSource> create_source(ILogService& service, sharedblock& block, unsigned index)
{
    const sourcespec& s = sources[index];
    ComPtr<ILogSource> source;
    check(block, service.CreateSource(s.id, s.name, s.version, IID_ILogSource, &source));
    return source;
}

// Most records go through sources the thread keeps; every seventh through a source made for
// it and let go right after, so sources end and files close while others write.
void log_thread(ILogService& service, sharedblock& block, unsigned client, unsigned thread)
{
    const kvtlog::apartment apartment;
    ComPtr<ILogSource> kept[source_count];
    for (unsigned seq = 0; seq < records; ++seq) {
        const recordplan p = plan(client, thread, seq);
        if (!kept[p.source])
            kept[p.source] = create_source(service, block, p.source);
        const ComPtr<ILogSource> source = seq % 7 == 0 ? create_source(service, block, p.source) : kept[p.source];
        ComPtr<ILogMessage> message;
        const HRESULT hr = source ? source->CreateMessage(p.level, IID_ILogMessage, &message) : S_FALSE;
        if (hr == S_FALSE)
            continue;
        check(block, hr);
        if (!message)
            continue;
        check(block, message->SetIds(first_id(client, thread), seq));
        check(block, message->SetLocation("C:\\load\\client.cpp", seq, "log_thread"));
        check(block, message->AddWString(p.head.c_str()));
        check(block, message->AddString(p.tail.c_str()));
        const long before = block.epoch.load();
        message.Reset();  // the commit
        const long after = block.epoch.load();
        block.outcomes[client][thread][seq] = before == after && before % 2 == 0 ? outcome::required : outcome::optional;
    }
}

} // namespace

} // namespace kvt::test::load

int kvt::test::run_load_client(unsigned client, const wchar_t* block_name)
{
    using namespace load;
    const blockview block(block_name, false);
    if (!block || client >= clients)
        return 2;
    const kvtlog::apartment apartment;
    ComPtr<ILogService> service;
    if (FAILED(activate_service(service)))
        return 3;
    std::vector<std::thread> workers;
    for (unsigned t = 0; t < threads; ++t)
        workers.emplace_back([&, t] { log_thread(*service.Get(), *block, client, t); });
    for (std::thread& w : workers)
        w.join();
    return block->failures.load() == 0 ? 0 : 1;
}
