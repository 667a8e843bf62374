#include "ui/Pages.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QResizeEvent>
#include <QVBoxLayout>

#include "config/LanguageRes.h"
#include "config/Product.h"
#include "ui/StartPanel.h"

namespace korvane {

CHdwScanDlg::CHdwScanDlg(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("testPage"));
  groupTabs_ = new QTabBar(this);
  groupTabs_->setObjectName(QStringLiteral("testGroupTabs"));
  groupTabs_->setShape(QTabBar::RoundedWest);
  groupTabs_->addTab(QString::fromStdString(LangText(811)));
  groupTabs_->addTab(QString::fromStdString(LangText(812)));
  board_ = new CHdwBenchBoard(this);
  board_->SetRunStateListener(
      [this](platform::WParam running) { HandleBoardMessage(kBoardRunStateMessage, running, 0); });
  connect(groupTabs_, &QTabBar::currentChanged, this,
          [this](int index) { OnGroupTabClicked(index); });
  SelectTestGroup(0);
}

void CHdwScanDlg::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  const QSize tabs = groupTabs_->sizeHint();
  groupTabs_->setGeometry(0, 0, tabs.width(), std::min(tabs.height(), height()));
  board_->setGeometry(tabs.width(), 0, std::max(0, width() - tabs.width()), height());
}

int CHdwScanDlg::FindTestGroup(int key) const { return FindTestGroupRule(*this, key); }

int CHdwScanDlg::SelectTestGroup(int index) { return SelectTestGroupRule(*this, selected_, index); }

void CHdwScanDlg::SetGroupsLocked(bool locked) {
  locked_ = locked;
  groupTabs_->setEnabled(!locked);
}

bool CHdwScanDlg::HandleBoardMessage(std::uint32_t msg, platform::WParam wParam, platform::LParam) {
  if (msg != kBoardRunStateMessage) return false;
  SetGroupsLocked(wParam != 0);
  return true;
}

bool CHdwScanDlg::BoardLive() const { return board_ != nullptr; }
void CHdwScanDlg::ShowGroupOnBoard(int index) {
  boardGroup_ = index;
  board_->SelectGroup(index);
}

void CHdwScanDlg::SelectGroupTab(int index) {
  selectingTab_ = true;
  groupTabs_->setCurrentIndex(index);
  selectingTab_ = false;
}

void CHdwScanDlg::Repaint() { update(); }

void CHdwScanDlg::OnGroupTabClicked(int index) {
  if (selectingTab_ || index < 0) return;
  if (locked_) {
    // A run is going on: the tab goes back to the running group.
    SelectGroupTab(selected_);
    return;
  }
  if (index != selected_) SelectTestGroup(index);
}

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("aboutBox"));
  const QString title =
      QStringLiteral("%1 %2").arg(QLatin1String(kProductName), QLatin1String(kProductVersion));
  setWindowTitle(title);
  auto* layout = new QVBoxLayout(this);
  auto* name = new QLabel(QStringLiteral("<b>%1</b>").arg(title), this);
  auto* detail =
      new QLabel(QStringLiteral("Version %1").arg(QLatin1String(kProductVersionLong)), this);
  layout->addWidget(name);
  layout->addWidget(detail);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  layout->addWidget(buttons);
}

}  // namespace korvane
