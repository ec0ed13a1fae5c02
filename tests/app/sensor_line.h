#pragma once

// Test doubles for the line: a pseudo-terminal whose master side the test
// drives as the sensor, a fake port that can be told to fail, and response
// frames built with checksum code of the test's own.

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "serial/serial_port.h"

namespace tavel::testing {

using Bytes = std::vector<std::uint8_t>;

// A response frame with a correct payload sum unless `badSum`.
Bytes Response(char code, const Bytes& payload = {}, bool badSum = false);
Bytes TextPayload(const Bytes& cp1251Text);

struct CommandView {
  Bytes bytes;
  char Code() const { return static_cast<char>(bytes.at(1)); }
  std::uint16_t Number() const { return static_cast<std::uint16_t>(bytes.at(2) | bytes.at(3) << 8); }
  std::uint16_t Length() const { return static_cast<std::uint16_t>(bytes.at(4) | bytes.at(5) << 8); }
  std::uint8_t Data(std::size_t i) const { return bytes.at(8 + i); }
  Bytes DataRange(std::size_t from, std::size_t count) const {
    return Bytes(bytes.begin() + 8 + static_cast<long>(from), bytes.begin() + 8 + static_cast<long>(from + count));
  }
  bool ChecksumOk() const;
};

// A pseudo-terminal linked as COM<n> in a private ports directory.
class PtySensor {
 public:
  explicit PtySensor(int comNumber = 7);
  ~PtySensor();
  PtySensor(const PtySensor&) = delete;
  PtySensor& operator=(const PtySensor&) = delete;

  const std::string& SlavePath() const { return slavePath_; }
  const std::string& PortsDir() const { return portsDir_; }
  int ComNumber() const { return com_; }
  int MasterFd() const { return master_; }
  void Send(const Bytes& bytes);
  // Everything the tool has written, waiting up to `ms` for `count` bytes.
  Bytes Receive(std::size_t count, int ms = 1000);
  std::vector<CommandView> ReceiveFrames(std::size_t frames, int ms = 1000);
  bool NothingSent(int ms = 50);
  void CloseMaster();

 private:
  int com_;
  int master_ = -1;
  int slave_ = -1;
  std::string slavePath_;
  std::string portsDir_;
};

// A port living in memory; each operation can be made to fail.
class FakePort : public SerialPort {
 public:
  struct Faults {
    bool readSettings = false;
    bool writeSettings = false;
    bool queryStatus = false;
    bool read = false;
    bool close = false;
  };
  struct Shared {
    Faults faults;
    std::deque<std::uint8_t> input;
    Bytes written;
    std::vector<LineControl> escapes;
    LineSettings settings;
    int purges = 0;
    int statusQueries = 0;
    bool echo = false;
    Bytes replyAfterWrite;  // arrives right after each write (and its echo)
    bool closed = false;
  };
  explicit FakePort(Shared& shared) : s_(shared) {}
  bool ReadSettings(LineSettings& settings) override;
  bool WriteSettings(const LineSettings& settings) override;
  bool Escape(LineControl code) override;
  bool PurgeReceive() override;
  bool QueryStatus(QueueStatus& status) override;
  bool Write(const std::uint8_t* bytes, std::uint32_t count, std::uint32_t& written) override;
  bool Read(std::uint8_t* buffer, std::uint32_t count, std::uint32_t& got) override;
  void WaitForInput(int) override {}
  bool Close() override;

 private:
  Shared& s_;
};

}  // namespace tavel::testing
