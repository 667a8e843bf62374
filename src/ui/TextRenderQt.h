#pragma once
// The panel text renderer on a QPainter: runs are measured with QFontMetrics and drawn with
// the painter's font made bold, italic or underlined as the markup says. Everything is in
// device-independent pixels, so the text is laid out alike and drawn sharp at any device
// pixel ratio.
//
//   QPainter painter(this);
//   painter.setPen(textColour);
//   CQtTextDevice dc(&painter);
//   area.DrawValues(&dc, &rect);   // CTextAreaRender, see ui/logic/TextRender.h
#include <QFont>
#include <QFontMetrics>
#include <QRect>
#include <array>
#include <optional>

#include "ui/logic/TextRender.h"

class QPainter;

namespace korvane {

class CQtTextDevice final : public ITextDevice {
 public:
  // The painter's font at the start of each pass is the base of that pass's runs; it is the
  // painter's font again after the pass.
  explicit CQtTextDevice(QPainter* painter);
  // Measuring only (for sizing before any painting).
  explicit CQtTextDevice(const QFont& font);
  ~CQtTextDevice() override;
  CQtTextDevice(const CQtTextDevice&) = delete;
  CQtTextDevice& operator=(const CQtTextDevice&) = delete;

  int TextWidth(std::u16string_view text, const TextStyle& style) override;
  int TextHeight(const TextStyle& style) override;
  void DrawRun(int x, int y, std::u16string_view text, const TextStyle& style) override;
  void BeginPass() override;
  void EndPass() override;

  static QFont StyledFont(const QFont& base, const TextStyle& style);

 private:
  const QFontMetrics& Metrics(const TextStyle& style);

  QPainter* painter_ = nullptr;
  QFont base_;
  // One set of metrics per weight/italic/underline combination, made on first use.
  std::array<std::optional<QFontMetrics>, 8> metrics_;
};

inline TextRect ToTextRect(const QRect& r) {
  return {r.left(), r.top(), r.left() + r.width(), r.top() + r.height()};
}

}  // namespace korvane
