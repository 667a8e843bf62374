#include "ui/SummaryHeader.h"

#include <QEvent>
#include <QFontMetrics>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <algorithm>
#include <cmath>

#include "config/LanguageRes.h"
#include "ui/HyperLink.h"
#include "ui/TextRenderQt.h"

namespace korvane {
namespace {

QFont HeaderFont(int pixelSize, bool bold, bool antialiased) {
  QFont font;
  // Tahoma where it is installed; otherwise the desktop's sans face at the same pixel size.
  font.setFamilies({QStringLiteral("Tahoma"), QStringLiteral("DejaVu Sans"),
                    QStringLiteral("Noto Sans CJK SC"), QStringLiteral("WenQuanYi Micro Hei")});
  font.setStyleHint(QFont::SansSerif);
  font.setPixelSize(pixelSize);
  font.setBold(bold);
  if (antialiased) font.setStyleStrategy(QFont::PreferAntialias);
  return font;
}

QRect ToQRect(const summary::HeaderRect& r) { return QRect(r.left, r.top, r.Width(), r.Height()); }

QPainterPath StarPath(const QRectF& box) {
  const QPointF centre = box.center() + QPointF(0, box.height() * 0.04);
  const qreal outer = std::min(box.width(), box.height()) * 0.5 - 1.0;
  const qreal inner = outer * 0.45;
  QPainterPath path;
  for (int i = 0; i < 10; ++i) {
    const qreal radius = i % 2 == 0 ? outer : inner;
    const qreal angle = -M_PI / 2 + i * M_PI / 5;
    const QPointF p = centre + QPointF(std::cos(angle) * radius, std::sin(angle) * radius);
    if (i == 0) {
      path.moveTo(p);
    } else {
      path.lineTo(p);
    }
  }
  path.closeSubpath();
  return path;
}

}  // namespace

void PaintComputerPicture(QPainter& p, const QRectF& box) {
  p.save();
  p.setRenderHint(QPainter::Antialiasing);
  p.translate(box.topLeft());
  p.scale(box.width() / 100.0, box.height() / 100.0);

  // The tower behind the screen.
  QLinearGradient towerFill(62, 0, 96, 0);
  towerFill.setColorAt(0, QColor(0xE9, 0xEC, 0xEF));
  towerFill.setColorAt(1, QColor(0xB9, 0xC0, 0xC8));
  p.setPen(QPen(QColor(0x6B, 0x74, 0x7E), 1.2));
  p.setBrush(towerFill);
  p.drawRoundedRect(QRectF(62, 16, 32, 76), 3, 3);
  p.setPen(QPen(QColor(0x8A, 0x93, 0x9C), 1.0));
  for (qreal y : {26.0, 32.0}) p.drawLine(QPointF(76, y), QPointF(90, y));
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0x3C, 0xC0, 0x5A));
  p.drawEllipse(QPointF(86, 82), 2.2, 2.2);

  // The screen: a dark frame, a blue glass with a soft reflection.
  p.setPen(QPen(QColor(0x2A, 0x31, 0x3A), 1.2));
  p.setBrush(QColor(0x3A, 0x44, 0x50));
  p.drawRoundedRect(QRectF(4, 12, 68, 52), 4, 4);
  QLinearGradient glass(0, 16, 0, 60);
  glass.setColorAt(0, QColor(0x6F, 0xB8, 0xF0));
  glass.setColorAt(1, QColor(0x1E, 0x5C, 0xA6));
  p.setPen(Qt::NoPen);
  p.setBrush(glass);
  p.drawRect(QRectF(8, 16, 60, 42));
  QPainterPath shine;
  shine.moveTo(8, 16);
  shine.lineTo(46, 16);
  shine.lineTo(20, 58);
  shine.lineTo(8, 58);
  shine.closeSubpath();
  p.setBrush(QColor(255, 255, 255, 40));
  p.drawPath(shine);

  // Neck and foot.
  p.setBrush(QColor(0x55, 0x5F, 0x6A));
  p.drawRect(QRectF(33, 64, 10, 12));
  QLinearGradient foot(0, 76, 0, 84);
  foot.setColorAt(0, QColor(0x6A, 0x74, 0x7F));
  foot.setColorAt(1, QColor(0x3E, 0x46, 0x50));
  p.setBrush(foot);
  p.drawRoundedRect(QRectF(20, 76, 36, 7), 3, 3);

  // A keyboard in front.
  p.setPen(QPen(QColor(0x6B, 0x74, 0x7E), 1.0));
  p.setBrush(QColor(0xDD, 0xE1, 0xE5));
  QPainterPath keys;
  keys.moveTo(10, 96);
  keys.lineTo(16, 87);
  keys.lineTo(62, 87);
  keys.lineTo(66, 96);
  keys.closeSubpath();
  p.drawPath(keys);
  p.restore();
}

void PaintBadgeBackground(QPainter& p, const QRectF& box) {
  p.save();
  p.setRenderHint(QPainter::Antialiasing);
  const QRectF frame = box.adjusted(0.75, 0.75, -0.75, -0.75);
  QLinearGradient fill(frame.topLeft(), frame.bottomLeft());
  fill.setColorAt(0, QColor(0xFF, 0xFF, 0xFF));
  fill.setColorAt(1, QColor(0xE3, 0xF1, 0xDC));
  p.setPen(QPen(QColor(0x9C, 0xC6, 0x8A), 1.5));
  p.setBrush(fill);
  p.drawRoundedRect(frame, 8, 8);
  // A thin light line inside the frame gives the badge its raised edge.
  p.setPen(QPen(QColor(255, 255, 255, 200), 1.0));
  p.setBrush(Qt::NoBrush);
  p.drawRoundedRect(frame.adjusted(1.5, 1.5, -1.5, -1.5), 6.5, 6.5);
  p.restore();
}

void PaintStar(QPainter& p, const QRectF& box, bool full) {
  p.save();
  p.setRenderHint(QPainter::Antialiasing);
  const QPainterPath star = StarPath(box);
  QLinearGradient fill(box.topLeft(), box.bottomLeft());
  if (full) {
    fill.setColorAt(0, QColor(0xFF, 0xDC, 0x5A));
    fill.setColorAt(1, QColor(0xF2, 0xA1, 0x1C));
    p.setPen(QPen(QColor(0xC7, 0x7E, 0x0A), 1.0));
  } else {
    fill.setColorAt(0, QColor(0xF2, 0xF2, 0xF2));
    fill.setColorAt(1, QColor(0xD2, 0xD5, 0xD8));
    p.setPen(QPen(QColor(0xA8, 0xAD, 0xB2), 1.0));
  }
  p.setBrush(fill);
  p.drawPath(star);
  p.restore();
}

void PaintStarRow(QPainter& p, QPointF topLeft, const summary::StarRow& row) {
  using summary::kStarSize;
  for (int i = 0; i < summary::kStarCount; ++i) {
    PaintStar(p, QRectF(topLeft.x() + i * kStarSize, topLeft.y(), kStarSize, kStarSize),
              i < row.full);
  }
  if (row.full < summary::kStarCount && row.partialWidth > 0) {
    const QRectF box(topLeft.x() + row.full * kStarSize, topLeft.y(), kStarSize, kStarSize);
    p.save();
    p.setClipRect(QRectF(box.left(), box.top(), row.partialWidth, kStarSize));
    PaintStar(p, box, true);
    p.restore();
  }
}

CSummaryHeaderCtrl::CSummaryHeaderCtrl(const summary::CSummaryHeader& header, QWidget* parent)
    : QWidget(parent), header_(header) {
  setObjectName(QStringLiteral("summaryHeader"));
  setFixedHeight(summary::kSummaryHeaderHeight);
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
  infoFont_ = HeaderFont(14, false, false);
  captionFont_ = HeaderFont(14, true, false);
  scoreFont_ = HeaderFont(46, true, true);
  zeroFont_ = HeaderFont(60, true, true);

  updateLabel_ = new QLabel(this);
  updateLabel_->setObjectName(QStringLiteral("updateScoreLink"));
  updateLabel_->setFont(HeaderFont(12, true, false));
  updateLabel_->setAttribute(Qt::WA_TranslucentBackground);
  updateLink_ = new CHyperLink2(this);
  updateLink_->Attach(updateLabel_);
  updateLink_->SetTarget("app:UpdateScore");

  // Submitting is the benchmark page's work; this link only answers to its command.
  submitLabel_ = new QLabel(this);
  submitLabel_->setObjectName(QStringLiteral("submitScoreLink"));
  submitLink_ = new CHyperLink2(this);
  submitLink_->Attach(submitLabel_);
  submitLink_->SetTarget("app:SubmitScore");
  submitLink_->SetText(LangText(512));
  submitLink_->Show(false);

  SystemInfoChanged();
  ScoreChanged();
}

CSummaryHeaderCtrl::~CSummaryHeaderCtrl() = default;

void CSummaryHeaderCtrl::SetLinkTarget(platform::IMessageTarget* target) {
  updateLink_->SetParentTarget(target);
  submitLink_->SetParentTarget(target);
}

void CSummaryHeaderCtrl::SystemInfoChanged() {
  info_.Clear();
  for (const auto& row : header_.Rows(LanguageRes())) info_.AddItem(row.value, row.key, row.label);
  RenderInformation(devicePixelRatioF());
  update();
}

void CSummaryHeaderCtrl::RenderInformation(qreal ratio) {
  CQtTextDevice measure(infoFont_);
  const TextRect area{0, 0, summary::kInfoBitmapWidth, 4096};
  infoHeight_ = std::max(0, info_.MeasureValues(&measure, &area));
  if (infoHeight_ <= 0) {
    infoPicture_ = QPixmap();
    return;
  }
  // Drawn once at the screen's pixel ratio, so copying it is as sharp as drawing the text.
  QPixmap picture(QSize(summary::kInfoBitmapWidth, infoHeight_) * ratio);
  picture.setDevicePixelRatio(ratio);
  picture.fill(Qt::transparent);
  {
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setFont(infoFont_);
    painter.setPen(ColourFromColorRef(summary::kHeaderInfoColour));
    CQtTextDevice device(&painter);
    const TextRect block{0, 0, summary::kInfoBitmapWidth, infoHeight_};
    info_.DrawValues(&device, &block);
  }
  infoPicture_ = picture;
}

QSize CSummaryHeaderCtrl::InformationSize() const {
  return infoHeight_ > 0 ? QSize(summary::kInfoBitmapWidth, infoHeight_) : QSize();
}

void CSummaryHeaderCtrl::ScoreChanged() {
  updateLink_->SetText(LangText(summary::UpdateLinkTextId(header_.OverallScore())));
  PlaceLink();
  update();
}

void CSummaryHeaderCtrl::PlaceLink() {
  QFont font = updateLabel_->font();
  font.setUnderline(true);
  const QFontMetrics metrics(font);
  const QString text = QString::fromStdString(updateLink_->Text());
  const int w = metrics.horizontalAdvance(text) + 4;
  const int h = metrics.height() + 2;
  const auto layout = summary::LayOutHeader(width());
  updateLabel_->setGeometry(layout.linkCentreX - w / 2, layout.linkBottom - h, w, h);
}

QSize CSummaryHeaderCtrl::sizeHint() const { return {600, summary::kSummaryHeaderHeight}; }
QSize CSummaryHeaderCtrl::minimumSizeHint() const { return {0, summary::kSummaryHeaderHeight}; }

void CSummaryHeaderCtrl::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  PlaceLink();
}

void CSummaryHeaderCtrl::paintEvent(QPaintEvent* /*event*/) {
  // A move to a screen of another pixel ratio re-renders the block at the new one.
  if (!infoPicture_.isNull() && infoPicture_.devicePixelRatio() != devicePixelRatioF()) {
    RenderInformation(devicePixelRatioF());
  }
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  p.setRenderHint(QPainter::TextAntialiasing);
  const auto l = summary::LayOutHeader(width());
  p.fillRect(rect(), palette().color(QPalette::Window));
  PaintComputerPicture(p, ToQRect(l.picture));
  PaintBadgeBackground(p, ToQRect(l.badge));
  const float score = header_.OverallScore();
  PaintStarRow(p, QPointF(l.stars.left, l.stars.top), summary::StarsFor(score));

  if (!infoPicture_.isNull()) {
    p.save();
    p.setClipRect(ToQRect(l.info));
    p.drawPixmap(QPoint(l.info.left, l.info.top), infoPicture_);
    p.restore();
  }

  p.setFont(captionFont_);
  p.setPen(ColourFromColorRef(summary::kHeaderCaptionColour));
  p.drawText(ToQRect(l.caption), Qt::AlignCenter | Qt::TextSingleLine,
             QString::fromStdString(LangText(summary::kTextScoreCaption)));

  const summary::ScoreFace face = summary::ScoreFaceFor(score);
  const QFont& font = face.noScore ? zeroFont_ : scoreFont_;
  const QString text = QString::fromStdString(face.text);
  const QFontMetrics metrics(font);
  // The line sits on the bottom of its box, one pixel above the edge. Faces with a taller
  // ascent than the badge was made for would push the big "0" into the caption: then the
  // number moves down just enough to clear it, never below the box.
  const QRect ink = metrics.tightBoundingRect(text);
  int baseline = l.score.bottom - 1 - metrics.descent();
  const int clear = l.caption.bottom + 2;
  if (baseline + ink.top() < clear) {
    baseline = std::min(clear - ink.top(), l.score.bottom - 1 - ink.bottom());
  }
  const int left = (l.score.left + l.score.right - metrics.horizontalAdvance(text)) / 2;
  p.setFont(font);
  p.setPen(ColourFromColorRef(summary::kHeaderScoreColour));
  p.drawText(QPoint(left, baseline), text);
}

}  // namespace korvane
