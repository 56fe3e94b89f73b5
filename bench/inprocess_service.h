#pragma once
// The logging service inside the benchmark's own process, as the server holds it: a class
// factory with its service object and writer thread. Its settings live in a scratch
// registry key that stands in for HKEY_CLASSES_ROOT (the default settings, as registration
// writes them), its log directory is a fresh temporary directory.
//
// Owner: one benchmark on the main thread, for its run. The interface pointers may be used
// from any thread in the multithreaded apartment.

#include "com/logfactory.h"
#include "kvtlog/com_ptr.h"
#include "support/scratch_registry.h"
#include "support/temp_directory.h"

#include <kvtlog.h>

#include <optional>
#include <string>

namespace kvt::bench {

class inprocessservice {
public:
    // Throws std::runtime_error when the service or the bench source cannot be had.
    inprocessservice();
    ~inprocessservice();
    inprocessservice(const inprocessservice&) = delete;
    inprocessservice& operator=(const inprocessservice&) = delete;

    ILogControl& control() const noexcept { return *control_.get(); }
    ILogSource& source() const noexcept { return *source_.get(); }

    // Returns once the writer has handled every message committed before and closed its
    // files (Suspend with TRUE); the writer then drops records until resume().
    void suspend() const;
    void resume() const;

    const std::wstring& directory() const noexcept { return directory_.path(); }
    // The current log file of the bench source.
    std::wstring current_file() const;

private:
    test::scratchregistry registry_;
    test::tempdirectory directory_;
    std::optional<logfactory> factory_;
    kvtlog::comptr<ILogService> service_;
    kvtlog::comptr<ILogControl> control_;
    kvtlog::comptr<ILogSource> source_;
};

// Throws std::runtime_error naming the call when hr is a failure.
void throw_if_failed(HRESULT hr, const char* call);

} // namespace kvt::bench
