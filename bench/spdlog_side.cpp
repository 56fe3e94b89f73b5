#include "spdlog_side.h"

#include "bench_message.h"
#include "timing.h"

#include <spdlog/async.h>
#include <spdlog/async_logger.h>
#include <spdlog/pattern_formatter.h>
#include <spdlog/sinks/null_sink.h>
#include <spdlog/sinks/rotating_file_sink.h>

#include <memory>
#include <thread>
#include <vector>

namespace kvt::bench {

namespace {

// spdlog's counterpart of SetLocation in log_message.
const spdlog::source_loc location{__FILE__, __LINE__, "log_message"};

// The fields of a kvtlog line: date|time|level|first/second|file,line|function|message.
constexpr char line_pattern[] = "%Y/%m/%d|%H:%M:%S.%e|%L|0/0|%s,%#|%!|%v";

// kvtlog's default size limit of a source: 2048 KiB, the current file and two older ones.
constexpr std::size_t rotate_bytes = 2048 * 1024;
constexpr std::size_t older_files = 2;

constexpr char narrow_text[] = "twenty wide chars ok";
static_assert(sizeof narrow_text == sizeof message_text / sizeof(wchar_t));

void log_wide(spdlog::async_logger& logger, const wchar_t* text)
{
    logger.log(location, spdlog::level::info, L"{}{}{}", message_number, text, message_real);
}

void log_narrow(spdlog::async_logger& logger)
{
    logger.log(location, spdlog::level::info, "{}{}{}", message_number, narrow_text, message_real);
}

// The bytes of one line of the pattern around the message text.
std::size_t line_bytes_with(const std::string& text)
{
    spdlog::pattern_formatter formatter(line_pattern);
    const std::string payload = fmt::format("{}{}{}", message_number, text, message_real);
    const spdlog::details::log_msg msg(location, "writer", spdlog::level::info, payload);
    spdlog::memory_buf_t line;
    formatter.format(msg, line);
    return line.size();
}

// The bench text, lengthened with dots until a whole line has line_bytes bytes.
std::wstring padded_text(std::size_t line_bytes)
{
    const std::size_t bytes = line_bytes_with(narrow_text);
    std::wstring text = message_text;
    if (line_bytes > bytes)
        text.append(line_bytes - bytes, L'.');
    return text;
}

} // namespace

double spdlog_caller_seconds(unsigned threads, std::size_t messages, text_width width)
{
    auto pool = std::make_shared<spdlog::details::thread_pool>(spdlog::details::default_async_q_size, 1);
    auto logger = std::make_shared<spdlog::async_logger>("caller", std::make_shared<spdlog::sinks::null_sink_mt>(),
                                                         pool, spdlog::async_overflow_policy::overrun_oldest);
    const double seconds = mean_thread_seconds(threads, [&] {
        for (std::size_t i = 0; i < messages; ++i) {
            if (width == text_width::wide)
                log_wide(*logger, message_text);
            else
                log_narrow(*logger);
        }
    });
    // The pool's destructor lets its thread finish the queue before it joins it.
    logger.reset();
    pool.reset();
    return seconds;
}

double spdlog_writer_seconds(const std::wstring& file, std::size_t lines, std::size_t line_bytes, unsigned threads)
{
    const std::wstring text = padded_text(line_bytes);
    auto sink = std::make_shared<spdlog::sinks::rotating_file_sink_mt>(file, rotate_bytes, older_files);
    sink->set_pattern(line_pattern);
    auto pool = std::make_shared<spdlog::details::thread_pool>(spdlog::details::default_async_q_size, 1);
    auto logger = std::make_shared<spdlog::async_logger>("writer", sink, pool, spdlog::async_overflow_policy::block);

    const stopwatch watch;
    {
        std::vector<std::jthread> callers;
        for (unsigned t = 0; t < threads; ++t)
            callers.emplace_back([&, t] {
                for (std::size_t i = t; i < lines; i += threads)
                    log_wide(*logger, text.c_str());
            });
    }
    logger.reset();
    pool.reset();
    sink->flush();
    return watch.seconds();
}

} // namespace kvt::bench
