// Reads the procedure format strings of the built proxy/stub DLL the way the interpreter
// does, and checks where the out parameters' type offsets lead.

// The proxy file's structures are declared for C and for stubless proxies only.
#define CINTERFACE
#define USE_STUBLESS_PROXY
#include <rpcproxy.h>

#include "support/program_path.h"
#include "win/unique_resource.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace kvt::test {
namespace {

// Format characters and flags of the interpreted (-Oif) format strings.
constexpr unsigned char fc_rp = 0x11;        // reference pointer
constexpr unsigned char fc_up = 0x12;        // unique pointer
constexpr unsigned char fc_op = 0x13;        // object (full) pointer
constexpr unsigned char fc_c_wstring = 0x25; // conformant wide string
constexpr unsigned char fc_pointer_deref = 0x10;
constexpr unsigned char fc_simple_pointer = 0x08;
constexpr unsigned char oi_has_rpcflags = 0x08;
constexpr unsigned char opt_has_extensions = 0x40;
constexpr unsigned short param_is_out = 0x0010;
constexpr unsigned short param_is_return = 0x0020;
constexpr unsigned short param_is_base_type = 0x0040;

struct out_parameter {
    std::string method; // "interface/method number"
    const unsigned char* type;
};

unsigned short read_short(const unsigned char* p) { return static_cast<unsigned short>(p[0] | (p[1] << 8)); }

// The out parameters of one procedure that are not base types, with their types.
void collect_out_parameters(const std::string& method, const unsigned char* proc,
                            const unsigned char* types, std::vector<out_parameter>& out)
{
    const unsigned char* p = proc + 2; // handle type, Oi flags
    if (proc[1] & oi_has_rpcflags)
        p += 4;
    p += 2 + 2 + 2 + 2; // method number, stack size, client and server buffer sizes
    const unsigned char opt_flags = *p++;
    const unsigned char count = *p++;
    if (opt_flags & opt_has_extensions)
        p += *p; // the extension counts its own size
    for (unsigned i = 0; i < count; ++i, p += 6) {
        const unsigned short flags = read_short(p);
        if ((flags & param_is_out) && !(flags & (param_is_base_type | param_is_return)))
            out.push_back({method, types + read_short(p + 4)});
    }
}

class OutStringOffsets : public ::testing::Test {
protected:
    void SetUp() override
    {
        dll_.reset(::LoadLibraryW(path_beside_this_program(KVT_PROXY_PATH).c_str()));
        ASSERT_TRUE(dll_);
        using get_proxy_dll_info = void(RPC_ENTRY*)(const ProxyFileInfo***, const CLSID**);
        // Through void(*)(), the generic function type, as GetProcAddress's own type is not.
        const auto get_info = reinterpret_cast<get_proxy_dll_info>(
            reinterpret_cast<void (*)()>(::GetProcAddress(dll_.get(), "GetProxyDllInfo")));
        ASSERT_NE(get_info, nullptr);
        const ProxyFileInfo** files = nullptr;
        const CLSID* clsid = nullptr;
        get_info(&files, &clsid);
        for (; *files; ++files)
            collect_file(**files);
    }

    void collect_file(const ProxyFileInfo& file)
    {
        for (unsigned i = 0; i < file.TableSize; ++i) {
            const auto* stubless = static_cast<const MIDL_STUBLESS_PROXY_INFO*>(
                file.pProxyVtblList[i]->header.pStublessProxyInfo);
            const unsigned methods = file.pStubVtblList[i]->header.DispatchTableCount;
            for (unsigned m = 3; m < methods; ++m) // the IUnknown methods have no entries
                collect_out_parameters(std::string(file.pNamesArray[i]) + "/" + std::to_string(m),
                                       stubless->ProcFormatString + stubless->FormatStringOffset[m],
                                       stubless->pStubDesc->pFormatTypes, parameters_);
        }
    }

    unique_hmodule dll_;
    std::vector<out_parameter> parameters_;
};

TEST_F(OutStringOffsets, EveryOutParameterIsDescribedByAReferencePointer)
{
    ASSERT_FALSE(parameters_.empty());
    for (const out_parameter& p : parameters_)
        EXPECT_EQ(p.type[0], fc_rp) << p.method;
}

TEST_F(OutStringOffsets, OutStringsDereferenceToAWideStringPointer)
{
    std::set<std::string> string_methods;
    for (const out_parameter& p : parameters_) {
        if (p.type[0] != fc_rp || !(p.type[1] & fc_pointer_deref))
            continue;
        const unsigned char* target = p.type + 2 + static_cast<short>(read_short(p.type + 2));
        if ((target[0] == fc_up || target[0] == fc_op) && (target[1] & fc_simple_pointer) &&
            target[2] == fc_c_wstring)
            string_methods.insert(p.method);
    }
    const std::set<std::string> expected = {
        "ILogControl/3",  // GetLogPath
        "ILogControl/13", // FormatSourceId
        "ILogControl/15", // FormatLevels
        "ILogMessage/31", // GetFile
        "ILogMessage/32", // GetFunction
    };
    EXPECT_EQ(string_methods, expected);
}

} // namespace
} // namespace kvt::test
