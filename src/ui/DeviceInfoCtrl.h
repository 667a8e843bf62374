#pragma once
// One device on the summary page: its icon or processor logo, its labelled rows drawn by the
// panel text renderer, up to three badges on the right and the page links. What it shows is
// composed by the summary logic; this widget lays it out and paints it.
#include <QLabel>
#include <QWidget>
#include <array>
#include <memory>

#include "summary/SummaryModel.h"
#include "ui/logic/TextRender.h"

class QPainter;
class QSvgRenderer;
namespace platform {
class IMessageTarget;
}

namespace korvane {

class CHyperLink2;

// The SVG resource of a category icon or of a processor logo bitmap id.
QString SummaryIconResource(int icon);
QString SummaryLogoResource(int logoBitmap);

class CDeviceInfoCtrl : public QWidget {
  Q_OBJECT

 public:
  explicit CDeviceInfoCtrl(QWidget* parent = nullptr);
  ~CDeviceInfoCtrl() override;

  // Takes the rows, badges and badge values; repaints.
  void SetModel(const summary::DeviceInfoModel& model);
  const summary::DeviceInfoModel& Model() const { return model_; }
  const CTextAreaRender& Rows() const { return rows_; }
  // Where the links' "app:" commands go.
  void SetLinkTarget(platform::IMessageTarget* target);
  CHyperLink2* TestNowLink() const { return links_[0]; }
  CHyperLink2* CommentLink() const { return links_[1]; }
  CHyperLink2* DriverLink() const { return links_[2]; }

  // Row columns for a client width and a number of badges shown.
  struct Columns {
    int labelLeft, labelRight, valueLeft, valueRight;
  };
  static Columns ColumnsFor(int width, int badges);
  // Rows' drawn height + 21 when that is at least 95, else 116.
  int PreferredHeight(int width) const;
  QSize sizeHint() const override;
  bool hasHeightForWidth() const override { return true; }
  int heightForWidth(int width) const override { return PreferredHeight(width); }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void PlaceLinks();
  void UpdateLinks();
  int LayRows(ITextDevice* device, int width, bool draw, QPainter* painter = nullptr) const;

  summary::DeviceInfoModel model_;
  CTextAreaRender rows_;
  std::unique_ptr<QSvgRenderer> picture_;
  int pictureKey_ = -1;
  std::array<QLabel*, 3> labels_{};
  std::array<CHyperLink2*, 3> links_{};
};

}  // namespace korvane
