#include "load/load_check.h"

#include "load/log_paths.h"
#include "support/temp_directory.h"

#include <algorithm>
#include <cwctype>
#include <map>
#include <optional>

namespace kvt::test::load {

namespace {

constexpr unsigned files_kept = 255;

std::string narrow(const std::wstring& text)
{
    std::string out;
    for (wchar_t c : text.substr(0, 200))
        out += c < 128 ? static_cast<char>(c) : '?';
    return out;
}

bool digits_at(const std::wstring& text, std::initializer_list<size_t> positions)
{
    return std::all_of(positions.begin(), positions.end(), [&](size_t i) { return i < text.size() && std::iswdigit(text[i]); });
}

// "dddd/dd/dd|dd:dd:dd.ddd|" then levels|first/second|file,line|function|message.
struct line_fields {
    std::wstring levels, first, second, location, function, message;
};

std::optional<line_fields> split_line(const std::wstring& line)
{
    if (line.size() < 24 || line.compare(4, 1, L"/") || line.compare(7, 1, L"/") || line.compare(10, 1, L"|") ||
        line.compare(13, 1, L":") || line.compare(16, 1, L":") || line.compare(19, 1, L".") ||
        line.compare(23, 1, L"|") || !digits_at(line, {0, 1, 2, 3, 5, 6, 8, 9, 11, 12, 14, 15, 17, 18, 20, 21, 22}))
        return std::nullopt;
    std::wstring fields[4];
    size_t start = 24;
    for (std::wstring& field : fields) {
        const size_t bar = line.find(L'|', start);
        if (bar == std::wstring::npos)
            return std::nullopt;
        field = line.substr(start, bar - start);
        start = bar + 1;
    }
    const size_t slash = fields[1].find(L'/');
    if (slash == std::wstring::npos)
        return std::nullopt;
    return line_fields{fields[0], fields[1].substr(0, slash), fields[1].substr(slash + 1), fields[2], fields[3],
                       line.substr(start)};
}

std::optional<unsigned> number(const std::wstring& text)
{
    if (text.empty() || text.size() > 9 || !std::all_of(text.begin(), text.end(), [](wchar_t c) { return std::iswdigit(c); }))
        return std::nullopt;
    return static_cast<unsigned>(std::stoul(text));
}

class checker {
public:
    checker(const shared_block& block, const size_bounds& bounds) : block_(block), bounds_(bounds)
    {
        for (auto& per_source : last_seq_)
            for (auto& per_client : per_source)
                std::fill(std::begin(per_client), std::end(per_client), -1);
    }

    void read_directory(const std::wstring& log_directory)
    {
        for (const directory_entry& sub : list_directory(log_directory)) {
            if (!sub.directory || !known_id_directory(log_directory, sub.name))
                fault("unexpected entry " + narrow(log_directory + L"\\" + sub.name));
        }
        for (unsigned s = 0; s < source_count; ++s)
            read_file_set(log_directory, s);
    }

    load_verdict verdict()
    {
        for (const sized_file& f : sizes_)
            check_size(f);
        for (unsigned c = 0; c < clients; ++c)
            for (unsigned t = 0; t < threads; ++t)
                for (unsigned seq = 0; seq < records; ++seq)
                    check_outcome(c, t, seq);
        return verdict_;
    }

private:
    struct sized_file {
        std::wstring path;
        size_t bytes;
        bool rotated;
    };

    void fault(const std::string& text) { verdict_.faults.push_back(text); }

    static bool known_id_directory(const std::wstring& log_directory, const std::wstring& name)
    {
        return std::any_of(std::begin(sources), std::end(sources), [&](const source_spec& s) {
            return _wcsicmp((log_directory + L"\\" + name).c_str(), id_directory(log_directory, s.id).c_str()) == 0;
        });
    }

    // The sequence number of a file of the source: 0 for the current file, k for -k.
    static std::optional<unsigned> file_index(const source_spec& s, const std::wstring& file)
    {
        const std::wstring current = log_file_name(s.name, s.version);
        const std::wstring stem = current.substr(0, current.size() - 4);
        if (file == current)
            return 0;
        if (file.size() <= stem.size() + 5 || file.compare(0, stem.size() + 1, stem + L"-") ||
            file.compare(file.size() - 4, 4, L".TXT"))
            return std::nullopt;
        return number(file.substr(stem.size() + 1, file.size() - stem.size() - 5));
    }

    // The files of one source in one directory, oldest first: -k down to -1, then the current
    // file. Every number from 1 to k must be there; the current file may be missing when the
    // log directory changed between the rotation and the reopening that follows it.
    void read_file_set(const std::wstring& log_directory, unsigned s)
    {
        const source_spec& spec = sources[s];
        const std::wstring directory = id_directory(log_directory, spec.id);
        std::vector<unsigned> indices;
        for (const directory_entry& e : list_directory(directory)) {
            const bool mine = std::any_of(std::begin(sources), std::end(sources), [&](const source_spec& other) {
                return other.id == spec.id && file_index(other, e.name);
            });
            if (!mine)
                fault("unexpected entry " + narrow(directory + L"\\" + e.name));
            if (const auto index = file_index(spec, e.name))
                indices.push_back(*index);
        }
        if (indices.empty())
            return;
        std::sort(indices.begin(), indices.end());
        if (indices.back() >= files_kept || indices.back() + (indices.front() == 0 ? 1 : 0) != indices.size())
            fault("file set of " + narrow(log_file_path(log_directory, spec.id, spec.name, spec.version)) +
                  " has gaps or too many files: highest number " + std::to_string(indices.back()) + ", " +
                  std::to_string(indices.size()) + " files");
        for (auto i = indices.rbegin(); i != indices.rend(); ++i)
            read_file(log_file_path(log_directory, spec.id, spec.name, spec.version, *i), s, *i != 0);
    }

    void read_file(const std::wstring& path, unsigned s, bool rotated)
    {
        sizes_.push_back({path, read_file_bytes(path).size(), rotated});
        for (const std::wstring& line : read_log_lines(path)) {
            longest_line_ = std::max(longest_line_, 2 * (line.size() + 2));
            if (!check_line(line, s))
                fault("garbled line in " + narrow(path) + ": " + narrow(line));
        }
    }

    bool check_line(const std::wstring& line, unsigned s)
    {
        const auto f = split_line(line);
        if (!f)
            return false;
        const auto first = number(f->first);
        const auto seq = number(f->second);
        if (!first || !seq || (*first >> 8) >= clients || (*first & 0xFF) >= threads || *seq >= records)
            return false;
        const unsigned c = *first >> 8, t = *first & 0xFF;
        const record_plan p = plan(c, t, *seq);
        if (p.source != s || f->levels != p.levels || f->location != L"client.cpp," + std::to_wstring(*seq) ||
            f->function != L"log_thread" || f->message != message_text(c, t, *seq))
            return false;
        ++seen_[c][t][*seq];
        int& last = last_seq_[s][c][t];
        if (static_cast<int>(*seq) <= last)
            fault("out of thread order: record " + std::to_string(*seq) + " of client " + std::to_string(c) +
                  " thread " + std::to_string(t) + " after record " + std::to_string(last));
        last = static_cast<int>(*seq);
        return true;
    }

    // A file may pass its limit by the one line written before the check; a rotated file had
    // reached the limit in force when it was rotated.
    void check_size(const sized_file& f)
    {
        const size_t most = size_t{bounds_.max_kib} * 1024 + longest_line_ + 2;
        const size_t least = f.rotated ? size_t{bounds_.min_kib} * 1024 : 0;
        if (f.bytes > most || f.bytes < least)
            fault(narrow(f.path) + " holds " + std::to_string(f.bytes) + " bytes, outside [" + std::to_string(least) +
                  ", " + std::to_string(most) + "]");
    }

    void check_outcome(unsigned c, unsigned t, unsigned seq)
    {
        const unsigned seen = seen_[c][t][seq];
        const outcome o = block_.outcomes[c][t][seq];
        verdict_.required += o == outcome::required;
        verdict_.optional += o == outcome::optional;
        verdict_.optional_written += o == outcome::optional && seen == 1;
        const bool wrong = o == outcome::required ? seen != 1 : o == outcome::optional ? seen > 1 : seen != 0;
        if (wrong)
            fault("record " + std::to_string(seq) + " of client " + std::to_string(c) + " thread " + std::to_string(t) +
                  " (outcome " + std::to_string(static_cast<int>(o)) + ") found " + std::to_string(seen) + " times");
    }

    const shared_block& block_;
    const size_bounds bounds_;
    load_verdict verdict_;
    std::vector<sized_file> sizes_;
    size_t longest_line_ = 0;
    unsigned char seen_[clients][threads][records] = {};
    int last_seq_[source_count][clients][threads];
};

} // namespace

load_verdict check_load(const shared_block& block, const std::vector<std::wstring>& log_directories,
                        const size_bounds& bounds)
{
    checker check(block, bounds);
    for (const std::wstring& directory : log_directories)
        check.read_directory(directory);
    return check.verdict();
}

} // namespace kvt::test::load
