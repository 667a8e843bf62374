#include "ui/HdwBenchBoard.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "app/cli/BenchGroupCli.h"
#include "app/logic/AppLifecycle.h"
#include "bench/BenchJob.h"
#include "config/LanguageRes.h"
#include "online/UsageEventLog.h"
#include "platform/Clock.h"
#include "scores/ScoreStore.h"
#include "summary/SummaryModel.h"
#include "ui/KorvaneDlg.h"

namespace korvane {

// The page's window as the benchmark thread sees it. Posting queues the message for the GUI
// thread; sending waits for the handler, or until the page closes the channel, so a thread
// that is still running when the page goes away is never left waiting for it.
class BoardChannel final : public platform::IMessageTarget,
                           public std::enable_shared_from_this<BoardChannel> {
 public:
  using Handler =
      std::function<platform::LParam(std::uint32_t, platform::WParam, platform::LParam)>;
  BoardChannel(QObject* receiver, Handler handler)
      : receiver_(receiver), handler_(std::move(handler)) {}

  bool IsLive() const override {
    std::lock_guard lock(mutex_);
    return open_;
  }

  bool Post(std::uint32_t msg, platform::WParam w, platform::LParam l) override {
    std::lock_guard lock(mutex_);
    if (!open_) return false;
    auto self = shared_from_this();
    return QMetaObject::invokeMethod(
        receiver_, [self, msg, w, l] { self->Deliver(msg, w, l); }, Qt::QueuedConnection);
  }

  platform::LParam Send(std::uint32_t msg, platform::WParam w, platform::LParam l) override {
    if (QThread::currentThread() == receiver_->thread()) return Deliver(msg, w, l);
    auto reply = std::make_shared<Reply>();
    std::unique_lock lock(mutex_);
    if (!open_) return 0;
    auto self = shared_from_this();
    QMetaObject::invokeMethod(
        receiver_,
        [self, reply, msg, w, l] {
          const platform::LParam r = self->Deliver(msg, w, l);
          std::lock_guard inner(self->mutex_);
          reply->done = true;
          reply->result = r;
          self->answered_.notify_all();
        },
        Qt::QueuedConnection);
    answered_.wait(lock, [&] { return reply->done || !open_; });
    return reply->result;
  }

  // From the GUI thread: nothing is delivered any more and waiting senders return.
  void Close() {
    std::lock_guard lock(mutex_);
    open_ = false;
    answered_.notify_all();
  }

 private:
  struct Reply {
    bool done = false;
    platform::LParam result = 0;
  };
  // On the GUI thread, as is Close, so a message is either handled whole or not at all.
  platform::LParam Deliver(std::uint32_t msg, platform::WParam w, platform::LParam l) {
    {
      std::lock_guard lock(mutex_);
      if (!open_) return 0;
    }
    return handler_(msg, w, l);
  }

  QObject* receiver_;
  Handler handler_;
  mutable std::mutex mutex_;
  std::condition_variable answered_;
  bool open_ = true;
};

namespace {

QString Text(int id) { return QString::fromStdString(LangText(id)); }
QString Q(const std::string& s) { return QString::fromStdString(s); }
// Message-box texts use the table's Windows line breaks.
QString BoxText(const std::string& s) {
  QString t = Q(s);
  t.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  return t;
}

std::int32_t GroupMaskOfIndex(int index) {
  return index >= 0 && index < static_cast<int>(kBenchGroups.size())
             ? kBenchGroups[static_cast<std::size_t>(index)].mask
             : 0;
}

// The device a group measures, as the summary page names it.
std::string HardwareNameOf(std::int32_t groupMask) {
  if (groupMask == kBenchGroupCpu) return summary::GetSummary(0, 0);
  if (groupMask == kBenchGroupMemory) {
    std::string memory = summary::GetSummary(3, 2);
    return memory.empty() ? summary::GetSummary(3, 0) : memory;
  }
  return {};
}

// The GUI thread's priority; Linux refuses a raise without privileges and the run simply goes
// on at normal priority. The memory tests put their own thread at the highest level for the
// length of a test (where a whole process would be raised elsewhere, this thread with it), so
// during a memory run the GUI thread goes to the same level to keep its standing above normal.
void SetGuiPriority(bool raised, std::int32_t mask) {
  platform::ThreadPriority level = platform::ThreadPriority::Normal;
  if (raised) {
    level = mask == kBenchGroupMemory ? platform::ThreadPriority::Highest
                                      : platform::ThreadPriority::AboveNormal;
  }
  platform::SetCurrentThreadPriority(level);
}

void* TaskbarWindow(QWidget* w) {
  CKorvaneDlg* main = CKorvaneDlg::MainWindow();
  return main != nullptr ? static_cast<void*>(main) : static_cast<void*>(w->window());
}

}  // namespace

CHdwBenchBoard::CHdwBenchBoard(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("benchBoard"));
  receiver_ = new QObject(this);
  channel_ = std::make_shared<BoardChannel>(
      receiver_, [this](std::uint32_t msg, platform::WParam w, platform::LParam l) {
        return OnBenchMessage(msg, w, l);
      });

  title_ = new QLabel(this);
  title_->setObjectName(QStringLiteral("benchTitle"));
  QFont titleFont = title_->font();
  titleFont.setBold(true);
  titleFont.setPixelSize(14);
  title_->setFont(titleFont);

  list_ = new QTreeWidget(this);
  list_->setObjectName(QStringLiteral("benchList"));
  list_->setColumnCount(4);
  list_->setHeaderLabels({Text(700), Text(701), Text(702), Text(703)});
  list_->setRootIsDecorated(false);
  list_->setUniformRowHeights(true);
  list_->setSelectionBehavior(QAbstractItemView::SelectRows);
  list_->setAllColumnsShowFocus(true);
  QFont listFont(QStringList{QStringLiteral("SimSun"), QStringLiteral("Noto Sans CJK SC")});
  listFont.setPixelSize(12);
  list_->setFont(listFont);
  const int widths[4] = {150, 250, 110, 80};
  for (int c = 0; c < 4; ++c) list_->setColumnWidth(c, widths[c]);
  list_->headerItem()->setTextAlignment(2, Qt::AlignRight | Qt::AlignVCenter);
  list_->headerItem()->setTextAlignment(3, Qt::AlignRight | Qt::AlignVCenter);

  status_ = new QLabel(this);
  status_->setObjectName(QStringLiteral("benchStatus"));
  QPalette statusPal = status_->palette();
  statusPal.setColor(QPalette::WindowText, QColor(0x7A, 0xA1, 0x2A));
  status_->setPalette(statusPal);

  progressText_ = new QLabel(QStringLiteral("0%"), this);
  progressText_->setObjectName(QStringLiteral("benchPercent"));
  QFont percentFont(QStringLiteral("Tahoma"));
  percentFont.setPixelSize(13);
  percentFont.setBold(true);
  progressText_->setFont(percentFont);
  progressText_->setMinimumWidth(44);

  progress_ = new QProgressBar(this);
  progress_->setObjectName(QStringLiteral("benchProgress"));
  progress_->setRange(0, 100);
  progress_->setValue(0);
  progress_->setTextVisible(false);

  button_ = new QPushButton(Text(kButtonStart), this);
  button_->setObjectName(QStringLiteral("benchButton1096"));
  connect(button_, &QPushButton::clicked, this, [this] { OnStartStop(); });
  QPushButton* hidden[2];
  for (int i = 0; i < 2; ++i) {
    hidden[i] = new QPushButton(this);
    hidden[i]->setObjectName(QStringLiteral("benchButton%1").arg(kHiddenButtonIds[i]));
    hidden[i]->hide();
    connect(hidden[i], &QPushButton::clicked, this, [this] { ShowTestOnlyBox(); });
  }

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(title_);
  layout->addWidget(list_, 1);
  layout->addWidget(status_);
  auto* bar = new QHBoxLayout;
  bar->addWidget(progressText_);
  bar->addWidget(progress_, 1);
  bar->addWidget(hidden[0]);
  bar->addWidget(hidden[1]);
  bar->addWidget(button_);
  layout->addLayout(bar);

  FillList(false);
}

CHdwBenchBoard::~CHdwBenchBoard() {
  // Nothing reaches the page from here on; a running test stops at its next check.
  channel_->Close();
  if (bench_.joinable()) {
    BenchCancelFlag().store(1);
    bench_.join();
  }
  if (submitter_.joinable()) {
    // A submission gets its usual grace; one still waiting on the network is let go (it holds
    // its own copy of everything it reads).
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(5000);
    while (std::chrono::steady_clock::now() < deadline) {
      {
        std::lock_guard lock(submission_->mutex);
        if (submission_->done) break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ReleaseSubmitter();
  }
  ReleaseTaskbarProgress();
}

void CHdwBenchBoard::ReleaseSubmitter() {
  bool done = false;
  {
    std::lock_guard lock(submission_->mutex);
    done = submission_->done;
  }
  // A finished thread is joined; one still on the network keeps its own copies and is let go.
  if (done)
    submitter_.join();
  else
    submitter_.detach();
}

void CHdwBenchBoard::SelectGroup(int index) {
  const std::int32_t mask = GroupMaskOfIndex(index);
  if (mask == 0) return;
  if (mask != model_.Mask()) {
    status_->setText(Text(730));
    SetProgress(0);
    SetButton(kButtonStart);
  }
  model_.SelectMask(mask);
  if (const BenchGroupEntry* g = BenchGroupOfMask(mask)) title_->setText(Text(g->titleId));
  FillList(false);
}

float CHdwBenchBoard::GroupAverage(int key) const {
  return key >= 0 && key < static_cast<int>(groupAverages_.size())
             ? groupAverages_[static_cast<std::size_t>(key)]
             : -1.0f;
}

void CHdwBenchBoard::FillList(bool reset) {
  const auto items = BuildBenchList(model_, reset, HardwareNameOf);
  list_->clear();
  for (const BenchListItem& it : items) {
    auto* row = new QTreeWidgetItem({Q(it.name), Q(it.hardware), Q(it.result), Q(it.score)});
    row->setData(0, Qt::UserRole, it.itemData);
    row->setTextAlignment(2, Qt::AlignRight | Qt::AlignVCenter);
    row->setTextAlignment(3, Qt::AlignRight | Qt::AlignVCenter);
    list_->addTopLevelItem(row);
  }
}

QTreeWidgetItem* CHdwBenchBoard::ItemOf(std::int32_t itemData) const {
  for (int i = 0; i < list_->topLevelItemCount(); ++i) {
    QTreeWidgetItem* item = list_->topLevelItem(i);
    if (item->data(0, Qt::UserRole).toInt() == itemData) return item;
  }
  return nullptr;
}

void CHdwBenchBoard::SetButton(int textId) { button_->setText(Text(textId)); }

void CHdwBenchBoard::SetProgress(int percent) {
  progressText_->setText(QStringLiteral("%1%").arg(percent));
  progress_->setValue(percent);
}

void CHdwBenchBoard::NotifyRunState(platform::WParam running) {
  if (runStateListener_) runStateListener_(running);
}

void CHdwBenchBoard::ReleaseTaskbarProgress() {
  if (!taskbarActive_) return;
  taskbarActive_ = false;
  CTaskbarLibrary& taskbar = TaskbarLibrary();
  if (taskbar.resetProgress != nullptr) taskbar.resetProgress(TaskbarWindow(this));
  if (taskbar.freeTaskBar != nullptr) taskbar.freeTaskBar();
}

void CHdwBenchBoard::ShowTestOnlyBox() {
  QMessageBox::information(this, Q(BenchBoxCaption()), QStringLiteral("此功能仅供测试用!"));
}

void CHdwBenchBoard::OnStartStop() {
  if (stopping_) return;
  if (bench_.joinable()) {
    Stop();
  } else {
    Start();
  }
}

void CHdwBenchBoard::Start() {
  QMessageBox confirm(QMessageBox::Warning, Q(BenchBoxCaption()), BoxText(LangText(791)),
                      QMessageBox::Ok | QMessageBox::Cancel, this);
  confirm.setObjectName(QStringLiteral("benchConfirmBox"));
  confirm.setDefaultButton(QMessageBox::Cancel);
  if (confirm.exec() != QMessageBox::Ok) return;
  if (bench_.joinable()) return;  // a second press while the question was open

  BenchCancelFlag().store(0);
  FillList(true);
  WidenProcessAffinityToSystem();
  SetGuiPriority(true, model_.Mask());
  CTaskbarLibrary& taskbar = TaskbarLibrary();
  if (taskbar.initTaskBar != nullptr) taskbar.initTaskBar();
  taskbarActive_ = true;

  const std::int32_t mask = model_.Mask();
  BenchDispatchHooks hooks;
  hooks.processors = platform::ProcessorCount();
  hooks.runTest = testRunner_;
  // Taken here, on the GUI thread; the window holds this page, which ends or lets go of the
  // thread before it goes, and the thread only writes the window's warm-up flag.
  CKorvaneDlg* main = CKorvaneDlg::MainWindow();
  hooks.warmUpRunning = [main](bool on) {
    if (main != nullptr) main->SetWarmUpRunning(on ? 1 : 0);
  };
  auto ended = std::make_shared<std::atomic<bool>>(false);
  auto channel = channel_;
  try {
    bench_ = std::thread([channel, mask, hooks, ended] {
      std::srand(static_cast<unsigned>(std::time(nullptr)));
      RunBenchmark(*channel, mask, hooks);
      ended->store(true);
    });
  } catch (const std::system_error&) {
    // No thread: the run does not start and nothing else changes.
    ReleaseTaskbarProgress();
    SetGuiPriority(false, model_.Mask());
    return;
  }
  benchEnded_ = ended;
  SetButton(kButtonStop);
  NotifyRunState(1);
  if (mask == kBenchGroupCpu || mask == kBenchGroupMemory) {
    UsageLogAction(mask == kBenchGroupCpu ? "CPU.Start" : "MEM.Start", 0);
    UsageLogEmit(kUsageUserAction);
  }
}

void CHdwBenchBoard::Stop() {
  ReleaseTaskbarProgress();
  const std::int32_t mask = model_.Mask();
  if (mask == kBenchGroupCpu || mask == kBenchGroupMemory) {
    UsageLogAction(mask == kBenchGroupCpu ? "CPU.Stop" : "MEM.Stop", 0);
    UsageLogEmit(kUsageUserAction);
  }
  BenchCancelFlag().store(1);
  SetGuiPriority(false, model_.Mask());
  update();
  stopping_ = true;
  button_->setEnabled(false);
  FinishBenchThread(10000, true);
  button_->setEnabled(true);
  stopping_ = false;
  SetButton(kButtonRestart);
  NotifyRunState(0);
}

bool CHdwBenchBoard::FinishBenchThread(int timeoutMs, bool pumpEvents) {
  if (!bench_.joinable()) return true;
  QElapsedTimer waited;
  waited.start();
  while (!benchEnded_->load() && waited.elapsed() < timeoutMs) {
    if (pumpEvents) {
      // The thread may be sending the page a message and waiting for the answer.
      QEventLoop loop;
      QTimer::singleShot(100, &loop, &QEventLoop::quit);
      loop.exec();
    } else {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  }
  const bool ended = benchEnded_->load();
  // The group may have completed while the loop ran, and its completion took the thread.
  if (!bench_.joinable()) return true;
  if (ended) {
    bench_.join();
  } else {
    // Still running after the wait: it is forgotten, not killed. It only reads the cancel
    // flag and talks to the channel, which outlives it.
    bench_.detach();
  }
  return ended;
}

platform::LParam CHdwBenchBoard::OnBenchMessage(std::uint32_t msg, platform::WParam wParam,
                                                platform::LParam lParam) {
  const auto testId = static_cast<std::int32_t>(wParam & 0xFFFF);
  switch (msg) {
    case WM_BENCH_START:
      status_->setText(Q(BenchStartStatus(testId)));
      SetProgress(0);
      if (QTreeWidgetItem* item = ItemOf(testId)) list_->setCurrentItem(item);
      return 0;
    case WM_BENCH_PROGRESS: {
      SetGuiPriority(true, model_.Mask());
      const int percent = std::clamp(static_cast<int>(lParam), 0, 100);
      if (progress_->value() == 0) status_->setText(Q(BenchStartStatus(testId)));
      SetProgress(percent);
      if (taskbarActive_) {
        CTaskbarLibrary& taskbar = TaskbarLibrary();
        if (taskbar.setProgress != nullptr) taskbar.setProgress(TaskbarWindow(this), percent, 100);
      }
      return 0;
    }
    case WM_BENCH_DONE:
      status_->setText(Q(BenchDoneStatus(testId)));
      SetProgress(100);
      return 0;
    case WM_BENCH_SCORE: {
      model_.OnScore(wParam, lParam);
      if (QTreeWidgetItem* item = ItemOf(testId)) {
        const BenchRow* row = model_.Row(testId);
        item->setText(2, Q(BenchResultText(testId, row->value)));
        item->setText(
            3, QString::number(static_cast<double>((wParam >> 16) & 0xFFFF) / 100.0, 'f', 2));
      }
      return 0;
    }
    case WM_BENCH_TESTEND:
      if (ItemOf(testId) != nullptr) model_.OnTestEnd(testId, static_cast<std::int32_t>(lParam));
      return 0;
    case WM_BENCH_CANCELLED:
      ReleaseTaskbarProgress();
      status_->setText(Q(BenchStoppedStatus(testId)));
      model_.OnCancelled(testId);
      FillList(false);
      SetGuiPriority(false, model_.Mask());
      return 0;
    case WM_BENCH_WARMUP: {
      const auto mask = static_cast<std::int32_t>(wParam);
      for (int i = 0; i < list_->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = list_->topLevelItem(i);
        const int id = item->data(0, Qt::UserRole).toInt();
        if (id == 199 || id == kSummaryItemData) continue;
        const BenchRow* row = model_.Row(id);
        if (row != nullptr && MaskContains(mask, row->groupMask))
          item->setText(1, Q(HardwareNameOf(row->groupMask)));
      }
      return 0;
    }
    case WM_BENCH_ALLDONE:
      CompleteGroup();
      return 0;
    default:
      return 0;
  }
}

void CHdwBenchBoard::CompleteGroup() {
  ReleaseTaskbarProgress();
  status_->setText(Text(754));
  SetProgress(100);
  SetGuiPriority(false, model_.Mask());

  IScoreDisplay* display = display_;
  if (display == nullptr) display = CKorvaneDlg::MainWindow();
  const GroupCompletion c = model_.Complete(SessionBusBroadcaster(), StoreGroupScore, display);
  if (QTreeWidgetItem* summary = ItemOf(kSummaryItemData)) {
    summary->setText(3, Q(model_.SummaryText()));
    list_->setCurrentItem(summary);
  }
  if (c.averaged && c.groupKey > 0)
    groupAverages_[static_cast<std::size_t>(c.groupKey)] = c.average;

  StartSubmission(c);

  FinishBenchThread(3000, false);
  SetButton(kButtonRestart);
  NotifyRunState(0);

  if (c.average > 0.0f) {
    QMessageBox done(QMessageBox::Information, Q(BenchBoxCaption()),
                     BoxText(BenchCompletionText(c.groupKey, c.average)), QMessageBox::Ok, this);
    done.setObjectName(QStringLiteral("benchDoneBox"));
    done.exec();
  }
}

void CHdwBenchBoard::StartSubmission(const GroupCompletion& c) {
  // The previous submission may still be on its way: it is let go with its own copies.
  if (submitter_.joinable()) ReleaseSubmitter();
  // The texts are taken here, on the thread that writes the summary table, so the submission
  // never reads the table while the page refreshes it.
  const ProfileTexts texts = ProfileTextsFromSummary();
  auto state = std::make_shared<Submission>();
  submission_ = state;
  const float overall = c.overallScore, cpu = c.cpuScore, mem = c.memScore;
  try {
    submitter_ = std::thread([state, texts, overall, cpu, mem] {
      SubmitOutcome out = SubmitScores([texts] { return texts; }, overall, cpu, mem);
      std::lock_guard lock(state->mutex);
      state->outcome = std::move(out);
      state->done = true;
    });
  } catch (const std::system_error&) {
    submission_.reset();
  }
}

std::optional<SubmitOutcome> CHdwBenchBoard::WaitForSubmission(int timeoutMs) {
  if (!submission_) return std::nullopt;
  QElapsedTimer waited;
  waited.start();
  for (;;) {
    {
      std::lock_guard lock(submission_->mutex);
      if (submission_->done) return submission_->outcome;
    }
    if (waited.elapsed() >= timeoutMs) return std::nullopt;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

}  // namespace korvane
