#pragma once

#include <functional>
#include <memory>
#include <string>

class QApplication;
class QFont;
class QIcon;
class QWidget;

namespace tavel::ui {

// The platform's own error, raised by its conversions and shown by the
// handler wrapper; the program's logic never throws.
class Exception {
 public:
  explicit Exception(std::string message) : message_(std::move(message)) {}
  virtual ~Exception() = default;
  const std::string& Message() const { return message_; }

 private:
  std::string message_;
};

class EConvertError : public Exception {
 public:
  using Exception::Exception;
};

// Text to integer: optional blanks and sign, then decimal digits (or '$' /
// "0x" and hex digits), fitting 32 bits; anything else raises EConvertError.
int StrToInt(const std::string& text);

// Runs an event handler; an exception that leaves it is shown in an error box
// and goes no further.
void RunHandler(const std::function<void()>& handler);
void ShowException(const std::string& message);

constexpr int SM_CXSCREEN = 0;
constexpr int SM_CYSCREEN = 1;
int GetSystemMetrics(int index);
// Tests give the screen a size of their choosing; 0 x 0 restores the real one.
void OverrideScreenSize(int width, int height);

class TApplication {
 public:
  TApplication(int& argc, char** argv);
  ~TApplication();
  void Initialize();
  template <class Form>
  void CreateForm(std::unique_ptr<Form>& variable) {
    variable = std::make_unique<Form>();
    mainForm_ = variable->Window();
  }
  void Run();
  const std::string& Title() const { return title_; }

  static QFont DefaultFont();
  static QIcon SearchIcon();

 private:
  std::unique_ptr<QApplication> app_;
  QWidget* mainForm_ = nullptr;
  std::string title_ = "Tavel Tool";
};

}  // namespace tavel::ui
