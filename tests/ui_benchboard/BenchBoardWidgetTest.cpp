// The Test page's benchmark board, offscreen: a real memory-group run from the button to the
// completion box, with the score stored, shown on the summary page and submitted to the real
// korvane-server; a stop during the warm-up; the group choice reaching the board.
#include <signal.h>
#include <sys/wait.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTabBar>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <cmath>
#include <filesystem>
#include <functional>
#include <memory>
#include <nlohmann/json.hpp>

#include "../support/ServerSpawn.h"
#include "config/Installation.h"
#include "config/LanguageRes.h"
#include "online/ScoreSubmit.h"
#include "platform/Registry.h"
#include "scores/ScoreStore.h"
#include "summary/SummaryModel.h"
#include "ui/HdwBenchBoard.h"
#include "ui/HdwSummaryDlg.h"
#include "ui/Pages.h"

using namespace korvane;

namespace {

// Answers the next message box with the given object name and remembers its text.
class BoxAnswerer : public QObject {
 public:
  BoxAnswerer(QString name, QMessageBox::StandardButton button)
      : name_(std::move(name)), button_(button) {
    timer_.setInterval(10);
    QObject::connect(&timer_, &QTimer::timeout, this, [this] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (box == nullptr || box->objectName() != name_) return;
      text = box->text();
      ++seen;
      if (QAbstractButton* b = box->button(button_)) b->click();
    });
    timer_.start();
  }
  QString text;
  int seen = 0;

 private:
  QString name_;
  QMessageBox::StandardButton button_;
  QTimer timer_;
};

// Records what the board shows while a run goes on.
struct Watcher {
  explicit Watcher(CHdwBenchBoard& board) {
    timer.setInterval(5);
    QObject::connect(&timer, &QTimer::timeout, [this, &board] {
      const QString s = board.StatusLabel()->text();
      if (statuses.isEmpty() || statuses.back() != s) statuses << s;
      const int p = board.ProgressBar()->value();
      if (p > 0 && p < 100) ++midway;
      percents << board.ProgressLabel()->text();
    });
    timer.start();
  }
  QTimer timer;
  QStringList statuses;
  QStringList percents;
  int midway = 0;
};

bool WaitFor(const std::function<bool()>& done, int ms) {
  QElapsedTimer t;
  t.start();
  while (!done()) {
    if (t.elapsed() > ms) return false;
    QTest::qWait(20);
  }
  return true;
}

QTreeWidgetItem* Item(CHdwBenchBoard& board, int data) {
  for (int i = 0; i < board.List()->topLevelItemCount(); ++i) {
    QTreeWidgetItem* it = board.List()->topLevelItem(i);
    if (it->data(0, Qt::UserRole).toInt() == data) return it;
  }
  return nullptr;
}

summary::SummarySources NoLibrarySources() {
  summary::SummarySources s;
  s.library = [] { return static_cast<CPUIDSDK*>(nullptr); };
  s.board = [] { return summary::BoardFacts{}; };
  s.memory = [] {
    summary::MemoryFacts m;
    m.type = 10;
    m.sizeMB = 8192;
    m.clock = 1600.0f;
    m.modules = {{10, 8192, 1600, "Kingston", "KF3200C16"}};
    return m;
  };
  s.network = [] { return std::vector<summary::NetworkAdapterFacts>{}; };
  s.sound = [] { return std::vector<summary::SoundDeviceFacts>{}; };
  return s;
}

}  // namespace

class BenchBoardWidgetTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() {
    data_ = std::filesystem::path(qEnvironmentVariable("HOME").toStdString()) / "rank-data";
    std::filesystem::create_directories(data_ / "modules");
    const auto spawned = testsupport::SpawnKorvaneServer(
        data_, data_ / "modules", data_ / "server.log", {"--submit-interval", "0"});
    serverPid_ = spawned.pid;
    server_ = spawned.base;
    QVERIFY2(!server_.empty(), "korvane-server did not start");
    qputenv("KORVANE_SERVER_BASE", QByteArray::fromStdString(server_));
    // The window's installation record makes the program's key; scores are stored under it.
    platform::RegistryKey key;
    QCOMPARE(key.Create(platform::RegRoot::CurrentUser, kProgramRegistryKey), platform::kRegOk);
  }

  void cleanupTestCase() {
    if (serverPid_ > 0) {
      ::kill(serverPid_, SIGTERM);
      int status = 0;
      ::waitpid(serverPid_, &status, 0);
    }
    std::error_code ec;
    std::filesystem::remove_all(data_, ec);
  }

  void theGroupChoiceReachesTheBoard() {
    CHdwScanDlg page;
    CHdwBenchBoard* board = page.BenchBoard();
    QCOMPARE(board->Model().Mask(), 1);  // the page opens on the CPU group
    QCOMPARE(board->TitleLabel()->text(), QString::fromStdString(LangText(811)));
    QCOMPARE(board->List()->topLevelItemCount(), 4);
    page.SelectTestGroup(1);
    QCOMPARE(board->Model().Mask(), 2);
    QCOMPARE(board->TitleLabel()->text(), QString::fromStdString(LangText(812)));
    QCOMPARE(board->StatusLabel()->text(), QString::fromStdString(LangText(730)));
    QCOMPARE(board->List()->topLevelItemCount(), 3);
    QVERIFY(Item(*board, 11) != nullptr && Item(*board, 12) != nullptr);
    QCOMPARE(board->StartStopButton()->text(), QString::fromStdString(LangText(780)));
    QVERIFY(board->findChild<QPushButton*>(QStringLiteral("benchButton1095"))->isHidden());

    // Declining the question starts nothing.
    BoxAnswerer no(QStringLiteral("benchConfirmBox"), QMessageBox::Cancel);
    board->StartStopButton()->click();
    QCOMPARE(no.seen, 1);
    QVERIFY(!board->Running());
    QVERIFY(!page.GroupsLocked());
  }

  void aMemoryRunIsScoredStoredShownAndSubmitted() {
    CHdwSummaryDlg summaryPage(nullptr, NoLibrarySources());
    summaryPage.Start();
    // The processor caption the submission must carry, as the summary table holds it.
    summary::HardwareSummaryTable::Replace(summary::CaptionAndProfileSummary().caption[0],
                                           "Board Test CPU @ 1.00GHz");
    CHdwScanDlg page;
    page.resize(760, 420);
    page.show();
    page.SelectTestGroup(1);
    CHdwBenchBoard* board = page.BenchBoard();
    board->SetScoreDisplay(&summaryPage);

    BoxAnswerer yes(QStringLiteral("benchConfirmBox"), QMessageBox::Ok);
    BoxAnswerer done(QStringLiteral("benchDoneBox"), QMessageBox::Ok);
    Watcher watch(*board);
    board->StartStopButton()->click();
    QVERIFY(board->Running());
    QVERIFY(page.GroupsLocked());
    QCOMPARE(board->StartStopButton()->text(), QString::fromStdString(LangText(781)));
    QVERIFY(WaitFor([&] { return done.seen > 0 && !board->Running(); }, 240000));

    // Progress went through the warm-up and both tests.
    QVERIFY(watch.midway > 0);
    const QString copying = QString::fromStdString(BenchStartStatus(11));
    QVERIFY2(watch.statuses.contains(copying), qPrintable(watch.statuses.join(" | ")));
    QVERIFY(watch.statuses.contains(QString::fromStdString(BenchStartStatus(199))));
    QCOMPARE(board->StatusLabel()->text(), QString::fromStdString(LangText(754)));
    QCOMPARE(board->ProgressLabel()->text(), QStringLiteral("100%"));
    QCOMPARE(board->StartStopButton()->text(), QString::fromStdString(LangText(783)));
    QVERIFY(!page.GroupsLocked());

    // Results and scores in the list, the average in the summary line and the box.
    for (int id : {11, 12}) {
      QTreeWidgetItem* it = Item(*board, id);
      QVERIFY(!it->text(2).isEmpty());
      bool ok = false;
      const double s = it->text(3).toDouble(&ok);
      QVERIFY2(ok && s > 0 && s <= 7.0, qPrintable(it->text(3)));
      QVERIFY(!it->text(1).isEmpty());  // the memory as the summary page names it
    }
    QVERIFY(Item(*board, 11)->text(2).contains(QStringLiteral("B/")));
    QVERIFY(Item(*board, 12)->text(2).endsWith(QString::fromStdString(LangText(901))));
    const float average = board->GroupAverage(2);
    QVERIFY(average > 0);
    const QString shown = QString::number(static_cast<double>(average), 'f', 2);
    QCOMPARE(Item(*board, kSummaryItemData)->text(3), QStringLiteral("+ ") + shown);
    QVERIFY2(done.text.contains(QString::fromStdString(LangText(812))), qPrintable(done.text));
    QVERIFY(done.text.contains(shown));
    QVERIFY(done.text.contains(QStringLiteral("7.00")));

    // Stored as the integer of the average, and shown by the summary page's memory pane.
    QCOMPARE(summaryPage.ShownScore(kMemoryScore), average);
    // The summary page's badge shows the hundredths it keeps (rounded to nearest, so a
    // half may differ from the "%0.2f" of the board).
    const QString badge =
        QString::number(static_cast<double>(std::lround(average * 100.0f)) / 100.0, 'f', 2);
    const QString caption = summaryPage.Pane(summary::kCategoryMemory)->CaptionButton()->text();
    QVERIFY2(caption.contains(badge), qPrintable(caption + QStringLiteral(" / ") + badge));
    struct Quiet final : IScoreDisplay, IScoreBroadcaster {
      void ShowScore(int, float) override {}
      void Broadcast(std::string_view, platform::WParam, platform::LParam) override {}
    } quiet;
    QCOMPARE(LoadStoredScores(quiet, quiet).memory, StoredIntegerFromScore(average));

    // The submission reached the service with the summary table's texts.
    const auto sent = board->WaitForSubmission(60000);
    QVERIFY(sent.has_value());
    QCOMPARE(sent->submitStatus, 200u);
    std::string body;
    QCOMPARE(HttpGetText(server_ + "/api/ranking?group=mem", body), 200u);
    const auto api = nlohmann::json::parse(body);
    QVERIFY2(api["newest"].size() >= 1, body.c_str());
    const auto& newest = api["newest"][0];
    QCOMPARE(QString::fromStdString(newest["cpu"].get<std::string>()),
             QString::fromStdString(summary::GetSummary(0, 0)));
    QCOMPARE(QString::fromStdString(newest["memory"].get<std::string>()),
             QString::fromStdString(summary::GetSummary(3, 1)));
    QCOMPARE(QString::number(newest["score"].get<double>(), 'f', 2), shown);
  }

  void stoppingDuringTheWarmUpStopsTheRunWithoutAScore() {
    struct Quiet final : IScoreDisplay, IScoreBroadcaster {
      void ShowScore(int, float) override {}
      void Broadcast(std::string_view, platform::WParam, platform::LParam) override {}
    } quiet;
    const StoredScores before = LoadStoredScores(quiet, quiet);
    CHdwScanDlg page;
    page.resize(760, 420);
    page.show();
    page.SelectTestGroup(0);
    CHdwBenchBoard* board = page.BenchBoard();
    BoxAnswerer yes(QStringLiteral("benchConfirmBox"), QMessageBox::Ok);
    BoxAnswerer done(QStringLiteral("benchDoneBox"), QMessageBox::Ok);
    board->StartStopButton()->click();
    QVERIFY(board->Running());
    const QString warming = QString::fromStdString(BenchStartStatus(199));
    QVERIFY(WaitFor([&] { return board->StatusLabel()->text() == warming; }, 30000));
    board->StartStopButton()->click();
    QVERIFY(!board->Running());
    QTest::qWait(300);  // anything still queued arrives
    QCOMPARE(done.seen, 0);
    QCOMPARE(board->StartStopButton()->text(), QString::fromStdString(LangText(783)));
    QVERIFY(!page.GroupsLocked());
    // The first test stopped at its first look at the flag; the others never ran.
    QCOMPARE(board->Model().Row(6)->state, kRowStopped);
    QCOMPARE(Item(*board, 6)->text(3), QString::fromStdString(LangText(771)));
    QCOMPARE(Item(*board, 7)->text(3), QString::fromStdString(LangText(770)));
    QCOMPARE(Item(*board, kSummaryItemData)->text(3), QStringLiteral("----"));
    QCOMPARE(board->StatusLabel()->text(), QString::fromStdString(BenchStoppedStatus(6)));
    QCOMPARE(board->GroupAverage(1), -1.0f);
    QCOMPARE(LoadStoredScores(quiet, quiet).cpu, before.cpu);
    QVERIFY(!board->WaitForSubmission(0).has_value());
  }

  void closingThePageDuringARunEndsItWithoutWaitingForTheRun() {
    BoxAnswerer yes(QStringLiteral("benchConfirmBox"), QMessageBox::Ok);
    QElapsedTimer closing;
    {
      auto page = std::make_unique<CHdwScanDlg>();
      page->resize(760, 420);
      page->show();
      page->SelectTestGroup(0);
      CHdwBenchBoard* board = page->BenchBoard();
      board->StartStopButton()->click();
      QVERIFY(board->Running());
      // Well into the first measured test, with messages still on their way.
      QVERIFY(WaitFor(
          [&] {
            return board->ProgressBar()->value() > 0 &&
                   board->List()->currentItem() == Item(*board, 6);
          },
          60000));
      closing.start();
    }
    // The run saw the flag at its next progress point; the group never completed.
    QVERIFY2(closing.elapsed() < 10000, qPrintable(QString::number(closing.elapsed())));
    QTest::qWait(100);  // nothing queued for the gone page may run
  }

 private:
  std::filesystem::path data_;
  std::string server_;
  pid_t serverPid_ = -1;
};

QTEST_MAIN(BenchBoardWidgetTest)
#include "BenchBoardWidgetTest.moc"
