#include "sensor_line.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <stdexcept>

namespace tavel::testing {

Bytes Response(char code, const Bytes& payload, bool badSum) {
  Bytes frame(71, 0);
  frame[0] = '~';
  frame[1] = 'H';
  frame[2] = 'E';
  frame[3] = 'A';
  frame[4] = 'D';
  frame[5] = static_cast<std::uint8_t>(code);
  unsigned sum = 0x55;
  for (std::size_t i = 0; i < 62; ++i) {
    frame[6 + i] = i < payload.size() ? payload[i] : 0;
    sum += frame[6 + i];
  }
  sum &= 0xFFFF;
  if (badSum) sum ^= 0x0101;
  frame[68] = static_cast<std::uint8_t>(sum >> 8);
  frame[69] = static_cast<std::uint8_t>(sum & 0xFF);
  frame[70] = 0x0D;
  return frame;
}

Bytes TextPayload(const Bytes& cp1251Text) {
  Bytes payload = cp1251Text;
  payload.push_back(0);
  return payload;
}

bool CommandView::ChecksumOk() const {
  unsigned sum = 0;
  for (std::size_t i = 1; i <= 134; ++i) sum += bytes.at(i);
  sum &= 0xFFFF;
  return bytes.at(136) == (sum & 0xFF) && bytes.at(137) == (sum >> 8);
}

PtySensor::PtySensor(int comNumber) : com_(comNumber) {
  char name[256] = {};
  if (openpty(&master_, &slave_, name, nullptr, nullptr) != 0) throw std::runtime_error("openpty");
  slavePath_ = name;
  termios raw{};
  tcgetattr(master_, &raw);
  cfmakeraw(&raw);
  tcsetattr(master_, TCSANOW, &raw);
  char dirTemplate[] = "/tmp/tavel-ports-XXXXXX";
  portsDir_ = mkdtemp(dirTemplate);
  std::filesystem::create_symlink(slavePath_, portsDir_ + "/COM" + std::to_string(com_));
  setenv("TAVEL_PORTS_DIR", portsDir_.c_str(), 1);
}

PtySensor::~PtySensor() {
  CloseMaster();
  if (slave_ >= 0) close(slave_);
  std::error_code ignored;
  std::filesystem::remove_all(portsDir_, ignored);
  unsetenv("TAVEL_PORTS_DIR");
}

void PtySensor::CloseMaster() {
  if (master_ >= 0) close(master_);
  master_ = -1;
}

void PtySensor::Send(const Bytes& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = write(master_, bytes.data() + done, bytes.size() - done);
    if (n <= 0) throw std::runtime_error("write to pty master");
    done += static_cast<std::size_t>(n);
  }
}

Bytes PtySensor::Receive(std::size_t count, int ms) {
  Bytes got;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (got.size() < count) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    pollfd p{master_, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
    std::uint8_t buffer[512];
    const ssize_t n = read(master_, buffer, std::min(sizeof buffer, count - got.size()));
    if (n <= 0) break;
    got.insert(got.end(), buffer, buffer + n);
  }
  return got;
}

std::vector<CommandView> PtySensor::ReceiveFrames(std::size_t frames, int ms) {
  const Bytes bytes = Receive(frames * 140, ms);
  std::vector<CommandView> views;
  for (std::size_t at = 0; at + 140 <= bytes.size(); at += 140) {
    views.push_back({Bytes(bytes.begin() + static_cast<long>(at), bytes.begin() + static_cast<long>(at + 140))});
  }
  return views;
}

bool PtySensor::NothingSent(int ms) { return Receive(1, ms).empty(); }

bool FakePort::ReadSettings(LineSettings& settings) {
  if (s_.faults.readSettings) return false;
  settings = s_.settings;
  return true;
}

bool FakePort::WriteSettings(const LineSettings& settings) {
  if (s_.faults.writeSettings) return false;
  s_.settings = settings;
  return true;
}

bool FakePort::Escape(LineControl code) {
  s_.escapes.push_back(code);
  return true;
}

bool FakePort::PurgeReceive() {
  ++s_.purges;
  s_.input.clear();
  return true;
}

bool FakePort::QueryStatus(QueueStatus& status) {
  ++s_.statusQueries;
  if (s_.faults.queryStatus) return false;
  status.cbInQue = static_cast<std::uint32_t>(s_.input.size());
  status.cbOutQue = 0;
  return true;
}

bool FakePort::Write(const std::uint8_t* bytes, std::uint32_t count, std::uint32_t& written) {
  s_.written.insert(s_.written.end(), bytes, bytes + count);
  if (s_.echo) s_.input.insert(s_.input.end(), bytes, bytes + count);
  s_.input.insert(s_.input.end(), s_.replyAfterWrite.begin(), s_.replyAfterWrite.end());
  written = count;
  return true;
}

bool FakePort::Read(std::uint8_t* buffer, std::uint32_t count, std::uint32_t& got) {
  if (s_.faults.read) return false;
  got = 0;
  while (got < count && !s_.input.empty()) {
    buffer[got++] = s_.input.front();
    s_.input.pop_front();
  }
  return true;
}

bool FakePort::Close() {
  if (s_.faults.close) return false;
  s_.closed = true;
  return true;
}

}  // namespace tavel::testing
