#include "app/GuiMain.h"

#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QPointer>
#include <QSocketNotifier>
#include <cerrno>
#include <csignal>
#include <string>
#include <vector>

#include "app/logic/AppLifecycle.h"
#include "app/logic/RunMode.h"
#include "config/Product.h"
#include "ui/KorvaneArt.h"
#include "ui/KorvaneDlg.h"
#include "ui/QtMessageTarget.h"
#include "ui/WebBrowser2.h"

namespace korvane {
namespace {

int g_signalPipe[2] = {-1, -1};

void OnQuitSignal(int) {
  // Only async-signal-safe work here: one byte wakes the GUI thread.
  const int saved = errno;
  const char byte = 1;
  [[maybe_unused]] const auto n = ::write(g_signalPipe[0], &byte, 1);
  errno = saved;
}

class GuiShell : public IAppShell {
 public:
  explicit GuiShell(CKorvaneApp& app) : app_(app) {}

  void SetSettingsKeyName(const std::string& name) override {
    QCoreApplication::setOrganizationName(QString::fromStdString(name));
  }

  void RunMainWindow() override {
    CKorvaneDlg window;
    QPointer<CKorvaneDlg> guarded(&window);
    if (platform::SingleInstanceLock* lock = app_.InstanceLock()) {
      // Runs on the lock's listening thread; the window is reached on the GUI thread only.
      lock->ListenForActivation([guarded] {
        QMetaObject::invokeMethod(
            qApp,
            [guarded] {
              if (CKorvaneDlg* w = guarded.data()) w->Activate();
            },
            Qt::QueuedConnection);
      });
    }
    if (window.Initialise(RunMode()) != 1) return;
    window.ShowMainWindow();
    window.AfterSplash();
    QApplication::exec();
  }

 private:
  CKorvaneApp& app_;
};

}  // namespace

void InstallQuitSignalHandlers() {
  if (g_signalPipe[0] >= 0) return;
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_signalPipe) != 0) return;
  auto* notifier = new QSocketNotifier(g_signalPipe[1], QSocketNotifier::Read, qApp);
  QObject::connect(notifier, &QSocketNotifier::activated, qApp, [] {
    char buffer[16];
    [[maybe_unused]] const auto n = ::read(g_signalPipe[1], buffer, sizeof buffer);
    CKorvaneDlg::RequestQuitOfMainWindow();
  });
  struct sigaction sa {};
  sa.sa_handler = &OnQuitSignal;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = SA_RESTART;
  // A closed terminal ends the program the way a termination request does.
  sigaction(SIGTERM, &sa, nullptr);
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGHUP, &sa, nullptr);
}

int RunGui(int argc, char** argv) {
  const std::vector<std::string> args(argv, argv + argc);
  StaticInitialise();
  int status = 0;
  {
    PrepareBrowserEngine();  // the engine's schemes and switches exist only if set before the app
    QApplication app(argc, argv);
    QApplication::setApplicationName(QString::fromLatin1(kProductName));
    QApplication::setApplicationVersion(QString::fromLatin1(kProductVersion));
    QGuiApplication::setDesktopFileName(QStringLiteral("korvane"));
    QApplication::setWindowIcon(KorvaneIcon());
    InstallQtMessageBoxSink();
    InstallQuitSignalHandlers();

    CKorvaneApp theApp;
    GuiShell shell(theApp);
    // A lost display makes the toolkit end the process with exit(); the exit handler then
    // removes the library copy and records the exit, which the exit sequence cannot.
    theApp.InitInstance(args, shell);
    theApp.ExitInstance();
    status = theApp.ExitCode();
    RemoveQtMessageBoxSink();
  }
  StaticFinalise();
  return status;
}

}  // namespace korvane
