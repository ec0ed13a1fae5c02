#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QWidget;
class QPushButton;
class QToolButton;
class QLineEdit;
class QLabel;
class QCheckBox;
class QComboBox;
class QPlainTextEdit;
class QProgressBar;
class QTabWidget;
class QTimer;

namespace tavel::ui {

// Base of everything that can send an event; handlers compare senders by address.
class TObject {
 public:
  virtual ~TObject() = default;
};

using Handler = std::function<void()>;

struct Rect {
  int left;
  int top;
  int width;
  int height;
};

// A control placed on a parent widget: enabled, visible, hint, place.
class TControl : public TObject {
 public:
  void SetEnabled(bool enabled);
  bool Enabled() const;
  void SetVisible(bool visible);
  bool Visible() const;
  void SetHint(const std::string& hint);
  std::string Hint() const;
  Rect Place() const;
  QWidget* Widget() const { return widget_; }

 protected:
  void Attach(QWidget* widget, const Rect& place);
  QWidget* widget_ = nullptr;
};

class TButton : public TControl {
 public:
  TButton(QWidget* parent, const Rect& place, const std::string& caption);
  void SetCaption(const std::string& caption);
  std::string Caption() const;
  void Click();
  Handler OnClick;

 private:
  QPushButton* button_;
};

class TSpeedButton : public TControl {
 public:
  TSpeedButton(QWidget* parent, const Rect& place, const std::string& caption);
  std::string Caption() const;
  void Click();
  Handler OnClick;

 private:
  QToolButton* button_;
};

class TLabel : public TControl {
 public:
  TLabel(QWidget* parent, const Rect& place, const std::string& caption, bool autoSize);
  void SetCaption(const std::string& caption);
  std::string Caption() const;

 private:
  QLabel* label_;
  bool autoSize_;
};

class TEdit : public TControl {
 public:
  TEdit(QWidget* parent, const Rect& place, const std::string& text);
  void SetText(const std::string& text);
  std::string Text() const;
  Handler OnChange;

 protected:
  QLineEdit* edit_;
};

// An edit field with its caption label 3 pixels above it.
class TLabeledEdit : public TEdit {
 public:
  TLabeledEdit(QWidget* parent, const Rect& place, const std::string& label, const std::string& text);
  void SetLabelCaption(const std::string& caption);
  std::string LabelCaption() const;
  void SetVisible(bool visible);
  QLabel* LabelWidget() const { return label_; }

 private:
  QLabel* label_;
};

class TCheckBox : public TControl {
 public:
  TCheckBox(QWidget* parent, const Rect& place, const std::string& caption, bool checked,
            int fontPoints = 8, bool autoWidth = false);
  void SetCaption(const std::string& caption);
  std::string Caption() const;
  bool Checked() const;
  void SetChecked(bool checked);
  Handler OnClick;

 private:
  QCheckBox* box_;
  bool autoWidth_ = false;
};

// A drop-down list with an editable text. OnChange runs for the operator's
// choices and typing, never for the program's own changes.
class TComboBox : public TControl {
 public:
  TComboBox(QWidget* parent, const Rect& place, const std::vector<std::string>& items);
  void Clear();
  void AddItem(const std::string& item);
  int ItemCount() const;
  std::string Item(int index) const;
  int ItemIndex() const;
  void SetItemIndex(int index);
  std::string Text() const;
  void SetText(const std::string& text);
  void ChooseByOperator(int index);
  Handler OnChange;

 private:
  QComboBox* combo_;
};

class TMemo : public TControl {
 public:
  TMemo(QWidget* parent, const Rect& place);
  void AddLine(const std::string& line);
  void Clear();
  std::vector<std::string> Lines() const;

 private:
  QPlainTextEdit* memo_;
  std::vector<std::string> lines_;
};

class TProgressBar : public TControl {
 public:
  TProgressBar(QWidget* parent, const Rect& place, int position);
  void SetPosition(int position);
  int Position() const;

 private:
  QProgressBar* bar_;
};

class TSplitter : public TControl {
 public:
  TSplitter(QWidget* parent, const Rect& place);
};

class LedWidget;

// The rectangular loader indicator with its centre text.
class TLed : public TControl {
 public:
  TLed(QWidget* parent, const Rect& place, const std::string& text);
  void SetActive(bool lit);
  bool Active() const;
  void SetCentreText(const std::string& text);
  std::string CentreText() const;

 private:
  LedWidget* led_;
};

class TTabSheet;

class TPageControl : public TControl {
 public:
  TPageControl(QWidget* parent, const Rect& place);
  QWidget* AddPage(TTabSheet& sheet, const std::string& caption);
  void SetPageCaption(const TTabSheet& sheet, const std::string& caption);
  std::string PageCaption(const TTabSheet& sheet) const;
  // A page without a tab cannot be shown by anything.
  void SetTabShown(const TTabSheet& sheet, bool shown);
  bool TabShown(const TTabSheet& sheet) const;
  int ShownTabCount() const;
  void SetActivePage(const TTabSheet& sheet);
  const TTabSheet* ActivePage() const;

 private:
  int IndexOf(const TTabSheet& sheet) const;
  QTabWidget* tabs_;
  std::vector<TTabSheet*> sheets_;
};

class TTabSheet : public TControl {
 public:
  TTabSheet(TPageControl& pages, const std::string& caption);
  QWidget* Page() const { return widget_; }
};

// A message-driven timer. Setting Interval or Enabled to the value it holds
// changes nothing; a new interval on a running timer starts a new period.
// Its handler may open a modal box, and ticks go on inside that box's loop.
class TTimer : public TObject {
 public:
  explicit TTimer(int interval);
  ~TTimer() override;
  void SetInterval(int interval);
  int Interval() const { return interval_; }
  void SetEnabled(bool enabled);
  bool Enabled() const { return enabled_; }
  Handler OnTimer;

 private:
  QTimer& TimerAtDepth(std::size_t depth);
  void StopFrom(std::size_t depth);
  void Fire(std::size_t depth);

  int interval_;
  bool enabled_ = false;
  std::size_t depth_ = 0;  // handlers of this timer now running
  std::vector<std::unique_ptr<QTimer>> timers_;
};

// The open-file dialog; a test can answer it instead of a modal window.
class TOpenDialog : public TObject {
 public:
  explicit TOpenDialog(std::string filter) : filter_(std::move(filter)) {}
  bool Execute();
  std::string FileName() const { return fileName_; }
  const std::string& Filter() const { return filter_; }

 private:
  std::string filter_;
  std::string fileName_;
};

using OpenDialogResponder = std::function<std::optional<std::string>(const std::string& filter)>;
void SetOpenDialogResponder(OpenDialogResponder responder);

}  // namespace tavel::ui
