#pragma once
// The main window: the header, the tab strip with the summary, benchmark and help tabs, the
// pages below it, the splash that waits for the hardware library, and the messages other
// processes send it.
#include <QPixmap>
#include <QPointer>
#include <QWidget>

#include <atomic>
#include <memory>

#include "app/logic/MainWindowRules.h"
#include "hwlib/HardwareLibrary.h"
#include "platform/Messages.h"
#include "scores/ScoreStore.h"

class QTabBar;

namespace korvane {

class CHdwSummaryDlg;
class CHdwScanDlg;
class CHdwHelpDlg;
class CHdwRankDlg;
class CSplashDlg;
class CQtMessageTarget;

inline constexpr const char* kInstanceWindowProperty = "TovixRunOnlyOneInstance";

class CKorvaneDlg : public QWidget, public IRefreshGate, public IScoreDisplay, private IPageHost {
  Q_OBJECT

 public:
  explicit CKorvaneDlg(QWidget* parent = nullptr);
  ~CKorvaneDlg() override;

  // Everything up to and including the splash. Returns the splash result: 1 when the hardware
  // library is ready (show the window and call AfterSplash), 2 when it failed (the window is
  // never shown and the program ends).
  int Initialise(int runMode);
  // After the splash: update-tool messages, the summary page's work, the installation record.
  void AfterSplash();
  // Shows the window as initialisation decided (maximised on a small screen, else centred).
  void ShowMainWindow();

  int ShowPage(int page, bool updateTab, int testKey);
  int SelectTestGroup(int index);
  int FindTestGroup(int key);
  void ShowScore(int kind, float score) override;

  // Restore, raise and activate (a second instance asked for it).
  void Activate();
  // Close the way the user does, so the exit sequence runs; open dialogs are dismissed first.
  void RequestQuit();
  // For the quit signals: reaches the main window, or makes the next one end at its splash.
  static void RequestQuitOfMainWindow();

  // Messages from other processes and threads.
  platform::LParam HandleMessage(std::uint32_t msg, platform::WParam wParam, platform::LParam lParam);
  platform::IMessageTarget& MessageTarget();

  // IRefreshGate (read by the refresh thread).
  bool MainWindowLive() const override { return live_.load(); }
  int CurrentPage() const override { return currentPage_.load(); }
  int WarmUpRunning() const override { return warmUpRunning_.load(); }
  // Written by the benchmark dispatcher around its warm-up run.
  void SetWarmUpRunning(int running);

  CHdwSummaryDlg* SummaryPage() const { return summary_; }
  CHdwScanDlg* TestPage() const;
  CHdwHelpDlg* HelpPage() const;
  CHdwRankDlg* RankPage() const;
  QTabBar* TabStrip() const { return tabs_; }
  QWidget* PageWidget(int page) const;
  const ScoreMessageIds& ScoreMessages() const { return scoreIds_; }
  const UpdateToolMessageIds& UpdateToolMessages() const { return updateIds_; }
  int UpdateToolStartScans() const { return updateStartScans_; }
  CSplashDlg* Splash() const;

  // The process's main window, null when there is none.
  static CKorvaneDlg* MainWindow();
  // The device panels and page commands: open the Test page for a device's test type.
  static bool ShowTestPageFor(int testType);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  // IPageHost
  bool PageExists(int page) const override;
  void CreatePage(int page) override;
  void ShowOnlyPage(int page) override;
  void LayOut() override;
  void Repaint() override;
  void SelectTab(int page) override;

  void ShowAbout();
  void PublishState();

  QTabBar* tabs_ = nullptr;
  CHdwSummaryDlg* summary_ = nullptr;
  QPointer<QWidget> pages_[kPageCount];
  QPointer<CSplashDlg> splash_;
  QPixmap headerLeft_;
  QPixmap headerRight_;
  std::atomic<bool> live_{false};
  std::atomic<int> currentPage_{0};
  std::atomic<int> warmUpRunning_{0};
  ScoreMessageIds scoreIds_;
  UpdateToolMessageIds updateIds_;
  bool updateIdsRegistered_ = false;
  bool openMaximised_ = false;
  bool selectingTab_ = false;
  bool quitRequested_ = false;
  int updateStartScans_ = 0;
  std::unique_ptr<CQtMessageTarget> target_;
  std::unique_ptr<platform::BroadcastSubscription> updateToolListener_;
};

}  // namespace korvane
