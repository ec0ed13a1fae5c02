#include <stdlib.h>

#include <ctime>
#include <filesystem>
#include <fstream>
#include <optional>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "form_fixture.h"

namespace tavel::testing {
namespace {

namespace fs = std::filesystem;

// Table rows print as their names instead of raw bytes.
template <typename Row>
  requires requires(const Row& row) { row.name; }
void PrintTo(const Row& row, std::ostream* os) {
  *os << row.name;
}

// A private directory for image files, removed with the test.
class ImageFiles {
 public:
  ImageFiles() {
    std::string pattern = (fs::temp_directory_path() / "tavel-images-XXXXXX").string();
    dir_ = mkdtemp(pattern.data());
  }
  ~ImageFiles() {
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }
  ImageFiles(const ImageFiles&) = delete;
  ImageFiles& operator=(const ImageFiles&) = delete;

  // `name` may hold sub-directories; the full path comes back.
  std::string Write(const std::string& name, const Bytes& bytes) const {
    const fs::path path = dir_ / name;
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return path.string();
  }
  std::string Dir() const { return dir_.string(); }

 private:
  fs::path dir_;
};

// Bytes that differ from their neighbours and from the 0xFF fill.
Bytes Pattern(std::size_t size, std::uint8_t salt = 0) {
  Bytes bytes(size);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>((i * 7 + salt) % 251);
  return bytes;
}

Bytes Slice(const Bytes& bytes, std::size_t from, std::size_t count) {
  return Bytes(bytes.begin() + static_cast<long>(from), bytes.begin() + static_cast<long>(from + count));
}

Bytes Concat(Bytes head, const Bytes& tail) {
  head.insert(head.end(), tail.begin(), tail.end());
  return head;
}

// Port open and the loader announced; the test plays the sensor.
class SensorOnLine : public FormTest {
 protected:
  void SetUp() override {
    FormTest::SetUp();
    ui::SetOpenDialogResponder([this](const std::string& filter) {
      dialogFilter = filter;
      return dialogChoice;
    });
    ASSERT_NO_FATAL_FAILURE(OpenFake());
    ASSERT_NO_FATAL_FAILURE(EnterLoader());
  }
  void TearDown() override {
    ui::SetOpenDialogResponder(nullptr);
    FormTest::TearDown();
  }

  void Answer(char code, bool badSum = false) {
    Feed(Response(code, Pattern(62, 3), badSum));
    Tick();
  }
  // Answers the test frames until the run has had twelve answers in all.
  void AnswerTest(int answers, int badAt = -1) {
    for (int i = 0; i < answers; ++i) Answer('T', i == badAt);
  }
  void Load(const Bytes& image, const std::string& name = "image.bin") {
    ASSERT_TRUE(form->LoadFirmwareImage(files.Write(name, image)));
  }
  CommandView Last() const {
    if (fake.written.size() < 140) return CommandView{Bytes(140, 0)};
    return CommandView{Bytes(fake.written.end() - 140, fake.written.end())};
  }
  Bytes ImageBytes(std::size_t from, std::size_t count) const {
    return Bytes(form->ImageBuffer.begin() + static_cast<long>(from),
                 form->ImageBuffer.begin() + static_cast<long>(from + count));
  }

  ImageFiles files;
  std::optional<std::string> dialogChoice;
  std::string dialogFilter;
};

// ---- link test ----

class LinkTest : public SensorOnLine {};

TEST_F(LinkTest, TwelveGoodAnswersLogTheResultWithoutABox) {
  form->ErrorCount = 4;
  form->But_TestClick(nullptr);
  EXPECT_TRUE(form->ProgressBar1->Visible());
  EXPECT_TRUE(form->LabelPrgrsBar->Visible());
  EXPECT_EQ(form->LabelPrgrsBar->Caption(), "Тест связи с датчиком");
  EXPECT_EQ(form->ProgressBar1->Position(), 0);

  std::vector<int> positions;
  for (int i = 0; i < 11; ++i) {
    Answer('T');
    positions.push_back(form->ProgressBar1->Position());
  }
  EXPECT_EQ(positions, (std::vector<int>{0, 10, 20, 30, 40, 50, 60, 70, 80, 90, 100}));
  Answer('T');

  const std::vector<CommandView> frames = SentFrames();
  ASSERT_EQ(frames.size(), 12u);
  for (std::uint16_t n = 0; n < 12; ++n) {
    EXPECT_EQ(frames[n].Code(), 't');
    EXPECT_EQ(frames[n].Number(), n);
    EXPECT_EQ(frames[n].Length(), 128);
    EXPECT_TRUE(frames[n].ChecksumOk()) << n;
  }
  ASSERT_FALSE(form->Memo1->Lines().empty());
  EXPECT_EQ(form->Memo1->Lines().back(), "Связь хорошая. Тест завершен с 0 ошибками");
  EXPECT_TRUE(boxes.empty());
  EXPECT_FALSE(form->ProgressBar1->Visible());
  EXPECT_FALSE(form->LabelPrgrsBar->Visible());
  EXPECT_EQ(form->TestIndex, 0);
}

struct BadRunCase {
  const char* name;
  bool uploadPending;
  int answer;
  const char* text;
  unsigned flags;
  bool beginsUpload;
};

class LinkTestBadAnswer : public SensorOnLine, public ::testing::WithParamInterface<BadRunCase> {};

TEST_P(LinkTestBadAnswer, ResultBoxAndWhatFollows) {
  const BadRunCase& c = GetParam();
  answer = c.answer;
  if (c.uploadPending) {
    ASSERT_NO_FATAL_FAILURE(Load(Pattern(300)));
    form->ButChangeSWClick(nullptr);
  } else {
    form->But_TestClick(nullptr);
  }
  const std::size_t logBefore = form->Memo1->Lines().size();
  AnswerTest(12, 5);

  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, c.text);
  EXPECT_EQ(boxes[0].caption, "");
  EXPECT_EQ(boxes[0].flags, c.flags);
  EXPECT_EQ(boxes[0].owner, ui::BoxOwner::System);
  EXPECT_EQ(form->Memo1->Lines().size(), logBefore);
  const std::vector<CommandView> frames = SentFrames();
  ASSERT_EQ(frames.size(), c.beginsUpload ? 13u : 12u);
  if (c.beginsUpload) {
    EXPECT_EQ(frames[12].Code(), 'g');
    EXPECT_EQ(frames[12].Number(), 0);
    EXPECT_EQ(frames[12].Length(), 0);
    EXPECT_EQ(frames[12].DataRange(0, 128), frames[11].DataRange(0, 128));
    EXPECT_TRUE(frames[12].ChecksumOk());
    EXPECT_EQ(form->PendingAction, 255);
  } else {
    EXPECT_EQ(form->PendingAction, c.uploadPending ? 'g' : 255);
  }
  EXPECT_EQ(form->Open_port->Enabled(), !c.uploadPending);
}

INSTANTIATE_TEST_SUITE_P(
    LinkTest, LinkTestBadAnswer,
    ::testing::Values(
        BadRunCase{"NoUploadPending", false, ui::IDOK, "Связь плохая. Тест завершен с 1 ошибками", 0x2010, false},
        BadRunCase{"UploadPendingYes", true, ui::IDYES, "Связь плохая. Тест завершен с 1 ошибками\nПродолжить?",
                   0x2014, true},
        BadRunCase{"UploadPendingNo", true, ui::IDNO, "Связь плохая. Тест завершен с 1 ошибками\nПродолжить?",
                   0x2014, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(LinkTest, RepeatRequestsResendTheCurrentFrameAndCountAsErrors) {
  form->But_TestClick(nullptr);
  AnswerTest(3);
  Answer('R');
  Answer('R');
  std::vector<CommandView> frames = SentFrames();
  ASSERT_EQ(frames.size(), 6u);
  EXPECT_EQ(frames[3].Number(), 3);
  EXPECT_EQ(frames[4].bytes, frames[3].bytes);
  EXPECT_EQ(frames[5].bytes, frames[3].bytes);
  AnswerTest(9);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, "Связь плохая. Тест завершен с 2 ошибками");
  EXPECT_EQ(SentFrames().size(), 14u);
}

TEST_F(LinkTest, FramesFilledWithinOneSecondCarryTheSameData) {
  std::vector<CommandView> frames;
  for (int attempt = 0; attempt < 3; ++attempt) {
    fake.written.clear();
    const std::time_t before = std::time(nullptr);
    form->TestIndex = 0;
    form->SendTestFrame();
    form->TestIndex = 1;
    form->SendTestFrame();
    if (std::time(nullptr) == before) break;
  }
  frames = SentFrames();
  ASSERT_EQ(frames.size(), 2u);
  EXPECT_EQ(frames[0].Number(), 0);
  EXPECT_EQ(frames[1].Number(), 1);
  EXPECT_EQ(frames[1].DataRange(0, 128), frames[0].DataRange(0, 128));
  EXPECT_NE(frames[0].bytes, frames[1].bytes);
}

TEST_F(LinkTest, UnsolicitedAnswerSendsTestFrameOne) {
  Answer('T');
  const std::vector<CommandView> frames = SentFrames();
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(frames[0].Code(), 't');
  EXPECT_EQ(frames[0].Number(), 1);
  EXPECT_EQ(frames[0].Length(), 128);
  EXPECT_FALSE(form->ProgressBar1->Visible());
  EXPECT_TRUE(boxes.empty());
}

// ---- loading the image ----

class UploadImage : public SensorOnLine {};

struct SizeCase {
  std::size_t size;
  std::uint16_t blocks;
};
void PrintTo(const SizeCase& c, std::ostream* os) { *os << c.size << " bytes"; }

class UploadImageSize : public SensorOnLine, public ::testing::WithParamInterface<SizeCase> {};

TEST_P(UploadImageSize, WholeFileThenFill) {
  const Bytes image = Pattern(GetParam().size, 1);
  ASSERT_NO_FATAL_FAILURE(Load(image));
  EXPECT_TRUE(form->ImageLoaded);
  EXPECT_EQ(form->ImageSize, GetParam().size);
  EXPECT_EQ(form->BlockCount, GetParam().blocks);
  EXPECT_EQ(ImageBytes(0, image.size()), image);
  EXPECT_EQ(ImageBytes(image.size(), 65535 - image.size()), Bytes(65535 - image.size(), 0xFF));
  EXPECT_TRUE(boxes.empty());
}

INSTANTIATE_TEST_SUITE_P(Upload, UploadImageSize,
                         ::testing::Values(SizeCase{1, 1}, SizeCase{128, 1}, SizeCase{129, 2}, SizeCase{65535, 512}));

TEST_F(UploadImage, ShorterImageAfterALongerOneLeavesOnlyFill) {
  ASSERT_NO_FATAL_FAILURE(Load(Bytes(300, 0x00), "long.bin"));
  ASSERT_NO_FATAL_FAILURE(Load(Bytes(10, 0x11), "short.bin"));
  EXPECT_EQ(form->BlockCount, 1);
  EXPECT_EQ(ImageBytes(0, 10), Bytes(10, 0x11));
  EXPECT_EQ(ImageBytes(10, 290), Bytes(290, 0xFF));
}

struct RefusedFile {
  const char* name;
  std::optional<std::size_t> size;  // nothing: no such file
  const char* textPart;
};

class UploadImageRefused : public SensorOnLine, public ::testing::WithParamInterface<RefusedFile> {};

TEST_P(UploadImageRefused, WarningBoxAndThePreviousImageStays) {
  const Bytes previous = Pattern(200, 9);
  ASSERT_NO_FATAL_FAILURE(Load(previous));
  const std::string path = GetParam().size ? files.Write("refused.bin", Bytes(*GetParam().size, 0x42))
                                           : files.Dir() + "/missing.bin";
  EXPECT_FALSE(form->LoadFirmwareImage(path));
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_NE(boxes[0].text.find(GetParam().textPart), std::string::npos) << boxes[0].text;
  EXPECT_EQ(boxes[0].caption, "warning!");
  EXPECT_EQ(boxes[0].flags, 0x2030u);
  EXPECT_EQ(boxes[0].owner, ui::BoxOwner::Application);
  EXPECT_TRUE(form->ImageLoaded);
  EXPECT_EQ(form->ImageSize, 200u);
  EXPECT_EQ(form->BlockCount, 2);
  EXPECT_EQ(ImageBytes(0, 200), previous);
  EXPECT_EQ(form->ImageBuffer[200], 0xFF);
}

INSTANTIATE_TEST_SUITE_P(
    Upload, UploadImageRefused,
    ::testing::Values(RefusedFile{"Oversized", 65536, "65535"}, RefusedFile{"Empty", 0, "пуст"},
                      RefusedFile{"Missing", std::nullopt, "Невозможно открыть файл ПО *.bin"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(UploadImage, DialogCancelledBeforeAnyFileFailsToOpen) {
  form->EditPathBin->SetText("typed.bin");
  form->Find_New_SWClick(form->Find_New_SW.get());
  EXPECT_EQ(dialogFilter, "SoftWare Tavel, *.bin|*.bin|All|*.*");
  EXPECT_EQ(form->EditPathBin->Text(), "");
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, "Невозможно открыть файл ПО *.bin");
  EXPECT_EQ(boxes[0].caption, "warning!");
  EXPECT_FALSE(form->ImageLoaded);
}

TEST_F(UploadImage, DialogCancelledAfterAChoiceReadsThatFileAgain) {
  const std::string chosen = files.Write("first.bin", Bytes(10, 0x01));
  dialogChoice = chosen;
  form->Find_New_SWClick(form->Find_New_SW.get());
  ASSERT_EQ(form->ImageSize, 10u);

  files.Write("first.bin", Bytes(300, 0x02));
  form->EditPathBin->SetText(files.Write("typed.bin", Bytes(5, 0x03)));
  dialogChoice.reset();
  form->Find_New_SWClick(form->Find_New_SW.get());

  EXPECT_EQ(form->EditPathBin->Text(), chosen);
  EXPECT_EQ(form->ImageSize, 300u);
  EXPECT_EQ(form->BlockCount, 3);
  EXPECT_EQ(ImageBytes(0, 300), Bytes(300, 0x02));
  EXPECT_TRUE(boxes.empty());
}

class UploadImagePath : public SensorOnLine, public ::testing::WithParamInterface<std::string> {};

TEST_P(UploadImagePath, ChosenThroughTheDialog) {
  const Bytes image = Pattern(129, 4);
  dialogChoice = files.Write(GetParam(), image);
  form->Find_New_SWClick(form->Find_New_SW.get());
  EXPECT_TRUE(boxes.empty()) << (boxes.empty() ? "" : boxes[0].text);
  EXPECT_EQ(form->EditPathBin->Text(), *dialogChoice);
  EXPECT_EQ(form->FirmwarePath, *dialogChoice);
  EXPECT_EQ(form->BlockCount, 2);
  EXPECT_EQ(ImageBytes(0, 129), image);
}

INSTANTIATE_TEST_SUITE_P(Upload, UploadImagePath,
                         ::testing::Values(std::string("with some spaces.bin"), std::string("прошивка датчика.bin"),
                                           std::string(240, 'n') + ".bin",
                                           std::string(150, 'd') + "/" + std::string(150, 'e') + "/deep.bin"));

// ---- the upload ----

class UploadRun : public SensorOnLine {};

TEST_F(UploadRun, WithoutAnImageOnlyTheInformationBox) {
  form->ButChangeSWClick(nullptr);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, "Необходимо открыть файл ПО *.bin");
  EXPECT_EQ(boxes[0].caption, "");
  EXPECT_EQ(boxes[0].flags, 0x2040u);
  EXPECT_EQ(boxes[0].owner, ui::BoxOwner::System);
  EXPECT_TRUE(form->Open_port->Enabled());
  EXPECT_EQ(form->PendingAction, 255);
  EXPECT_TRUE(fake.written.empty());
}

TEST_F(UploadRun, GuardRefusalsWithAnImageLoaded) {
  ASSERT_NO_FATAL_FAILURE(Load(Pattern(300)));
  Answer('O');
  form->ButChangeSWClick(nullptr);
  form->Open_port->Click();
  form->ButChangeSWClick(nullptr);
  EXPECT_EQ(BoxTexts(), (std::vector<std::string>{"Tavel не в режиме программирования", "COM порт не открыт"}));
  EXPECT_TRUE(fake.written.empty());
  EXPECT_TRUE(form->Open_port->Enabled());
  EXPECT_EQ(form->PendingAction, 255);
}

TEST_F(UploadRun, WholeExchangeWithAScriptedSensor) {
  const Bytes image = Pattern(300, 5);
  ASSERT_NO_FATAL_FAILURE(Load(image));
  form->ButChangeSWClick(nullptr);
  EXPECT_FALSE(form->Open_port->Enabled());
  EXPECT_EQ(form->PendingAction, 'g');
  EXPECT_EQ(form->LabelPrgrsBar->Caption(), "Тест связи с датчиком");

  AnswerTest(12);
  ASSERT_EQ(SentFrames().size(), 13u);
  const CommandView begin = SentFrames()[12];
  EXPECT_EQ(begin.Code(), 'g');
  EXPECT_EQ(begin.Number(), 0);
  EXPECT_EQ(begin.Length(), 0);
  EXPECT_EQ(begin.DataRange(0, 128), SentFrames()[11].DataRange(0, 128));
  EXPECT_EQ(form->Memo1->Lines().back(), "Связь хорошая. Тест завершен с 0 ошибками");
  EXPECT_TRUE(boxes.empty());
  EXPECT_EQ(form->PendingAction, 255);
  EXPECT_TRUE(form->ProgressBar1->Visible());
  EXPECT_EQ(form->ProgressBar1->Position(), 0);
  EXPECT_TRUE(form->LabelPrgrsBar->Visible());
  EXPECT_EQ(form->LabelPrgrsBar->Caption(), "Загрузка нового ПО");

  const Bytes blocks[] = {Slice(image, 0, 128), Slice(image, 128, 128), Concat(Slice(image, 256, 44), Bytes(84, 0xFF))};
  const int bar[] = {33, 66, 100};
  for (std::uint16_t n = 0; n < 3; ++n) {
    Answer(n == 0 ? 'G' : 'N');
    const CommandView block = Last();
    EXPECT_EQ(block.Code(), 'n');
    EXPECT_EQ(block.Number(), n);
    EXPECT_EQ(block.Length(), 128);
    EXPECT_EQ(block.DataRange(0, 128), blocks[n]);
    EXPECT_TRUE(block.ChecksumOk());
    EXPECT_EQ(form->ProgressBar1->Position(), bar[n]);
  }

  Answer('N');
  const CommandView done = Last();
  EXPECT_EQ(done.Code(), 'q');
  EXPECT_EQ(done.Number(), 2);
  EXPECT_EQ(done.Length(), 128);
  EXPECT_EQ(done.DataRange(0, 128), blocks[2]);
  EXPECT_TRUE(done.ChecksumOk());
  Answer('N');
  EXPECT_EQ(Last().bytes, done.bytes);
  EXPECT_FALSE(form->Open_port->Enabled());

  const std::size_t sent = SentFrames().size();
  Answer('Q');
  EXPECT_EQ(SentFrames().size(), sent);
  EXPECT_FALSE(form->ProgressBar1->Visible());
  EXPECT_FALSE(form->LabelPrgrsBar->Visible());
  EXPECT_TRUE(form->Open_port->Enabled());
}

TEST_F(UploadRun, FullSizeImageArrivesByteExact) {
  Bytes image(65535);
  std::mt19937 random(20240611);
  for (std::uint8_t& byte : image) byte = static_cast<std::uint8_t>(random());
  ASSERT_NO_FATAL_FAILURE(Load(image));

  Bytes received;
  std::vector<int> bar;
  for (std::uint16_t n = 0; n < 512; ++n) {
    Answer(n == 0 ? 'G' : 'N');
    const CommandView block = Last();
    ASSERT_EQ(block.Code(), 'n');
    ASSERT_EQ(block.Number(), n);
    const Bytes data = block.DataRange(0, 128);
    received.insert(received.end(), data.begin(), data.end());
    bar.push_back(form->ProgressBar1->Position());
  }
  EXPECT_EQ(received.back(), 0xFF);
  received.pop_back();
  EXPECT_EQ(received, image);
  EXPECT_EQ(bar[0], 0);
  EXPECT_EQ(bar[255], 50);
  EXPECT_EQ(bar[510], 99);
  EXPECT_EQ(bar[511], 100);
  Answer('N');
  EXPECT_EQ(Last().Code(), 'q');
  EXPECT_EQ(Last().Number(), 511);
}

TEST_F(UploadRun, GMidTransferStartsAgainFromBlockZero) {
  const Bytes image = Pattern(300, 6);
  ASSERT_NO_FATAL_FAILURE(Load(image));
  Answer('G');
  Answer('N');
  Answer('G');
  EXPECT_EQ(Last().Number(), 0);
  EXPECT_EQ(Last().DataRange(0, 128), Slice(image, 0, 128));
  EXPECT_EQ(form->ProgressBar1->Position(), 33);
  Answer('N');
  EXPECT_EQ(Last().Code(), 'n');
  EXPECT_EQ(Last().Number(), 1);
}

TEST_F(UploadRun, GAndNBeforeAnyImageSendNothing) {
  Answer('G');
  Answer('N');
  EXPECT_TRUE(fake.written.empty());
  EXPECT_TRUE(boxes.empty());
}

TEST_F(UploadRun, ImageReloadedBelowTheBlocksSentEndsWithQ) {
  ASSERT_NO_FATAL_FAILURE(Load(Pattern(300), "long.bin"));
  Answer('G');
  Answer('N');
  ASSERT_EQ(form->BlockIndex, 2);
  ASSERT_NO_FATAL_FAILURE(Load(Pattern(10), "short.bin"));
  Answer('N');
  EXPECT_EQ(Last().Code(), 'q');
  EXPECT_EQ(Last().Number(), 1);
}

TEST_F(UploadRun, OneByteImageIsOneBlockOfFill) {
  ASSERT_NO_FATAL_FAILURE(Load(Bytes{0x5A}));
  Answer('G');
  const CommandView block = Last();
  EXPECT_EQ(block.Code(), 'n');
  EXPECT_EQ(block.Number(), 0);
  EXPECT_EQ(block.DataRange(0, 128), Concat(Bytes{0x5A}, Bytes(127, 0xFF)));
  EXPECT_EQ(form->ProgressBar1->Position(), 100);
  Answer('N');
  ASSERT_EQ(SentFrames().size(), 2u);
  EXPECT_EQ(Last().Code(), 'q');
  EXPECT_EQ(Last().Number(), 0);
  EXPECT_EQ(Last().Length(), 128);
  EXPECT_TRUE(Last().ChecksumOk());
}

}  // namespace
}  // namespace tavel::testing
