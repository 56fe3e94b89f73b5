#include "inprocess_service.h"

#include "bench_message.h"

#include "com/server_lock.h"

#include <cstdio>
#include <stdexcept>

namespace kvt::bench {

void throw_if_failed(HRESULT hr, const char* call)
{
    if (FAILED(hr)) {
        char text[160];
        std::snprintf(text, sizeof text, "%s failed: 0x%08lX", call, static_cast<unsigned long>(hr));
        throw std::runtime_error(text);
    }
}

inprocessservice::inprocessservice()
{
    test::write_default_settings(directory_.path());
    set_shutdown_event(nullptr);  // a run of its own: the last one ended at a count of zero
    factory_.emplace();
    throw_if_failed(factory_->CreateInstance(nullptr, IID_ILogService, service_.put_void()), "CreateInstance");
    throw_if_failed(service_->QueryInterface(IID_ILogControl, control_.put_void()), "QueryInterface(ILogControl)");
    throw_if_failed(service_->CreateSource(bench_source_id, bench_source_name, bench_source_version.data(),
                                           IID_ILogSource, source_.put_void()),
                    "CreateSource");
}

inprocessservice::~inprocessservice()
{
    // Every reference goes before the factory, whose service stops the writer thread.
    source_.reset();
    control_.reset();
    service_.reset();
    factory_.reset();
}

void inprocessservice::suspend() const { throw_if_failed(control_->Suspend(TRUE), "Suspend(TRUE)"); }

void inprocessservice::resume() const { throw_if_failed(control_->Suspend(FALSE), "Suspend(FALSE)"); }

std::wstring inprocessservice::current_file() const { return directory_.path() + L"\\" + bench_log_file; }

} // namespace kvt::bench
