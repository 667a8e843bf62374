#pragma once
// The header above the summary panes: a computer picture, the system information block and the
// score badge with its stars and the update-score link. It sits at the top of the panes'
// scrolling area, so it scrolls with them. What it shows comes from summary::CSummaryHeader.
#include <QFont>
#include <QPixmap>
#include <QWidget>

#include "summary/SummaryHeader.h"
#include "ui/logic/TextRender.h"

class QLabel;
class QPainter;
namespace platform {
class IMessageTarget;
}

namespace korvane {

class CHyperLink2;

// The header's pictures, drawn as vector art so they stay sharp at any pixel ratio.
void PaintComputerPicture(QPainter& painter, const QRectF& box);
void PaintBadgeBackground(QPainter& painter, const QRectF& box);
// A whole or an empty star filling box.
void PaintStar(QPainter& painter, const QRectF& box, bool full);
// The seven stars of a row starting at topLeft, the partial star clipped over the first empty.
void PaintStarRow(QPainter& painter, QPointF topLeft, const summary::StarRow& row);

class CSummaryHeaderCtrl : public QWidget {
  Q_OBJECT

 public:
  CSummaryHeaderCtrl(const summary::CSummaryHeader& header, QWidget* parent = nullptr);
  ~CSummaryHeaderCtrl() override;

  // Where the links' "app:" commands go.
  void SetLinkTarget(platform::IMessageTarget* target);
  // The system information was (re)read: rebuilds the information picture.
  void SystemInfoChanged();
  // A score arrived: the link's text and the badge follow it.
  void ScoreChanged();

  CHyperLink2* UpdateScoreLink() const { return updateLink_; }
  CHyperLink2* SubmitScoreLink() const { return submitLink_; }
  const CTextAreaRender& Information() const { return info_; }
  // The information block as last rendered (logical pixels: 800 wide, as tall as its text).
  QSize InformationSize() const;

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void RenderInformation(qreal pixelRatio);
  void PlaceLink();

  const summary::CSummaryHeader& header_;
  CTextAreaRender info_;
  QPixmap infoPicture_;
  int infoHeight_ = 0;
  QFont infoFont_;
  QFont captionFont_;
  QFont scoreFont_;
  QFont zeroFont_;
  QLabel* updateLabel_ = nullptr;
  QLabel* submitLabel_ = nullptr;
  CHyperLink2* updateLink_ = nullptr;
  CHyperLink2* submitLink_ = nullptr;
};

}  // namespace korvane
