#pragma once

#include <cstdint>
#include <deque>
#include <vector>

#include "serial/serial_port.h"

namespace tavel::fuzz {

// A port living in memory. The harness owns the line state, so it survives
// the port objects that the window opens and closes.
struct Line {
  std::deque<std::uint8_t> input;
  std::vector<std::uint8_t> written;
  bool echo = false;
  bool failClose = false;
  // Read number `failRead` (counted from 1) fails; 0 never.
  unsigned failRead = 0;
  unsigned reads = 0;
};

class MemoryPort : public SerialPort {
 public:
  explicit MemoryPort(Line& line) : line_(line) {}
  bool ReadSettings(LineSettings&) override { return true; }
  bool WriteSettings(const LineSettings&) override { return true; }
  bool Escape(LineControl) override { return true; }
  bool PurgeReceive() override {
    line_.input.clear();
    return true;
  }
  bool QueryStatus(QueueStatus& status) override {
    status.cbInQue = static_cast<std::uint32_t>(line_.input.size());
    status.cbOutQue = 0;
    return true;
  }
  bool Write(const std::uint8_t* bytes, std::uint32_t count, std::uint32_t& written) override {
    line_.written.insert(line_.written.end(), bytes, bytes + count);
    if (line_.echo) line_.input.insert(line_.input.end(), bytes, bytes + count);
    written = count;
    return true;
  }
  bool Read(std::uint8_t* buffer, std::uint32_t count, std::uint32_t& got) override {
    if (++line_.reads == line_.failRead) return false;
    got = 0;
    while (got < count && !line_.input.empty()) {
      buffer[got++] = line_.input.front();
      line_.input.pop_front();
    }
    return true;
  }
  void WaitForInput(int) override {}
  bool Close() override { return !line_.failClose; }

 private:
  Line& line_;
};

}  // namespace tavel::fuzz
