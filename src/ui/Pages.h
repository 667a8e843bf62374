#pragma once
// The main window's pages. The summary page lives as long as the main window; the Test, Help
// and Rank pages are made the first time they are shown. Their content arrives with their own
// parts of the program; what is here is their frame and the operations the main window uses.
#include <QDialog>
#include <QTabBar>
#include <QWidget>
#include <array>

#include "app/logic/MainWindowRules.h"
#include "platform/Messages.h"
#include "scores/ScoreStore.h"
#include "ui/HdwBenchBoard.h"
#include "ui/HdwHelpDlg.h"
#include "ui/HdwRankDlg.h"
#include "ui/HdwSummaryDlg.h"

namespace korvane {

class CHdwScanDlg : public QWidget, private ITestGroupHost {
  Q_OBJECT

 public:
  explicit CHdwScanDlg(QWidget* parent = nullptr);
  int FindTestGroup(int key) const;
  int SelectTestGroup(int index);
  int SelectedGroup() const { return selected_; }
  // While a benchmark runs the group cannot be changed.
  void SetGroupsLocked(bool locked);
  // The benchmark board reports a run starting (wParam 1) or ending (0) with this message.
  static constexpr std::uint32_t kBoardRunStateMessage = 1324;
  // Messages from the benchmark board; true when handled.
  bool HandleBoardMessage(std::uint32_t msg, platform::WParam wParam, platform::LParam lParam);
  bool GroupsLocked() const { return locked_; }
  QTabBar* GroupTabs() const { return groupTabs_; }
  CHdwBenchBoard* BenchBoard() const { return board_; }
  int BoardGroup() const { return boardGroup_; }

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  bool BoardLive() const override;
  void ShowGroupOnBoard(int index) override;
  void SelectGroupTab(int index) override;
  void Repaint() override;
  void OnGroupTabClicked(int index);

  QTabBar* groupTabs_ = nullptr;
  CHdwBenchBoard* board_ = nullptr;
  int selected_ = -1;
  int boardGroup_ = -1;
  bool locked_ = false;
  bool selectingTab_ = false;
};

class CAboutDlg : public QDialog {
  Q_OBJECT

 public:
  explicit CAboutDlg(QWidget* parent = nullptr);
};

}  // namespace korvane
