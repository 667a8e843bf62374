#include "ui/WebBrowser2.h"

#include <unistd.h>

#include <QBuffer>
#include <QChildEvent>
#include <QCoreApplication>
#include <QFile>
#include <QKeyEvent>
#include <QUrlQuery>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <QWebEngineSettings>
#include <QWebEngineUrlRequestJob>
#include <QWebEngineUrlScheme>
#include <QWebEngineUrlSchemeHandler>
#include <cstdlib>
#include <cstring>

#include "config/LanguageRes.h"
#include "config/Product.h"
#include "platform/Paths.h"

static void InitBuiltInPages() { Q_INIT_RESOURCE(pages); }

namespace korvane {

namespace {

constexpr char kResScheme[] = "res";
constexpr char kExternalScheme[] = "qmext";
constexpr char kExternalHost[] = "dispatch";

const char* const kBuiltInPages[] = {"FIRST_PAGE.HTM", "ABOUT.HTM", "PAGES.CSS"};

QString HtmlEscaped(const std::string& text) {
  return QString::fromStdString(text).toHtmlEscaped();
}

// "${930}" -> language text 930; "${lang}", "${product}", "${version}" -> the program's own.
QByteArray FillPlaceholders(const QByteArray& text) {
  QString page = QString::fromUtf8(text);
  QString out;
  out.reserve(page.size());
  qsizetype pos = 0;
  while (pos < page.size()) {
    const qsizetype open = page.indexOf(QLatin1String("${"), pos);
    const qsizetype close = open < 0 ? -1 : page.indexOf(QLatin1Char('}'), open + 2);
    if (open < 0 || close < 0) {
      out += page.mid(pos);
      break;
    }
    out += page.mid(pos, open - pos);
    const QString key = page.mid(open + 2, close - open - 2);
    bool isId = false;
    const int id = key.toInt(&isId);
    if (isId) {
      out += HtmlEscaped(LangText(id));
    } else if (key == QLatin1String("lang")) {
      out += LanguageRes().SelectedTable() == kTableSimplifiedChinese ? QLatin1String("zh")
                                                                      : QLatin1String("en");
    } else if (key == QLatin1String("product")) {
      out += QLatin1String(kProductName);
    } else if (key == QLatin1String("version")) {
      out += QLatin1String(kProductVersionLong);
    } else {
      out += page.mid(open, close - open + 1);
    }
    pos = close + 1;
  }
  return out.toUtf8();
}

QByteArray ContentTypeFor(const QString& name) {
  return name.endsWith(QLatin1String(".CSS"), Qt::CaseInsensitive)
             ? QByteArrayLiteral("text/css;charset=utf-8")
             : QByteArrayLiteral("text/html;charset=utf-8");
}

void ReplyWith(QWebEngineUrlRequestJob* job, const QByteArray& contentType,
               const QByteArray& body) {
  auto* buffer = new QBuffer(job);
  buffer->setData(body);
  buffer->open(QIODevice::ReadOnly);
  job->reply(contentType, buffer);
}

// res://<executable path>/<name>: only this program's own resources are served.
class CResSchemeHandler : public QWebEngineUrlSchemeHandler {
 public:
  using QWebEngineUrlSchemeHandler::QWebEngineUrlSchemeHandler;
  void requestStarted(QWebEngineUrlRequestJob* job) override {
    const QString path = job->requestUrl().path();
    const QString own = QString::fromStdString(platform::ExecutablePath()) + QLatin1Char('/');
    if (own.size() < 2 || !path.startsWith(own)) {
      job->fail(QWebEngineUrlRequestJob::UrlNotFound);
      return;
    }
    const QString name = path.mid(own.size());
    const QByteArray page = BuiltInPage(name);
    if (page.isEmpty()) {
      job->fail(QWebEngineUrlRequestJob::UrlNotFound);
      return;
    }
    ReplyWith(job, ContentTypeFor(name), page);
  }
};

// qmext://dispatch/<id>?a0=..&a1=..: a call of window.external, answered while the page waits.
class CExternalSchemeHandler : public QWebEngineUrlSchemeHandler {
 public:
  using QWebEngineUrlSchemeHandler::QWebEngineUrlSchemeHandler;
  void requestStarted(QWebEngineUrlRequestJob* job) override {
    const QUrl url = job->requestUrl();
    bool ok = false;
    const int id = url.path().mid(1).toInt(&ok);
    if (url.host() != QLatin1String(kExternalHost) || !ok) {
      job->fail(QWebEngineUrlRequestJob::UrlNotFound);
      return;
    }
    const QUrlQuery query(url);
    QStringList args;
    for (int i = 0; i < 8 && query.hasQueryItem(QStringLiteral("a%1").arg(i)); ++i) {
      args << query.queryItemValue(QStringLiteral("a%1").arg(i), QUrl::FullyDecoded);
    }
    ReplyWith(job, QByteArrayLiteral("text/plain;charset=utf-8"),
              CImpIDispatch::Instance().Invoke(id, args));
  }
};

}  // namespace

void RegisterBrowserSchemes() {
  static bool done = false;
  if (done) return;
  done = true;
  QWebEngineUrlScheme res(kResScheme);
  res.setSyntax(QWebEngineUrlScheme::Syntax::Path);
  res.setFlags(QWebEngineUrlScheme::SecureScheme | QWebEngineUrlScheme::CorsEnabled);
  QWebEngineUrlScheme::registerScheme(res);
  QWebEngineUrlScheme ext(kExternalScheme);
  ext.setSyntax(QWebEngineUrlScheme::Syntax::Host);
  ext.setDefaultPort(QWebEngineUrlScheme::PortUnspecified);
  ext.setFlags(QWebEngineUrlScheme::SecureScheme | QWebEngineUrlScheme::CorsEnabled |
               QWebEngineUrlScheme::ContentSecurityPolicyIgnored);
  QWebEngineUrlScheme::registerScheme(ext);
}

namespace {

// Read by the engine when it first starts, which may be after the application object exists.
void PrepareEngineEnvironment() {
  if (::geteuid() == 0 && std::getenv("QTWEBENGINE_DISABLE_SANDBOX") == nullptr) {
    ::setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 0);
  }
  // Without a display there is no GPU to use; the engine would try and fail noisily.
  const char* platform = std::getenv("QT_QPA_PLATFORM");
  if (platform != nullptr && std::strcmp(platform, "offscreen") == 0 &&
      std::getenv("QTWEBENGINE_CHROMIUM_FLAGS") == nullptr) {
    ::setenv("QTWEBENGINE_CHROMIUM_FLAGS", "--disable-gpu", 0);
  }
}

}  // namespace

void PrepareBrowserEngine() {
  RegisterBrowserSchemes();
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
  PrepareEngineEnvironment();
}

QUrl BuiltInPageUrl(const QString& name) {
  const std::string exe = platform::ExecutablePath();
  if (exe.empty()) return QUrl(QStringLiteral("about:blank"));
  QUrl url;
  url.setScheme(QLatin1String(kResScheme));
  url.setPath(QString::fromStdString(exe) + QLatin1Char('/') + name);
  return url;
}

QByteArray BuiltInPage(const QString& name) {
  InitBuiltInPages();
  for (const char* known : kBuiltInPages) {
    if (name.compare(QLatin1String(known), Qt::CaseInsensitive) != 0) continue;
    QFile file(QStringLiteral(":/korvane/pages/") + QLatin1String(known));
    if (!file.open(QIODevice::ReadOnly)) return {};
    return FillPlaceholders(file.readAll());
  }
  return {};
}

QString LoadErrorPage(const QUrl& url) {
  InitBuiltInPages();
  QFile file(QStringLiteral(":/korvane/pages/ERROR.HTM"));
  QString page = file.open(QIODevice::ReadOnly)
                     ? QString::fromUtf8(FillPlaceholders(file.readAll()))
                     : QString();
  if (page.isEmpty()) page = QStringLiteral("<p>${url}</p>");
  return page.replace(QLatin1String("${url}"), url.toDisplayString().toHtmlEscaped());
}

bool IsBlockedBrowserKey(int key, Qt::KeyboardModifiers modifiers) {
  if (key == Qt::Key_F5 || key == Qt::Key_Backspace) return true;
  if (modifiers.testFlag(Qt::ControlModifier)) {
    return key == Qt::Key_O || key == Qt::Key_P || key == Qt::Key_N || key == Qt::Key_C;
  }
  return false;
}

CImpIDispatch& CImpIDispatch::Instance() {
  static CImpIDispatch instance;
  return instance;
}

const std::array<const char*, 8>& CImpIDispatch::Names() {
  static const std::array<const char*, 8> names = {
      "HW_IsOurCustomBrowser",     "HW_Close",         "HW_CallFunction",
      "HW_CallFunctionWithParams", "HW_OpenWindow",    "HW_ShowModalDialog",
      "HW_ShowModelessDialog",     "HW_ExecuteProgram"};
  return names;
}

int CImpIDispatch::GetIdOfName(std::string_view name) {
  const auto& names = Names();
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (name == names[i]) return static_cast<int>(i) + 1;
  }
  return -1;
}

bool CImpIDispatch::GetIdsOfNames(const std::string_view* names, int count, int* ids) {
  for (int i = 0; i < count; ++i) {
    ids[i] = GetIdOfName(names[i]);
    if (ids[i] < 0) return false;
  }
  return true;
}

QString CImpIDispatch::InstallScript() {
  QString table;
  for (const char* name : Names()) table += QStringLiteral("'%1',").arg(QLatin1String(name));
  // The call goes out as a synchronous request to our own scheme, so the page gets its answer
  // as a plain value before its handler returns, and can decide whether to follow its link.
  return QStringLiteral(R"JS((function () {
  'use strict';
  var names = [%1];
  var serial = 0;
  function text(v) { return v === undefined || v === null ? '' : String(v); }
  function call(id, args) {
    var url = '%2://%3/' + id + '?';
    for (var i = 0; i < args.length; ++i) url += 'a' + i + '=' + encodeURIComponent(text(args[i])) + '&';
    url += 'n=' + (++serial);
    var request = new XMLHttpRequest();
    request.open('GET', url, false);
    request.send(null);
    return request.status === 200 ? request.responseText : null;
  }
  var methods = {};
  Object.defineProperty(methods, 'HW_IsOurCustomBrowser', { get: function () { return true; } });
  methods.HW_Close = function () {};
  methods.HW_CallFunction = function () {};
  methods.HW_CallFunctionWithParams = function (a) { text(a); };
  methods.HW_OpenWindow = function (a) { text(a); };
  methods.HW_ShowModalDialog = function (a) { text(a); };
  methods.HW_ShowModelessDialog = function (a) { text(a); };
  methods.HW_ExecuteProgram = function (program, url) {
    var answer = null;
    try { answer = call(8, [program, url]); } catch (e) { answer = null; }
    return answer !== 'false';
  };
  var external = new Proxy(methods, {
    get: function (target, name) {
      if (typeof name !== 'string') return undefined;
      if (names.indexOf(name) < 0) throw new TypeError("Object doesn't support property or method '" + name + "'");
      return target[name];
    },
    has: function (target, name) { return typeof name === 'string' && names.indexOf(name) >= 0; },
    set: function () { return false; },
    defineProperty: function () { return false; },
    deleteProperty: function () { return false; },
    ownKeys: function () { return names.slice(); },
    getOwnPropertyDescriptor: function (target, name) {
      return names.indexOf(name) >= 0 ? { value: target[name], enumerable: true, configurable: true } : undefined;
    }
  });
  try {
    Object.defineProperty(window, 'external', { value: external, enumerable: true, configurable: false });
  } catch (e) {
    window.external = external;
  }
})();)JS")
      .arg(table, QLatin1String(kExternalScheme), QLatin1String(kExternalHost));
}

QByteArray CImpIDispatch::Invoke(int id, const QStringList& args) {
  if (id == 1) return QByteArrayLiteral("true");
  if (id != 8) return id >= 2 && id <= 7 ? QByteArray() : QByteArrayLiteral("unknown");
  // With no host left there is nobody to start anything for: the page follows its link.
  if (hosts_ <= 0) return QByteArrayLiteral("true");
  const std::string program = args.value(0).toStdString();
  const std::string url = args.value(1).toStdString();
  ILinkOpener& opener = opener_ != nullptr ? *opener_ : DesktopLinkOpener();
  const LaunchOutcome outcome = LaunchProgramOrOpen(program, url, places_, opener);
  return outcome.Started() ? QByteArrayLiteral("false") : QByteArrayLiteral("true");
}

QWebEngineProfile* CWebBrowser2::Profile() {
  static QPointer<QWebEngineProfile> profile;
  if (profile) return profile;
  PrepareEngineEnvironment();
  // Off the record: the hosted pages leave no cache or cookies in the user's home.
  profile = new QWebEngineProfile(QCoreApplication::instance());
  profile->installUrlSchemeHandler(kResScheme, new CResSchemeHandler(profile));
  profile->installUrlSchemeHandler(kExternalScheme, new CExternalSchemeHandler(profile));
  QWebEngineScript script;
  script.setName(QStringLiteral("korvane-external"));
  script.setInjectionPoint(QWebEngineScript::DocumentCreation);
  script.setWorldId(QWebEngineScript::MainWorld);
  script.setRunsOnSubFrames(true);
  script.setSourceCode(CImpIDispatch::InstallScript());
  profile->scripts()->insert(script);
  QWebEngineSettings* settings = profile->settings();
  settings->setAttribute(QWebEngineSettings::ShowScrollBars, false);
  settings->setAttribute(QWebEngineSettings::ErrorPageEnabled, false);
  settings->setAttribute(QWebEngineSettings::FocusOnNavigationEnabled, false);
  return profile;
}

CWebBrowser2::CWebBrowser2(QWidget* parent) : QWebEngineView(parent) {
  setObjectName(QStringLiteral("webBrowser"));
  setPage(new QWebEnginePage(Profile(), this));
  setContextMenuPolicy(Qt::NoContextMenu);
  CImpIDispatch::Instance().AddHost();
  connect(this, &QWebEngineView::loadFinished, this, &CWebBrowser2::OnLoadFinished);
  for (QObject* child : children()) Watch(child);
}

CWebBrowser2::~CWebBrowser2() { CImpIDispatch::Instance().RemoveHost(); }

void CWebBrowser2::Navigate(const QUrl& url) {
  requested_ = url;
  showingError_ = false;
  loadingError_ = false;
  load(url);
}

void CWebBrowser2::OnLoadFinished(bool ok) {
  if (loadingError_) {
    loadingError_ = false;
    emit PageReady(false);
    return;
  }
  if (ok) {
    emit PageReady(true);
    return;
  }
  // A failed page would otherwise stay blank (or half drawn): say what went wrong instead.
  showingError_ = true;
  loadingError_ = true;
  page()->setHtml(LoadErrorPage(requested_.isEmpty() ? url() : requested_));
}

void CWebBrowser2::Watch(QObject* child) {
  // The keys go to the widget that draws the page, which the view makes when it needs it.
  auto* widget = qobject_cast<QWidget*>(child);
  if (widget == nullptr) return;
  widget->installEventFilter(this);  // installing again does not add a second filter
  widget->setContextMenuPolicy(Qt::NoContextMenu);
}

bool CWebBrowser2::event(QEvent* event) {
  if (event->type() == QEvent::ChildAdded || event->type() == QEvent::ChildPolished) {
    Watch(static_cast<QChildEvent*>(event)->child());
  }
  return QWebEngineView::event(event);
}

bool CWebBrowser2::eventFilter(QObject* watched, QEvent* event) {
  // Key-downs only: the release of a swallowed key is harmless to the page.
  if (event->type() == QEvent::KeyPress || event->type() == QEvent::ShortcutOverride) {
    const auto* key = static_cast<QKeyEvent*>(event);
    if (IsBlockedBrowserKey(key->key(), key->modifiers())) {
      event->accept();
      return true;
    }
  }
  if (event->type() == QEvent::ContextMenu) return true;
  return QWebEngineView::eventFilter(watched, event);
}

}  // namespace korvane
