#pragma once
// The benchmark board of the Test page: the list of the selected group's tests, the status and
// progress lines, and the Start/Stop button. A run goes on a thread of its own; its messages
// come back to the page through a channel that the page closes when it goes away, so a thread
// that outlives the page never reaches a destroyed widget.
#include <QWidget>
#include <array>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "app/logic/BenchBoardLogic.h"
#include "online/ScoreSubmit.h"
#include "platform/Messages.h"

class QLabel;
class QProgressBar;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace korvane {

class BoardChannel;

class CHdwBenchBoard : public QWidget {
  Q_OBJECT

 public:
  // Control ids of the buttons.
  static constexpr int kStartStopButtonId = 1096;
  static constexpr int kHiddenButtonIds[2] = {1095, 1099};

  explicit CHdwBenchBoard(QWidget* parent = nullptr);
  ~CHdwBenchBoard() override;

  // Group 0 (CPU) or 1 (memory); anything else is ignored.
  void SelectGroup(int index);
  // Receives wParam 1 when a run starts and 0 when it ends or is stopped.
  void SetRunStateListener(std::function<void(platform::WParam)> listener) {
    runStateListener_ = std::move(listener);
  }
  // Where a completed group's average is shown; the main window unless set.
  void SetScoreDisplay(IScoreDisplay* display) { display_ = display; }
  // What the dispatcher runs for each job; the bench runner unless replaced.
  void SetTestRunner(std::function<int(_BENCH_JOB&)> runner) { testRunner_ = std::move(runner); }

  // The button: Start when idle (after the confirmation), Stop while running.
  void OnStartStop();
  bool Running() const { return bench_.joinable(); }

  // The job messages of a run, on the GUI thread.
  platform::LParam OnBenchMessage(std::uint32_t msg, platform::WParam wParam,
                                  platform::LParam lParam);

  // For the window and tests.
  const BenchBoardModel& Model() const { return model_; }
  QTreeWidget* List() const { return list_; }
  QLabel* TitleLabel() const { return title_; }
  QLabel* StatusLabel() const { return status_; }
  QLabel* ProgressLabel() const { return progressText_; }
  QProgressBar* ProgressBar() const { return progress_; }
  QPushButton* StartStopButton() const { return button_; }
  float GroupAverage(int key) const;
  // Waits (running the event loop) until the last submission has finished; its outcome, or
  // nothing when none was started or it is still running.
  std::optional<SubmitOutcome> WaitForSubmission(int timeoutMs);

 private:
  struct Submission {
    std::mutex mutex;
    bool done = false;
    SubmitOutcome outcome;
  };

  void Start();
  void Stop();
  void FillList(bool reset);
  QTreeWidgetItem* ItemOf(std::int32_t itemData) const;
  void SetButton(int textId);
  void SetProgress(int percent);
  void NotifyRunState(platform::WParam running);
  void CompleteGroup();
  void StartSubmission(const GroupCompletion& c);
  // Joins the submission thread when it has finished, else detaches it.
  void ReleaseSubmitter();
  // Waits for the benchmark thread at most timeoutMs; the event loop runs meanwhile when
  // pumping. A thread that does not end in time is let go. True when it ended.
  bool FinishBenchThread(int timeoutMs, bool pumpEvents);
  void ReleaseTaskbarProgress();
  void ShowTestOnlyBox();

  BenchBoardModel model_;
  std::array<float, 6> groupAverages_{-1, -1, -1, -1, -1, -1};
  QLabel* title_ = nullptr;
  QTreeWidget* list_ = nullptr;
  QLabel* status_ = nullptr;
  QLabel* progressText_ = nullptr;
  QProgressBar* progress_ = nullptr;
  QPushButton* button_ = nullptr;
  QObject* receiver_ = nullptr;
  std::shared_ptr<BoardChannel> channel_;
  std::thread bench_;
  std::shared_ptr<std::atomic<bool>> benchEnded_;
  std::thread submitter_;
  std::shared_ptr<Submission> submission_;
  std::function<void(platform::WParam)> runStateListener_;
  std::function<int(_BENCH_JOB&)> testRunner_;
  IScoreDisplay* display_ = nullptr;
  bool stopping_ = false;
  bool taskbarActive_ = false;
};

}  // namespace korvane
