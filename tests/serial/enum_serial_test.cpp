#include "serial/enum_serial.h"

#include <gtest/gtest.h>

#include <optional>
#include <utility>
#include <vector>

namespace tavel {
namespace {

struct FakeDevice {
  std::string portName;
  std::optional<std::string> friendlyName = "Port";
  std::optional<std::string> manufacturer = "Maker";
};

// Stands in for the system's device set with the operations of CDevInfo.
class FakeDevInfo {
 public:
  explicit FakeDevInfo(std::vector<FakeDevice> devices, bool opens = true)
      : devices_(std::move(devices)), opens_(opens) {}

  bool Open(const SetupClass& setupClass, std::uint32_t flags) {
    EXPECT_EQ(setupClass.Data1, 0x4D36E978u);
    EXPECT_EQ(flags, 0x0Au);
    return opens_;
  }

  bool EnumNext() { return ++index_ < devices_.size(); }

  bool GetPortName(std::string& name) {
    name = devices_[index_].portName;
    return KeepComPortName(name);
  }

  bool GetProperty(std::uint32_t property, PropertyBuffer& buffer) {
    const std::optional<std::string>& text = property == kSpdrpFriendlyName
                                                 ? devices_[index_].friendlyName
                                                 : devices_[index_].manufacturer;
    if (!text) return false;
    std::copy(text->begin(), text->end(), buffer.begin());
    buffer[text->size()] = '\0';
    return true;
  }

 private:
  std::vector<FakeDevice> devices_;
  bool opens_;
  std::size_t index_ = static_cast<std::size_t>(-1);
};

std::vector<std::pair<std::string, int>> Listed(const CEnumSerial& table) {
  std::vector<std::pair<std::string, int>> lines;
  for (std::int32_t i = 0; i < table.PortCount; ++i) {
    lines.emplace_back(ListEntry(table.Ports[i]), table.Ports[i].PortNumber);
  }
  return lines;
}

std::vector<FakeDevice> NumberedPorts(int from, int to) {
  std::vector<FakeDevice> devices;
  const int step = from <= to ? 1 : -1;
  for (int n = from; n != to + step; n += step) devices.push_back({"COM" + std::to_string(n)});
  return devices;
}

std::vector<int> NumbersOf(const CEnumSerial& table) {
  std::vector<int> numbers;
  for (std::int32_t i = 0; i < table.PortCount; ++i) numbers.push_back(table.Ports[i].PortNumber);
  return numbers;
}

TEST(CEnumSerial, ListsComPortsByNumber) {
  struct Case {
    const char* name;
    std::vector<FakeDevice> devices;
    std::vector<std::pair<std::string, int>> lines;
  };
  const Case cases[] = {
      {"by number, not by text",
       {{"COM10"}, {"COM3"}, {"COM1"}},
       {{"COM1 Port Maker", 1}, {"COM3 Port Maker", 3}, {"COM10 Port Maker", 10}}},
      {"parallel port passed over", {{"LPT1"}, {"COM2"}}, {{"COM2 Port Maker", 2}}},
      {"small letters passed over", {{"com5"}, {"COM6"}}, {{"COM6 Port Maker", 6}}},
      {"equal numbers keep the system's order",
       {{"COM4", "first"}, {"COM2"}, {"COM4", "second"}},
       {{"COM2 Port Maker", 2}, {"COM4 first Maker", 4}, {"COM4 second Maker", 4}}},
      {"no digits is number 0", {{"COM3"}, {"COM"}}, {{"COM Port Maker", 0}, {"COM3 Port Maker", 3}}},
      {"no manufacturer", {{"COM3", "USB Serial", std::nullopt}}, {{"COM3 USB Serial ", 3}}},
      {"no properties", {{"COM3", std::nullopt, std::nullopt}}, {{"COM3  ", 3}}},
      {"no ports", {}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CEnumSerial table;
    FakeDevInfo devices(c.devices);
    table.EnumerateWith(devices);
    table.SortByPortNumber();
    EXPECT_EQ(Listed(table), c.lines);
  }
}

TEST(CEnumSerial, HoldsTwentyPorts) {
  CEnumSerial table;
  FakeDevInfo twenty(NumberedPorts(20, 1));
  table.EnumerateWith(twenty);
  table.SortByPortNumber();
  std::vector<int> oneToTwenty;
  for (int n = 1; n <= 20; ++n) oneToTwenty.push_back(n);
  EXPECT_EQ(NumbersOf(table), oneToTwenty);
}

TEST(CEnumSerial, KeepsTheTwentyLowestNumbersOfMore) {
  std::vector<FakeDevice> devices = NumberedPorts(100, 76);
  devices.push_back({"COM2"});
  devices.push_back({"COM1"});
  CEnumSerial table;
  FakeDevInfo many(devices);
  table.EnumerateWith(many);
  table.SortByPortNumber();
  std::vector<int> expected = {1, 2};
  for (int n = 76; n <= 93; ++n) expected.push_back(n);
  EXPECT_EQ(NumbersOf(table), expected);
}

TEST(CEnumSerial, KeepsThePreviousTableWhenNoSetOpens) {
  CEnumSerial table;
  FakeDevInfo first({{"COM3"}, {"COM1"}});
  table.EnumerateWith(first);
  const auto before = Listed(table);

  FakeDevInfo refused({{"COM9"}}, false);
  table.EnumerateWith(refused);
  EXPECT_EQ(Listed(table), before);
}

TEST(CEnumSerial, SortMovesOnlyValidRecordsBySignedNumber) {
  struct Case {
    const char* name;
    std::vector<int> numbers;
    std::int32_t count;
    std::vector<std::string> order;
  };
  const Case cases[] = {
      {"reversed", {3, 2, 1}, 3, {"c", "b", "a"}},
      {"negative before zero", {0, -5, 7}, 3, {"b", "a", "c"}},
      {"equal numbers keep their order", {2, 1, 2, 1}, 4, {"b", "d", "a", "c"}},
      {"records past the count untouched", {9, 8, 1}, 2, {"b", "a", "c"}},
      {"one record", {5, 1}, 1, {"a", "b"}},
      {"no records", {5, 1}, 0, {"a", "b"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CEnumSerial table;
    for (std::size_t i = 0; i < c.numbers.size(); ++i) {
      table.Ports[i] = {std::string(1, static_cast<char>('a' + i)), "f", "m", c.numbers[i]};
    }
    table.PortCount = c.count;
    table.SortByPortNumber();
    std::vector<std::string> order;
    for (std::size_t i = 0; i < c.numbers.size(); ++i) order.push_back(table.Ports[i].PortName);
    EXPECT_EQ(order, c.order);
  }
}

}  // namespace
}  // namespace tavel
