#include "ui/QtMessageTarget.h"

#include <QApplication>
#include <QMessageBox>
#include <QThread>

#include "platform/MessageBox.h"

namespace korvane {

CQtMessageTarget::CQtMessageTarget(QObject* window, Handler handler)
    : window_(window), handler_(std::move(handler)) {}

bool CQtMessageTarget::IsLive() const { return !window_.isNull(); }

bool CQtMessageTarget::Post(std::uint32_t msg, platform::WParam wParam, platform::LParam lParam) {
  QObject* window = window_.data();
  if (window == nullptr || !handler_) return false;
  Handler handler = handler_;
  return QMetaObject::invokeMethod(
      window, [handler, msg, wParam, lParam] { handler(msg, wParam, lParam); },
      Qt::QueuedConnection);
}

platform::LParam CQtMessageTarget::Send(std::uint32_t msg, platform::WParam wParam,
                                        platform::LParam lParam) {
  QObject* window = window_.data();
  if (window == nullptr || !handler_) return 0;
  if (QThread::currentThread() == window->thread()) return handler_(msg, wParam, lParam);
  platform::LParam result = 0;
  Handler handler = handler_;
  QMetaObject::invokeMethod(
      window, [&result, handler, msg, wParam, lParam] { result = handler(msg, wParam, lParam); },
      Qt::BlockingQueuedConnection);
  return result;
}

namespace {

int ShowOnGuiThread(const QString& text, const QString& caption, unsigned flags) {
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  switch (flags & 0xF0u) {
    case platform::kMbIconError: icon = QMessageBox::Critical; break;
    case platform::kMbIconQuestion: icon = QMessageBox::Question; break;
    case platform::kMbIconWarning: icon = QMessageBox::Warning; break;
    case platform::kMbIconInformation: icon = QMessageBox::Information; break;
    default: break;
  }
  QMessageBox::StandardButtons buttons = QMessageBox::Ok;
  if ((flags & 0xFu) == platform::kMbOkCancel) buttons = QMessageBox::Ok | QMessageBox::Cancel;
  if ((flags & 0xFu) == platform::kMbYesNo) buttons = QMessageBox::Yes | QMessageBox::No;
  QMessageBox box(icon, caption, text, buttons, QApplication::activeWindow());
  box.setObjectName(QStringLiteral("korvaneMessageBox"));
  switch (box.exec()) {
    case QMessageBox::Ok: return platform::kIdOk;
    case QMessageBox::Yes: return platform::kIdYes;
    case QMessageBox::No: return platform::kIdNo;
    default:
      // Closing a yes/no box without an answer counts as "no", an OK box as "OK".
      if ((flags & 0xFu) == platform::kMbYesNo) return platform::kIdNo;
      if ((flags & 0xFu) == platform::kMbOkCancel) return platform::kIdCancel;
      return platform::kIdOk;
  }
}

}  // namespace

void InstallQtMessageBoxSink() {
  platform::SetMessageBoxSink([](std::string_view text, std::string_view caption, unsigned flags) {
    const QString qText = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    const QString qCaption = QString::fromUtf8(caption.data(), static_cast<qsizetype>(caption.size()));
    QCoreApplication* app = QCoreApplication::instance();
    if (app == nullptr) return static_cast<int>(platform::kIdCancel);
    if (QThread::currentThread() == app->thread()) return ShowOnGuiThread(qText, qCaption, flags);
    int result = platform::kIdCancel;
    QMetaObject::invokeMethod(
        app, [&] { result = ShowOnGuiThread(qText, qCaption, flags); },
        Qt::BlockingQueuedConnection);
    return result;
  });
}

void RemoveQtMessageBoxSink() { platform::SetMessageBoxSink({}); }

}  // namespace korvane
