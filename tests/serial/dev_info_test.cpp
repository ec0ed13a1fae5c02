#include "serial/dev_info.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string_view>
#include <vector>

#include "protocol/text.h"
#include "serial/enum_serial.h"
#include "serial/port_names.h"
#include "tests/serial/pty_fixture.h"

namespace tavel {
namespace {

using testing::PseudoTerminal;
using testing::TempPortsDir;

struct Listed {
  std::string portName;
  std::optional<std::string> friendlyName;
  std::optional<std::string> manufacturer;
};

std::optional<std::string> Property(CDevInfo& info, std::uint32_t code) {
  PropertyBuffer buffer;
  buffer.fill('#');
  if (!info.GetProperty(code, buffer)) return std::nullopt;
  return std::string(buffer.data());
}

std::vector<Listed> ListComPorts() {
  std::vector<Listed> ports;
  CDevInfo info;
  EXPECT_TRUE(info.Open(kPortsSetupClass, kPresentInProfile));
  while (info.EnumNext()) {
    std::string name = "stale";
    if (!info.GetPortName(name)) {
      EXPECT_EQ(name, "");
      continue;
    }
    ports.push_back({name, Property(info, kSpdrpFriendlyName), Property(info, kSpdrpMfg)});
  }
  return ports;
}

std::vector<Listed> Named(const std::vector<Listed>& ports, const std::string& name) {
  std::vector<Listed> found;
  for (const Listed& port : ports) {
    if (port.portName == name) found.push_back(port);
  }
  return found;
}

TEST(CDevInfo, ListsPortsDirectoryEntriesThatLeadToADevice) {
  PseudoTerminal pty;
  ASSERT_TRUE(pty.IsOpen());
  const TempPortsDir ports;
  ports.Link(40, pty.SlavePath());
  ports.Link(41, ports.Path() + "/unplugged");
  ports.LinkNamed("COM007", "/dev/null");
  ports.LinkNamed("COMx", "/dev/null");

  const std::vector<Listed> listed = ListComPorts();
  const std::vector<Listed> com40 = Named(listed, "COM40");
  ASSERT_EQ(com40.size(), 1u);
  EXPECT_EQ(com40[0].friendlyName, std::filesystem::canonical(pty.SlavePath()).string());
  EXPECT_EQ(com40[0].manufacturer, std::nullopt);
  EXPECT_TRUE(Named(listed, "COM41").empty());
  EXPECT_TRUE(Named(listed, "COM007").empty());
  EXPECT_TRUE(Named(listed, "COMx").empty());

  CEnumSerial table;
  table.Enumerate();
  bool found = false;
  for (std::int32_t i = 0; i < table.PortCount; ++i) {
    found = found || (table.Ports[i].PortName == "COM40" && table.Ports[i].PortNumber == 40);
  }
  EXPECT_TRUE(found);
}

TEST(CDevInfo, DeviceThatAnEntryNamesIsListedOnceUnderTheEntry) {
  const TempPortsDir ports;
  std::optional<Listed> systemPort;
  std::string device;
  for (const Listed& port : ListComPorts()) {
    device = DevicePathForCom(DecimalValue(std::string_view(port.portName).substr(3)));
    if (!device.empty()) {
      systemPort = port;
      break;
    }
  }
  if (!systemPort) GTEST_SKIP() << "this machine shows no serial device of its own";

  ports.Link(90, device);
  const std::vector<Listed> listed = ListComPorts();
  EXPECT_TRUE(Named(listed, systemPort->portName).empty());
  const std::vector<Listed> com90 = Named(listed, "COM90");
  ASSERT_EQ(com90.size(), 1u);
  EXPECT_EQ(com90[0].friendlyName, std::filesystem::canonical(device).string());
}

TEST(CDevInfo, PropertyThatDoesNotFitIsNotRead) {
  const TempPortsDir ports;
  struct Case {
    int com;
    std::size_t length;
    bool fits;
  };
  const Case cases[] = {{50, 259, true}, {51, 260, false}};
  for (const Case& c : cases) {
    const std::string prefix = ports.Path() + "/t";
    const std::string target = prefix + std::string(c.length - prefix.size(), 'x');
    std::ofstream(target) << "x";
    ports.Link(c.com, target);
  }
  const std::vector<Listed> listed = ListComPorts();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.length);
    const std::vector<Listed> port = Named(listed, "COM" + std::to_string(c.com));
    ASSERT_EQ(port.size(), 1u);
    ASSERT_EQ(port[0].friendlyName.has_value(), c.fits);
    if (c.fits) {
      EXPECT_EQ(port[0].friendlyName->size(), c.length);
    }
  }
}

}  // namespace
}  // namespace tavel
