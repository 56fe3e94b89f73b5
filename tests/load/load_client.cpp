// The load client: one process of the load test, four threads logging to a mix of sources
// through the real server, each recording in the shared block what became of its records.

#include "load/client_roles.h"
#include "load/load_plan.h"
#include "client_calls.h"

#include <kvtlog.h>
#include <kvtlog/client.h>

#include <thread>
#include <vector>

namespace kvt::test::load {

namespace {

class client_thread {
public:
    client_thread(ILogService& service, shared_block& block, unsigned client, unsigned thread)
        : service_(service), block_(block), client_(client), thread_(thread) {}

    void run()
    {
        const kvtlog::apartment apartment;
        for (unsigned seq = 0; seq < records; ++seq)
            log_record(seq);
    }

private:
    void check(HRESULT hr)
    {
        if (hr != S_OK) {
            block_.last_failure = hr;
            ++block_.failures;
        }
    }

    ComPtr<ILogSource> create_source(unsigned index)
    {
        const source_spec& s = sources[index];
        ComPtr<ILogSource> source;
        check(service_.CreateSource(s.id, s.name, s.version, IID_ILogSource,
                                    reinterpret_cast<void**>(source.GetAddressOf())));
        return source;
    }

    // Most records go through sources the thread keeps; every seventh through a source made
    // for it and let go right after, so sources end and files close while others write.
    void log_record(unsigned seq)
    {
        const record_plan p = plan(client_, thread_, seq);
        ComPtr<ILogSource>& kept = kept_[p.source];
        if (!kept)
            kept = create_source(p.source);
        const ComPtr<ILogSource> source = seq % 7 == 0 ? create_source(p.source) : kept;
        if (!source)
            return;
        ComPtr<ILogMessage> message;
        const HRESULT hr = source->CreateMessage(p.level, IID_ILogMessage, reinterpret_cast<void**>(message.GetAddressOf()));
        if (hr == S_FALSE)
            return;
        check(hr);
        if (!message)
            return;
        check(message->SetIds(first_id(client_, thread_), seq));
        check(message->SetLocation(location_file, seq, location_function));
        check(message->AddWString(message_head(client_, thread_, seq).c_str()));
        check(message->AddString(p.tail.c_str()));
        const long before = block_.epoch.load();
        message.Reset();  // the commit
        const long after = block_.epoch.load();
        block_.outcomes[client_][thread_][seq] =
            before == after && before % 2 == 0 ? outcome::required : outcome::optional;
    }

    ILogService& service_;
    shared_block& block_;
    const unsigned client_;
    const unsigned thread_;
    ComPtr<ILogSource> kept_[source_count];
};

} // namespace

} // namespace kvt::test::load

namespace kvt::test {

int run_load_client(unsigned client, const wchar_t* block_name)
{
    using namespace load;
    const block_view block(block_name, block_view::open);
    if (!block || client >= clients)
        return 2;
    const kvtlog::apartment apartment;
    ComPtr<ILogService> service;
    if (FAILED(activate_service(service)))
        return 3;
    std::vector<std::thread> workers;
    for (unsigned t = 0; t < threads; ++t)
        workers.emplace_back([&, t] { client_thread(*service.Get(), *block, client, t).run(); });
    for (std::thread& w : workers)
        w.join();
    return block->failures.load() == 0 ? 0 : 1;
}

} // namespace kvt::test
