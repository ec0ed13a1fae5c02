#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "bench/bench_support.h"
#include "protocol/frames.h"
#include "serial/serial_port.h"

namespace tavel::bench {

// What happens to a block frame on its way to the sensor.
enum class Corruption {
  LastDataByte,    // the data byte after the summed range changes
  SwappedBytes,    // two different summed data bytes trade places
  CancellingPair,  // +k on one summed data byte, -k on another, no byte wraps
  OneSummedByte,   // one summed data byte changes: the control, always caught
};

// A port that corrupts some block frames ('n') the tool writes, as a bad line
// would, and remembers the frames it changed.
class CorruptingPort final : public SerialPort {
 public:
  struct Log {
    std::vector<std::string> frames;  // as hex, the way the simulator's trace shows them
  };

  CorruptingPort(std::unique_ptr<SerialPort> inner, Corruption kind, double rate, std::uint32_t seed,
                 std::shared_ptr<Log> log)
      : inner_(std::move(inner)), kind_(kind), rate_(rate), rng_(seed), log_(std::move(log)) {}

  bool ReadSettings(LineSettings& settings) override { return inner_->ReadSettings(settings); }
  bool WriteSettings(const LineSettings& settings) override { return inner_->WriteSettings(settings); }
  bool Escape(LineControl code) override { return inner_->Escape(code); }
  bool PurgeReceive() override { return inner_->PurgeReceive(); }
  bool QueryStatus(QueueStatus& status) override { return inner_->QueryStatus(status); }
  bool Read(std::uint8_t* buffer, std::uint32_t count, std::uint32_t& got) override {
    return inner_->Read(buffer, count, got);
  }
  void WaitForInput(int timeoutMs) override { inner_->WaitForInput(timeoutMs); }
  bool Close() override { return inner_->Close(); }

  bool Write(const std::uint8_t* bytes, std::uint32_t count, std::uint32_t& written) override {
    if (count != cmdframe::kSize || bytes[cmdframe::kCode] != static_cast<std::uint8_t>(cmd::kBlock) ||
        std::uniform_real_distribution<double>(0, 1)(rng_) >= rate_) {
      return inner_->Write(bytes, count, written);
    }
    std::array<std::uint8_t, cmdframe::kSize> frame{};
    std::copy(bytes, bytes + count, frame.begin());
    if (Corrupt(frame)) log_->frames.push_back(Hex(frame.data(), frame.size()));
    return inner_->Write(frame.data(), count, written);
  }

 private:
  std::size_t SummedDataByte() {
    return std::uniform_int_distribution<std::size_t>(cmdframe::kData, cmdframe::kLastSummed)(rng_);
  }

  bool Corrupt(std::array<std::uint8_t, cmdframe::kSize>& frame) {
    switch (kind_) {
      case Corruption::LastDataByte:
        frame[cmdframe::kLastSummed + 1] ^= 0x5A;
        return true;
      case Corruption::OneSummedByte:
        frame[SummedDataByte()] ^= 0x01;
        return true;
      case Corruption::SwappedBytes:
        for (int tries = 0; tries < 64; ++tries) {
          const std::size_t a = SummedDataByte();
          const std::size_t b = SummedDataByte();
          if (frame[a] == frame[b]) continue;
          std::swap(frame[a], frame[b]);
          return true;
        }
        return false;
      case Corruption::CancellingPair:
        for (int tries = 0; tries < 64; ++tries) {
          const std::size_t up = SummedDataByte();
          const std::size_t down = SummedDataByte();
          const int room = std::min(255 - frame[up], static_cast<int>(frame[down]));
          if (up == down || room < 1) continue;
          const int k = std::uniform_int_distribution<int>(1, room)(rng_);
          frame[up] = static_cast<std::uint8_t>(frame[up] + k);
          frame[down] = static_cast<std::uint8_t>(frame[down] - k);
          return true;
        }
        return false;
    }
    return false;
  }

  std::unique_ptr<SerialPort> inner_;
  Corruption kind_;
  double rate_;
  std::mt19937 rng_;
  std::shared_ptr<Log> log_;
};

}  // namespace tavel::bench
