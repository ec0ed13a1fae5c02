#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/form1.h"
#include "sensor_line.h"
#include "ui/widgets/message_box.h"

namespace tavel::testing {

// The real window, with every message box recorded and answered, and the
// open pause of the port skipped.
class FormTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Opens the port through the real window against a pseudo-terminal.
  void OpenPty(PtySensor& sensor);
  // Opens a fake port whose behaviour the test controls.
  void OpenFake();
  void EnterLoader();                  // a 'B' frame through the poller
  void Tick(int times = 1);            // poller ticks, run directly
  void Feed(const Bytes& bytes);       // into the fake port's receive queue
  std::vector<CommandView> SentFrames() const;  // everything written to the fake port
  std::vector<std::string> BoxTexts() const;

  std::unique_ptr<TForm1> form;
  std::vector<ui::BoxRequest> boxes;
  int answer = ui::IDOK;
  FakePort::Shared fake;
};

}  // namespace tavel::testing
