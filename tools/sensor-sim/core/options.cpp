#include "core/options.hpp"

#include <algorithm>
#include <array>
#include <charconv>

namespace tavel::sim {
namespace {

using Error = std::optional<std::string>;
using Apply = Error (*)(Options&, std::string_view);

struct OptionSpec {
    std::string_view name;
    bool takes_value;
    Apply apply;
};

constexpr std::uint64_t kMaxMillis = 3'600'000;
constexpr std::uint64_t kMaxImageSize = std::uint64_t{65536} * 128;

std::optional<std::uint64_t> parse_unsigned(std::string_view text, std::uint64_t min, std::uint64_t max) {
    std::uint64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc{} || end != text.data() + text.size() || value < min || value > max) {
        return std::nullopt;
    }
    return value;
}

std::optional<double> parse_rate(std::string_view text) {
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc{} || end != text.data() + text.size() || !(value >= 0 && value <= 1)) {
        return std::nullopt;
    }
    return value;
}

Error invalid(std::string_view option, std::string_view value, std::string_view expected) {
    return "invalid value '" + std::string(value) + "' for " + std::string(option) + ": expected " +
           std::string(expected);
}

template <typename Setter>
Error set_millis(std::string_view option, std::string_view value, Setter set) {
    const auto millis = parse_unsigned(value, 0, kMaxMillis);
    if (!millis) {
        return invalid(option, value, "milliseconds 0.." + std::to_string(kMaxMillis));
    }
    set(std::chrono::milliseconds{*millis});
    return std::nullopt;
}

Error set_rate(std::string_view option, std::string_view value, double& rate) {
    const auto parsed = parse_rate(value);
    if (!parsed) {
        return invalid(option, value, "a rate 0..1");
    }
    rate = *parsed;
    return std::nullopt;
}

Error set_stall_code(Options& options, std::string_view value) {
    if (value.size() != 1) {
        return invalid("--stall-code", value, "one response code letter");
    }
    options.faults.stall_code = value.front();
    return std::nullopt;
}

constexpr std::array<OptionSpec, 22> kOptions{{
    {"--com", true,
     [](Options& o, std::string_view v) -> Error {
         const auto com = parse_unsigned(v, 1, 65535);
         if (!com) {
             return invalid("--com", v, "a port number 1..65535");
         }
         o.com = static_cast<unsigned>(*com);
         return std::nullopt;
     }},
    {"--device", true,
     [](Options& o, std::string_view v) -> Error {
         o.device = std::string(v);
         return std::nullopt;
     }},
    {"--pace", false, [](Options& o, std::string_view) -> Error { o.pace = true; return std::nullopt; }},
    {"--turnaround", true,
     [](Options& o, std::string_view v) {
         return set_millis("--turnaround", v, [&o](std::chrono::milliseconds ms) { o.turnaround = ms; });
     }},
    {"--echo", false, [](Options& o, std::string_view) -> Error { o.echo = true; return std::nullopt; }},
    {"--announce-ms", true,
     [](Options& o, std::string_view v) {
         return set_millis("--announce-ms", v, [&o](std::chrono::milliseconds ms) { o.announce = ms; });
     }},
    {"--rerequest", true,
     [](Options& o, std::string_view v) {
         return set_millis("--rerequest", v, [&o](std::chrono::milliseconds ms) { o.rerequest = ms; });
     }},
    {"--ask-stay", false, [](Options& o, std::string_view) -> Error { o.ask_stay = true; return std::nullopt; }},
    {"--image-out", true,
     [](Options& o, std::string_view v) -> Error {
         o.image_out = std::string(v);
         return std::nullopt;
     }},
    {"--image-size", true,
     [](Options& o, std::string_view v) -> Error {
         const auto size = parse_unsigned(v, 0, kMaxImageSize);
         if (!size) {
             return invalid("--image-size", v, "a byte count 0.." + std::to_string(kMaxImageSize));
         }
         o.image_size = static_cast<std::size_t>(*size);
         return std::nullopt;
     }},
    {"--exit-after-q", false,
     [](Options& o, std::string_view) -> Error { o.exit_after_q = true; return std::nullopt; }},
    {"--seed", true,
     [](Options& o, std::string_view v) -> Error {
         const auto seed = parse_unsigned(v, 0, 0xFFFF'FFFFu);
         if (!seed) {
             return invalid("--seed", v, "an unsigned 32-bit number");
         }
         o.seed = static_cast<std::uint32_t>(*seed);
         return std::nullopt;
     }},
    {"--bad-sum", true, [](Options& o, std::string_view v) { return set_rate("--bad-sum", v, o.faults.bad_sum); }},
    {"--repeat", true, [](Options& o, std::string_view v) { return set_rate("--repeat", v, o.faults.repeat); }},
    {"--noise", true, [](Options& o, std::string_view v) { return set_rate("--noise", v, o.faults.noise); }},
    {"--drop", true, [](Options& o, std::string_view v) { return set_rate("--drop", v, o.faults.drop); }},
    {"--stall-once", false,
     [](Options& o, std::string_view) -> Error {
         o.faults.stall_code = o.faults.stall_code.value_or('N');
         return std::nullopt;
     }},
    {"--stall-code", true, set_stall_code},
    {"--trace", true,
     [](Options& o, std::string_view v) -> Error {
         o.trace = std::string(v);
         return std::nullopt;
     }},
    {"--log-file", true,
     [](Options& o, std::string_view v) -> Error {
         o.log_file = std::string(v);
         return std::nullopt;
     }},
    {"--quiet", false, [](Options& o, std::string_view) -> Error { o.quiet = true; return std::nullopt; }},
    {"--help", false, [](Options& o, std::string_view) -> Error { o.help = true; return std::nullopt; }},
}};

const OptionSpec* find_option(std::string_view name) {
    const auto found =
        std::find_if(kOptions.begin(), kOptions.end(), [name](const OptionSpec& spec) { return spec.name == name; });
    return found == kOptions.end() ? nullptr : &*found;
}

}  // namespace

std::variant<Options, std::string> parse_options(std::span<const std::string_view> args) {
    Options options;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string_view name = args[i];
        std::optional<std::string_view> inline_value;
        if (const auto equals = name.find('='); equals != std::string_view::npos) {
            inline_value = name.substr(equals + 1);
            name = name.substr(0, equals);
        }
        const OptionSpec* spec = find_option(name);
        if (spec == nullptr) {
            return "unknown option '" + std::string(name) + "'";
        }
        if (!spec->takes_value && inline_value) {
            return "option " + std::string(name) + " takes no value";
        }
        if (spec->takes_value && !inline_value) {
            if (i + 1 == args.size()) {
                return "option " + std::string(name) + " needs a value";
            }
            inline_value = args[++i];
        }
        if (const Error error = spec->apply(options, inline_value.value_or(""))) {
            return *error;
        }
    }
    return options;
}

std::string_view usage() {
    return R"(usage: tavel-sensor-sim [options]
Plays a Tavel sensor's loader on a serial line.

Line:
  --com N            link the pseudo-terminal as COM<N> in the ports directory (default 100)
  --device PATH      use a real serial port instead of a pseudo-terminal
  --pace             emulate 4800-baud timing in both directions
  --turnaround MS    wait MS before each answer (default 0)
  --echo             echo every received byte back at once
Loader:
  --announce-ms MS   announce 'B' every MS while idle in the loader (default 1000, 0: never)
  --rerequest MS     send 'R' when an expected frame has not come within MS (default 0: never)
  --ask-stay         ask with 'Y' after the greeting and until 's' arrives
  --image-out FILE   write the uploaded image to FILE on 'q'
  --image-size N     cut the written image to N bytes
  --exit-after-q     exit after answering 'q'
Faults (seeded, deterministic):
  --seed N           seed of the fault generators (default 4800)
  --bad-sum RATE     'T' answers with a wrong payload sum, RATE 0..1
  --repeat RATE      'R' instead of an answer
  --noise RATE       stray bytes (never '~') before a frame
  --drop RATE        drop outgoing bytes, per byte
  --stall-once       send only half of the first 'N' answer
  --stall-code C     stall the first answer with code C instead of 'N' (implies --stall-once)
Output:
  --trace FILE       one JSON line per frame in either direction
  --log-file FILE    also write the readable log to FILE
  --quiet            no readable log on stdout
  --help             show this text
)";
}

LoaderConfig loader_config(const Options& options) {
    LoaderConfig config;
    config.pace = options.pace;
    config.turnaround = options.turnaround;
    config.echo = options.echo;
    config.announce = options.announce;
    config.rerequest = options.rerequest;
    config.ask_stay = options.ask_stay;
    config.image_size = options.image_size;
    config.exit_after_q = options.exit_after_q;
    return config;
}

}  // namespace tavel::sim
