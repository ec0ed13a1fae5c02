#include "ui/widgets/application.h"

#include <QApplication>
#include <QFont>
#include <QIcon>
#include <QPainter>
#include <QPixmap>
#include <QScreen>
#include <QWidget>
#include <climits>
#include <cstdint>

#include "ui/widgets/message_box.h"

namespace tavel::ui {
namespace {

struct ScreenOverride {
  int width = 0;
  int height = 0;
};

ScreenOverride& Screen() {
  static ScreenOverride screen;
  return screen;
}

int DigitValue(char c, int base) {
  if (c >= '0' && c <= '9') return c - '0';
  if (base == 16 && c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (base == 16 && c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

[[noreturn]] void ConversionFailed(const std::string& text) {
  throw EConvertError("'" + text + "' is not a valid integer value");
}

}  // namespace

int StrToInt(const std::string& text) {
  std::size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  int base = 10;
  if (i < text.size() && text[i] == '$') {
    base = 16;
    ++i;
  } else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    base = 16;
    i += 2;
  }
  if (i == text.size()) ConversionFailed(text);
  std::int64_t value = 0;
  for (; i < text.size(); ++i) {
    const int digit = DigitValue(text[i], base);
    if (digit < 0) ConversionFailed(text);
    value = value * base + digit;
    if (value > static_cast<std::int64_t>(INT_MAX) + 1) ConversionFailed(text);
  }
  if (negative) value = -value;
  if (value > INT_MAX || value < INT_MIN) ConversionFailed(text);
  return static_cast<int>(value);
}

void ShowException(const std::string& message) {
  std::string text = message;
  if (!text.empty() && text.back() != '.') text += '.';
  ApplicationMessageBox(text, "Tavel Tool", MB_ICONERROR | MB_OK);
}

void RunHandler(const std::function<void()>& handler) {
  if (!handler) return;
  try {
    handler();
  } catch (const Exception& e) {
    ShowException(e.Message());
  } catch (const std::exception& e) {
    ShowException(e.what());
  } catch (...) {
    ShowException("");
  }
}

int GetSystemMetrics(int index) {
  const ScreenOverride& screen = Screen();
  if (screen.width > 0 && screen.height > 0) return index == SM_CXSCREEN ? screen.width : screen.height;
  const QScreen* primary = QGuiApplication::primaryScreen();
  if (primary == nullptr) return 0;
  const QSize size = primary->geometry().size();
  return index == SM_CXSCREEN ? size.width() : size.height();
}

void OverrideScreenSize(int width, int height) { Screen() = {width, height}; }

TApplication::TApplication(int& argc, char** argv) : app_(std::make_unique<QApplication>(argc, argv)) {}
TApplication::~TApplication() = default;

void TApplication::Initialize() {
  QFont::insertSubstitutions("MS Sans Serif", {"Liberation Sans", "DejaVu Sans", "Sans Serif"});
  QApplication::setFont(DefaultFont());
  QApplication::setApplicationName(QString::fromStdString(title_));
}

void TApplication::Run() {
  if (mainForm_ != nullptr) mainForm_->show();
  QApplication::exec();
}

QFont TApplication::DefaultFont() {
  QFont font("MS Sans Serif");
  font.setPixelSize(11);
  return font;
}

// A small magnifier in place of the search button's picture.
QIcon TApplication::SearchIcon() {
  QPixmap pixmap(16, 16);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(QPen(QColor(0x20, 0x40, 0x80), 2));
  painter.drawEllipse(2, 2, 8, 8);
  painter.drawLine(9, 9, 14, 14);
  return QIcon(pixmap);
}

}  // namespace tavel::ui
