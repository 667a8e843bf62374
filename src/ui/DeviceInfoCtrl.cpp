#include "ui/DeviceInfoCtrl.h"

#include <QPainter>
#include <QSvgRenderer>
#include <algorithm>

#include "config/LanguageRes.h"
#include "platform/Text.h"
#include "summary/SummaryArt.h"
#include "ui/HyperLink.h"
#include "ui/TextRenderQt.h"

// The icons are compiled into this static library; nothing else refers to them, so they are
// registered by hand before the first control needs them.
static void InitSummaryIcons() {
  static const bool done = [] {
    Q_INIT_RESOURCE(SummaryIcons);
    return true;
  }();
  (void)done;
}

namespace korvane {
namespace {

constexpr int kBadgeWidth = 89;
constexpr int kIconSize = 64;

QColor Colour(std::uint32_t colorRef) { return ColourFromColorRef(colorRef); }

// The links' targets by their position: test now, go to comment, install driver.
constexpr const char* kLinkTargets[3] = {"app:TestNow_%d", "app:GotoComment_%d",
                                         "app:InstallDrive_%d"};

}  // namespace

QString SummaryIconResource(int icon) {
  static const char* kFiles[] = {"icon-cpu-b",     "icon-cpu-a",     "icon-mainboard",
                                 "icon-gpu-red",   "icon-gpu-green", "icon-disk",
                                 "icon-monitor",   "icon-memory",    "icon-gpu-other",
                                 "icon-cpu-other", "icon-network",   "icon-sound"};
  if (icon < 0 || icon >= 12) icon = summary::kIconCpuOther;
  return QStringLiteral(":/summary/%1.svg").arg(QLatin1String(kFiles[icon]));
}

QString SummaryLogoResource(int logo) {
  // One neutral glyph per processor family group; the bitmap ids of a group share it.
  if (logo >= 249 && logo <= 276) return QStringLiteral(":/summary/logo-group1.svg");
  if (logo == 284) return QStringLiteral(":/summary/logo-group1.svg");
  if (logo >= 225 && logo <= 247) return QStringLiteral(":/summary/logo-group2.svg");
  if (logo == 294 || logo == 295) return QStringLiteral(":/summary/logo-group2.svg");
  if (logo == 248) return QStringLiteral(":/summary/logo-group4.svg");
  if (logo >= 278 && logo <= 283) return QStringLiteral(":/summary/logo-group8.svg");
  return {};
}

CDeviceInfoCtrl::CDeviceInfoCtrl(QWidget* parent) : QWidget(parent) {
  InitSummaryIcons();
  setObjectName(QStringLiteral("DeviceInfoCtrl"));
  setAttribute(Qt::WA_OpaquePaintEvent, false);
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
  for (int i = 0; i < 3; ++i) {
    labels_[static_cast<std::size_t>(i)] = new QLabel(this);
    labels_[static_cast<std::size_t>(i)]->setAlignment(Qt::AlignCenter);
    labels_[static_cast<std::size_t>(i)]->setAttribute(Qt::WA_TranslucentBackground);
    auto* link = new CHyperLink2(this);
    link->Attach(labels_[static_cast<std::size_t>(i)]);
    links_[static_cast<std::size_t>(i)] = link;
    labels_[static_cast<std::size_t>(i)]->hide();
  }
  labels_[0]->setObjectName(QStringLiteral("testNowLink"));
  labels_[1]->setObjectName(QStringLiteral("commentLink"));
  labels_[2]->setObjectName(QStringLiteral("driverLink"));
  resize(600, 100);
}

CDeviceInfoCtrl::~CDeviceInfoCtrl() = default;

void CDeviceInfoCtrl::SetLinkTarget(platform::IMessageTarget* target) {
  for (auto* link : links_) link->SetParentTarget(target);
}

void CDeviceInfoCtrl::SetModel(const summary::DeviceInfoModel& model) {
  const bool rowsChanged = model.rows.size() != model_.rows.size();
  model_ = model;
  rows_.Clear();
  for (const auto& r : model_.rows) rows_.AddItem(r.value, r.key, r.label);
  const int key = model_.logo != 0 ? 1000 + model_.logo : model_.icon;
  if (key != pictureKey_) {
    pictureKey_ = key;
    QString file = model_.logo != 0 ? SummaryLogoResource(model_.logo) : QString();
    if (file.isEmpty()) file = SummaryIconResource(model_.icon);
    picture_ = std::make_unique<QSvgRenderer>(file);
  }
  UpdateLinks();
  if (rowsChanged) updateGeometry();
  update();
}

void CDeviceInfoCtrl::UpdateLinks() {
  const CLanguageRes& lang = LanguageRes();
  for (int i = 0; i < 3; ++i) {
    links_[static_cast<std::size_t>(i)]->SetCommandParameter(model_.category);
    links_[static_cast<std::size_t>(i)]->SetTarget(
        platform::Format(kLinkTargets[i], model_.category));
  }
  // Test now: the benchmark categories. Comment and driver: the score badge's label of the
  // other categories names them ("forum/driver"), split at its slash.
  const bool scoreBadge = model_.FindBadge(summary::kBadgeScore) != nullptr;
  const std::string testNow = scoreBadge ? summary::TestNowLinkText(model_, lang) : std::string();
  std::string comment, driver;
  if (testNow.empty() && model_.category != summary::kCategoryCpu &&
      model_.category != summary::kCategoryMemory) {
    if (const auto* badge = model_.FindBadge(summary::kBadgeScore)) {
      const auto slash = badge->label.find('/');
      comment = badge->label.substr(0, slash);
      if (slash != std::string::npos) driver = badge->label.substr(slash + 1);
    }
  }
  const std::string texts[3] = {testNow, comment, driver};
  for (int i = 0; i < 3; ++i) {
    QLabel* label = labels_[static_cast<std::size_t>(i)];
    label->setText(QString::fromStdString(texts[i]));
    label->setVisible(!texts[i].empty());
  }
  PlaceLinks();
}

CDeviceInfoCtrl::Columns CDeviceInfoCtrl::ColumnsFor(int width, int badges) {
  const int w1 = width >= 683 ? width - 363 : 320;
  const int w = std::clamp(((w1 * 5 - 80) * 4) / 100, 92, 180);
  Columns c{};
  c.labelLeft = 106;
  c.labelRight = 106 + w;
  c.valueLeft = w + 110;
  const int free = width - kBadgeWidth * badges;
  // The value column stops short of the badges; narrow controls keep a fixed column.
  c.valueRight = free >= 416 ? free - 6 : 530;
  return c;
}

int CDeviceInfoCtrl::PreferredHeight(int width) const {
  if (rows_.Count() == 0) return 116;
  CQtTextDevice device(font());
  const int h = LayRows(&device, width, false);
  return h >= 95 ? h + 21 : 116;
}

// Rows go label beside value, each as tall as its wrapped value, so a long value never pushes
// the labels below out of line. Returns the height of all rows.
int CDeviceInfoCtrl::LayRows(ITextDevice* device, int width, bool draw, QPainter* painter) const {
  const Columns c = ColumnsFor(width, static_cast<int>(model_.badges.size()));
  const CTextRender& render = rows_.Renderer();
  int y = 10;
  for (std::size_t i = 0; i < rows_.Count(); ++i) {
    const _TEXT_ITEM& item = rows_.Item(i);
    const TextRect label{c.labelLeft, y, c.labelRight, y + 4000};
    const TextRect value{c.valueLeft, y, c.valueRight, y + 4000};
    const int lineHeight = render.Measure(device, std::string_view("X"), label, TextRect{});
    int h = std::max(
        lineHeight, item.value.empty() ? 0 : render.Measure(device, item.value, value, TextRect{}));
    h = std::max(
        h, item.caption.empty() ? 0 : render.Measure(device, item.caption, label, TextRect{}));
    if (draw && painter != nullptr) {
      painter->setPen(QColor(90, 96, 104));
      if (!item.caption.empty()) render.Draw(device, item.caption, label, TextRect{});
      painter->setPen(Colour(summary::kTextColour));
      if (!item.value.empty()) render.Draw(device, item.value, value, TextRect{});
    }
    y += h;
  }
  return y - 10;
}

QSize CDeviceInfoCtrl::sizeHint() const {
  const int w = std::max(width(), 600);
  return {w, PreferredHeight(w)};
}

void CDeviceInfoCtrl::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  PlaceLinks();
}

void CDeviceInfoCtrl::PlaceLinks() {
  // Under the icon, one per line; the test link also sits under the score badge when the
  // control has one.
  int y = 10 + kIconSize + 4;
  for (int i = 0; i < 3; ++i) {
    QLabel* label = labels_[static_cast<std::size_t>(i)];
    if (label->isHidden()) continue;
    label->setGeometry(6, y, 96, 18);
    y += 18;
  }
}

void CDeviceInfoCtrl::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  const QRect client = rect();
  painter.fillRect(client, QColor(255, 255, 255));
  painter.setPen(QColor(222, 226, 230));
  painter.drawLine(client.bottomLeft(), client.bottomRight());

  if (picture_ && picture_->isValid())
    picture_->render(&painter, QRectF(22, 10, kIconSize, kIconSize));

  // Rows.
  painter.setFont(font());
  {
    CQtTextDevice dc(&painter);
    LayRows(&dc, client.width(), true, &painter);
  }

  // Badges, slot 0 rightmost.
  const int badges = static_cast<int>(model_.badges.size());
  const CLanguageRes& lang = LanguageRes();
  for (int i = 0; i < badges; ++i) {
    const auto& badge = model_.badges[static_cast<std::size_t>(i)];
    const QRect box(client.width() - kBadgeWidth * (i + 1) + 4, 10, kBadgeWidth - 8, 74);
    painter.setPen(QColor(214, 219, 224));
    painter.setBrush(QColor(247, 248, 250));
    painter.drawRoundedRect(box, 6, 6);
    QFont small = font();
    small.setPixelSize(11);
    painter.setFont(small);
    painter.setPen(QColor(90, 96, 104));
    painter.drawText(box.adjusted(2, 4, -2, 0), Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap,
                     QString::fromStdString(badge.label));
    const summary::BadgeView view = summary::ViewBadge(model_, badge.kind, lang);
    QFont big = font();
    big.setBold(true);
    big.setPixelSize(view.text.size() > 6 ? 12 : 16);
    painter.setFont(big);
    if (!view.text.empty()) {
      painter.setPen(Colour(view.colour));
      painter.drawText(box.adjusted(2, 28, -2, -20), Qt::AlignCenter | Qt::TextWordWrap,
                       QString::fromStdString(view.text));
    }
    if (!view.second.empty()) {
      big.setPixelSize(12);
      painter.setFont(big);
      painter.setPen(Colour(view.secondColour));
      painter.drawText(box.adjusted(2, 52, -2, -2), Qt::AlignCenter,
                       QString::fromStdString(view.second));
    }
  }
  painter.setFont(font());
}

}  // namespace korvane
