#include "server/run_server.h"

#include "com/logfactory.h"
#include "com/server_lock.h"
#include "server/command_line.h"
#include "win/unique_resource.h"

#include <kvtlog.h>
#include <windows.h>

#include <new>

namespace kvt {

namespace {

// Keeps the main thread in the multithreaded apartment for the life of the object.
class apartment {
public:
    apartment() noexcept : joined_(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_MULTITHREADED))) {}
    ~apartment()
    {
        if (joined_)
            ::CoUninitialize();
    }
    apartment(const apartment&) = delete;
    apartment& operator=(const apartment&) = delete;

    bool joined() const noexcept { return joined_; }

private:
    bool joined_;
};

// Offers the factory to clients until the server lock returns to zero.
int serve_until_shutdown(logfactory& factory, HANDLE shutdown) noexcept
{
    DWORD cookie = 0;
    if (FAILED(::CoRegisterClassObject(CLSID_LogService, &factory, CLSCTX_LOCAL_SERVER, REGCLS_MULTI_SEPARATE,
                                       &cookie)))
        return exit_class_registration_failed;
    ::WaitForSingleObject(shutdown, INFINITE);
    ::CoRevokeClassObject(cookie);
    // A client that kept the class object still holds references through COM's stub,
    // which COM would release only at CoUninitialize, into a factory destroyed by then.
    // Cutting those connections here releases them while the factory lives.
    ::CoDisconnectObject(&factory, 0);
    // A call already under way keeps its reference until it returns, which is soon: the
    // factory refuses everything once the server is stopping.
    for (int waited = 0; factory.references() != 0 && waited < 500; ++waited)
        ::Sleep(10);
    return exit_success;
}

// The factory and its service live in this scope, built before the class object is
// registered and destroyed after it is revoked, so no client reaches a half-built or
// torn-down service. Destroying the service lets the writer finish every record first.
int serve(HANDLE shutdown)
{
    try {
        logfactory factory;
        return serve_until_shutdown(factory, shutdown);
    } catch (const std::bad_alloc&) {
        return exit_service_failed;
    } catch (DWORD) {
        return exit_service_failed;
    }
}

int run_com_server()
{
    const apartment apartment;
    if (!apartment.joined())
        return exit_com_failed;
    const uniquehandle shutdown(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!shutdown)
        return exit_event_failed;
    set_shutdown_event(shutdown.get());
    const int code = serve(shutdown.get());
    set_shutdown_event(nullptr);
    return code;
}

} // namespace

int run_server(const wchar_t* commandline)
{
    switch (parse_command_line(commandline)) {
    case run_mode::error_reported:
        return exit_error_reported;
    case run_mode::registration_done:
        return exit_success;
    case run_mode::embedding:
    case run_mode::no_mode_switch:
        break;
    }
    // Started by COM or by hand: the server runs the same way.
    return run_com_server();
}

} // namespace kvt
