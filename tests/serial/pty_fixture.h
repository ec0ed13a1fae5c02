#pragma once

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

namespace tavel::testing {

// A pseudo-terminal: the port opens its slave, the test plays the sensor on
// the master.
class PseudoTerminal {
 public:
  PseudoTerminal() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    char name[128] = {};
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0 ||
        ptsname_r(master_, name, sizeof name) != 0) {
      CloseMaster();
      return;
    }
    slave_ = name;
  }
  PseudoTerminal(const PseudoTerminal&) = delete;
  PseudoTerminal& operator=(const PseudoTerminal&) = delete;
  ~PseudoTerminal() { CloseMaster(); }

  bool IsOpen() const { return master_ >= 0; }
  int Master() const { return master_; }
  const std::string& SlavePath() const { return slave_; }

  void CloseMaster() {
    if (master_ >= 0) ::close(master_);
    master_ = -1;
  }

  bool Send(const std::vector<std::uint8_t>& bytes) {
    return ::write(master_, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
  }

  // What reaches the sensor, up to `count` bytes; shorter when the line stays
  // quiet for two seconds.
  std::vector<std::uint8_t> Receive(std::size_t count) {
    std::vector<std::uint8_t> bytes(count);
    std::size_t got = 0;
    pollfd watch{master_, POLLIN, 0};
    while (got < count && poll(&watch, 1, 2000) > 0) {
      const ssize_t n = ::read(master_, bytes.data() + got, count - got);
      if (n <= 0) break;
      got += static_cast<std::size_t>(n);
    }
    bytes.resize(got);
    return bytes;
  }

 private:
  int master_ = -1;
  std::string slave_;
};

// Sets or unsets an environment variable for one scope.
class ScopedEnv {
 public:
  ScopedEnv(const char* variable, const std::optional<std::string>& value) : variable_(variable) {
    if (const char* old = getenv(variable)) old_ = old;
    if (value) {
      setenv(variable, value->c_str(), 1);
    } else {
      unsetenv(variable);
    }
  }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;
  ~ScopedEnv() {
    if (old_) {
      setenv(variable_.c_str(), old_->c_str(), 1);
    } else {
      unsetenv(variable_.c_str());
    }
  }

 private:
  std::string variable_;
  std::optional<std::string> old_;
};

inline std::string MakeTempDirectory() {
  std::string pattern = (std::filesystem::temp_directory_path() / "tavel-ports-XXXXXX").string();
  return mkdtemp(pattern.data()) ? std::filesystem::canonical(pattern).string() : std::string();
}

// A ports directory of its own for one test, named by TAVEL_PORTS_DIR.
class TempPortsDir {
 public:
  TempPortsDir() : path_(MakeTempDirectory()), env_("TAVEL_PORTS_DIR", path_) {}
  TempPortsDir(const TempPortsDir&) = delete;
  TempPortsDir& operator=(const TempPortsDir&) = delete;
  ~TempPortsDir() {
    std::error_code error;
    std::filesystem::remove_all(path_, error);
  }

  const std::string& Path() const { return path_; }

  // The entry COM<n>, a link to `target`.
  std::string Link(int n, const std::string& target) const {
    return LinkNamed("COM" + std::to_string(n), target);
  }

  std::string LinkNamed(const std::string& name, const std::string& target) const {
    const std::string entry = path_ + "/" + name;
    std::error_code error;
    std::filesystem::create_symlink(target, entry, error);
    return entry;
  }

 private:
  std::string path_;
  ScopedEnv env_;
};

}  // namespace tavel::testing
