#pragma once

#include <memory>
#include <string>

#include "ui/widgets/controls.h"

class QWidget;

namespace tavel::ui {

// A fixed-size top-level window with a title bar and close box only.
class TForm : public TObject {
 public:
  TForm(int clientWidth, int clientHeight, const std::string& caption);
  ~TForm() override;
  void SetCaption(const std::string& caption);
  std::string Caption() const;
  int Top() const;
  int Left() const;
  void SetTop(int top);
  void SetLeft(int left);
  int Width() const;   // outer size, frame included where the platform knows it
  int Height() const;
  int ClientWidth() const;
  int ClientHeight() const;
  QWidget* Window() const { return window_.get(); }

 protected:
  void DestroyWindow();

 private:
  std::unique_ptr<QWidget> window_;
};

}  // namespace tavel::ui
