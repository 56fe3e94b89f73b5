#pragma once
// What the log file and writer thread tests share: default settings in a scratch registry
// that point at a fresh log directory, the store reading them, and the paths and message
// texts of a source's files.

#include "support/log_checks.h"
#include "support/scratch_registry.h"
#include "writer/log_files.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kvt::test {

inline const std::uint32_t v1234[4] = {1, 2, 3, 4};

class logtest : public ::testing::Test {
protected:
    std::wstring path(const sourcekeyref& key, unsigned number = 0) const
    {
        return log_directory(logs_.path(), key->id) + log_file_name(*key, number).value();
    }
    std::vector<std::wstring> texts(const sourcekeyref& key, unsigned number = 0) const
    {
        return log_texts(path(key, number));
    }

    // The settings are written before the store opens their key.
    struct defaultsettings {
        defaultsettings() { write_default_settings(logs.path()); }
        scratchregistry registry;
        tempdirectory logs;
    } scratch_;
    const tempdirectory& logs_ = scratch_.logs;
    logsettings settings_;
    const sourcekeyref app_ = make_sourcekey(7, v1234, L"App");
};

} // namespace kvt::test
