// Reads the procedure format strings of the built proxy/stub DLL the way the interpreter
// does, and checks where the out parameters' type offsets lead.

// The proxy file's structures are declared for C and for stubless proxies only.
#define CINTERFACE
#define USE_STUBLESS_PROXY
#include <rpcproxy.h>

#include "support/processes.h"
#include "win/unique_resource.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace kvt::test {
namespace {

// Format characters and flags of the interpreted (-Oif) format strings.
constexpr unsigned char fc_rp = 0x11, fc_up = 0x12, fc_op = 0x13, fc_c_wstring = 0x25;  // pointers, wide string
constexpr unsigned char fc_pointer_deref = 0x10, fc_simple_pointer = 0x08;
constexpr unsigned char oi_has_rpcflags = 0x08, opt_has_extensions = 0x40;
constexpr unsigned short param_is_out = 0x0010, param_is_return = 0x0020, param_is_base_type = 0x0040;

unsigned short read_short(const unsigned char* p) { return static_cast<unsigned short>(p[0] | (p[1] << 8)); }

// Whether an out parameter's type is a reference pointer to a unique or full pointer to a
// wide string; the test fails when it is no reference pointer at all.
bool is_out_string(const unsigned char* type)
{
    EXPECT_EQ(type[0], fc_rp);
    if (type[0] != fc_rp || !(type[1] & fc_pointer_deref))
        return false;
    const unsigned char* target = type + 2 + static_cast<short>(read_short(type + 2));
    return (target[0] == fc_up || target[0] == fc_op) && (target[1] & fc_simple_pointer) && target[2] == fc_c_wstring;
}

// Whether one procedure has an out parameter, not a base type, that is an out string.
bool has_out_string(const unsigned char* proc, const unsigned char* types)
{
    const unsigned char* p = proc + 2 + (proc[1] & oi_has_rpcflags ? 4 : 0);  // handle type, Oi flags, rpc flags
    p += 8;  // method number, stack size, client and server buffer sizes
    const unsigned char opt_flags = p[0], count = p[1];
    p += 2;
    if (opt_flags & opt_has_extensions)
        p += *p;  // the extension counts its own size
    bool found = false;
    for (unsigned i = 0; i < count; ++i, p += 6) {
        const unsigned short flags = read_short(p);
        if ((flags & param_is_out) && !(flags & (param_is_base_type | param_is_return)))
            found |= is_out_string(types + read_short(p + 4));
    }
    return found;
}

TEST(OutStringOffsets, OutParametersAreReferencePointersAndOnlyTheOutStringsLeadToWideStrings)
{
    const uniquehmodule dll(::LoadLibraryW(path_beside_this_program(KVT_PROXY_PATH).c_str()));
    ASSERT_TRUE(dll);
    using get_proxy_dll_info = void(RPC_ENTRY*)(const ProxyFileInfo***, const CLSID**);
    // Through void(*)(), the generic function type, as GetProcAddress's own type is not.
    const auto get_info = reinterpret_cast<get_proxy_dll_info>(
        reinterpret_cast<void (*)()>(::GetProcAddress(dll.get(), "GetProxyDllInfo")));
    ASSERT_NE(get_info, nullptr);
    const ProxyFileInfo** files = nullptr;
    const CLSID* clsid = nullptr;
    get_info(&files, &clsid);

    std::set<std::string> string_methods;
    for (; *files; ++files) {
        for (unsigned i = 0; i < (*files)->TableSize; ++i) {
            const auto* info = static_cast<const MIDL_STUBLESS_PROXY_INFO*>(
                (*files)->pProxyVtblList[i]->header.pStublessProxyInfo);
            // The IUnknown methods 0 to 2 have no entries.
            for (unsigned m = 3; m < (*files)->pStubVtblList[i]->header.DispatchTableCount; ++m) {
                const std::string method = std::string((*files)->pNamesArray[i]) + "/" + std::to_string(m);
                SCOPED_TRACE(method);
                if (has_out_string(info->ProcFormatString + info->FormatStringOffset[m], info->pStubDesc->pFormatTypes))
                    string_methods.insert(method);
            }
        }
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
