#pragma once
// The summary page: eight collapsible panes, one per hardware category, each with its device
// controls, filled once detection has finished and refreshed once a second, and the start panel
// at the foot of the page.
#include <QTimer>
#include <QToolButton>
#include <QWidget>
#include <array>
#include <memory>
#include <vector>

#include "online/StartProbe.h"
#include "online/VersionCheck.h"
#include "scores/ScoreStore.h"
#include "summary/HdwSummary.h"

class QVBoxLayout;
class QScrollArea;

namespace korvane {

class CDeviceInfoCtrl;
class CQtMessageTarget;
class CStartPanel;
class CSummaryHeaderCtrl;
class CQMUpdateWnd;

// One collapsible pane: its caption button (title, summary text, item count) and the panel of
// device controls below it.
class CSummaryPane : public QWidget {
  Q_OBJECT

 public:
  CSummaryPane(int category, QWidget* parent = nullptr);
  void SetTitle(const QString& title, const QString& caption, int items);
  bool Expanded() const { return expanded_; }
  void SetExpanded(bool expanded);
  QToolButton* CaptionButton() const { return button_; }
  QWidget* Panel() const { return panel_; }
  std::vector<CDeviceInfoCtrl*>& Controls() { return controls_; }

 signals:
  void Toggled(int category, bool expanded);

 private:
  int category_;
  bool expanded_ = true;
  QToolButton* button_ = nullptr;
  QWidget* panel_ = nullptr;
  QVBoxLayout* panelLayout_ = nullptr;
  std::vector<CDeviceInfoCtrl*> controls_;
  friend class CHdwSummaryDlg;
};

class CHdwSummaryDlg : public QWidget, public IScoreDisplay {
  Q_OBJECT

 public:
  explicit CHdwSummaryDlg(QWidget* parent = nullptr);
  // Tests and tools give their own sources; the window uses the machine's.
  CHdwSummaryDlg(QWidget* parent, summary::SummarySources sources);
  ~CHdwSummaryDlg() override;
  // Begins the page's work once the hardware library is ready: detection, the panes, the
  // stored scores, the first fill and the refresh timer.
  void Start();
  bool Started() const { return started_; }
  // The score display: kind 0 overall (the header's badge), 1 CPU and 2 memory (their panes);
  // kinds up to 9 only repaint, others are ignored.
  void ShowScore(int kind, float score) override;
  // The last score shown for `kind`, negative when none has been.
  float ShownScore(int kind) const;
  // The header above the panes.
  CSummaryHeaderCtrl* Header() const { return header_; }
  // Replaces the header's system information (tests and pictures of a chosen machine).
  void SetSystemInfo(summary::SystemInfoFacts facts);
  // The update tool's strip above the start panel.
  CQMUpdateWnd* UpdateToolPanel() const { return updateWnd_; }
  // The slot at the foot of the page that holds the start panel.
  QWidget* StartPanelSlot() const { return startPanelSlot_; }
  // The browser panel in that slot; its browser comes after the first paint.
  CStartPanel* StartPanel() const { return startPanel_; }

  CSummaryPane* Pane(int category) const;
  const summary::CHdwSummary& Summary() const { return *summary_; }
  // One refresh pass (the timer's work); forced passes also fill collapsed panes.
  void RefreshValues(bool force);
  bool TimerRunning() const { return timer_.isActive(); }

 private:
  void OnFirstShow();
  void SyncWidgets();
  platform::LParam HandleMessage(std::uint32_t msg, platform::WParam wParam,
                                 platform::LParam lParam);

  bool started_ = false;
  bool closing_ = false;
  std::unique_ptr<summary::CHdwSummary> summary_;
  std::unique_ptr<CQtMessageTarget> target_;
  QWidget* startPanelSlot_ = nullptr;
  CStartPanel* startPanel_ = nullptr;
  CQMUpdateWnd* updateWnd_ = nullptr;
  // After target_: they wait for their threads, which report to it, before it goes.
  std::unique_ptr<CStartProbe> probe_;
  std::unique_ptr<CVersionCheck> versionCheck_;
  QScrollArea* scroll_ = nullptr;
  CSummaryHeaderCtrl* header_ = nullptr;
  std::array<CSummaryPane*, summary::kCategoryCount> panes_{};
  QTimer timer_;
};

}  // namespace korvane
