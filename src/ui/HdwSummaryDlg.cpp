#include "ui/HdwSummaryDlg.h"

#include <QCoreApplication>
#include <QScrollArea>
#include <QUrl>
#include <QVBoxLayout>
#include <chrono>
#include <cmath>
#include <future>

#include "config/LanguageRes.h"
#include "platform/Paths.h"
#include "platform/Process.h"
#include "ui/DeviceInfoCtrl.h"
#include "ui/KorvaneDlg.h"
#include "ui/QMUpdateWnd.h"
#include "ui/QtMessageTarget.h"
#include "ui/StartPanel.h"
#include "ui/SummaryHeader.h"
#include "ui/logic/LinkCommands.h"
#include "ui/logic/ProgramLaunch.h"

namespace korvane {

CSummaryPane::CSummaryPane(int category, QWidget* parent) : QWidget(parent), category_(category) {
  setObjectName(QStringLiteral("summaryPane%1").arg(category));
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 6);
  layout->setSpacing(0);
  button_ = new QToolButton(this);
  button_->setObjectName(QStringLiteral("paneCaption%1").arg(category));
  button_->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  button_->setArrowType(Qt::DownArrow);
  button_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
  // A long caption (chipset names, the live temperature) is cut at the window's edge rather
  // than widening the whole page past it.
  button_->setMinimumWidth(1);
  button_->setAutoRaise(true);
  button_->setStyleSheet(QStringLiteral(
      "QToolButton { text-align: left; font-weight: bold; padding: 4px 6px; background: #e4e9ee;"
      " border: 1px solid #cfd6dd; border-radius: 3px; }"));
  layout->addWidget(button_);
  panel_ = new QWidget(this);
  panel_->setObjectName(QStringLiteral("panePanel%1").arg(category));
  panelLayout_ = new QVBoxLayout(panel_);
  panelLayout_->setContentsMargins(0, 0, 0, 0);
  panelLayout_->setSpacing(0);
  layout->addWidget(panel_);
  connect(button_, &QToolButton::clicked, this, [this] { SetExpanded(!expanded_); });
}

void CSummaryPane::SetTitle(const QString& title, const QString& caption, int items) {
  QString text = title;
  if (!caption.isEmpty()) text += QStringLiteral("   ") + caption;
  if (items > 1) text += QStringLiteral("   (%1)").arg(items);
  button_->setText(text);
}

void CSummaryPane::SetExpanded(bool expanded) {
  if (expanded_ == expanded) return;
  expanded_ = expanded;
  button_->setArrowType(expanded ? Qt::DownArrow : Qt::RightArrow);
  panel_->setVisible(expanded);
  emit Toggled(category_, expanded);
}

CHdwSummaryDlg::CHdwSummaryDlg(QWidget* parent)
    : CHdwSummaryDlg(parent, summary::SummarySources{}) {}

CHdwSummaryDlg::CHdwSummaryDlg(QWidget* parent, summary::SummarySources sources) : QWidget(parent) {
  setObjectName(QStringLiteral("summaryPage"));
  summary_ = std::make_unique<summary::CHdwSummary>(LanguageRes(), std::move(sources));
  target_ = std::make_unique<CQtMessageTarget>(
      this, [this](std::uint32_t m, platform::WParam w, platform::LParam l) {
        return HandleMessage(m, w, l);
      });

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(8, 8, 8, 6);
  layout->setSpacing(6);
  scroll_ = new QScrollArea(this);
  scroll_->setObjectName(QStringLiteral("summaryStack"));
  scroll_->setWidgetResizable(true);
  scroll_->setFrameShape(QFrame::NoFrame);
  auto* stack = new QWidget;
  auto* stackLayout = new QVBoxLayout(stack);
  stackLayout->setContentsMargins(0, 0, 0, 0);
  stackLayout->setSpacing(2);
  // The header scrolls with the panes, so it is the first thing in their stack. What it says
  // about the system is read once, now.
  summary_->BuildHeader();
  header_ = new CSummaryHeaderCtrl(summary_->header, stack);
  header_->SetLinkTarget(target_.get());
  stackLayout->addWidget(header_);
  // Before detection the panes exist with their titles only.
  summary_->BuildPage(false);
  for (int k = 0; k < summary::kCategoryCount; ++k) {
    auto* pane = new CSummaryPane(k, stack);
    panes_[static_cast<std::size_t>(k)] = pane;
    pane->SetTitle(QString::fromStdString(summary_->panes[static_cast<std::size_t>(k)].title), {},
                   0);
    connect(pane, &CSummaryPane::Toggled, this, [this](int category, bool expanded) {
      summary_->SetExpanded(category, expanded);
      if (expanded) RefreshValues(true);
    });
    stackLayout->addWidget(pane);
  }
  stackLayout->addStretch(1);
  scroll_->setWidget(stack);
  layout->addWidget(scroll_, 1);

  // The update tool's strip, then the start panel, below the hardware panes.
  updateWnd_ = new CQMUpdateWnd(this);
  updateWnd_->setObjectName(QStringLiteral("updateToolStrip"));
  updateWnd_->setFixedHeight(24);
  layout->addWidget(updateWnd_);

  // The start panel sits below the hardware panes, at a fixed height.
  startPanelSlot_ = new QWidget(this);
  startPanelSlot_->setObjectName(QStringLiteral("startPanelSlot"));
  startPanelSlot_->setFixedHeight(152);
  auto* slotLayout = new QVBoxLayout(startPanelSlot_);
  slotLayout->setContentsMargins(0, 0, 0, 0);
  startPanel_ = new CStartPanel(startPanelSlot_);
  slotLayout->addWidget(startPanel_);
  layout->addWidget(startPanelSlot_);

  timer_.setInterval(1000);
  connect(&timer_, &QTimer::timeout, this, [this] {
    const CKorvaneDlg* main = CKorvaneDlg::MainWindow();
    RefreshValues(main != nullptr && main->WarmUpRunning() != 0);
  });
}

CHdwSummaryDlg::~CHdwSummaryDlg() {
  timer_.stop();
  closing_ = true;
  // The probe and version threads report by sending, which waits for this thread: let their
  // last message through (it is ignored now) instead of joining them while they wait for us.
  auto threadsDone = std::async(std::launch::async, [this] {
    if (probe_) probe_->Wait();
    if (versionCheck_) versionCheck_->Wait();
  });
  while (threadsDone.wait_for(std::chrono::milliseconds(10)) != std::future_status::ready) {
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  }
}

CSummaryPane* CHdwSummaryDlg::Pane(int category) const {
  if (category < 0 || category >= summary::kCategoryCount) return nullptr;
  return panes_[static_cast<std::size_t>(category)];
}

void CHdwSummaryDlg::Start() {
  if (started_) return;
  started_ = true;
  OnFirstShow();
}

void CHdwSummaryDlg::OnFirstShow() {
  const StoredScores stored = LoadStoredScores(*this);
  summary_->OnFirstShow(stored.cpu, stored.memory);
  SyncWidgets();
  timer_.start();
  updateWnd_->SetActive(true);
  updateWnd_->ListenToBroadcasts();
  // Whether the on-line start page answers decides what the start panel shows; the version
  // file may offer a newer program. Both report back through messages.
  probe_ = std::make_unique<CStartProbe>();
  probe_->Start(*target_, CStartProbe::Settings{LangText(8130)});
  versionCheck_ = std::make_unique<CVersionCheck>();
  versionCheck_->Start(*target_, CVersionCheck::Settings{LangText(8132)});
}

void CHdwSummaryDlg::ShowScore(int kind, float score) {
  if (summary::RouteScore(kind) == summary::ScoreRoute::kIgnored) return;
  summary_->ShowScore(kind, score);
  header_->ScoreChanged();
  if (started_) SyncWidgets();
}

float CHdwSummaryDlg::ShownScore(int kind) const {
  const auto& header = summary_->header;
  switch (summary::RouteScore(kind)) {
    case summary::ScoreRoute::kOverall:
      return header.OverallScore();
    case summary::ScoreRoute::kCpuPane:
      return header.CpuScore();
    case summary::ScoreRoute::kMemoryPane:
      return header.MemoryScore();
    default:
      return -1.0f;
  }
}

void CHdwSummaryDlg::SetSystemInfo(summary::SystemInfoFacts facts) {
  summary_->header.SetSystemInfo(std::move(facts));
  header_->SystemInfoChanged();
}

void CHdwSummaryDlg::RefreshValues(bool force) {
  if (!summary_->Ready()) return;
  if (!force && !isVisible()) return;
  summary_->RefreshValues(force);
  SyncWidgets();
}

void CHdwSummaryDlg::SyncWidgets() {
  for (int k = 0; k < summary::kCategoryCount; ++k) {
    const auto& model = summary_->panes[static_cast<std::size_t>(k)];
    CSummaryPane* pane = panes_[static_cast<std::size_t>(k)];
    auto& controls = pane->Controls();
    if (controls.size() != model.controls.size()) {
      for (auto* c : controls) c->deleteLater();
      controls.clear();
      for (std::size_t i = 0; i < model.controls.size(); ++i) {
        auto* c = new CDeviceInfoCtrl(pane->Panel());
        c->SetLinkTarget(target_.get());
        pane->panelLayout_->addWidget(c);
        controls.push_back(c);
      }
    }
    for (std::size_t i = 0; i < controls.size(); ++i) {
      controls[i]->SetModel(model.controls[i]);
      controls[i]->setFixedHeight(
          controls[i]->PreferredHeight(std::max(controls[i]->width(), 600)));
    }
    // A single control of a category counts as one item; the CPU has two per package.
    const int items = k == summary::kCategoryCpu ? static_cast<int>(controls.size() / 2)
                                                 : static_cast<int>(controls.size());
    // The benchmark panes carry their stored score in the caption bar too, so a collapsed
    // pane still shows it.
    QString caption = QString::fromStdString(model.caption);
    // The pane's live temperature rides in the caption bar, so a collapsed pane still shows it.
    if (model.temperature) caption += QStringLiteral("   %1\u2103").arg(*model.temperature);
    if (!model.controls.empty() && model.controls.front().hasScore) {
      const auto& first = model.controls.front();
      const auto* badge = first.FindBadge(summary::kBadgeScore);
      caption += QStringLiteral("   [%1 %2]")
                     .arg(QString::fromStdString(badge != nullptr ? badge->label : std::string()))
                     .arg(first.score, 0, 'f', 2);
    }
    pane->SetTitle(QString::fromStdString(model.title), caption, items);
  }
}

platform::LParam CHdwSummaryDlg::HandleMessage(std::uint32_t msg, platform::WParam wParam,
                                               platform::LParam lParam) {
  if (closing_) return 0;
  switch (msg) {
    case kMsgTestNow:
      CKorvaneDlg::ShowTestPageFor(static_cast<int>(wParam));
      return 1;
    case kMsgUpdateScore:
      // The header's badge is the processor's score: its link opens the processor test.
      CKorvaneDlg::ShowTestPageFor(0);
      return 1;
    case kMsgProbeDownloaded:
    case kMsgProbeFailed:
      if (const auto address =
              StartPanelAddress(msg, wParam, LangText(8131), platform::ExecutablePath())) {
        startPanel_->Navigate(QUrl(QString::fromStdString(*address)));
      }
      return 1;
    case kMsgNewVersion:
      HandleNewVersionMessage(wParam, lParam, LangText(570));
      return 1;
    case kMsgVersionFailed:
      return 1;
    case kMsgGotoComment:
      platform::ShellOpen(LangText(8100));
      return 1;
    case kMsgInstallDriver: {
      // The driver tool when it is installed, the forum board otherwise: the same launcher as
      // the start page's links and the Help page's buttons.
      const CKorvaneDlg* main = CKorvaneDlg::MainWindow();
      if (main != nullptr && main->MainWindowLive()) {
        ProgramPlaces places;
        places.productKey = "QMDriver";
        LaunchProgramOrOpen("qmdriver.exe", LangText(8100), places, DesktopLinkOpener());
      }
      return 1;
    }
    default:
      return 0;
  }
}

}  // namespace korvane
