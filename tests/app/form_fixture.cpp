#include "form_fixture.h"

#include <QApplication>

namespace tavel::testing {

void FormTest::SetUp() {
  ui::SetBoxResponder([this](const ui::BoxRequest& request) {
    boxes.push_back(request);
    if ((request.flags & 0x0F) == ui::MB_YESNO) return answer;
    return ui::IDOK;
  });
  form = std::make_unique<TForm1>();
  form->Pause = [](int) {};
}

void FormTest::TearDown() {
  form.reset();
  ui::SetBoxResponder(nullptr);
}

void FormTest::OpenPty(PtySensor& sensor) {
  form->lblPort->SetText(std::to_string(sensor.ComNumber()));
  form->Open_port->Click();
  ASSERT_TRUE(form->IsPortOpen()) << (boxes.empty() ? "" : boxes.back().text);
}

void FormTest::OpenFake() {
  form->PortOpener = [this](const std::string& name) {
    OpenResult result;
    result.devicePath = name;
    result.port = std::make_unique<FakePort>(fake);
    return result;
  };
  form->lblPort->SetText("3");
  form->Open_port->Click();
  ASSERT_TRUE(form->IsPortOpen());
}

void FormTest::EnterLoader() {
  Feed(Response('B'));
  Tick();
  ASSERT_TRUE(form->Timer3->Enabled());
}

void FormTest::Tick(int times) {
  for (int i = 0; i < times; ++i) form->Timer1Timer(form->Timer1.get());
}

void FormTest::Feed(const Bytes& bytes) { fake.input.insert(fake.input.end(), bytes.begin(), bytes.end()); }

std::vector<CommandView> FormTest::SentFrames() const {
  std::vector<CommandView> frames;
  for (std::size_t at = 0; at + 140 <= fake.written.size(); at += 140) {
    frames.push_back({Bytes(fake.written.begin() + static_cast<long>(at),
                            fake.written.begin() + static_cast<long>(at + 140))});
  }
  return frames;
}

std::vector<std::string> FormTest::BoxTexts() const {
  std::vector<std::string> texts;
  for (const auto& box : boxes) texts.push_back(box.text);
  return texts;
}

}  // namespace tavel::testing

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
