#include <algorithm>
#include <array>
#include <functional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "form_fixture.h"

namespace tavel::testing {
namespace {

// Table rows print as their names instead of raw bytes.
template <typename Row>
  requires requires(const Row& row) { row.name; }
void PrintTo(const Row& row, std::ostream* os) {
  *os << row.name;
}

Bytes FrameBytes(const TForm1& form) { return Bytes(form.TxFrame.Bytes.begin(), form.TxFrame.Bytes.end()); }

// Port open, the sensor's loader announced, and Data filled with a marker so
// that bytes a command leaves alone can be told from bytes it writes.
class OpsTest : public FormTest {
 protected:
  void SetUp() override {
    FormTest::SetUp();
    ASSERT_NO_FATAL_FAILURE(OpenFake());
    ASSERT_NO_FATAL_FAILURE(EnterLoader());
    std::fill(form->TxFrame.Data().begin(), form->TxFrame.Data().end(), kLeftOver);
  }

  void Answer(char code, const Bytes& payload = {}) {
    Feed(Response(code, payload));
    Tick();
  }

  // The one frame sent so far.
  CommandView OnlyFrame() const {
    const std::vector<CommandView> frames = SentFrames();
    EXPECT_EQ(frames.size(), 1u);
    return frames.empty() ? CommandView{Bytes(140, 0)} : frames.back();
  }

  void ExpectOneSystemBox(const std::string& text, unsigned flags) const {
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, text);
    EXPECT_EQ(boxes[0].caption, "");
    EXPECT_EQ(boxes[0].flags, flags);
    EXPECT_EQ(boxes[0].owner, ui::BoxOwner::System);
  }

  static constexpr std::uint8_t kLeftOver = 0xEE;
};

// ---- transmission settings 'p' ----

class OpsSettings : public OpsTest {};

TEST_F(OpsSettings, StartUpFieldsSendIntervalOneWithoutFullOrLowPower) {
  form->ErrorCount = 7;
  form->ButChngPLLset->Click();
  const CommandView frame = OnlyFrame();
  EXPECT_EQ(frame.Code(), 'p');
  EXPECT_EQ(frame.Number(), 1);
  EXPECT_EQ(frame.Length(), 5);
  EXPECT_EQ(frame.DataRange(0, 5), (Bytes{0x31, 0x30, 0x31, 0x46, 0x50}));
  EXPECT_EQ(frame.DataRange(5, 123), Bytes(123, kLeftOver));
  EXPECT_TRUE(frame.ChecksumOk());
  EXPECT_EQ(form->ErrorCount, 0);
  EXPECT_TRUE(boxes.empty());
}

struct SettingsCase {
  const char* interval;
  bool full;
  bool lowPower;
  Bytes data;
};
void PrintTo(const SettingsCase& c, std::ostream* os) { *os << '"' << c.interval << "\" " << c.full << c.lowPower; }

class OpsSettingsSent : public OpsTest, public ::testing::WithParamInterface<SettingsCase> {};

TEST_P(OpsSettingsSent, DataCarriesIntervalDigitsAndBoxLetters) {
  const SettingsCase& c = GetParam();
  form->Intrval_Lbl->SetText(c.interval);
  form->ChkBx_Gerk->SetChecked(c.full);
  form->sLowPowChkBx->SetChecked(c.lowPower);
  form->ButChngPLLset->Click();
  const CommandView frame = OnlyFrame();
  EXPECT_EQ(frame.Code(), 'p');
  EXPECT_EQ(frame.DataRange(0, 5), c.data);
  EXPECT_TRUE(frame.ChecksumOk());
  EXPECT_TRUE(boxes.empty());
}

INSTANTIATE_TEST_SUITE_P(Ops, OpsSettingsSent,
                         ::testing::Values(SettingsCase{"10", true, true, {0x31, 0x31, 0x30, 0x47, 0x51}},
                                           SettingsCase{"007", false, false, {0x31, 0x30, 0x37, 0x46, 0x50}},
                                           SettingsCase{"3", true, false, {0x31, 0x30, 0x33, 0x47, 0x50}},
                                           SettingsCase{"9", false, true, {0x31, 0x30, 0x39, 0x46, 0x51}}));

struct RefusedInterval {
  const char* text;
  const char* box;
  unsigned flags;
};
void PrintTo(const RefusedInterval& c, std::ostream* os) { *os << '"' << c.text << '"'; }

class OpsSettingsRefused : public OpsTest, public ::testing::WithParamInterface<RefusedInterval> {};

// The fields written before the interval check stay in the frame, under the
// previous frame's checksum, and a repeat request sends exactly that.
TEST_P(OpsSettingsRefused, BoxNothingSentAndFramePartlyRewritten) {
  form->Lbl_ID_dev->SetText("0042");
  form->ButCh_ID_devClick(form->ButCh_ID_dev.get());
  const CommandView previous = OnlyFrame();
  form->sLowPowChkBx->SetChecked(true);
  form->ChkBx_Gerk->SetChecked(true);
  form->Intrval_Lbl->SetText(GetParam().text);
  form->ErrorCount = 3;

  form->ButChngPLLset->Click();

  ExpectOneSystemBox(GetParam().box, GetParam().flags);
  EXPECT_EQ(SentFrames().size(), 1u);
  EXPECT_EQ(form->ErrorCount, 3);
  Bytes expected = previous.bytes;
  expected[1] = 'p';
  expected[2] = 0x01;
  expected[3] = 0x00;
  expected[4] = 0x05;
  expected[5] = 0x00;
  expected[8] = 0x31;
  expected[12] = 0x51;
  EXPECT_EQ(FrameBytes(*form), expected);

  Answer('R');
  const std::vector<CommandView> frames = SentFrames();
  ASSERT_EQ(frames.size(), 2u);
  EXPECT_EQ(frames[1].bytes, expected);
}

INSTANTIATE_TEST_SUITE_P(
    Ops, OpsSettingsRefused,
    ::testing::Values(RefusedInterval{"0", "Введите интервал минут в диапазоне 1-10", 0x2030},
                      RefusedInterval{"-3", "Введите интервал минут в диапазоне 1-10", 0x2030},
                      RefusedInterval{"", "Введите интервал минут в диапазоне 1-10", 0x2030},
                      RefusedInterval{"11", "Интервал более 10 мин", 0x2040},
                      RefusedInterval{"99", "Интервал более 10 мин", 0x2040}));

TEST_F(OpsSettings, AnswersPAndIChangeNothing) {
  form->ButChngPLLset->Click();
  const Bytes sent = FrameBytes(*form);
  const std::vector<std::string> log = form->Memo1->Lines();
  for (const char code : {'P', 'I'}) {
    Answer(code);
    EXPECT_EQ(SentFrames().size(), 1u) << code;
    EXPECT_EQ(FrameBytes(*form), sent) << code;
    EXPECT_EQ(form->Memo1->Lines(), log) << code;
    EXPECT_TRUE(form->Timer3->Enabled()) << code;
  }
  EXPECT_TRUE(boxes.empty());
}

// ---- device ID 'i' ----

struct IdCase {
  const char* text;
  Bytes data;
};
void PrintTo(const IdCase& c, std::ostream* os) { *os << '"' << c.text << '"'; }

class OpsDeviceId : public OpsTest, public ::testing::WithParamInterface<IdCase> {};

TEST_P(OpsDeviceId, FourCharactersSendTheValueLittleEndian) {
  form->Lbl_ID_dev->SetText(GetParam().text);
  form->ErrorCount = 2;
  form->ButCh_ID_devClick(form->ButCh_ID_dev.get());
  const CommandView frame = OnlyFrame();
  EXPECT_EQ(frame.Code(), 'i');
  EXPECT_EQ(frame.Number(), 0);
  EXPECT_EQ(frame.Length(), 2);
  EXPECT_EQ(frame.DataRange(0, 2), GetParam().data);
  EXPECT_EQ(frame.DataRange(2, 126), Bytes(126, kLeftOver));
  EXPECT_TRUE(frame.ChecksumOk());
  EXPECT_EQ(form->ErrorCount, 0);
  EXPECT_TRUE(boxes.empty());
}

// Four Cyrillic-led characters pass the length check though they take more bytes.
INSTANTIATE_TEST_SUITE_P(Ops, OpsDeviceId,
                         ::testing::Values(IdCase{"0042", {0x2A, 0x00}}, IdCase{"9999", {0x0F, 0x27}},
                                           IdCase{"12a4", {0x0C, 0x00}}, IdCase{"юн12", {0x00, 0x00}}));

class OpsDeviceIdRefused : public OpsTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(OpsDeviceIdRefused, OtherLengthsShowTheBoxAndChangeNothing) {
  form->Lbl_ID_dev->SetText(GetParam());
  const Bytes before = FrameBytes(*form);
  form->ErrorCount = 2;
  form->ButCh_ID_devClick(form->ButCh_ID_dev.get());
  ExpectOneSystemBox("Значение ID датчика должно содержать 4 цифры", 0x2030);
  EXPECT_TRUE(fake.written.empty());
  EXPECT_EQ(FrameBytes(*form), before);
  EXPECT_EQ(form->ErrorCount, 2);
}

INSTANTIATE_TEST_SUITE_P(Ops, OpsDeviceIdRefused, ::testing::Values("123", "12345", ""));

// ---- clock settings 'j' ----

class OpsClock : public OpsTest {
 protected:
  std::array<ui::TLabeledEdit*, 8> Fields() const {
    return {form->Lbl_PLLM.get(), form->Lbl_PLLN.get(),     form->Lbl_PLLP.get(), form->Lbl_AHB_Psc.get(),
            form->Lbl_HCLK.get(), form->Lbl_APB1_Psc.get(), form->Lbl_Smpl.get(), form->Lbl_Full.get()};
  }
  void Read() { form->ButChngFREQClick(form->ButFill.get()); }
  void Change() { form->ButChngFREQClick(form->ButChngFREQ.get()); }
};

class OpsClockRead : public OpsClock, public ::testing::WithParamInterface<std::pair<int, std::uint8_t>> {};

TEST_P(OpsClockRead, AllOnesRecordAndSensorIndexWhateverTheFieldsHold) {
  for (ui::TLabeledEdit* field : Fields()) field->SetText("8");
  form->CmbBx_Sel_sens->SetItemIndex(GetParam().first);
  form->ErrorCount = 5;
  Read();
  const CommandView frame = OnlyFrame();
  EXPECT_EQ(frame.Code(), 'j');
  EXPECT_EQ(frame.Number(), 0);
  EXPECT_EQ(frame.Length(), 2);
  EXPECT_EQ(frame.DataRange(0, 40), Bytes(40, 0xFF));
  EXPECT_EQ(frame.Data(40), GetParam().second);
  EXPECT_EQ(frame.DataRange(41, 87), Bytes(87, kLeftOver));
  EXPECT_TRUE(frame.ChecksumOk());
  EXPECT_EQ(form->ErrorCount, 0);
}

INSTANTIATE_TEST_SUITE_P(Ops, OpsClockRead,
                         ::testing::Values(std::pair<int, std::uint8_t>{1, 0x01}, std::pair<int, std::uint8_t>{3, 0x03},
                                           std::pair<int, std::uint8_t>{-1, 0xFF}));

TEST_F(OpsClock, ChangeWithEveryFieldEmptySendsTheReadFrame) {
  for (ui::TLabeledEdit* field : Fields()) field->SetText("");
  form->CmbBx_Sel_sens->SetItemIndex(2);
  Read();
  Change();
  const std::vector<CommandView> frames = SentFrames();
  ASSERT_EQ(frames.size(), 2u);
  EXPECT_EQ(frames[1].bytes, frames[0].bytes);
}

struct ClockCase {
  const char* name;
  std::array<const char*, 8> texts;  // PLLM PLLN PLLP AHB HCLK APB1 Smpl Full
  std::vector<std::pair<std::size_t, Bytes>> written;  // over a record of all FF
};

class OpsClockChange : public OpsClock, public ::testing::WithParamInterface<ClockCase> {};

TEST_P(OpsClockChange, FieldsGoToTheirPlacesInTheirWidths) {
  const auto fields = Fields();
  for (std::size_t i = 0; i < fields.size(); ++i) fields[i]->SetText(GetParam().texts[i]);
  ASSERT_TRUE(boxes.empty());
  form->CmbBx_Sel_sens->SetItemIndex(0);
  Change();
  Bytes expected(40, 0xFF);
  for (const auto& [at, bytes] : GetParam().written) std::copy(bytes.begin(), bytes.end(), expected.begin() + at);
  const CommandView frame = OnlyFrame();
  EXPECT_EQ(frame.Code(), 'j');
  EXPECT_EQ(frame.Length(), 2);
  EXPECT_EQ(frame.DataRange(0, 40), expected);
  EXPECT_EQ(frame.Data(40), 0x00);
  EXPECT_TRUE(frame.ChecksumOk());
}

INSTANTIATE_TEST_SUITE_P(
    Ops, OpsClockChange,
    ::testing::Values(
        ClockCase{"PllmPllnHclk",
                  {"8", "336", "", "", "100", "", "", ""},
                  {{4, {0x08, 0x00}}, {6, {0x50, 0x01}}, {20, {0x64, 0x00, 0x00, 0x00}}}},
        ClockCase{"EveryField",
                  {"1", "2", "3", "4", "16909060", "6", "7", "8"},
                  {{4, {0x01, 0x00}},
                   {6, {0x02, 0x00}},
                   {8, {0x03, 0x00}},
                   {16, {0x04, 0x00}},
                   {20, {0x04, 0x03, 0x02, 0x01}},
                   {24, {0x06, 0x00}},
                   {32, {0x07, 0x00}},
                   {34, {0x08, 0x00}}}},
        ClockCase{"MinusOneIsAllOnes", {"-1", "-1", "", "", "-1", "", "", ""}, {}},
        ClockCase{"BeyondTheWidthKeepsTheLowBits",
                  {"65541", "65536", "-2", "", "4294967296", "", "", "70000"},
                  {{4, {0x05, 0x00}}, {6, {0x00, 0x00}}, {8, {0xFE, 0xFF}}, {20, {0x00, 0x00, 0x00, 0x00}},
                   {34, {0x70, 0x11}}}}),
    [](const auto& info) { return std::string(info.param.name); });

struct ShownCase {
  const char* name;
  std::vector<std::pair<std::size_t, Bytes>> payload;  // over a payload of 0x99
  std::array<const char*, 8> shown;
};

class OpsClockShown : public OpsClock, public ::testing::WithParamInterface<ShownCase> {};

TEST_P(OpsClockShown, AnswerJFillsTheFieldsAndLogs) {
  for (ui::TLabeledEdit* field : Fields()) field->SetText("5");
  form->CmbBx_Sel_sens->SetItemIndex(2);
  form->lblParam[0]->SetText("77");
  Bytes payload(62, 0x99);
  for (const auto& [at, bytes] : GetParam().payload) std::copy(bytes.begin(), bytes.end(), payload.begin() + at);

  Answer('J', payload);

  const auto fields = Fields();
  for (std::size_t i = 0; i < fields.size(); ++i) EXPECT_EQ(fields[i]->Text(), GetParam().shown[i]) << i;
  ASSERT_FALSE(form->Memo1->Lines().empty());
  EXPECT_EQ(form->Memo1->Lines().back(), "Запись новых параметров - OK");
  EXPECT_TRUE(boxes.empty());
  EXPECT_EQ(form->CmbBx_Sel_sens->ItemIndex(), 2);
  EXPECT_EQ(form->lblParam[0]->Text(), "77");
  EXPECT_TRUE(fake.written.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Ops, OpsClockShown,
    ::testing::Values(ShownCase{"Values",
                                {{4, {0x08, 0x00}},
                                 {6, {0x50, 0x01}},
                                 {8, {0x02, 0x00}},
                                 {16, {0x01, 0x00}},
                                 {20, {0x64, 0x00, 0x00, 0x00}},
                                 {24, {0x04, 0x00}},
                                 {32, {0xE8, 0x03}},
                                 {34, {0x10, 0x27}}},
                                {"8", "336", "2", "1", "100", "4", "1000", "10000"}},
                      ShownCase{"AllOnesUnsigned",
                                {{4, Bytes(36, 0xFF)}},
                                {"65535", "65535", "65535", "65535", "4294967295", "65535", "65535", "65535"}}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- extended parameters 'z' ----

struct ParamsCase {
  const char* name;
  std::array<const char*, 6> texts;  // nullptr keeps the start text
  Bytes data;
};

class OpsExtParams : public OpsTest, public ::testing::WithParamInterface<ParamsCase> {};

TEST_P(OpsExtParams, SixSignedValuesLittleEndian) {
  for (std::size_t n = 0; n < 6; ++n) {
    if (GetParam().texts[n] != nullptr) form->lblParam[n]->SetText(GetParam().texts[n]);
  }
  form->ErrorCount = 9;
  form->ButCHEXTPARAMClick(form->ButCHEXTPARAM.get());
  const CommandView frame = OnlyFrame();
  EXPECT_EQ(frame.Code(), 'z');
  EXPECT_EQ(frame.Number(), 0);
  EXPECT_EQ(frame.Length(), 2);
  EXPECT_EQ(frame.DataRange(0, 24), GetParam().data);
  EXPECT_EQ(frame.DataRange(24, 104), Bytes(104, kLeftOver));
  EXPECT_TRUE(frame.ChecksumOk());
  EXPECT_EQ(form->ErrorCount, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Ops, OpsExtParams,
    ::testing::Values(
        ParamsCase{"StartTexts", {nullptr, nullptr, nullptr, nullptr, nullptr, nullptr}, Bytes(24, 0x00)},
        ParamsCase{"EmptyFirstThousandLast",
                   {"", nullptr, nullptr, nullptr, nullptr, "1000"},
                   {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xE8, 0x03, 0x00, 0x00}},
        ParamsCase{"NegativeIsTwosComplement",
                   {"1", "-2", "3", "70000", "5", "-2147483648"},
                   {0x01, 0, 0, 0, 0xFE, 0xFF, 0xFF, 0xFF, 0x03, 0, 0, 0, 0x70, 0x11, 0x01, 0x00, 0x05, 0, 0, 0,
                    0x00, 0x00, 0x00, 0x80}}),
    [](const auto& info) { return std::string(info.param.name); });

class OpsExtParamsDone : public OpsTest {};

TEST_F(OpsExtParamsDone, AnswerZLogsAndChangesNoField) {
  for (std::size_t n = 0; n < 6; ++n) form->lblParam[n]->SetText(std::to_string(n + 11));
  form->Lbl_PLLM->SetText("8");
  Answer('Z', Bytes(62, 0x31));
  ASSERT_FALSE(form->Memo1->Lines().empty());
  EXPECT_EQ(form->Memo1->Lines().back(), "Запись раширенных параметров - OK");
  for (std::size_t n = 0; n < 6; ++n) EXPECT_EQ(form->lblParam[n]->Text(), std::to_string(n + 11));
  EXPECT_EQ(form->Lbl_PLLM->Text(), "8");
  EXPECT_TRUE(fake.written.empty());
  EXPECT_TRUE(boxes.empty());
}

// ---- loader mode ----

// Port open, loader not yet announced.
class LoaderTest : public FormTest {
 protected:
  void SetUp() override {
    FormTest::SetUp();
    ASSERT_NO_FATAL_FAILURE(OpenFake());
  }
  void Answer(char code, const Bytes& payload = {}) {
    Feed(Response(code, payload));
    Tick();
  }
  void Blink() { form->Timer3Timer(form->Timer3.get()); }
};

TEST_F(LoaderTest, SecondBKeepsTheBlinkingAsItWas) {
  Answer('B');
  EXPECT_TRUE(form->Timer3->Enabled());
  EXPECT_FALSE(form->iLedReady->Active());
  Blink();
  EXPECT_TRUE(form->iLedReady->Active());
  Answer('B');
  EXPECT_TRUE(form->Timer3->Enabled());
  EXPECT_TRUE(form->iLedReady->Active());
  Blink();
  EXPECT_FALSE(form->iLedReady->Active());
  Blink();
  EXPECT_TRUE(form->iLedReady->Active());
  EXPECT_TRUE(fake.written.empty());
}

TEST_F(LoaderTest, OWithoutBSwitchesTheLedOff) {
  form->iLedReady->SetActive(true);
  Answer('O');
  EXPECT_FALSE(form->Timer3->Enabled());
  EXPECT_FALSE(form->iLedReady->Active());
  EXPECT_TRUE(fake.written.empty());
  EXPECT_TRUE(boxes.empty());
}

TEST_F(LoaderTest, GuardPassesAfterBAndRefusesAfterO) {
  Answer('B');
  form->ButExit->Click();
  EXPECT_EQ(SentFrames().size(), 1u);
  EXPECT_TRUE(boxes.empty());
  Blink();
  Answer('O');
  EXPECT_FALSE(form->iLedReady->Active());
  form->ButExit->Click();
  EXPECT_EQ(SentFrames().size(), 1u);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, "Tavel не в режиме программирования");
}

TEST_F(LoaderTest, ClosingThePortEndsBootloaderModeUntilTheNextB) {
  Answer('B');
  Blink();
  form->Open_port->Click();
  EXPECT_FALSE(form->IsPortOpen());
  EXPECT_FALSE(form->Timer3->Enabled());
  EXPECT_FALSE(form->iLedReady->Active());
  form->Open_port->Click();
  ASSERT_TRUE(form->IsPortOpen());
  EXPECT_FALSE(form->Timer3->Enabled());
  Answer('B');
  EXPECT_TRUE(form->Timer3->Enabled());
}

TEST_F(LoaderTest, NormalOperationSendsXOverThePreviousData) {
  Answer('B');
  form->Lbl_ID_dev->SetText("9999");
  form->ButCh_ID_devClick(form->ButCh_ID_dev.get());
  form->ButExit->Click();
  const std::vector<CommandView> frames = SentFrames();
  ASSERT_EQ(frames.size(), 2u);
  EXPECT_EQ(frames[1].Code(), 'x');
  EXPECT_EQ(frames[1].Number(), 1);
  EXPECT_EQ(frames[1].Length(), 128);
  EXPECT_EQ(frames[1].DataRange(0, 128), frames[0].DataRange(0, 128));
  EXPECT_TRUE(frames[1].ChecksumOk());
  EXPECT_TRUE(form->Timer3->Enabled());
}

TEST_F(LoaderTest, YIsAnsweredWithSEvenOutsideBootloaderModeThenLogged) {
  // "Привет" in Windows-1251.
  Answer('Y', TextPayload({0xCF, 0xF0, 0xE8, 0xE2, 0xE5, 0xF2}));
  const std::vector<CommandView> frames = SentFrames();
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(frames[0].Code(), 's');
  EXPECT_EQ(frames[0].Number(), 1);
  EXPECT_EQ(frames[0].Length(), 128);
  EXPECT_TRUE(frames[0].ChecksumOk());
  ASSERT_FALSE(form->Memo1->Lines().empty());
  EXPECT_EQ(form->Memo1->Lines().back(), "Привет");
  EXPECT_FALSE(form->Timer3->Enabled());
  EXPECT_TRUE(boxes.empty());
}

// ---- the guard, over every command button ----

struct GuardedCommand {
  const char* name;
  std::function<void(TForm1&)> click;
};

class OpsGuard : public FormTest, public ::testing::WithParamInterface<GuardedCommand> {
 protected:
  // Inputs that every command would accept, so only the guard can stop it.
  void SetUp() override {
    FormTest::SetUp();
    form->Lbl_ID_dev->SetText("0042");
    form->ErrorCount = 5;
    form->TestIndex = 3;
  }
  void ExpectRefusedWith(const std::string& text, const Bytes& frameBefore) const {
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, text);
    EXPECT_EQ(boxes[0].caption, "");
    EXPECT_EQ(boxes[0].flags, 0x2040u);
    EXPECT_EQ(boxes[0].owner, ui::BoxOwner::System);
    EXPECT_TRUE(fake.written.empty());
    EXPECT_EQ(FrameBytes(*form), frameBefore);
    EXPECT_EQ(form->ErrorCount, 5);
    EXPECT_EQ(form->TestIndex, 3);
    EXPECT_EQ(form->PendingAction, 255);
    EXPECT_TRUE(form->Open_port->Enabled());
    EXPECT_FALSE(form->ProgressBar1->Visible());
  }
};

TEST_P(OpsGuard, PortClosedRefusesWithoutChangingAnything) {
  ASSERT_NO_FATAL_FAILURE(OpenFake());
  ASSERT_NO_FATAL_FAILURE(EnterLoader());
  form->Open_port->Click();
  ASSERT_FALSE(form->IsPortOpen());
  const Bytes before = FrameBytes(*form);
  GetParam().click(*form);
  ExpectRefusedWith("COM порт не открыт", before);
}

TEST_P(OpsGuard, LoaderSilentRefusesWithoutSending) {
  ASSERT_NO_FATAL_FAILURE(OpenFake());
  const Bytes before = FrameBytes(*form);
  GetParam().click(*form);
  ExpectRefusedWith("Tavel не в режиме программирования", before);
}

INSTANTIATE_TEST_SUITE_P(
    Ops, OpsGuard,
    ::testing::Values(GuardedCommand{"Settings", [](TForm1& f) { f.ButChngPLLset->Click(); }},
                      GuardedCommand{"DeviceId", [](TForm1& f) { f.ButCh_ID_devClick(f.ButCh_ID_dev.get()); }},
                      GuardedCommand{"ClockChange", [](TForm1& f) { f.ButChngFREQClick(f.ButChngFREQ.get()); }},
                      GuardedCommand{"ClockRead", [](TForm1& f) { f.ButChngFREQClick(f.ButFill.get()); }},
                      GuardedCommand{"ExtParams", [](TForm1& f) { f.ButCHEXTPARAMClick(f.ButCHEXTPARAM.get()); }},
                      GuardedCommand{"NormalOperation", [](TForm1& f) { f.ButExit->Click(); }},
                      GuardedCommand{"LinkTest", [](TForm1& f) { f.But_TestClick(nullptr); }},
                      GuardedCommand{"Upload", [](TForm1& f) { f.ButChangeSWClick(nullptr); }}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tavel::testing
