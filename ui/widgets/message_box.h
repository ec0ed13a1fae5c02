#pragma once

#include <functional>
#include <string>

namespace tavel::ui {

// Flags and results as the message boxes of the design use them.
constexpr unsigned MB_OK = 0x0000;
constexpr unsigned MB_YESNO = 0x0004;
constexpr unsigned MB_ICONERROR = 0x0010;
constexpr unsigned MB_ICONWARNING = 0x0030;
constexpr unsigned MB_ICONINFORMATION = 0x0040;
constexpr unsigned MB_TASKMODAL = 0x2000;
constexpr int IDOK = 1;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

enum class BoxOwner { Application, System };

struct BoxRequest {
  BoxOwner owner;
  std::string text;
  std::string caption;
  unsigned flags;
};

// Every box of the program goes through here; a responder set by a test
// answers instead of a modal window.
using BoxResponder = std::function<int(const BoxRequest&)>;
void SetBoxResponder(BoxResponder responder);

int ApplicationMessageBox(const std::string& text, const std::string& caption, unsigned flags);
int SystemMessageBox(const std::string& text, const std::string& caption, unsigned flags);

}  // namespace tavel::ui
