#include "ui/QMUpdateWnd.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>
#include <QTimerEvent>

#include "config/LanguageRes.h"
#include "platform/Text.h"
#include "ui/HyperLink.h"
#include "ui/QtMessageTarget.h"

namespace korvane {
namespace {

constexpr std::uint32_t kStripBrush = 0x535353;
constexpr std::uint32_t kPaintedBackground = 0xFFFFFF;
constexpr std::uint32_t kTopLine = 0xE0E0E0;
constexpr std::uint32_t kMainText = 0x109966;
constexpr std::uint32_t kCountText = 0x0000FF;
constexpr int kTextLeft = 45;
constexpr int kLinkGap = 12;
constexpr QRect kPictureRect(4, 6, 32, 32);

QString Text(int id) { return QString::fromStdString(LangText(id)); }

}  // namespace

QPixmap UpdateToolIcon() {
  QPixmap pm(32, 32);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  // A shield with a downward arrow: "updates to fetch".
  QPainterPath shield;
  shield.moveTo(16, 1);
  shield.lineTo(29, 6);
  shield.cubicTo(29, 19, 23, 27, 16, 31);
  shield.cubicTo(9, 27, 3, 19, 3, 6);
  shield.closeSubpath();
  p.fillPath(shield, ColourFromColorRef(kMainText));
  p.setPen(QPen(Qt::white, 3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.drawLine(16, 8, 16, 21);
  p.drawPolyline(QPolygon({QPoint(10, 16), QPoint(16, 22), QPoint(22, 16)}));
  return pm;
}

CScanAnimation::CScanAnimation(QWidget* parent) : QWidget(parent) {
  setObjectName("qmupdateAnimation");
  setAttribute(Qt::WA_TransparentForMouseEvents);
  timer_ = startTimer(80);
}

void CScanAnimation::timerEvent(QTimerEvent* event) {
  if (event->timerId() != timer_) return;
  frame_ = (frame_ + 1) % 12;
  update();
}

void CScanAnimation::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  p.translate(width() / 2.0, height() / 2.0);
  const QColor base = ColourFromColorRef(kMainText);
  for (int i = 0; i < 12; ++i) {
    QColor c = base;
    c.setAlpha(40 + ((i + 12 - frame_) % 12) * 18);
    p.setPen(QPen(c, 3, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(0, -8), QPointF(0, -14));
    p.rotate(30);
  }
}

CQMUpdateWnd::CQMUpdateWnd(QWidget* parent, CQMUpdateLogic::Clock clock, UpdateToolStarter starter)
    : QWidget(parent), logic_(std::move(clock), std::move(starter)) {
  setObjectName("QMUpdateWnd");
  setAttribute(Qt::WA_OpaquePaintEvent, false);
  QPalette pal = palette();
  pal.setColor(QPalette::Window, ColourFromColorRef(kStripBrush));
  setPalette(pal);
  setAutoFillBackground(true);
  setCursor(Qt::ArrowCursor);
  msgStartScan_ = platform::RegisterWindowMessage(kMsgNameStartScan);
  msgEndScan_ = platform::RegisterWindowMessage(kMsgNameEndScan);
  target_ = std::make_unique<CQtMessageTarget>(
      this, [this](std::uint32_t msg, platform::WParam w, platform::LParam l) {
        return HandleMessage(msg, w, l);
      });
  mainFont_ = font();
  mainFont_.setPixelSize(13);
  countFont_ = mainFont_;
  countFont_.setBold(true);
  countFont_.setPixelSize(15);
}

CQMUpdateWnd::~CQMUpdateWnd() {
  subscription_.reset();  // no broadcast may arrive while the window goes
  if (logic_.State() == CQMUpdateLogic::kScanning || logic_.State() == CQMUpdateLogic::kScanEnded) {
    logic_.Stop();
  }
  if (timerId_ != 0) killTimer(timerId_);
}

bool CQMUpdateWnd::Create(QWidget* parent, const QRect& rect) {
  if (parent != nullptr && parentWidget() != parent) setParent(parent);
  setGeometry(rect);
  icon_ = UpdateToolIcon();
  countLabel_ = new QLabel(QStringLiteral("0"), this);
  countLabel_->setObjectName("qmupdateCount");
  countLabel_->hide();
  actionLabel_ = new QLabel(Text(kTextRescan), this);
  actionLabel_->setObjectName("qmupdateAction");
  actionLabel_->setFont(mainFont_);
  actionLabel_->hide();
  countLink_ = new CHyperLink2(this);
  countLink_->Attach(countLabel_);
  actionLink_ = new CHyperLink2(this);
  actionLink_->Attach(actionLabel_);
  actionLink_->SetTarget("app:JumpToQMUpdate");
  actionLink_->SetParentTarget(target_.get());
  logic_.OnCreate();
  Sync();
  return true;
}

void CQMUpdateWnd::SetActive(bool active) {
  active_ = active;
  Sync();
}

platform::IMessageTarget* CQMUpdateWnd::MessageTarget() const { return target_.get(); }

platform::LParam CQMUpdateWnd::HandleMessage(std::uint32_t msg, platform::WParam,
                                             platform::LParam lParam) {
  if (msg == kMsgJumpToQMUpdate) {
    logic_.OnAction();
    Sync();
    return 1;
  }
  if (msg != 0 && msg == msgStartScan_) return OnBroadcast(kMsgNameStartScan, lParam) ? 1 : 0;
  if (msg != 0 && msg == msgEndScan_) return OnBroadcast(kMsgNameEndScan, lParam) ? 1 : 0;
  return 0;
}

bool CQMUpdateWnd::OnBroadcast(std::string_view name, platform::LParam lParam) {
  const bool starts = platform::EqualsIgnoreCase(name, kMsgNameStartScan);
  if (!logic_.OnBroadcast(name, lParam)) return false;
  if (starts) {
    // A new scan: a fresh picture and a fresh timer, so the limits count from now.
    delete animation_.data();
    if (timerId_ != 0) killTimer(timerId_);
    timerId_ = 0;
  }
  Sync();
  return true;
}

bool CQMUpdateWnd::ListenToBroadcasts() {
  if (subscription_) return true;
  auto sub = std::make_unique<platform::BroadcastSubscription>();
  QPointer<CQMUpdateWnd> self(this);
  const bool ok = sub->Start([self](const platform::BroadcastEvent& e) {
    if (!platform::EqualsIgnoreCase(e.name, kMsgNameStartScan) &&
        !platform::EqualsIgnoreCase(e.name, kMsgNameEndScan)) {
      return;
    }
    CQMUpdateWnd* window = self.data();
    if (window == nullptr) return;
    QMetaObject::invokeMethod(
        window,
        [self, name = e.name, l = e.lParam] {
          if (self) self->OnBroadcast(name, l);
        },
        Qt::QueuedConnection);
  });
  if (!ok) return false;
  subscription_ = std::move(sub);
  return true;
}

void CQMUpdateWnd::timerEvent(QTimerEvent* event) {
  if (event->timerId() != timerId_) return;
  logic_.OnTimer(kUpdateTimerId);
  Sync();
}

void CQMUpdateWnd::Sync() {
  if (logic_.TimerRunning() && timerId_ == 0)
    timerId_ = startTimer(static_cast<int>(kUpdateTimerPeriodMs));
  if (!logic_.TimerRunning() && timerId_ != 0) {
    killTimer(timerId_);
    timerId_ = 0;
  }
  if (logic_.AnimationShown() && !animation_) {
    animation_ = new CScanAnimation(this);
    animation_->setGeometry(kPictureRect);
    animation_->show();
    animation_->repaint();
  } else if (!logic_.AnimationShown() && animation_) {
    animation_->hide();
    delete animation_.data();
  }
  PlaceActionLink();
  update();
}

void CQMUpdateWnd::PlaceActionLink() {
  const QFontMetrics fm(mainFont_);
  int right = kTextLeft;
  if (logic_.ShowsCount()) {
    right += fm.horizontalAdvance(Text(kTextFoundBefore));
    right += QFontMetrics(countFont_).horizontalAdvance(QString::number(logic_.Count()));
    right += fm.horizontalAdvance(Text(kTextFoundAfter));
  } else {
    right += fm.horizontalAdvance(Text(logic_.MainTextId()));
  }
  mainTextRight_ = right;
  if (actionLink_ == nullptr || !active_) return;
  // The link draws its own text; the label carries the same for its size and for readers.
  const std::string text = LangText(logic_.ActionTextId());
  actionLabel_->setText(QString::fromStdString(text));
  actionLink_->SetText(text);
  actionLabel_->adjustSize();
  const int h = actionLabel_->height();
  actionLabel_->move(right + kLinkGap, (height() - h) / 2);
  if (!actionLabel_->isVisible()) actionLabel_->show();
}

void CQMUpdateWnd::paintEvent(QPaintEvent*) {
  if (!active_) return;
  // Drawn into a buffer first, as the strip is repainted twice a second while scanning.
  QPixmap buffer(size());
  buffer.fill(ColourFromColorRef(kPaintedBackground));
  {
    QPainter p(&buffer);
    p.setPen(ColourFromColorRef(kTopLine));
    if (width() >= 3) p.drawLine(1, 0, width() - 2, 0);
    if (!logic_.Scanning()) p.drawPixmap(kPictureRect, icon_);
    const QRect line(kTextLeft, 0, qMax(0, width() - kTextLeft), height());
    const int flags = Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine;
    p.setPen(ColourFromColorRef(kMainText));
    p.setFont(mainFont_);
    if (!logic_.ShowsCount()) {
      p.drawText(line, flags, Text(logic_.MainTextId()));
    } else {
      QRect r = line;
      const QString before = Text(kTextFoundBefore);
      p.drawText(r, flags, before);
      r.setLeft(r.left() + QFontMetrics(mainFont_).horizontalAdvance(before));
      const QString count = QString::number(logic_.Count());
      p.setPen(ColourFromColorRef(kCountText));
      p.setFont(countFont_);
      p.drawText(r, flags, count);
      r.setLeft(r.left() + QFontMetrics(countFont_).horizontalAdvance(count));
      p.setPen(ColourFromColorRef(kMainText));
      p.setFont(mainFont_);
      p.drawText(r, flags, Text(kTextFoundAfter));
    }
  }
  QPainter out(this);
  out.drawPixmap(0, 0, buffer);
}

}  // namespace korvane
