#include "ui/HyperLink.h"

#include <QApplication>
#include <QEnterEvent>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QWheelEvent>
#include <mutex>

#include "config/Product.h"
#include "platform/MessageBox.h"
#include "platform/Process.h"
#include "ui/logic/OpenTarget.h"

namespace korvane {

namespace {

// The window text a link draws when it has no text of its own is cut like a 64-unit buffer.
constexpr int kWindowTextDrawn = 64;

QString FromUtf8(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::mutex& ColoursMutex() {
  static std::mutex mutex;
  return mutex;
}
LinkColours& SharedColours() {
  static LinkColours colours;
  return colours;
}

}  // namespace

QColor ColourFromColorRef(std::uint32_t colorRef) {
  return QColor(static_cast<int>(colorRef & 0xFFu), static_cast<int>((colorRef >> 8) & 0xFFu),
                static_cast<int>((colorRef >> 16) & 0xFFu));
}

// ---------------------------------------------------------------------------------------------
// CHyperLink2

CHyperLink2::CHyperLink2(QObject* owner)
    : QObject(owner),
      opener_([](std::string_view target) { return platform::ShellOpen(target); }) {}

CHyperLink2::~CHyperLink2() { Detach(); }

void CHyperLink2::SetOpener(Opener opener) {
  opener_ = opener ? std::move(opener)
                   : Opener([](std::string_view target) { return platform::ShellOpen(target); });
}

int CHyperLink2::Attach(QLabel* label) {
  if (label == nullptr || !label_.isNull()) return 0;
  label_ = label;
  font_ = label->font();
  font_.setUnderline(true);
  hadOwnCursor_ = label->testAttribute(Qt::WA_SetCursor);
  oldCursor_ = label->cursor();
  label->setCursor(Qt::PointingHandCursor);
  label->setAttribute(Qt::WA_Hover, true);
  label->installEventFilter(this);
  // A label that goes away takes the link's hold on it along; the owner may outlive it.
  destroyedConnection_ = connect(label, &QObject::destroyed, this, [this] { Forget(); });
  label->update();
  return 1;
}

void CHyperLink2::Forget() {
  disconnect(destroyedConnection_);
  label_.clear();
  hover_ = false;
  text_.clear();
  target_.clear();
}

QLabel* CHyperLink2::Detach() {
  QLabel* label = label_.data();
  if (label != nullptr) {
    label->removeEventFilter(this);
    if (hadOwnCursor_) {
      label->setCursor(oldCursor_);
    } else {
      label->unsetCursor();
    }
    label->update();
  }
  Forget();
  return label;
}

int CHyperLink2::SetText(std::string_view utf8) {
  if (!LinkTextFits(utf8)) return 0;
  text_ = std::string(utf8);
  if (label_ != nullptr) {
    if ((options_ & kLinkAutoSize) != 0) AutoSize();
    label_->update();
  }
  return 1;
}

int CHyperLink2::SetTarget(std::string_view utf8) {
  if (!LinkTargetFits(utf8)) return 0;
  target_ = std::string(utf8);
  return 1;
}

int CHyperLink2::Show(bool show) {
  if (label_ == nullptr) return 0;
  label_->setVisible(show);
  return 1;
}

int CHyperLink2::Move(const QRect& geometry) {
  if (label_ == nullptr) return 0;
  label_->setGeometry(geometry);
  return 1;
}

int CHyperLink2::Invalidate() {
  if (label_ == nullptr) return 0;
  label_->update();
  return 1;
}

int CHyperLink2::IsVisible() const { return label_ != nullptr && label_->isVisible() ? 1 : 0; }

int CHyperLink2::Centre() {
  if (label_ == nullptr) return 0;
  label_->setAlignment(Qt::AlignCenter);
  return 1;
}

QString CHyperLink2::DisplayText() const {
  if (!text_.empty()) return FromUtf8(text_);
  return label_ != nullptr ? label_->text().left(kWindowTextDrawn) : QString();
}

void CHyperLink2::SetHover(bool hover) {
  if (hover_ == hover) return;
  hover_ = hover;
  if (label_ != nullptr) label_->update();
}

void CHyperLink2::Click() {
  if (label_ == nullptr) return;
  const LinkClick click = ClassifyLinkClick(target_, label_->text().toStdString());
  switch (click.kind) {
    case LinkClick::kOpen:
      // As a shell call would, a failed open here stays silent; the full fallback belongs to
      // CHyperLink.
      opener_(click.target);
      break;
    case LinkClick::kCommand:
      if (label_->parentWidget() != nullptr) {
        DispatchAppCommand(click.command, parentTarget_, commandParameter_);
      }
      break;
    case LinkClick::kNothing:
      break;
  }
}

void CHyperLink2::AutoSize() {
  QLabel* label = label_.data();
  const QFontMetrics metrics(font_);
  const QString text = DisplayText();
  const QRect old = label->geometry();
  const QRect inner = label->contentsRect();
  const Qt::Alignment alignment = label->alignment();
  unsigned align = 0;
  if (alignment & Qt::AlignHCenter) align |= kLinkAlignCentre;
  if (alignment & Qt::AlignRight) align |= kLinkAlignRight;
  if (alignment & Qt::AlignVCenter) align |= kLinkAlignVCentre;
  const LinkRect r =
      AutoSizeLinkRect({old.left(), old.top(), old.left() + old.width(), old.top() + old.height()},
                       metrics.horizontalAdvance(text), metrics.height(),
                       old.width() - inner.width(), old.height() - inner.height(), align);
  label->setGeometry(r.left, r.top, r.right - r.left, r.bottom - r.top);
}

bool CHyperLink2::eventFilter(QObject* watched, QEvent* event) {
  QLabel* label = label_.data();
  if (label == nullptr || watched != label) return QObject::eventFilter(watched, event);
  switch (event->type()) {
    case QEvent::Paint: {
      QPainter painter(label);
      painter.setFont(font_);
      painter.setPen(hover_ ? HoverColour() : NormalColour());
      painter.drawText(label->contentsRect(), Qt::AlignCenter | Qt::TextSingleLine, DisplayText());
      return true;
    }
    case QEvent::Enter:
    case QEvent::HoverEnter:
      SetHover(true);
      break;
    case QEvent::Leave:
    case QEvent::HoverLeave:
      SetHover(false);
      break;
    case QEvent::MouseMove: {
      const auto* move = static_cast<QMouseEvent*>(event);
      SetHover(label->rect().contains(move->position().toPoint()));
      break;
    }
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
      if (static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) return true;
      break;
    case QEvent::MouseButtonRelease:
      if (static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        Click();
        return true;
      }
      break;
    case QEvent::FontChange:
      font_ = label->font();
      font_.setUnderline(true);
      break;
    default:
      break;
  }
  return QObject::eventFilter(watched, event);
}

// ---------------------------------------------------------------------------------------------
// CHyperLink

CHyperLink::CHyperLink(QWidget* parent) : QLabel(parent) { ApplyOptions(); }

CHyperLink::CHyperLink(const QString& text, QWidget* parent) : QLabel(text, parent) {
  ApplyOptions();
}

void CHyperLink::SetColours(const LinkColours& colours) {
  std::lock_guard<std::mutex> lock(ColoursMutex());
  SharedColours() = colours;
}

LinkColours CHyperLink::Colours() {
  std::lock_guard<std::mutex> lock(ColoursMutex());
  return SharedColours();
}

void CHyperLink::SetOptions(unsigned options) {
  options_ = options;
  ApplyOptions();
}

void CHyperLink::ApplyOptions() {
  // The font follows the parent's, with the underline the options ask for.
  QFont f = parentWidget() != nullptr ? parentWidget()->font() : font();
  f.setUnderline((options_ & kLinkUnderline) != 0);
  setFont(f);
  if ((options_ & kLinkNoHandCursor) != 0) {
    unsetCursor();
  } else {
    setCursor(Qt::PointingHandCursor);
  }
  setFocusPolicy((options_ & kLinkFocusOnClick) != 0 ? Qt::StrongFocus : Qt::NoFocus);
  setAutoFillBackground(false);
  ApplyColour();
  AutoSize();
}

QColor CHyperLink::CurrentColour() const {
  const LinkColours colours = Colours();
  switch (ChooseLinkColour(options_, hover_, clicked_, visited_)) {
    case LinkColour::kHover:
      return ColourFromColorRef(colours.hover);
    case LinkColour::kFocus:
      return ColourFromColorRef(colours.focus);
    case LinkColour::kVisited:
      return ColourFromColorRef(colours.visited);
    case LinkColour::kLink:
      break;
  }
  return ColourFromColorRef(colours.link);
}

void CHyperLink::ApplyColour() {
  QPalette pal = palette();
  const QColor colour = CurrentColour();
  if (pal.color(QPalette::WindowText) == colour) return;
  pal.setColor(QPalette::WindowText, colour);
  setPalette(pal);
}

void CHyperLink::AutoSize() {
  if ((options_ & kLinkAutoSize) != 0) adjustSize();
}

void CHyperLink::SetTarget(std::string_view utf8) {
  // Only a link on screen is hidden while it changes; hiding one whose window is not shown
  // yet would keep it hidden for good.
  const bool shown = isVisible();
  if (shown) hide();
  target_ = std::string(utf8);
  AutoSize();
  setToolTip(FromUtf8(target_));
  if (shown) show();
}

void CHyperLink::SetLinkText(const QString& text) {
  setText(text);
  AutoSize();
}

int CHyperLink::OpenTarget() {
  const std::string target = target_.empty() ? text().toStdString() : target_;
  if (target.empty()) return 0;
  const OpenTargetResult result =
      OpenLinkTarget(target, opener_ != nullptr ? *opener_ : DesktopLinkOpener());
  if (!result.opened) {
    QApplication::beep();
    platform::ShowMessageBox(OpenLinkFailureText(result.code), kProductName,
                             platform::kMbIconWarning);
    return 0;
  }
  visited_ = true;
  ApplyColour();
  update();
  return 1;
}

void CHyperLink::enterEvent(QEnterEvent* event) {
  hover_ = true;
  ApplyColour();
  QLabel::enterEvent(event);
}

void CHyperLink::leaveEvent(QEvent* event) {
  hover_ = false;
  ApplyColour();
  QLabel::leaveEvent(event);
}

void CHyperLink::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return QLabel::mousePressEvent(event);
  if ((options_ & kLinkFocusOnClick) != 0) setFocus(Qt::MouseFocusReason);
  if ((options_ & kLinkOpenOnClick) != 0) OpenTarget();
  clicked_ = true;
  ApplyColour();
  event->accept();
}

void CHyperLink::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return QLabel::mouseReleaseEvent(event);
  if (clicked_ && (options_ & kLinkOpenOnClick) == 0) OpenTarget();
  event->accept();
}

void CHyperLink::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Space) {
    OpenTarget();
    event->accept();
    return;
  }
  QLabel::keyPressEvent(event);
}

// ---------------------------------------------------------------------------------------------

bool WheelScroll(QScrollBar* bar, const QWheelEvent* event) {
  if (bar == nullptr || event == nullptr) return false;
  const int delta = event->angleDelta().y();
  if (delta == 0) return false;
  bar->setValue(WheelScrollPosition(bar->value(), delta, QApplication::wheelScrollLines(),
                                    bar->pageStep(), bar->minimum(), bar->maximum()));
  return true;
}

}  // namespace korvane
