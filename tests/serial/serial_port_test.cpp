#include "serial/serial_port.h"

#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <termios.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <vector>

#include "tests/serial/pty_fixture.h"

namespace tavel {
namespace {

using testing::PseudoTerminal;
using testing::TempPortsDir;

const std::string kCom7 = "\\\\.\\COM7";

LineSettings Line4800EightNoneOne(LineSettings settings) {
  settings.BaudRate = 4800;
  settings.ByteSize = 8;
  settings.Parity = kNoParity;
  settings.StopBits = kOneStopBit;
  settings.fOutxCtsFlow = false;
  settings.fOutxDsrFlow = false;
  settings.fDsrSensitivity = false;
  settings.fOutX = false;
  settings.fInX = false;
  return settings;
}

// Every byte value that a cooked or flow-controlled line would alter.
std::vector<std::uint8_t> BinaryFrame() {
  std::vector<std::uint8_t> frame = {0x7E, 0x0D, 0x0A, 0x11, 0x13, 0x7F, 0x00, 0xFF,
                                     0x03, 0x04, 0x1A, 0x1C, 0x08, 0x15, 0x17, 0x12};
  for (std::size_t i = frame.size(); i < 140; ++i) frame.push_back(static_cast<std::uint8_t>(i * 37));
  return frame;
}

int BytesWaitingAt(int fd) {
  int waiting = -1;
  ioctl(fd, FIONREAD, &waiting);
  return waiting;
}

class SerialPortOnPty : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(pty.IsOpen());
    entry = ports.Link(7, pty.SlavePath());
  }

  std::unique_ptr<SerialPort> OpenAt4800() {
    OpenResult opened = OpenSerialPort(kCom7);
    EXPECT_EQ(opened.failure, OpenFailure::None) << opened.reason;
    if (!opened.port) return nullptr;
    LineSettings settings;
    EXPECT_TRUE(opened.port->ReadSettings(settings));
    EXPECT_TRUE(opened.port->WriteSettings(Line4800EightNoneOne(settings)));
    return std::move(opened.port);
  }

  // Until `count` bytes wait in the port's receive queue, within two seconds.
  bool AwaitQueued(SerialPort& port, std::uint32_t count) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    QueueStatus status;
    while (port.QueryStatus(status) && status.cbInQue < count &&
           std::chrono::steady_clock::now() < deadline) {
      port.WaitForInput(50);
    }
    return status.cbInQue == count;
  }

  termios SensorSideLine() {
    // On a pseudo-terminal the master reports the slave's settings.
    termios line{};
    EXPECT_EQ(tcgetattr(pty.Master(), &line), 0);
    return line;
  }

  PseudoTerminal pty;
  TempPortsDir ports;
  std::string entry;
};

TEST_F(SerialPortOnPty, OpensThroughThePortsDirectoryAsARaw4800EightNoneOneLine) {
  OpenResult opened = OpenSerialPort(kCom7);
  ASSERT_EQ(opened.failure, OpenFailure::None) << opened.reason;
  EXPECT_EQ(opened.devicePath, entry);
  LineSettings settings;
  ASSERT_TRUE(opened.port->ReadSettings(settings));
  ASSERT_TRUE(opened.port->WriteSettings(Line4800EightNoneOne(settings)));

  const termios line = SensorSideLine();
  EXPECT_EQ(cfgetospeed(&line), B4800);
  EXPECT_EQ(cfgetispeed(&line), B4800);
  EXPECT_EQ(line.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  EXPECT_EQ(line.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
  EXPECT_EQ(line.c_cflag & (CREAD | CLOCAL), static_cast<tcflag_t>(CREAD | CLOCAL));
  EXPECT_EQ(line.c_iflag & (IXON | IXOFF | ICRNL | INLCR | IGNCR | ISTRIP | BRKINT | PARMRK), 0u);
  EXPECT_EQ(line.c_lflag & (ICANON | ECHO | ECHONL | ISIG | IEXTEN), 0u);
  EXPECT_EQ(line.c_oflag & OPOST, 0u);

  LineSettings reread;
  ASSERT_TRUE(opened.port->ReadSettings(reread));
  EXPECT_EQ(reread.BaudRate, 4800u);
  EXPECT_EQ(reread.ByteSize, 8);
  EXPECT_EQ(reread.Parity, kNoParity);
  EXPECT_EQ(reread.StopBits, kOneStopBit);
}

TEST_F(SerialPortOnPty, WritingSettingsKeepsWhatTheRecordDoesNotCarry) {
  termios before = SensorSideLine();
  before.c_iflag |= IXANY;
  before.c_cflag &= ~HUPCL;
  ASSERT_EQ(tcsetattr(pty.Master(), TCSANOW, &before), 0);

  const auto port = OpenAt4800();
  ASSERT_TRUE(port);
  const termios after = SensorSideLine();
  EXPECT_NE(after.c_iflag & IXANY, 0u);
  EXPECT_EQ(after.c_cflag & HUPCL, 0u);
}

TEST_F(SerialPortOnPty, LineSettingsComeBackAsWritten) {
  struct Case {
    const char* name;
    std::uint32_t rate;
    std::uint8_t stopBits;
    bool ctsFlow;
    bool outX;
    bool inX;
  };
  const Case cases[] = {
      {"9600 plain", 9600, 0, false, false, false},
      {"115200 two stop bits", 115200, 2, false, false, false},
      {"CTS flow", 19200, 0, true, false, false},
      {"XON/XOFF both ways", 4800, 0, false, true, true},
  };
  OpenResult opened = OpenSerialPort(kCom7);
  ASSERT_TRUE(opened.port) << opened.reason;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    LineSettings wanted;
    ASSERT_TRUE(opened.port->ReadSettings(wanted));
    wanted.BaudRate = c.rate;
    wanted.StopBits = c.stopBits;
    wanted.fOutxCtsFlow = c.ctsFlow;
    wanted.fOutX = c.outX;
    wanted.fInX = c.inX;
    ASSERT_TRUE(opened.port->WriteSettings(wanted));
    LineSettings read;
    ASSERT_TRUE(opened.port->ReadSettings(read));
    EXPECT_EQ(read.BaudRate, c.rate);
    EXPECT_EQ(read.StopBits, c.stopBits);
    EXPECT_EQ(read.fOutxCtsFlow, c.ctsFlow);
    EXPECT_EQ(read.fOutX, c.outX);
    EXPECT_EQ(read.fInX, c.inX);
  }
}

TEST_F(SerialPortOnPty, SettingsTheLineCannotTakeAreRefused) {
  struct Case {
    const char* name;
    std::uint32_t rate;
    std::uint8_t byteSize;
    std::uint8_t parity;
    std::uint8_t stopBits;
  };
  const Case cases[] = {
      {"rate without a line code", 4801, 8, 0, 0},
      {"no rate", 0, 8, 0, 0},
      {"nine data bits", 4800, 9, 0, 0},
      {"unknown parity", 4800, 8, 5, 0},
      {"one and a half stop bits", 4800, 8, 0, 1},
      // A pseudo-terminal drops parity; reading back shows it did not take.
      {"parity the device drops", 4800, 8, 2, 0},
  };
  OpenResult opened = OpenSerialPort(kCom7);
  ASSERT_TRUE(opened.port) << opened.reason;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    LineSettings settings;
    ASSERT_TRUE(opened.port->ReadSettings(settings));
    settings.BaudRate = c.rate;
    settings.ByteSize = c.byteSize;
    settings.Parity = c.parity;
    settings.StopBits = c.stopBits;
    EXPECT_FALSE(opened.port->WriteSettings(settings));
  }
}

TEST_F(SerialPortOnPty, SecondOpenIsRefusedUntilTheFirstCloses) {
  OpenResult first = OpenSerialPort(kCom7);
  ASSERT_TRUE(first.port) << first.reason;

  const OpenResult second = OpenSerialPort(kCom7);
  EXPECT_EQ(second.failure, OpenFailure::Busy);
  EXPECT_FALSE(second.port);
  EXPECT_FALSE(second.reason.empty());

  EXPECT_TRUE(first.port->Close());
  const OpenResult third = OpenSerialPort(kCom7);
  EXPECT_EQ(third.failure, OpenFailure::None) << third.reason;
  EXPECT_TRUE(third.port);
}

TEST_F(SerialPortOnPty, FrameArrivesAtTheSensorByteForByte) {
  const auto port = OpenAt4800();
  ASSERT_TRUE(port);
  const std::vector<std::uint8_t> frame = BinaryFrame();
  std::uint32_t written = 0;
  ASSERT_TRUE(port->Write(frame.data(), static_cast<std::uint32_t>(frame.size()), written));
  EXPECT_EQ(written, frame.size());
  EXPECT_EQ(pty.Receive(frame.size()), frame);
  EXPECT_EQ(BytesWaitingAt(pty.Master()), 0);
}

TEST_F(SerialPortOnPty, SensorBytesAreReadByteForByteWithoutEcho) {
  const auto port = OpenAt4800();
  ASSERT_TRUE(port);
  const std::vector<std::uint8_t> frame = BinaryFrame();
  ASSERT_TRUE(pty.Send(frame));

  std::vector<std::uint8_t> received(frame.size());
  std::uint32_t got = 0;
  ASSERT_TRUE(port->Read(received.data(), static_cast<std::uint32_t>(received.size()), got));
  EXPECT_EQ(got, frame.size());
  EXPECT_EQ(received, frame);
  EXPECT_EQ(BytesWaitingAt(pty.Master()), 0);
}

TEST_F(SerialPortOnPty, QueueCountsAndPurgeDiscardsWaitingBytes) {
  const auto port = OpenAt4800();
  ASSERT_TRUE(port);
  ASSERT_TRUE(pty.Send({1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
  ASSERT_TRUE(AwaitQueued(*port, 10));
  QueueStatus status;
  ASSERT_TRUE(port->QueryStatus(status));
  EXPECT_EQ(status.cbInQue, 10u);
  EXPECT_EQ(status.cbOutQue, 0u);

  EXPECT_TRUE(port->PurgeReceive());
  ASSERT_TRUE(port->QueryStatus(status));
  EXPECT_EQ(status.cbInQue, 0u);

  ASSERT_TRUE(pty.Send({0x42}));
  std::uint8_t byte = 0;
  std::uint32_t got = 0;
  ASSERT_TRUE(port->Read(&byte, 1, got));
  EXPECT_EQ(got, 1u);
  EXPECT_EQ(byte, 0x42);
}

TEST_F(SerialPortOnPty, ReadEndsShortWhenTheLineFallsSilent) {
  const auto port = OpenAt4800();
  ASSERT_TRUE(port);
  ASSERT_TRUE(pty.Send({0x7E, 0x00, 0x0D}));
  std::uint8_t buffer[10] = {};
  std::uint32_t got = 0;
  EXPECT_TRUE(port->Read(buffer, sizeof buffer, got));
  EXPECT_EQ(got, 3u);
  EXPECT_EQ(buffer[0], 0x7E);
  EXPECT_EQ(buffer[2], 0x0D);
}

TEST_F(SerialPortOnPty, ReadFailsWhenTheOtherSideHangsUp) {
  const auto port = OpenAt4800();
  ASSERT_TRUE(port);
  pty.CloseMaster();
  std::uint8_t buffer[10] = {};
  std::uint32_t got = 0;
  EXPECT_FALSE(port->Read(buffer, sizeof buffer, got));
  EXPECT_EQ(got, 0u);
}

TEST(OpenSerialPort, ReportsWhyAPortDidNotOpen) {
  TempPortsDir ports;
  const std::string missing = ports.Link(20, ports.Path() + "/unplugged");
  const std::string plainFile = ports.Path() + "/plain";
  std::ofstream(plainFile) << "x";
  const std::string notATerminal = ports.Link(21, plainFile);
  struct Case {
    std::string name;
    OpenFailure failure;
    std::string devicePath;
  };
  const Case cases[] = {
      {"\\\\.\\COM20", OpenFailure::NoSuchDevice, missing},
      {"\\\\.\\COM21", OpenFailure::NotASerialPort, notATerminal},
      {"\\\\.\\COM97", OpenFailure::NoSuchDevice, ""},
      {"COM7", OpenFailure::NoSuchDevice, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const OpenResult result = OpenSerialPort(c.name);
    EXPECT_FALSE(result.port);
    EXPECT_EQ(result.failure, c.failure);
    EXPECT_EQ(result.devicePath, c.devicePath);
    EXPECT_FALSE(result.reason.empty());
  }
}

}  // namespace
}  // namespace tavel
