#pragma once
// The program's own host for web pages: the start panel, the about panel and the rank page.
// The host strips what would let a user refresh, print, open or copy, shows no context menu
// and no scroll bars, and offers page script a small object as window.external through which
// the start page's links start the maker's other programs.
#include <QPointer>
#include <QUrl>
#include <QWebEngineView>
#include <array>
#include <string_view>

#include "ui/logic/ProgramLaunch.h"

class QWebEngineProfile;

namespace korvane {

// Our own schemes: "res" serves the built-in pages from the program's resources, "qmext"
// answers window.external's calls. Both must be known before the application object exists.
void RegisterBrowserSchemes();
// Everything the browser engine needs before the application object exists: the schemes, a
// shared GL context, and, for root (whom the engine's sandbox refuses), the sandbox switched
// off, as the engine's own documentation advises.
void PrepareBrowserEngine();

// "res://" + the running executable's full path + "/" + name; about:blank when the path is
// unknown.
QUrl BuiltInPageUrl(const QString& name);
// The text of a built-in page with its placeholders filled in; empty when there is no such
// page. Names compare without regard to case, as resource names do.
QByteArray BuiltInPage(const QString& name);
// The page shown in place of one that could not be loaded.
QString LoadErrorPage(const QUrl& url);

// Keys the host keeps from the page: F5; Ctrl with O, P, N or C; Backspace.
bool IsBlockedBrowserKey(int key, Qt::KeyboardModifiers modifiers);

// The application-wide object behind window.external in every hosted page.
class CImpIDispatch {
 public:
  static CImpIDispatch& Instance();

  // The method names in dispatch-id order (id = index + 1).
  static const std::array<const char*, 8>& Names();
  // Dispatch id of a name, compared exactly; -1 for a name outside the table.
  static int GetIdOfName(std::string_view name);
  // Ids of several names (a method and its named arguments): filled up to the first unknown
  // name, which gets -1; false when any name was unknown.
  static bool GetIdsOfNames(const std::string_view* names, int count, int* ids);
  // The script that installs window.external in every document before page script runs.
  static QString InstallScript();

  // Runs a call that came from page script. HW_ExecuteProgram answers "true" when the page
  // should follow its own link (nothing could be started), "false" otherwise.
  QByteArray Invoke(int id, const QStringList& args);

  // Where programs are looked for and how they are started; tests point these elsewhere.
  void SetPlaces(const ProgramPlaces& places) { places_ = places; }
  void SetOpener(ILinkOpener* opener) { opener_ = opener; }
  // Hosts come and go; with none left a call starts nothing.
  void AddHost() { ++hosts_; }
  void RemoveHost() { --hosts_; }
  int Hosts() const { return hosts_; }

 private:
  CImpIDispatch() = default;
  ProgramPlaces places_;
  ILinkOpener* opener_ = nullptr;
  int hosts_ = 0;
};

class CWebBrowser2 : public QWebEngineView {
  Q_OBJECT

 public:
  explicit CWebBrowser2(QWidget* parent = nullptr);
  ~CWebBrowser2() override;

  void Navigate(const QUrl& url);
  // The address last asked for (the error page does not replace it).
  QUrl RequestedUrl() const { return requested_; }
  bool ShowingErrorPage() const { return showingError_; }
  // The profile every host shares, with our scheme handlers installed.
  static QWebEngineProfile* Profile();

 signals:
  // A navigation ended: ok is false when the error page was shown instead.
  void PageReady(bool ok);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  bool event(QEvent* event) override;

 private:
  void OnLoadFinished(bool ok);
  void Watch(QObject* child);

  QUrl requested_;
  bool showingError_ = false;
  bool loadingError_ = false;
};

}  // namespace korvane
