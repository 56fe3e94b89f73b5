// The Settings key or its values removed or given the wrong type while the service runs.
// What was read before stays in force (the store caches it); an id first seen afterwards
// falls back to level 0 or the built-in limit; a setter that must write answers the
// registry's error as an HRESULT; and a source already logging goes on logging.

#include "com/service_fixture.h"

#include <optional>
#include <string>

namespace kvt::test {

namespace {

constexpr DWORD known_id = 3;  // logs before the damage: its settings are cached
constexpr DWORD new_id = 4;    // first seen after the damage

const std::wstring settings = settings_key_path;
const std::wstring level_key = settings + L"\\Level";
const std::wstring limit_key = settings + L"\\Limit";

void delete_key(const std::wstring& key) { EXPECT_EQ(::RegDeleteTreeW(HKEY_CLASSES_ROOT, key.c_str()), ERROR_SUCCESS); }

struct registryfault {
    const char* what;
    void (*damage)();
    // The answers of the calls below. Empty: a registry error, whatever its code, as a
    // FACILITY_WIN32 HRESULT (a deleted key's code differs between systems).
    HRESULT new_id_message;             // CreateMessage(ERROR) on a source of new_id
    std::optional<HRESULT> set_level;   // SetLevel(new_id, 0x7F)
    std::optional<HRESULT> set_limit;   // SetLimit(new_id, 4096, 5)
    std::optional<HRESULT> set_log_path;
};

constexpr HRESULT not_found = 0x80070002;

void PrintTo(const registryfault& f, std::ostream* os) { *os << f.what; }

const registryfault faults[] = {
    {"Settings key deleted", [] { delete_key(settings); }, S_FALSE, {}, {}, {}},
    {"log directory value deleted",
     [] { EXPECT_EQ(::RegDeleteKeyValueW(HKEY_CLASSES_ROOT, settings.c_str(), nullptr), ERROR_SUCCESS); },
     S_OK, S_OK, S_OK, not_found},
    // A stored directory of another type is left alone: nothing is written over it.
    {"log directory value a REG_DWORD", [] { set_dword(HKEY_CLASSES_ROOT, settings.c_str(), nullptr, 5); },
     S_OK, S_OK, S_OK, S_OK},
    {"Level key deleted", [] { delete_key(level_key); }, S_FALSE, not_found, S_OK, S_OK},
    {"default level a REG_SZ", [] { set_string(HKEY_CLASSES_ROOT, level_key.c_str(), nullptr, L"127"); },
     S_FALSE, S_OK, S_OK, S_OK},
    {"Limit key deleted", [] { delete_key(limit_key); }, S_OK, S_OK, not_found, S_OK},
    {"default limit 2 bytes long",
     [] {
         const BYTE bytes[2] = {1, 0};
         set_binary(HKEY_CLASSES_ROOT, limit_key.c_str(), nullptr, bytes, sizeof bytes);
     },
     S_OK, S_OK, S_OK, S_OK},
};

class RegistryFaults : public servicetest, public ::testing::WithParamInterface<registryfault> {
protected:
    void expect_answer(HRESULT hr, const std::optional<HRESULT>& expected, const char* call)
    {
        if (expected)
            EXPECT_EQ(hr, *expected) << call;
        else
            EXPECT_TRUE(FAILED(hr) && HRESULT_FACILITY(hr) == FACILITY_WIN32) << call << " answered 0x" << std::hex << hr;
    }

};

TEST_P(RegistryFaults, ServiceFallsBackAnswersTheRegistryErrorAndKeepsLogging)
{
    const registryfault& fault = GetParam();
    SCOPED_TRACE(fault.what);
    const ComPtr<ILogSource> known = source(known_id, L"known");
    log(known.Get(), L"before");
    wait_for_writer();

    fault.damage();
    log(known.Get(), L"after");
    ComPtr<ILogMessage> message;
    EXPECT_EQ(source(new_id, L"new")->CreateMessage(0x02, IID_ILogMessage, &message), fault.new_id_message);
    message.Reset();
    expect_answer(control_->SetLevel(new_id, 0x7F), fault.set_level, "SetLevel");
    DWORD mask = 0, size = 0, files = 0;
    EXPECT_EQ(control_->GetLevel(known_id, &mask), S_OK);
    EXPECT_EQ(mask, 0xFFFFFFFFu);
    expect_answer(service_->SetLimit(new_id, 4096, 5), fault.set_limit, "SetLimit");
    EXPECT_EQ(service_->GetLimit(new_id, &size, &files), S_OK);
    if (fault.set_limit == S_OK) {
        EXPECT_EQ(size * 1000 + files, 4096u * 1000 + 5);
    }
    const std::wstring moved = logs_.path() + L"\\moved";
    expect_answer(control_->SetLogPath(moved.c_str()), fault.set_log_path, "SetLogPath");
    LPWSTR path = nullptr;
    EXPECT_EQ(control_->GetLogPath(&path), S_OK);
    take(path);

    log(known.Get(), L"at the end");
    wait_for_writer();
    std::vector<std::wstring> texts = log_texts(file_of(known_id, L"known"));
    for (const std::wstring& text : log_texts(moved + L"\\CA3\\known-1.2.3.4.TXT"))
        texts.push_back(text);
    EXPECT_EQ(texts, (std::vector<std::wstring>{L"before", L"after", L"at the end"}));
}

INSTANTIATE_TEST_SUITE_P(Each, RegistryFaults, ::testing::ValuesIn(faults),
                         [](const auto& info) { return "Case" + std::to_string(info.index); });

} // namespace

} // namespace kvt::test
