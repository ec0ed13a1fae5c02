#include "ui/widgets/form.h"

#include <QWidget>

namespace tavel::ui {

TForm::TForm(int clientWidth, int clientHeight, const std::string& caption)
    : window_(std::make_unique<QWidget>(nullptr, Qt::Window | Qt::MSWindowsFixedSizeDialogHint |
                                                     Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                                                     Qt::WindowCloseButtonHint)) {
  window_->setFixedSize(clientWidth, clientHeight);
  window_->setWindowTitle(QString::fromStdString(caption));
}

TForm::~TForm() = default;

void TForm::DestroyWindow() { window_.reset(); }

void TForm::SetCaption(const std::string& caption) {
  window_->setWindowTitle(QString::fromStdString(caption));
}
std::string TForm::Caption() const { return window_->windowTitle().toStdString(); }
int TForm::Top() const { return window_->frameGeometry().top(); }
int TForm::Left() const { return window_->frameGeometry().left(); }
void TForm::SetTop(int top) { window_->move(window_->frameGeometry().left(), top); }
void TForm::SetLeft(int left) { window_->move(left, window_->frameGeometry().top()); }
int TForm::Width() const { return window_->frameGeometry().width(); }
int TForm::Height() const { return window_->frameGeometry().height(); }
int TForm::ClientWidth() const { return window_->width(); }
int TForm::ClientHeight() const { return window_->height(); }

}  // namespace tavel::ui
