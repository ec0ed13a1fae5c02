#include "ui/widgets/message_box.h"

#include <QMessageBox>
#include <QString>

namespace tavel::ui {
namespace {

BoxResponder& Responder() {
  static BoxResponder responder;
  return responder;
}

QMessageBox::Icon IconOf(unsigned flags) {
  switch (flags & 0xF0) {
    case MB_ICONERROR: return QMessageBox::Critical;
    case MB_ICONWARNING: return QMessageBox::Warning;
    case MB_ICONINFORMATION: return QMessageBox::Information;
    default: return QMessageBox::NoIcon;
  }
}

int ShowModal(const BoxRequest& request) {
  const bool yesNo = (request.flags & 0x0F) == MB_YESNO;
  QMessageBox box(IconOf(request.flags), QString::fromStdString(request.caption),
                  QString::fromStdString(request.text),
                  yesNo ? (QMessageBox::Yes | QMessageBox::No) : QMessageBox::Ok);
  box.setWindowModality(Qt::ApplicationModal);
  const int pressed = box.exec();
  if (!yesNo) return IDOK;
  return pressed == QMessageBox::Yes ? IDYES : IDNO;
}

int Show(BoxOwner owner, const std::string& text, const std::string& caption, unsigned flags) {
  const BoxRequest request{owner, text, caption, flags};
  if (Responder()) return Responder()(request);
  return ShowModal(request);
}

}  // namespace

void SetBoxResponder(BoxResponder responder) { Responder() = std::move(responder); }

int ApplicationMessageBox(const std::string& text, const std::string& caption, unsigned flags) {
  return Show(BoxOwner::Application, text, caption, flags);
}

int SystemMessageBox(const std::string& text, const std::string& caption, unsigned flags) {
  return Show(BoxOwner::System, text, caption, flags);
}

}  // namespace tavel::ui
