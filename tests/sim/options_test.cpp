#include "core/options.hpp"
#include "core/ports_dir.hpp"
#include "sim_fixtures.hpp"

#include <gtest/gtest.h>

#include <functional>
#include <map>

namespace tavel::sim {
namespace {

using fixtures::PrintTo;

std::variant<Options, std::string> parse(std::initializer_list<std::string_view> args) {
    const std::vector<std::string_view> list(args);
    return parse_options(list);
}

Options parsed(std::initializer_list<std::string_view> args) {
    auto result = parse(args);
    if (auto* error = std::get_if<std::string>(&result)) {
        ADD_FAILURE() << *error;
        return {};
    }
    return std::get<Options>(result);
}

TEST(Options, DefaultsWithoutArguments) {
    const Options options = parsed({});
    EXPECT_EQ(options.com, 100u);
    EXPECT_EQ(options.announce, std::chrono::milliseconds{1000});
    EXPECT_EQ(options.rerequest, std::chrono::milliseconds{0});
    EXPECT_FALSE(options.device || options.pace || options.echo || options.quiet);
    EXPECT_FALSE(options.faults.stall_code.has_value());
}

TEST(Options, EveryOptionReachesItsField) {
    const Options o = parsed({"--com", "7", "--device=/dev/ttyUSB1", "--pace", "--turnaround", "25", "--echo",
                              "--announce-ms", "0", "--rerequest=900", "--ask-stay", "--image-out", "fw.bin",
                              "--image-size", "129", "--exit-after-q", "--seed", "99", "--bad-sum", "0.25",
                              "--repeat", "1", "--noise", "0.5", "--drop", "0.01", "--stall-code", "T", "--trace",
                              "t.jsonl", "--log-file", "l.txt", "--quiet"});
    EXPECT_EQ(o.com, 7u);
    EXPECT_EQ(o.device, "/dev/ttyUSB1");
    EXPECT_TRUE(o.pace && o.echo && o.ask_stay && o.exit_after_q && o.quiet);
    EXPECT_EQ(o.turnaround, std::chrono::milliseconds{25});
    EXPECT_EQ(o.announce, std::chrono::milliseconds{0});
    EXPECT_EQ(o.rerequest, std::chrono::milliseconds{900});
    EXPECT_EQ(o.image_out, "fw.bin");
    EXPECT_EQ(o.image_size, 129u);
    EXPECT_EQ(o.seed, 99u);
    EXPECT_DOUBLE_EQ(o.faults.bad_sum, 0.25);
    EXPECT_DOUBLE_EQ(o.faults.repeat, 1.0);
    EXPECT_DOUBLE_EQ(o.faults.noise, 0.5);
    EXPECT_DOUBLE_EQ(o.faults.drop, 0.01);
    EXPECT_EQ(o.faults.stall_code, 'T');
    EXPECT_EQ(o.trace, "t.jsonl");
    EXPECT_EQ(o.log_file, "l.txt");
}

TEST(Options, StallOnceDefaultsToTheBlockAnswerButKeepsAChosenCode) {
    EXPECT_EQ(parsed({"--stall-once"}).faults.stall_code, 'N');
    EXPECT_EQ(parsed({"--stall-code", "G", "--stall-once"}).faults.stall_code, 'G');
}

TEST(Options, LoaderConfigCarriesTheLoaderOptions) {
    const LoaderConfig config =
        loader_config(parsed({"--pace", "--turnaround", "3", "--rerequest", "4", "--image-size", "5"}));
    EXPECT_TRUE(config.pace);
    EXPECT_EQ(config.turnaround, std::chrono::milliseconds{3});
    EXPECT_EQ(config.rerequest, std::chrono::milliseconds{4});
    EXPECT_EQ(config.image_size, 5u);
}

class OptionError : public ::testing::TestWithParam<std::vector<std::string_view>> {};

TEST_P(OptionError, IsRefused) {
    EXPECT_TRUE(std::holds_alternative<std::string>(parse_options(GetParam())));
}

INSTANTIATE_TEST_SUITE_P(
    Options, OptionError,
    ::testing::Values(std::vector<std::string_view>{"--bogus"}, std::vector<std::string_view>{"--com"},
                      std::vector<std::string_view>{"--com", "0"}, std::vector<std::string_view>{"--com", "12x"},
                      std::vector<std::string_view>{"--noise", "1.5"}, std::vector<std::string_view>{"--drop", "-0.1"},
                      std::vector<std::string_view>{"--repeat", "nan"},
                      std::vector<std::string_view>{"--turnaround", "-5"},
                      std::vector<std::string_view>{"--seed", "4294967296"},
                      std::vector<std::string_view>{"--stall-code", "NN"},
                      std::vector<std::string_view>{"--pace=1"}));

using Env = std::map<std::string, std::string>;

struct PortsDirCase {
    const char* name;
    Env env;
    std::string expected;
};

class PortsDirectory : public ::testing::TestWithParam<PortsDirCase> {};

TEST_P(PortsDirectory, FollowsTheEnvironment) {
    const Env& env = GetParam().env;
    const auto dir = ports_directory([&env](const char* name) -> const char* {
        const auto found = env.find(name);
        return found == env.end() ? nullptr : found->second.c_str();
    });
    if (GetParam().expected.empty()) {
        EXPECT_TRUE(std::holds_alternative<std::string>(dir));
    } else {
        ASSERT_TRUE(std::holds_alternative<std::filesystem::path>(dir));
        EXPECT_EQ(std::get<std::filesystem::path>(dir), GetParam().expected);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Options, PortsDirectory,
    ::testing::Values(
        PortsDirCase{"explicit", {{"TAVEL_PORTS_DIR", "/p"}, {"HOME", "/h"}}, "/p"},
        PortsDirCase{"empty_explicit_falls_back", {{"TAVEL_PORTS_DIR", ""}, {"XDG_CONFIG_HOME", "/x"}},
                     "/x/tavel-tool/ports"},
        PortsDirCase{"empty_xdg_uses_home", {{"XDG_CONFIG_HOME", ""}, {"HOME", "/h"}}, "/h/.config/tavel-tool/ports"},
        PortsDirCase{"nothing_set", {}, ""}),
    [](const auto& named) { return std::string(named.param.name); });

}  // namespace
}  // namespace tavel::sim
