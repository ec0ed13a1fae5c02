#include "sim_fixtures.hpp"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <thread>
#include <string>
#include <vector>

extern char** environ;

namespace tavel::sim {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using Response = std::array<std::uint8_t, 71>;

constexpr auto kPatience = std::chrono::seconds{5};

bool wait_readable(int fd, Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    pollfd entry{fd, POLLIN, 0};
    return left.count() > 0 && ::poll(&entry, 1, static_cast<int>(left.count())) == 1;
}

class TempDir {
public:
    TempDir() {
        std::string pattern = (fs::temp_directory_path() / "tavel-sim-XXXXXX").string();
        path_ = ::mkdtemp(pattern.data());
    }
    ~TempDir() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

class SimProcess {
public:
    SimProcess(const fs::path& ports_dir, std::vector<std::string> args) {
        int pipe_fds[2];
        if (::pipe2(pipe_fds, O_CLOEXEC) != 0) {
            return;
        }
        stdout_ = pipe_fds[0];
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, pipe_fds[1], STDOUT_FILENO);
        std::vector<std::string> env_strings{"TAVEL_PORTS_DIR=" + ports_dir.string()};
        for (char** entry = environ; *entry != nullptr; ++entry) {
            if (std::string_view(*entry).substr(0, 16) != "TAVEL_PORTS_DIR=") {
                env_strings.emplace_back(*entry);
            }
        }
        args.insert(args.begin(), TAVEL_SIM_BINARY);
        const std::vector<char*> argv = pointers(args);
        const std::vector<char*> envp = pointers(env_strings);
        if (::posix_spawn(&pid_, TAVEL_SIM_BINARY, &actions, nullptr, argv.data(), envp.data()) != 0) {
            pid_ = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
        ::close(pipe_fds[1]);
    }
    ~SimProcess() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        if (stdout_ >= 0) {
            ::close(stdout_);
        }
    }

    bool running() const { return pid_ > 0; }

    std::string first_line() {
        std::string line;
        const auto deadline = Clock::now() + kPatience;
        char c = 0;
        while (wait_readable(stdout_, deadline) && ::read(stdout_, &c, 1) == 1 && c != '\n') {
            line += c;
        }
        return line;
    }

    std::optional<int> terminate() {
        ::kill(pid_, SIGTERM);
        int status = 0;
        const pid_t waited = ::waitpid(pid_, &status, 0);
        pid_ = -1;
        if (waited < 0 || !WIFEXITED(status)) {
            return std::nullopt;
        }
        return WEXITSTATUS(status);
    }

private:
    static std::vector<char*> pointers(std::vector<std::string>& strings) {
        std::vector<char*> result;
        for (std::string& s : strings) {
            result.push_back(s.data());
        }
        result.push_back(nullptr);
        return result;
    }

    pid_t pid_ = -1;
    int stdout_ = -1;
};

// The tool's side of the line, reading whole response frames.
class ToolPort {
public:
    explicit ToolPort(const fs::path& path) : fd_(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK)) {}
    ~ToolPort() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    ToolPort(const ToolPort&) = delete;
    ToolPort& operator=(const ToolPort&) = delete;

    bool is_open() const { return fd_ >= 0; }

    bool send(const fixtures::Frame& frame) {
        return ::write(fd_, frame.data(), frame.size()) == static_cast<ssize_t>(frame.size());
    }

    std::optional<Response> next_response() {
        const auto deadline = Clock::now() + kPatience;
        while (true) {
            const auto start = std::find(buffer_.begin(), buffer_.end(), '~');
            buffer_.erase(buffer_.begin(), start);
            if (buffer_.size() >= 71) {
                Response response{};
                std::copy_n(buffer_.begin(), 71, response.begin());
                buffer_.erase(buffer_.begin(), buffer_.begin() + 71);
                return response;
            }
            if (!wait_readable(fd_, deadline)) {
                return std::nullopt;
            }
            std::array<std::uint8_t, 512> chunk{};
            const ssize_t count = ::read(fd_, chunk.data(), chunk.size());
            if (count <= 0) {
                return std::nullopt;
            }
            buffer_.insert(buffer_.end(), chunk.begin(), chunk.begin() + count);
        }
    }

    // Skips announcements; fails on anything else that is not `code`.
    std::optional<Response> answer(char code) {
        while (auto response = next_response()) {
            if ((*response)[5] == code) {
                return response;
            }
            if ((*response)[5] != 'B') {
                ADD_FAILURE() << "unexpected response " << static_cast<char>((*response)[5]);
                return std::nullopt;
            }
        }
        return std::nullopt;
    }

private:
    int fd_;
    std::vector<std::uint8_t> buffer_;
};

TEST(SensorSimProcess, ServesTheToolThroughItsPortLinkAndCleansUp) {
    const TempDir ports;
    SimProcess sim{ports.path(), {"--com", "42", "--announce-ms", "100", "--quiet"}};
    ASSERT_TRUE(sim.running());
    const std::string banner = sim.first_line();
    const fs::path link = ports.path() / "COM42";
    ASSERT_EQ(banner.rfind("tavel-sensor-sim: COM42 -> /dev/pts/", 0), 0u) << banner;
    EXPECT_EQ(fs::read_symlink(link).string(), banner.substr(banner.find("/dev/")));

    {
        ToolPort port{link};
        ASSERT_TRUE(port.is_open());
        const auto greeting = port.next_response();
        ASSERT_TRUE(greeting.has_value());
        EXPECT_EQ((*greeting)[5], 'b');
        const auto announcement = port.next_response();
        ASSERT_TRUE(announcement.has_value());
        EXPECT_EQ((*announcement)[5], 'B');

        const std::array<std::uint8_t, 5> settings{'1', '0', '3', 'G', 'P'};
        ASSERT_TRUE(port.send(fixtures::command_frame('p', 1, 5, settings)));
        const auto answer = port.answer('P');
        ASSERT_TRUE(answer.has_value());
        EXPECT_TRUE(std::equal(settings.begin(), settings.end(), answer->begin() + 6));
    }
    {
        ToolPort reopened{link};
        ASSERT_TRUE(reopened.is_open());
        ASSERT_TRUE(reopened.send(fixtures::command_frame('i', 0, 2)));
        EXPECT_TRUE(reopened.answer('I').has_value());
    }

    EXPECT_EQ(sim.terminate(), 0);
    EXPECT_FALSE(fs::exists(fs::symlink_status(link)));
}

bool file_mentions(const fs::path& path, std::string_view text) {
    const auto deadline = Clock::now() + kPatience;
    while (Clock::now() < deadline) {
        std::ifstream file{path};
        std::stringstream content;
        content << file.rdbuf();
        if (content.str().find(text) != std::string::npos) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds{20});
    }
    return false;
}

TEST(SensorSimProcess, ToolThatOpensLateStillFindsTheGreetingFirst) {
    const TempDir ports;
    const fs::path log = ports.path() / "sim.log";
    SimProcess sim{ports.path(), {"--announce-ms", "2", "--quiet", "--log-file", log.string()}};
    ASSERT_TRUE(sim.running());
    sim.first_line();
    ASSERT_TRUE(file_mentions(log, "bytes that nobody read"));

    ToolPort port{ports.path() / "COM100"};
    ASSERT_TRUE(port.is_open());
    const auto first = port.next_response();
    ASSERT_TRUE(first.has_value());
    EXPECT_EQ((*first)[5], 'b');
    EXPECT_EQ(sim.terminate(), 0);
}

}  // namespace
}  // namespace tavel::sim
