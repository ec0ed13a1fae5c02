#pragma once

#include "core/loader.hpp"
#include "core/options.hpp"
#include "core/paced_writer.hpp"

#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <variant>

namespace tavel::sim {

// The readable log (stdout and --log-file) and the JSON trace (--trace), one flushed line each.
class Reporter {
public:
    static std::variant<Reporter, std::string> open(const Options& options);

    void note(std::string_view line);
    void received(const FrameReceived& frame);
    void sent(const Transmission& tx, const WrittenItem& written);

private:
    struct FileCloser {
        void operator()(std::FILE* file) const { std::fclose(file); }
    };
    using File = std::unique_ptr<std::FILE, FileCloser>;

    Reporter(bool to_stdout, File log_file, File trace);
    void trace_line(const std::string& json);

    bool to_stdout_;
    File log_file_;
    File trace_;
};

}  // namespace tavel::sim
