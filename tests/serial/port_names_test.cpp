#include "serial/port_names.h"

#include <gtest/gtest.h>

#include <optional>

#include "tests/serial/pty_fixture.h"

namespace tavel {
namespace {

using testing::ScopedEnv;
using testing::TempPortsDir;

TEST(PortsDirectory, FollowsTheEnvironment) {
  struct Case {
    const char* name;
    std::optional<std::string> portsDir;
    std::optional<std::string> configHome;
    std::string expected;
  };
  const Case cases[] = {
      {"own variable first", "/srv/ports", "/cfg", "/srv/ports"},
      {"empty own variable is unset", "", "/cfg", "/cfg/tavel-tool/ports"},
      {"configuration home", std::nullopt, "/cfg", "/cfg/tavel-tool/ports"},
      {"empty configuration home", std::nullopt, "", "/home/op/.config/tavel-tool/ports"},
      {"home without configuration home", std::nullopt, std::nullopt,
       "/home/op/.config/tavel-tool/ports"},
  };
  const ScopedEnv home("HOME", "/home/op");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const ScopedEnv portsDir("TAVEL_PORTS_DIR", c.portsDir);
    const ScopedEnv configHome("XDG_CONFIG_HOME", c.configHome);
    EXPECT_EQ(PortsDirectory(), c.expected);
  }
}

TEST(ComNumberFromDeviceName, ReadsTheNumberTheWindowWrote) {
  struct Case {
    std::string name;
    std::optional<int> number;
  };
  const Case cases[] = {
      {"\\\\.\\COM7", 7},   {"\\\\.\\COM12", 12},  {"\\\\.\\COM-3", -3},
      {"\\\\.\\COM", 0},    {"COM7", std::nullopt}, {"\\\\.\\LPT1", std::nullopt},
      {"\\\\.\\com7", std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(ComNumberFromDeviceName(c.name), c.number);
  }
}

TEST(DevicePathForCom, MapsTheFixedSchemeAtItsBorders) {
  const TempPortsDir emptyPorts;
  struct Case {
    int number;
    std::string path;
  };
  const Case cases[] = {
      {1, "/dev/ttyS0"},     {32, "/dev/ttyS31"},   {33, "/dev/ttyUSB0"}, {64, "/dev/ttyUSB31"},
      {65, "/dev/ttyACM0"},  {96, "/dev/ttyACM31"}, {97, ""},             {0, ""},
      {-1, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.number);
    EXPECT_EQ(DevicePathForCom(c.number), c.path);
  }
}

TEST(DevicePathForCom, PortsDirectoryEntryComesFirst) {
  const TempPortsDir ports;
  const std::string toNull = ports.Link(1, "/dev/null");
  const std::string beyondScheme = ports.Link(200, "/dev/null");
  // A link to an unplugged device still names the port, so no other device
  // opens in its place.
  const std::string dangling = ports.Link(33, ports.Path() + "/unplugged");

  EXPECT_EQ(DevicePathForCom(1), toNull);
  EXPECT_EQ(DevicePathForCom(200), beyondScheme);
  EXPECT_EQ(DevicePathForCom(33), dangling);
  EXPECT_EQ(DevicePathForCom(2), "/dev/ttyS1");
  EXPECT_EQ(DevicePathForPortName("\\\\.\\COM1"), toNull);
}

TEST(ComNumberForDevicePath, InvertsTheFixedScheme) {
  const TempPortsDir emptyPorts;
  for (int number = 1; number <= 96; ++number) {
    SCOPED_TRACE(number);
    EXPECT_EQ(ComNumberForDevicePath(DevicePathForCom(number)), number);
  }
  const char* outside[] = {"/dev/ttyS32", "/dev/ttyUSB", "/dev/ttyS01", "/dev/ttyACM-1",
                           "/dev/pts/3",  "/dev/tty0",   "ttyS0",       "/dev/ttyS0x"};
  for (const char* path : outside) {
    SCOPED_TRACE(path);
    EXPECT_EQ(ComNumberForDevicePath(path), std::nullopt);
  }
}

}  // namespace
}  // namespace tavel
