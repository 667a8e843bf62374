#pragma once
// Window messages for Qt windows: background threads post or send to a window through this
// target, and the window's handler runs on the GUI thread. Also the message-box sink that
// shows the logic layers' messages as Qt message boxes from any thread.
#include <QObject>
#include <QPointer>

#include <functional>

#include "platform/Messages.h"

namespace korvane {

class CQtMessageTarget : public platform::IMessageTarget {
 public:
  using Handler = std::function<platform::LParam(std::uint32_t, platform::WParam, platform::LParam)>;
  // `window` owns nothing here; once it is destroyed the target reports itself gone.
  CQtMessageTarget(QObject* window, Handler handler);

  bool IsLive() const override;
  bool Post(std::uint32_t msg, platform::WParam wParam, platform::LParam lParam) override;
  platform::LParam Send(std::uint32_t msg, platform::WParam wParam, platform::LParam lParam) override;

 private:
  QPointer<QObject> window_;
  Handler handler_;
};

// Routes platform::ShowMessageBox to QMessageBox on the GUI thread; a caller on another thread
// waits for the user's answer.
void InstallQtMessageBoxSink();
void RemoveQtMessageBoxSink();

}  // namespace korvane
