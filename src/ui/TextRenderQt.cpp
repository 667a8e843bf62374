#include "ui/TextRenderQt.h"

#include <QPainter>
#include <QString>

namespace korvane {

namespace {

QString ToQString(std::u16string_view text) {
  return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

std::size_t StyleIndex(const TextStyle& style) {
  return (style.weight >= 700 ? 1u : 0u) | (style.italic ? 2u : 0u) | (style.underline ? 4u : 0u);
}

}  // namespace

CQtTextDevice::CQtTextDevice(QPainter* painter) : painter_(painter), base_(painter->font()) {}

CQtTextDevice::CQtTextDevice(const QFont& font) : base_(font) {}

CQtTextDevice::~CQtTextDevice() = default;

void CQtTextDevice::BeginPass() {
  if (painter_ == nullptr || painter_->font() == base_) return;
  base_ = painter_->font();
  for (auto& m : metrics_) m.reset();
}

void CQtTextDevice::EndPass() {
  if (painter_ != nullptr) painter_->setFont(base_);
}

QFont CQtTextDevice::StyledFont(const QFont& base, const TextStyle& style) {
  QFont font(base);
  font.setWeight(style.weight >= 700 ? QFont::Bold : QFont::Normal);
  font.setItalic(style.italic);
  font.setUnderline(style.underline);
  return font;
}

const QFontMetrics& CQtTextDevice::Metrics(const TextStyle& style) {
  std::optional<QFontMetrics>& slot = metrics_[StyleIndex(style)];
  if (!slot) {
    // The painter's device decides the logical resolution; its pixel ratio does not change
    // the metrics, so the layout is the same at a ratio of 1 and 2.
    const QFont font = StyledFont(base_, style);
    if (painter_ != nullptr && painter_->device() != nullptr) {
      slot.emplace(font, painter_->device());
    } else {
      slot.emplace(font);
    }
  }
  return *slot;
}

int CQtTextDevice::TextWidth(std::u16string_view text, const TextStyle& style) {
  return Metrics(style).horizontalAdvance(ToQString(text));
}

int CQtTextDevice::TextHeight(const TextStyle& style) { return Metrics(style).height(); }

void CQtTextDevice::DrawRun(int x, int y, std::u16string_view text, const TextStyle& style) {
  if (painter_ == nullptr) return;
  painter_->setFont(StyledFont(base_, style));
  painter_->drawText(x, y + Metrics(style).ascent(), ToQString(text));
}

}  // namespace korvane
