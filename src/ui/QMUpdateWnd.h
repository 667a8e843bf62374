#pragma once
// The update strip of the summary page: advertises the companion update tool, shows a spinning
// picture while it scans, then the number of updates it found with a link to install them.
// What it shows comes from CQMUpdateLogic; this window paints and forwards events.
#include <QLabel>
#include <QPointer>
#include <QWidget>
#include <memory>
#include <string_view>

#include "online/UpdateTool.h"
#include "platform/Messages.h"

namespace korvane {

class CHyperLink2;
class CQtMessageTarget;

// The scanning picture: a 32 x 32 spinner, alive only while a scan runs.
class CScanAnimation : public QWidget {
  Q_OBJECT

 public:
  explicit CScanAnimation(QWidget* parent);
  int Frame() const { return frame_; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void timerEvent(QTimerEvent* event) override;

 private:
  int frame_ = 0;
  int timer_ = 0;
};

class CQMUpdateWnd : public QWidget {
  Q_OBJECT

 public:
  explicit CQMUpdateWnd(QWidget* parent = nullptr, CQMUpdateLogic::Clock clock = {},
                        UpdateToolStarter starter = {});
  ~CQMUpdateWnd() override;

  // Places the strip and makes it idle (state 1).
  bool Create(QWidget* parent, const QRect& rect);
  // Nothing is painted until the owner activates the strip.
  void SetActive(bool active);
  bool Active() const { return active_; }

  // The strip's window messages: the registered scan messages (by their registered numbers)
  // and the action link's command (2329).
  platform::LParam HandleMessage(std::uint32_t msg, platform::WParam wParam,
                                 platform::LParam lParam);
  // A broadcast forwarded by name (the main window's route, or ListenToBroadcasts).
  bool OnBroadcast(std::string_view name, platform::LParam lParam);
  // Subscribes the strip itself to the tool's broadcasts on the session bus, for owners that do
  // not forward them. False without a session bus.
  bool ListenToBroadcasts();

  platform::IMessageTarget* MessageTarget() const;
  const CQMUpdateLogic& Logic() const { return logic_; }
  QLabel* ActionLabel() const { return actionLabel_; }
  CScanAnimation* Animation() const { return animation_.data(); }
  std::uint32_t StartScanMessage() const { return msgStartScan_; }
  std::uint32_t EndScanMessage() const { return msgEndScan_; }
  // Where the main text ends (the action link's left edge less 12), for tests and layout.
  int MainTextRight() const { return mainTextRight_; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void timerEvent(QTimerEvent* event) override;

 private:
  void Sync();  // timer, picture and link after a change of state
  void PlaceActionLink();

  CQMUpdateLogic logic_;
  bool active_ = false;
  int timerId_ = 0;
  int mainTextRight_ = 45;
  std::uint32_t msgStartScan_ = 0;
  std::uint32_t msgEndScan_ = 0;
  QPointer<CScanAnimation> animation_;
  QPixmap icon_;
  QFont mainFont_;
  QFont countFont_;
  QLabel* countLabel_ = nullptr;
  QLabel* actionLabel_ = nullptr;
  CHyperLink2* countLink_ = nullptr;
  CHyperLink2* actionLink_ = nullptr;
  std::unique_ptr<CQtMessageTarget> target_;
  std::unique_ptr<platform::BroadcastSubscription> subscription_;
};

// The strip's 32 x 32 picture of the update tool.
QPixmap UpdateToolIcon();

}  // namespace korvane
