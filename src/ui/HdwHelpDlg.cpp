#include "ui/HdwHelpDlg.h"

#include <QPainter>
#include <QPushButton>
#include <QResizeEvent>

#include "config/LanguageRes.h"
#include "ui/WebBrowser2.h"

namespace korvane {

namespace {

struct HelpButton {
  int textId;
  const char* program;     // nullptr: the button only opens its address
  const char* productKey;  // where the tool records its own path
  int addressId;
};

constexpr std::array<HelpButton, 5> kHelpButtons = {{
    {930, "qmdriver.exe", "QMDriver", 8100},
    {931, "qmupdate.exe", "QMUpdate", 8101},
    {932, nullptr, nullptr, 8102},
    {933, nullptr, nullptr, 8105},
    {934, nullptr, nullptr, 8106},
}};

constexpr int kStripPadding = 8;
constexpr int kCaptionHeight = 30;

}  // namespace

CBtnTabCtrl::CBtnTabCtrl(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("helpStrip"));
  setAttribute(Qt::WA_StyledBackground, true);
  setStyleSheet(QStringLiteral("#helpStrip { background: rgb(232,240,214); border-radius: 4px; }"
                               "#helpStrip QPushButton { background: rgb(96,134,34); color: white; "
                               "border: none; border-radius: 3px;"
                               " padding: %1px; text-align: left; }"
                               "#helpStrip QPushButton:hover { background: rgb(77,109,27); }"
                               "#helpStrip QPushButton:pressed { background: rgb(61,88,20); }")
                    .arg(kStripPadding));
}

int CBtnTabCtrl::AddButton(const QString& text) {
  auto* button = new QPushButton(text, this);
  const int index = Count();
  button->setObjectName(QStringLiteral("helpButton%1").arg(index));
  button->setCheckable(false);
  button->setFocusPolicy(Qt::NoFocus);  // no focus frame lingers on a clicked button
  button->setCursor(Qt::PointingHandCursor);
  connect(button, &QPushButton::clicked, this, [this, index] { emit Clicked(index); });
  buttons_.push_back(button);
  const int width = sizeHint().width() - 2 * kStripPadding;
  int y = kStripPadding;
  for (QPushButton* b : buttons_) {
    const QSize hint = b->sizeHint();
    b->setGeometry(kStripPadding, y, width, hint.height());
    y += hint.height() + kStripPadding;
  }
  return index;
}

QPushButton* CBtnTabCtrl::Button(int index) const {
  return index >= 0 && index < Count() ? buttons_[static_cast<std::size_t>(index)] : nullptr;
}

QSize CBtnTabCtrl::sizeHint() const {
  int width = 96;
  int height = kStripPadding;
  for (const QPushButton* b : buttons_) {
    width = std::max(width, b->sizeHint().width());
    height += b->sizeHint().height() + kStripPadding;
  }
  return {width + 2 * kStripPadding, height};
}

CHdwHelpBoard::CHdwHelpBoard(const QString& caption, QWidget* parent)
    : QWidget(parent), caption_(caption) {
  setObjectName(QStringLiteral("helpBoard"));
}

void CHdwHelpBoard::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing, true);
  const QRectF frame = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
  painter.setPen(QColor(160, 190, 110));
  painter.setBrush(QColor(247, 250, 240));
  painter.drawRoundedRect(frame, 5, 5);
  painter.setPen(Qt::NoPen);
  painter.setBrush(QColor(96, 134, 34));
  // Rounded at the top only: the lower half of the bar is squared off by a plain rectangle.
  painter.drawRoundedRect(QRectF(0, 0, width(), kCaptionHeight), 5, 5);
  painter.drawRect(QRectF(0, kCaptionHeight / 2.0, width(), kCaptionHeight / 2.0));
  QFont font = painter.font();
  font.setBold(true);
  painter.setFont(font);
  painter.setPen(Qt::white);
  painter.drawText(QRect(10, 0, width() - 20, kCaptionHeight), Qt::AlignVCenter | Qt::AlignLeft,
                   caption_);
}

CHdwHelpDlg::CHdwHelpDlg(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("helpPage"));
  strip_ = new CBtnTabCtrl(this);
  for (const HelpButton& b : kHelpButtons)
    strip_->AddButton(QString::fromStdString(LangText(b.textId)));
  connect(strip_, &CBtnTabCtrl::Clicked, this, &CHdwHelpDlg::RunButton);
  board_ = new CHdwHelpBoard(QString::fromStdString(LangText(950)), this);
  browser_ = new CWebBrowser2(board_);
  browser_->resize(300, 200);
  browser_->Navigate(BuiltInPageUrl(QStringLiteral("ABOUT.HTM")));
  LayOut();
}

void CHdwHelpDlg::RunButton(int index) {
  if (index < 0 || index >= static_cast<int>(kHelpButtons.size())) return;
  const HelpButton& b = kHelpButtons[static_cast<std::size_t>(index)];
  ILinkOpener& opener = opener_ != nullptr ? *opener_ : DesktopLinkOpener();
  const std::string address = LangText(b.addressId);
  bool started = false;
  if (b.program != nullptr) {
    ProgramPlaces places = places_;
    places.productKey = b.productKey;
    started = LaunchProgramOrOpen(b.program, address, places, opener).Started();
  } else {
    // Nothing is shown when the page cannot be opened: the button simply does nothing.
    started = OpenLinkTarget(address, opener).opened;
  }
  emit ButtonRan(index, started);
}

void CHdwHelpDlg::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  LayOut();
}

void CHdwHelpDlg::LayOut() {
  const int stripWidth = strip_->sizeHint().width();
  const int innerHeight = std::max(0, height() - 2 * kMargin);
  strip_->setGeometry(kMargin, kMargin, stripWidth, innerHeight);
  const int boardX = kMargin + stripWidth + kMargin;
  board_->setGeometry(boardX, kMargin, std::max(0, width() - boardX - kMargin), innerHeight);
  browser_->setGeometry(3, kCaptionHeight + 3, std::max(0, board_->width() - 6),
                        std::max(0, board_->height() - 36));
}

}  // namespace korvane
