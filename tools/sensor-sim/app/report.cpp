#include "app/report.hpp"

#include "app/sys_error.hpp"
#include "core/wire.hpp"

#include <cstdint>
#include <span>

namespace tavel::sim {
namespace {

std::string hex(std::span<const std::uint8_t> bytes) {
    static constexpr std::string_view kDigits = "0123456789abcdef";
    std::string text;
    text.reserve(bytes.size() * 2);
    for (const std::uint8_t byte : bytes) {
        text += kDigits[byte >> 4];
        text += kDigits[byte & 0x0F];
    }
    return text;
}

bool printable(std::uint8_t byte) {
    return byte >= 0x20 && byte < 0x7F;
}

std::string json_code(std::uint8_t code) {
    if (printable(code) && code != '"' && code != '\\') {
        return std::string{'"', static_cast<char>(code), '"'};
    }
    return "\"\\u00" + hex(std::span{&code, 1}) + "\"";
}

std::string json_string(std::string_view text) {
    std::string quoted = "\"";
    for (const char c : text) {
        const auto byte = static_cast<std::uint8_t>(c);
        if (c == '"' || c == '\\') {
            quoted += '\\';
            quoted += c;
        } else if (byte < 0x20) {
            quoted += "\\u00" + hex(std::span{&byte, 1});
        } else {
            quoted += c;
        }
    }
    return quoted + "\"";
}

std::string log_code(std::uint8_t code) {
    return printable(code) ? std::string{static_cast<char>(code)} : "0x" + hex(std::span{&code, 1});
}

struct Header {
    std::uint8_t code = 0;
    std::uint16_t number = 0;
    std::uint16_t length = 0;
};

Header header_of(std::span<const std::uint8_t> raw) {
    Header header;
    if (raw.size() > command_at::kCode) {
        header.code = raw[command_at::kCode];
    }
    if (raw.size() >= command_at::kNumber + 2) {
        header.number = read_u16_le(raw, command_at::kNumber);
    }
    if (raw.size() >= command_at::kLength + 2) {
        header.length = read_u16_le(raw, command_at::kLength);
    }
    return header;
}

std::string rx_log_line(const FrameReceived& frame) {
    if (frame.status == RxStatus::Incomplete) {
        return "rx incomplete frame, " + std::to_string(frame.raw.size()) + " bytes discarded";
    }
    const Header header = header_of(frame.raw);
    std::string line = "rx " + log_code(header.code) + " #" + std::to_string(header.number) + " len " +
                       std::to_string(header.length) + " " + std::string(to_string(frame.status));
    if (!frame.note.empty()) {
        line += ": " + frame.note;
    }
    return line;
}

std::string rx_trace_line(const FrameReceived& frame) {
    const Header header = header_of(frame.raw);
    return "{\"t_us\":" + std::to_string(frame.last_byte.count()) +
           ",\"t_first_us\":" + std::to_string(frame.first_byte.count()) + ",\"dir\":\"rx\",\"code\":" +
           json_code(header.code) + ",\"number\":" + std::to_string(header.number) +
           ",\"length\":" + std::to_string(header.length) + ",\"status\":" +
           json_string(to_string(frame.status)) + ",\"hex\":\"" + hex(frame.raw) + "\"}";
}

std::string joined(const std::vector<std::string>& items, std::string_view separator) {
    std::string text;
    for (const std::string& item : items) {
        text += (text.empty() ? "" : std::string(separator)) + item;
    }
    return text;
}

std::string tx_log_line(const Transmission& tx) {
    std::string line = "tx " + log_code(static_cast<std::uint8_t>(tx.code));
    if (tx.wire.size() != tx.frame.size()) {
        line += " (" + std::to_string(tx.wire.size()) + " of " + std::to_string(tx.frame.size()) + " bytes)";
    }
    if (!tx.faults.empty()) {
        line += " [" + joined(tx.faults, ", ") + "]";
    }
    if (!tx.noise.empty()) {
        line += " after " + std::to_string(tx.noise.size()) + " noise bytes";
    }
    return line;
}

std::string tx_trace_line(const Transmission& tx, const WrittenItem& written) {
    std::vector<std::string> faults;
    for (const std::string& fault : tx.faults) {
        faults.push_back(json_string(fault));
    }
    return "{\"t_us\":" + std::to_string(written.first_byte.count()) +
           ",\"t_last_us\":" + std::to_string(written.last_byte.count()) + ",\"dir\":\"tx\",\"code\":" +
           json_code(static_cast<std::uint8_t>(tx.code)) + ",\"hex\":\"" + hex(tx.wire) + "\",\"fault\":[" +
           joined(faults, ",") + "],\"noise\":" + std::to_string(tx.noise.size()) + "}";
}

std::variant<std::FILE*, std::string> open_for_writing(const std::optional<std::string>& path) {
    if (!path) {
        return static_cast<std::FILE*>(nullptr);
    }
    std::FILE* file = std::fopen(path->c_str(), "w");
    if (file == nullptr) {
        return errno_error("cannot open " + *path).message();
    }
    return file;
}

void write_line(std::FILE* file, std::string_view line) {
    std::fwrite(line.data(), 1, line.size(), file);
    std::fputc('\n', file);
    std::fflush(file);
}

}  // namespace

std::variant<Reporter, std::string> Reporter::open(const Options& options) {
    auto log_file = open_for_writing(options.log_file);
    if (auto* error = std::get_if<std::string>(&log_file)) {
        return *error;
    }
    File log{std::get<std::FILE*>(log_file)};
    auto trace_file = open_for_writing(options.trace);
    if (auto* error = std::get_if<std::string>(&trace_file)) {
        return *error;
    }
    return Reporter{!options.quiet, std::move(log), File{std::get<std::FILE*>(trace_file)}};
}

Reporter::Reporter(bool to_stdout, File log_file, File trace)
    : to_stdout_(to_stdout), log_file_(std::move(log_file)), trace_(std::move(trace)) {}

void Reporter::note(std::string_view line) {
    if (to_stdout_) {
        write_line(stdout, line);
    }
    if (log_file_) {
        write_line(log_file_.get(), line);
    }
}

void Reporter::received(const FrameReceived& frame) {
    note(rx_log_line(frame));
    trace_line(rx_trace_line(frame));
}

void Reporter::sent(const Transmission& tx, const WrittenItem& written) {
    note(tx_log_line(tx));
    trace_line(tx_trace_line(tx, written));
}

void Reporter::trace_line(const std::string& json) {
    if (trace_) {
        write_line(trace_.get(), json);
    }
}

}  // namespace tavel::sim
