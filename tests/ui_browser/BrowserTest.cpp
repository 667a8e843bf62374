// The browser host as pages and users meet it: window.external, program starts from page
// script, the key filter, the error page, the Help and Rank pages and the start panel.
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QWebEngineHistory>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QtTest>
#include <filesystem>
#include <fstream>
#include <memory>

#include "config/LanguageRes.h"
#include "ui/HdwHelpDlg.h"
#include "ui/HdwRankDlg.h"
#include "ui/StartPanel.h"
#include "ui/WebBrowser2.h"

using namespace korvane;

namespace {

constexpr int kLoadTimeoutMs = 60000;  // the engine's first start on a busy machine is slow
constexpr int kScriptTimeoutMs = 20000;

// Runs page script and waits (bounded) for its value; an invalid QVariant on time-out.
QVariant RunJs(QWebEnginePage* page, const QString& script) {
  auto state = std::make_shared<std::pair<bool, QVariant>>(false, QVariant());
  page->runJavaScript(script, [state](const QVariant& v) {
    state->first = true;
    state->second = v;
  });
  QElapsedTimer timer;
  timer.start();
  while (!state->first && timer.elapsed() < kScriptTimeoutMs) QTest::qWait(10);
  return state->second;
}

bool LoadAndWait(CWebBrowser2& view, const QUrl& url, bool* ok = nullptr) {
  QSignalSpy ready(&view, &CWebBrowser2::PageReady);
  view.Navigate(url);
  if (!ready.wait(kLoadTimeoutMs)) return false;
  if (ok != nullptr) *ok = ready.takeFirst().at(0).toBool();
  return true;
}

// Records the attempts; nothing starts and no page opens unless told so.
class RecordingOpener : public ILinkOpener {
 public:
  int ShellOpen(std::string_view target) override {
    opened.emplace_back(target);
    return shellResult;
  }
  std::string HtmlOpenCommand() override { return {}; }
  int StartCommandLine(std::string_view commandLine) override {
    started.emplace_back(commandLine);
    return 2;
  }
  int shellResult = 31;
  std::vector<std::string> opened;
  std::vector<std::string> started;
};

void WriteProgram(const QString& path, const QString& marker) {
  std::ofstream(path.toStdString())
      << "#!/bin/sh\necho started > '" << marker.toStdString() << "'\n";
  std::filesystem::permissions(path.toStdString(), std::filesystem::perms::owner_all);
}

// Swaps environment variables for one test and puts them back.
class EnvOverride {
 public:
  void Set(const char* name, const QByteArray& value) {
    saved_.emplace_back(
        name, qEnvironmentVariableIsSet(name) ? std::optional(qgetenv(name)) : std::nullopt);
    qputenv(name, value);
  }
  ~EnvOverride() {
    for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
      if (it->second) {
        qputenv(it->first, *it->second);
      } else {
        qunsetenv(it->first);
      }
    }
  }

 private:
  std::vector<std::pair<const char*, std::optional<QByteArray>>> saved_;
};

}  // namespace

class BrowserTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase();
  void cleanup();
  void dispatchNamesAreExactAndOrdered();
  void startPageSeesItsHost();
  void executeProgramStartsAProgramFromTheExecutableFolder();
  void executeProgramWithNothingToStartLetsThePageFollowItsLink();
  void blockedKeysNeverReachThePage();
  void startPageNoticesItRunsElsewhere();
  void failedLoadsShowTheErrorPage();
  void helpButtonsFallBackToTheirAddressAndStayUnselected();
  void rankPageLoadsOnceAndShowsTheErrorPageWithoutServer();
  void startPanelMakesItsBrowserAfterTheFirstPaint();
  void helpPageScreenshot();

 private:
  QTemporaryDir dir_{QString::fromLocal8Bit(qgetenv("HOME")) + QStringLiteral("/browser-XXXXXX")};
  QString bin_;
  QString opt_;
};

void BrowserTest::initTestCase() {
  QVERIFY(dir_.isValid());
  bin_ = dir_.filePath(QStringLiteral("bin"));
  opt_ = dir_.filePath(QStringLiteral("opt"));
  QVERIFY(QDir().mkpath(bin_) && QDir().mkpath(opt_));
  ProgramPlaces places;
  places.executableDirectory = bin_.toStdString();
  places.programFilesDirectory = opt_.toStdString();
  CImpIDispatch::Instance().SetPlaces(places);
}

void BrowserTest::cleanup() { CImpIDispatch::Instance().SetOpener(nullptr); }

void BrowserTest::dispatchNamesAreExactAndOrdered() {
  QCOMPARE(CImpIDispatch::GetIdOfName("HW_IsOurCustomBrowser"), 1);
  QCOMPARE(CImpIDispatch::GetIdOfName("HW_Close"), 2);
  QCOMPARE(CImpIDispatch::GetIdOfName("HW_ShowModelessDialog"), 7);
  QCOMPARE(CImpIDispatch::GetIdOfName("HW_ExecuteProgram"), 8);
  QCOMPARE(CImpIDispatch::GetIdOfName("hw_executeprogram"), -1);
  QCOMPARE(CImpIDispatch::GetIdOfName("HW_ExecuteProgram "), -1);
  QCOMPARE(CImpIDispatch::GetIdOfName(""), -1);
  const std::string_view names[] = {"HW_OpenWindow", "Bogus", "HW_Close"};
  int ids[3] = {0, 0, 0};
  QVERIFY(!CImpIDispatch::GetIdsOfNames(names, 3, ids));
  QCOMPARE(ids[0], 5);
  QCOMPARE(ids[1], -1);
  QCOMPARE(ids[2], 0);  // the lookup stopped at the unknown name

  // With no host window left, a late call starts nothing and lets the page follow its link.
  QCOMPARE(CImpIDispatch::Instance().Hosts(), 0);
  const QString marker = dir_.filePath(QStringLiteral("late-ran"));
  WriteProgram(bin_ + QStringLiteral("/qmlate"), marker);
  QCOMPARE(CImpIDispatch::Instance().Invoke(8, {QStringLiteral("qmlate"), QString()}),
           QByteArray("true"));
  QCOMPARE(CImpIDispatch::Instance().Invoke(1, {}), QByteArray("true"));
  {
    CWebBrowser2 host;
    QCOMPARE(CImpIDispatch::Instance().Hosts(), 1);
  }
  QCOMPARE(CImpIDispatch::Instance().Hosts(), 0);
  QTest::qWait(200);
  QVERIFY(!QFile::exists(marker));
}

void BrowserTest::startPageSeesItsHost() {
  CWebBrowser2 view;
  view.resize(600, 300);
  bool ok = false;
  QVERIFY(LoadAndWait(view, BuiltInPageUrl(QStringLiteral("FIRST_PAGE.HTM")), &ok));
  QVERIFY(ok);
  QVERIFY(!view.ShowingErrorPage());
  QCOMPARE(RunJs(view.page(), QStringLiteral("window.external.HW_IsOurCustomBrowser === true")),
           QVariant(true));
  QCOMPARE(
      RunJs(view.page(), QStringLiteral("document.documentElement.classList.contains('host')")),
      QVariant(true));
  // The page's style sheet came from the same place.
  QCOMPARE(RunJs(view.page(), QStringLiteral("getComputedStyle(document.body).backgroundColor")),
           QVariant(QStringLiteral("rgb(247, 250, 240)")));
  // Names outside the table are unknown, letter case included; the accepted ones do nothing.
  const QString probe = QStringLiteral(
      "(function(n){try{var v=window.external[n];return typeof v;}catch(e){return "
      "'unknown';}})('%1')");
  QCOMPARE(RunJs(view.page(), probe.arg(QStringLiteral("hw_isourcustombrowser"))),
           QVariant(QStringLiteral("unknown")));
  QCOMPARE(RunJs(view.page(), probe.arg(QStringLiteral("AddSearchProvider"))),
           QVariant(QStringLiteral("unknown")));
  QCOMPARE(RunJs(view.page(), probe.arg(QStringLiteral("HW_ShowModalDialog"))),
           QVariant(QStringLiteral("function")));
  QCOMPARE(
      RunJs(view.page(), QStringLiteral("typeof window.external.HW_CallFunctionWithParams('x')")),
      QVariant(QStringLiteral("undefined")));
  QCOMPARE(
      RunJs(view.page(),
            QStringLiteral("'HW_Close' in window.external && !('HW_close' in window.external)")),
      QVariant(true));
  // Page script cannot swap our object for its own.
  QCOMPARE(RunJs(view.page(),
                 QStringLiteral(
                     "try{window.external={};}catch(e){} window.external.HW_IsOurCustomBrowser")),
           QVariant(true));
}

void BrowserTest::executeProgramStartsAProgramFromTheExecutableFolder() {
  const QString marker = dir_.filePath(QStringLiteral("qmtool-ran"));
  WriteProgram(bin_ + QStringLiteral("/qmtool"), marker);
  CWebBrowser2 view;
  QVERIFY(LoadAndWait(view, BuiltInPageUrl(QStringLiteral("FIRST_PAGE.HTM"))));
  const QVariant answer =
      RunJs(view.page(),
            QStringLiteral("window.external.HW_ExecuteProgram('qmtool', 'http://127.0.0.1:1/x')"));
  QCOMPARE(answer.metaType(), QMetaType::fromType<bool>());
  QCOMPARE(answer, QVariant(false));  // started: the page must not follow its link
  QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(marker), 10000);
  // A name with the extension in another case is the same program.
  QFile::remove(marker);
  QCOMPARE(
      RunJs(view.page(), QStringLiteral("window.external.HW_ExecuteProgram('qmtool.EXE', '')")),
      QVariant(false));
  QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(marker), 10000);
}

void BrowserTest::executeProgramWithNothingToStartLetsThePageFollowItsLink() {
  CWebBrowser2 view;
  QVERIFY(LoadAndWait(view, BuiltInPageUrl(QStringLiteral("FIRST_PAGE.HTM"))));
  // No desktop opener and no browser association anywhere: nothing can open the page.
  QTemporaryDir empty(dir_.filePath(QStringLiteral("empty-XXXXXX")));
  EnvOverride env;
  env.Set("PATH", empty.path().toLocal8Bit());
  env.Set("XDG_DATA_HOME", empty.path().toLocal8Bit());
  env.Set("XDG_DATA_DIRS", empty.path().toLocal8Bit());
  env.Set("XDG_CONFIG_DIRS", empty.path().toLocal8Bit());
  env.Set("KORVANE_SYSROOT", empty.path().toLocal8Bit());
  const QVariant answer = RunJs(
      view.page(),
      QStringLiteral("window.external.HW_ExecuteProgram('qmabsent', 'http://127.0.0.1:1/forum')"));
  QCOMPARE(answer, QVariant(true));
  // With a browser that opens, the page is handed to it and the link is not followed.
  RecordingOpener opener;
  opener.shellResult = 42;
  CImpIDispatch::Instance().SetOpener(&opener);
  QCOMPARE(RunJs(view.page(),
                 QStringLiteral(
                     "window.external.HW_ExecuteProgram('qmabsent', 'http://127.0.0.1:1/f')")),
           QVariant(false));
  QCOMPARE(opener.opened, std::vector<std::string>{"http://127.0.0.1:1/f"});
  // Text travels intact through the request, whatever it holds.
  opener.opened.clear();
  RunJs(view.page(),
        QStringLiteral(
            "window.external.HW_ExecuteProgram('../x', 'http://127.0.0.1:1/?a=1&b=%E4 \u9a71')"));
  QCOMPARE(opener.opened, std::vector<std::string>{"http://127.0.0.1:1/?a=1&b=%E4 \xe9\xa9\xb1"});
}

void BrowserTest::blockedKeysNeverReachThePage() {
  QVERIFY(!IsBlockedBrowserKey(Qt::Key_C, Qt::NoModifier));
  QVERIFY(IsBlockedBrowserKey(Qt::Key_P, Qt::ControlModifier | Qt::ShiftModifier));
  QVERIFY(!IsBlockedBrowserKey(Qt::Key_V, Qt::ControlModifier));

  CWebBrowser2 view;
  view.resize(500, 300);
  view.show();
  QVERIFY(QTest::qWaitForWindowExposed(&view));
  QVERIFY(LoadAndWait(view, BuiltInPageUrl(QStringLiteral("FIRST_PAGE.HTM"))));
  const QUrl about = BuiltInPageUrl(QStringLiteral("ABOUT.HTM"));
  QVERIFY(LoadAndWait(view, about));
  QVERIFY(view.history()->canGoBack());
  QCOMPARE(
      RunJs(view.page(),
            QStringLiteral("window.seen = []; document.addEventListener('keydown', function (e) {"
                           " seen.push((e.ctrlKey ? 'C-' : '') + e.key); }, true); true")),
      QVariant(true));
  view.activateWindow();
  QWidget* target = view.focusProxy();
  QVERIFY(target != nullptr);
  target->setFocus();
  QSignalSpy started(&view, &QWebEngineView::loadStarted);
  QTest::keyClick(target, Qt::Key_Backspace);
  QTest::keyClick(target, Qt::Key_F5);
  QTest::keyClick(target, Qt::Key_C, Qt::ControlModifier);
  QTest::keyClick(target, Qt::Key_N, Qt::ControlModifier);
  QTest::keyClick(target, Qt::Key_X);
  // The last key does arrive, so the ones before it had their chance and were kept away (the
  // Ctrl key on its own is no shortcut and passes).
  QTRY_COMPARE_WITH_TIMEOUT(
      RunJs(view.page(),
            QStringLiteral("seen.filter(function (k) { return k !== 'C-Control'; }).join(',')")),
      QVariant(QStringLiteral("x")), 10000);
  QTest::qWait(300);
  QCOMPARE(started.count(), 0);
  QCOMPARE(view.url(), about);

  // A right click reaches the page, but no menu of the host ever opens.
  RunJs(view.page(), QStringLiteral("window.menus = 0; document.addEventListener('contextmenu',"
                                    " function () { ++menus; }); true"));
  const QPoint middle = target->rect().center();
  QTest::mousePress(target, Qt::RightButton, Qt::NoModifier, middle);
  QTest::mouseRelease(target, Qt::RightButton, Qt::NoModifier, middle);
  QTRY_COMPARE_WITH_TIMEOUT(RunJs(view.page(), QStringLiteral("menus")), QVariant(1), 10000);
  QTest::qWait(300);
  for (QWidget* top : QApplication::topLevelWidgets()) {
    QVERIFY2(!(qobject_cast<QMenu*>(top) != nullptr && top->isVisible()), "a context menu opened");
  }
}

void BrowserTest::startPageNoticesItRunsElsewhere() {
  // A plain browser: a profile of its own, without our object or schemes.
  QWebEngineProfile plain;
  QWebEnginePage page(&plain);
  QSignalSpy loaded(&page, &QWebEnginePage::loadFinished);
  const QByteArray html = BuiltInPage(QStringLiteral("first_page.htm"));
  QVERIFY(html.contains("HW_IsOurCustomBrowser"));
  page.setHtml(QString::fromUtf8(html), QUrl(QStringLiteral("http://127.0.0.1:1/")));
  QVERIFY(loaded.wait(kLoadTimeoutMs));
  QCOMPARE(RunJs(&page, QStringLiteral("document.documentElement.classList.contains('elsewhere')")),
           QVariant(true));
  QCOMPARE(
      RunJs(&page, QStringLiteral("getComputedStyle(document.getElementById('notice')).display")),
      QVariant(QStringLiteral("block")));
  // A page where window.external is missing altogether takes the same path.
  QCOMPARE(RunJs(&page, QStringLiteral("delete window.external; window.external = undefined; var r;"
                                       "try { r = window.external.HW_IsOurCustomBrowser === true; "
                                       "} catch (e) { r = 'caught'; } r")),
           QVariant(QStringLiteral("caught")));
}

void BrowserTest::failedLoadsShowTheErrorPage() {
  CWebBrowser2 view;
  bool ok = true;
  const QUrl refused(QStringLiteral("http://127.0.0.1:1/html/korvane/rank.htm"));
  QVERIFY(LoadAndWait(view, refused, &ok));
  QVERIFY(!ok);
  QVERIFY(view.ShowingErrorPage());
  QCOMPARE(view.RequestedUrl(), refused);
  QCOMPARE(RunJs(view.page(), QStringLiteral("document.getElementById('loadError') !== null")),
           QVariant(true));
  QVERIFY(RunJs(view.page(), QStringLiteral("document.body.innerText"))
              .toString()
              .contains(refused.toString()));
  // Our scheme serves only our own pages: another program's path or an unknown name fails.
  for (const QString& path : {QStringLiteral("/usr/bin/other/FIRST_PAGE.HTM"),
                              QUrl(BuiltInPageUrl(QStringLiteral("NO_SUCH.HTM"))).path()}) {
    QUrl url;
    url.setScheme(QStringLiteral("res"));
    url.setPath(path);
    ok = true;
    QVERIFY(LoadAndWait(view, url, &ok));
    QVERIFY2(!ok, qPrintable(path));
    QVERIFY(view.ShowingErrorPage());
  }
  // A good page after a failed one is shown as itself.
  QVERIFY(LoadAndWait(view, BuiltInPageUrl(QStringLiteral("about.htm")), &ok));
  QVERIFY(ok);
  QVERIFY(!view.ShowingErrorPage());
  QVERIFY(RunJs(view.page(), QStringLiteral("document.body.innerText"))
              .toString()
              .contains(QStringLiteral("3.0.603")));
}

void BrowserTest::helpButtonsFallBackToTheirAddressAndStayUnselected() {
  CHdwHelpDlg help;
  ProgramPlaces places;
  places.executableDirectory = dir_.filePath(QStringLiteral("no-tools")).toStdString();
  places.programFilesDirectory = dir_.filePath(QStringLiteral("no-opt")).toStdString();
  help.SetPlaces(places);
  RecordingOpener opener;
  help.SetOpener(&opener);
  help.resize(800, 500);
  help.show();
  QVERIFY(QTest::qWaitForWindowExposed(&help));
  QCOMPARE(help.Strip()->Count(), 5);
  QCOMPARE(help.Strip()->Button(0)->text(), QString::fromStdString(LangText(930)));
  QCOMPARE(help.Board()->Caption(), QString::fromStdString(LangText(950)));
  // The board sits right of the strip, the browser inside it below the caption.
  QCOMPARE(help.Strip()->geometry().topLeft(), QPoint(6, 6));
  QCOMPARE(help.Board()->geometry().right(), 800 - 6 - 1);
  QCOMPARE(help.Browser()->geometry(),
           QRect(3, 33, help.Board()->width() - 6, help.Board()->height() - 36));

  const int addresses[5] = {8100, 8101, 8102, 8105, 8106};
  for (int i = 0; i < 5; ++i) {
    opener.opened.clear();
    QSignalSpy ran(&help, &CHdwHelpDlg::ButtonRan);
    QTest::mouseClick(help.Strip()->Button(i), Qt::LeftButton);
    QCOMPARE(ran.count(), 1);
    QCOMPARE(opener.opened.back(), LangText(addresses[i]));
    for (int b = 0; b < 5; ++b) {
      QPushButton* button = help.Strip()->Button(b);
      QVERIFY2(!button->isChecked() && !button->isDown() && !button->hasFocus(),
               qPrintable(QString::number(b)));
    }
  }
  // A tool that is there starts instead of its page.
  const QString tools = dir_.filePath(QStringLiteral("tools"));
  QVERIFY(QDir().mkpath(tools + QStringLiteral("/Quillmark/Wandlet")));
  const QString marker = dir_.filePath(QStringLiteral("qmupdate-ran"));
  WriteProgram(tools + QStringLiteral("/Quillmark/Wandlet/qmupdate"), marker);
  places.programFilesDirectory = tools.toStdString();
  help.SetPlaces(places);
  help.SetOpener(nullptr);
  QSignalSpy ran(&help, &CHdwHelpDlg::ButtonRan);
  QTest::mouseClick(help.Strip()->Button(1), Qt::LeftButton);
  QCOMPARE(ran.count(), 1);
  QCOMPARE(ran.at(0).at(1), QVariant(true));
  QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(marker), 10000);
}

void BrowserTest::rankPageLoadsOnceAndShowsTheErrorPageWithoutServer() {
  QCOMPARE(RankPageUrl(), QUrl(QStringLiteral("http://127.0.0.1:1/html/korvane/rank.htm")));
  QWidget frame;
  frame.resize(700, 400);
  auto* rank = new CHdwRankDlg(&frame);
  rank->resize(700, 400);
  QVERIFY(rank->Browser() == nullptr);  // nothing is made before the page is first shown
  frame.show();
  QVERIFY(QTest::qWaitForWindowExposed(&frame));
  QVERIFY(rank->Browser() != nullptr);
  QSignalSpy ready(rank->Browser(), &CWebBrowser2::PageReady);
  QVERIFY(ready.wait(kLoadTimeoutMs));
  QVERIFY(rank->Browser()->ShowingErrorPage());
  QCOMPARE(rank->Browser()->geometry(), QRect(4, 4, 692, 392));
  CWebBrowser2* first = rank->Browser();
  QSignalSpy started(first, &QWebEngineView::loadStarted);
  rank->hide();
  rank->show();
  QTest::qWait(500);
  QCOMPARE(rank->Browser(), first);
  QCOMPARE(started.count(), 0);
}

void BrowserTest::startPanelMakesItsBrowserAfterTheFirstPaint() {
  CStartPanel panel;
  panel.resize(600, 160);
  QVERIFY(panel.Browser() == nullptr);
  QSignalSpy created(&panel, &CStartPanel::BrowserCreated);
  panel.show();
  QVERIFY(created.wait(10000));
  QVERIFY(panel.Browser() != nullptr);
  QCOMPARE(panel.Browser()->RequestedUrl(), BuiltInPageUrl(QStringLiteral("FIRST_PAGE.HTM")));
  QCOMPARE(panel.Browser()->geometry(), panel.rect());
  QSignalSpy ready(panel.Browser(), &CWebBrowser2::PageReady);
  QVERIFY(ready.wait(kLoadTimeoutMs));
  QCOMPARE(ready.at(0).at(0), QVariant(true));
}

void BrowserTest::helpPageScreenshot() {
  // KORVANE_HELP_SCREENSHOT=<file.png> saves the Help page as a user sees it.
  const QString file = qEnvironmentVariable("KORVANE_HELP_SCREENSHOT");
  if (file.isEmpty()) QSKIP("no screenshot asked for");
  CHdwHelpDlg help;
  help.resize(900, 560);
  QSignalSpy ready(help.Browser(), &CWebBrowser2::PageReady);
  help.show();
  QVERIFY(QTest::qWaitForWindowExposed(&help));
  QVERIFY(ready.count() > 0 || ready.wait(kLoadTimeoutMs));
  QTest::qWait(1500);  // let the page's first frame reach the widget
  QVERIFY(help.grab().save(file));
}

int RunBrowserTests(int argc, char** argv) {
  BrowserTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "BrowserTest.moc"
