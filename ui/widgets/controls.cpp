#include "ui/widgets/controls.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>

#include "ui/widgets/application.h"

namespace tavel::ui {
namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }
std::string S(const QString& text) { return text.toStdString(); }

QFont FontOfPoints(int points, bool bold = false) {
  QFont font = TApplication::DefaultFont();
  font.setPixelSize(points == 8 ? 11 : 13);
  font.setBold(bold);
  return font;
}

}  // namespace

void TControl::Attach(QWidget* widget, const Rect& place) {
  widget_ = widget;
  widget_->setGeometry(place.left, place.top, place.width, place.height);
}

void TControl::SetEnabled(bool enabled) { widget_->setEnabled(enabled); }
bool TControl::Enabled() const { return !widget_->testAttribute(Qt::WA_ForceDisabled); }
void TControl::SetVisible(bool visible) { widget_->setVisible(visible); }
bool TControl::Visible() const { return !widget_->isHidden(); }
void TControl::SetHint(const std::string& hint) { widget_->setToolTip(Q(hint)); }
std::string TControl::Hint() const { return S(widget_->toolTip()); }
Rect TControl::Place() const {
  const QRect g = widget_->geometry();
  return {g.x(), g.y(), g.width(), g.height()};
}

TButton::TButton(QWidget* parent, const Rect& place, const std::string& caption)
    : button_(new QPushButton(Q(caption), parent)) {
  Attach(button_, place);
  button_->setAutoDefault(false);
  QObject::connect(button_, &QPushButton::clicked, [this] { RunHandler(OnClick); });
}
void TButton::SetCaption(const std::string& caption) { button_->setText(Q(caption)); }
std::string TButton::Caption() const { return S(button_->text()); }
void TButton::Click() { button_->click(); }

TSpeedButton::TSpeedButton(QWidget* parent, const Rect& place, const std::string& caption)
    : button_(new QToolButton(parent)) {
  Attach(button_, place);
  button_->setAutoRaise(true);
  if (caption.empty()) {
    button_->setIcon(TApplication::SearchIcon());
  } else {
    button_->setText(Q(caption));
  }
  QObject::connect(button_, &QToolButton::clicked, [this] { RunHandler(OnClick); });
}
std::string TSpeedButton::Caption() const { return S(button_->text()); }
void TSpeedButton::Click() { button_->click(); }

TLabel::TLabel(QWidget* parent, const Rect& place, const std::string& caption, bool autoSize)
    : label_(new QLabel(Q(caption), parent)), autoSize_(autoSize) {
  Attach(label_, place);
  if (autoSize_) label_->adjustSize();
}
void TLabel::SetCaption(const std::string& caption) {
  label_->setText(Q(caption));
  if (autoSize_) label_->adjustSize();
}
std::string TLabel::Caption() const { return S(label_->text()); }

TEdit::TEdit(QWidget* parent, const Rect& place, const std::string& text)
    : edit_(new QLineEdit(Q(text), parent)) {
  Attach(edit_, place);
  QObject::connect(edit_, &QLineEdit::textChanged, [this] { RunHandler(OnChange); });
}
void TEdit::SetText(const std::string& text) { edit_->setText(Q(text)); }
std::string TEdit::Text() const { return S(edit_->text()); }

TLabeledEdit::TLabeledEdit(QWidget* parent, const Rect& place, const std::string& label,
                           const std::string& text)
    : TEdit(parent, place, text), label_(new QLabel(Q(label), parent)) {
  label_->adjustSize();
  label_->move(place.left, place.top - label_->height() - 3);
  label_->setBuddy(edit_);
}
void TLabeledEdit::SetLabelCaption(const std::string& caption) {
  label_->setText(Q(caption));
  label_->adjustSize();
  label_->move(edit_->x(), edit_->y() - label_->height() - 3);
}
std::string TLabeledEdit::LabelCaption() const { return S(label_->text()); }
void TLabeledEdit::SetVisible(bool visible) {
  TEdit::SetVisible(visible);
  label_->setVisible(visible);
}

TCheckBox::TCheckBox(QWidget* parent, const Rect& place, const std::string& caption, bool checked,
                     int fontPoints, bool autoWidth)
    : box_(new QCheckBox(Q(caption), parent)) {
  Attach(box_, place);
  box_->setChecked(checked);
  if (fontPoints != 8) box_->setFont(FontOfPoints(fontPoints));
  autoWidth_ = autoWidth;
  QObject::connect(box_, &QCheckBox::toggled, [this] { RunHandler(OnClick); });
}
// The skinned boxes size themselves to their caption; the width given is the least.
void TCheckBox::SetCaption(const std::string& caption) {
  box_->setText(Q(caption));
  if (autoWidth_) box_->resize(std::max(box_->width(), box_->sizeHint().width()), box_->height());
}
std::string TCheckBox::Caption() const { return S(box_->text()); }
bool TCheckBox::Checked() const { return box_->isChecked(); }
void TCheckBox::SetChecked(bool checked) { box_->setChecked(checked); }

TComboBox::TComboBox(QWidget* parent, const Rect& place, const std::vector<std::string>& items)
    : combo_(new QComboBox(parent)) {
  Attach(combo_, place);
  combo_->setEditable(true);
  combo_->setInsertPolicy(QComboBox::NoInsert);
  for (const auto& item : items) combo_->addItem(Q(item));
  combo_->setCurrentIndex(-1);
  QObject::connect(combo_, &QComboBox::activated, [this] { RunHandler(OnChange); });
  QObject::connect(combo_->lineEdit(), &QLineEdit::textEdited, [this] { RunHandler(OnChange); });
}
void TComboBox::Clear() {
  combo_->clear();
  combo_->clearEditText();
}
void TComboBox::AddItem(const std::string& item) {
  const int keep = combo_->currentIndex();
  combo_->addItem(Q(item));
  combo_->setCurrentIndex(keep);
}
int TComboBox::ItemCount() const { return combo_->count(); }
std::string TComboBox::Item(int index) const { return S(combo_->itemText(index)); }
int TComboBox::ItemIndex() const {
  const int index = combo_->currentIndex();
  if (index < 0 || combo_->currentText() != combo_->itemText(index)) return -1;
  return index;
}
void TComboBox::SetItemIndex(int index) {
  combo_->setCurrentIndex(index);
  if (index < 0) combo_->clearEditText();
}
std::string TComboBox::Text() const { return S(combo_->currentText()); }
void TComboBox::SetText(const std::string& text) { combo_->setEditText(Q(text)); }
void TComboBox::ChooseByOperator(int index) {
  combo_->setCurrentIndex(index);
  emit combo_->activated(index);
}

TMemo::TMemo(QWidget* parent, const Rect& place) : memo_(new QPlainTextEdit(parent)) {
  Attach(memo_, place);
  memo_->setReadOnly(true);
  memo_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  memo_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  memo_->setStyleSheet("QPlainTextEdit { background: white; color: black; }");
}
void TMemo::AddLine(const std::string& line) {
  lines_.push_back(line);
  memo_->appendPlainText(Q(line));
}
void TMemo::Clear() {
  lines_.clear();
  memo_->clear();
}
std::vector<std::string> TMemo::Lines() const { return lines_; }

TProgressBar::TProgressBar(QWidget* parent, const Rect& place, int position)
    : bar_(new QProgressBar(parent)) {
  Attach(bar_, place);
  bar_->setRange(0, 100);
  bar_->setValue(position);
  bar_->setTextVisible(false);
}
void TProgressBar::SetPosition(int position) { bar_->setValue(position); }
int TProgressBar::Position() const { return bar_->value(); }

TSplitter::TSplitter(QWidget* parent, const Rect& place) {
  auto* line = new QFrame(parent);
  line->setFrameShape(QFrame::HLine);
  line->setFrameShadow(QFrame::Sunken);
  Attach(line, place);
}

class LedWidget : public QWidget {
 public:
  explicit LedWidget(QWidget* parent) : QWidget(parent) {}
  bool lit = false;
  QString text;

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    const QColor litFill(0x00, 0x51, 0x53);
    const QColor darkFill(0x00, 0x51 / 3, 0x53 / 3);
    const QRect area = rect();
    painter.fillRect(area, lit ? litFill : darkFill);
    painter.setPen(QColor(0x80, 0x80, 0x80));  // lowered bevel: shadow top-left
    painter.drawLine(area.topLeft(), area.topRight());
    painter.drawLine(area.topLeft(), area.bottomLeft());
    painter.setPen(Qt::white);
    painter.drawLine(area.bottomLeft(), area.bottomRight());
    painter.drawLine(area.topRight(), area.bottomRight());
    painter.setFont(FontOfPoints(8, true));
    painter.setPen(lit ? QColor(0x00, 0xFF, 0xFF) : QColor(0x00, 0x48, 0x48));
    painter.drawText(area, Qt::AlignCenter, text);
  }
};

TLed::TLed(QWidget* parent, const Rect& place, const std::string& text) : led_(new LedWidget(parent)) {
  Attach(led_, place);
  led_->text = Q(text);
}
void TLed::SetActive(bool lit) {
  if (led_->lit == lit) return;
  led_->lit = lit;
  led_->update();
}
bool TLed::Active() const { return led_->lit; }
void TLed::SetCentreText(const std::string& text) {
  led_->text = Q(text);
  led_->update();
}
std::string TLed::CentreText() const { return S(led_->text); }

TPageControl::TPageControl(QWidget* parent, const Rect& place) : tabs_(new QTabWidget(parent)) {
  Attach(tabs_, place);
}
QWidget* TPageControl::AddPage(TTabSheet& sheet, const std::string& caption) {
  auto* page = new QWidget;
  tabs_->addTab(page, Q(caption));
  sheets_.push_back(&sheet);
  return page;
}
int TPageControl::IndexOf(const TTabSheet& sheet) const {
  for (std::size_t i = 0; i < sheets_.size(); ++i) {
    if (sheets_[i] == &sheet) return static_cast<int>(i);
  }
  return -1;
}
void TPageControl::SetPageCaption(const TTabSheet& sheet, const std::string& caption) {
  tabs_->setTabText(IndexOf(sheet), Q(caption));
}
std::string TPageControl::PageCaption(const TTabSheet& sheet) const {
  return S(tabs_->tabText(IndexOf(sheet)));
}
void TPageControl::SetTabShown(const TTabSheet& sheet, bool shown) {
  tabs_->setTabVisible(IndexOf(sheet), shown);
}
bool TPageControl::TabShown(const TTabSheet& sheet) const { return tabs_->isTabVisible(IndexOf(sheet)); }
int TPageControl::ShownTabCount() const {
  int shown = 0;
  for (int i = 0; i < tabs_->count(); ++i) shown += tabs_->isTabVisible(i) ? 1 : 0;
  return shown;
}
void TPageControl::SetActivePage(const TTabSheet& sheet) { tabs_->setCurrentIndex(IndexOf(sheet)); }
const TTabSheet* TPageControl::ActivePage() const {
  const int index = tabs_->currentIndex();
  return index < 0 ? nullptr : sheets_[static_cast<std::size_t>(index)];
}

TTabSheet::TTabSheet(TPageControl& pages, const std::string& caption) {
  widget_ = pages.AddPage(*this, caption);
}

TTimer::TTimer(int interval) : interval_(interval) {}
TTimer::~TTimer() = default;

QTimer& TTimer::TimerAtDepth(std::size_t depth) {
  while (timers_.size() <= depth) {
    const std::size_t level = timers_.size();
    auto timer = std::make_unique<QTimer>();
    timer->setTimerType(Qt::PreciseTimer);
    QObject::connect(timer.get(), &QTimer::timeout, [this, level] { Fire(level); });
    timers_.push_back(std::move(timer));
  }
  return *timers_[depth];
}

void TTimer::StopFrom(std::size_t depth) {
  for (std::size_t i = depth; i < timers_.size(); ++i) timers_[i]->stop();
}

// Qt does not re-enter a timer whose tick is still running, so a tick that
// opens a modal box lets a timer one level deeper carry on ticking inside it.
void TTimer::Fire(std::size_t depth) {
  if (!enabled_ || depth != depth_) return;
  ++depth_;
  TimerAtDepth(depth_).start(interval_);
  RunHandler(OnTimer);
  StopFrom(depth_);
  --depth_;
  if (enabled_ && !TimerAtDepth(depth_).isActive()) TimerAtDepth(depth_).start(interval_);
}

void TTimer::SetInterval(int interval) {
  if (interval == interval_) return;
  interval_ = interval;
  if (enabled_) TimerAtDepth(depth_).start(interval_);
}

void TTimer::SetEnabled(bool enabled) {
  if (enabled == enabled_) return;
  enabled_ = enabled;
  if (enabled_) {
    TimerAtDepth(depth_).start(interval_);
  } else {
    StopFrom(0);
  }
}

namespace {
OpenDialogResponder& DialogResponder() {
  static OpenDialogResponder responder;
  return responder;
}

// "Name|*.ext|Name|*.*" to Qt's "Name (*.ext);;Name (*.*)".
QString QtFilterOf(const std::string& filter) {
  const QStringList parts = Q(filter).split('|');
  QStringList choices;
  for (int i = 0; i + 1 < parts.size(); i += 2) choices << parts[i] + " (" + parts[i + 1] + ")";
  return choices.join(";;");
}
}  // namespace

void SetOpenDialogResponder(OpenDialogResponder responder) { DialogResponder() = std::move(responder); }

bool TOpenDialog::Execute() {
  std::optional<std::string> chosen;
  if (DialogResponder()) {
    chosen = DialogResponder()(filter_);
  } else {
    const QString path = QFileDialog::getOpenFileName(nullptr, QString(), QString(), QtFilterOf(filter_));
    if (!path.isEmpty()) chosen = S(path);
  }
  if (!chosen) return false;
  fileName_ = *chosen;
  return true;
}

}  // namespace tavel::ui
