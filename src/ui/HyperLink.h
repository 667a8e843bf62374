#pragma once
// The two link controls of the pages, and the wheel scrolling the pages share.
//
// CHyperLink2 turns any existing QLabel into a link: hover colours, an underlined font, the
// hand cursor, and on a click either an "app:" command to the label's parent (through its
// message target) or the target opened by the desktop.
//
// CHyperLink is a label of its own with the option bits of ui/logic/LinkCommands.h and the
// process-wide link colours; a failed open falls back to the web browser and then tells the
// user why.
#include <QCursor>
#include <QLabel>
#include <QObject>
#include <QPointer>
#include <functional>
#include <string>
#include <string_view>

#include "platform/Messages.h"
#include "ui/logic/LinkCommands.h"

class QScrollBar;
class QWheelEvent;

namespace korvane {

class ILinkOpener;

QColor ColourFromColorRef(std::uint32_t colorRef);  // 0x00BBGGRR

class CHyperLink2 : public QObject {
  Q_OBJECT

 public:
  // Opens a target the link does not handle itself; the result is the shell's (above 32 is
  // success). The default is platform::ShellOpen.
  using Opener = std::function<int(std::string_view target)>;

  explicit CHyperLink2(QObject* owner = nullptr);
  ~CHyperLink2() override;

  // 1 when attached; 0 for a null label or when already attached.
  int Attach(QLabel* label);
  // The label it was attached to (null when it was not), with its own look restored.
  QLabel* Detach();
  QLabel* Window() const { return label_.data(); }

  // Refused (0, nothing changes) at 64 UTF-16 units or more; empty shows the label's text.
  int SetText(std::string_view utf8);
  // Refused at 256 units or more; empty makes the label's text the target.
  int SetTarget(std::string_view utf8);
  void SetCommandParameter(int parameter) { commandParameter_ = parameter; }
  void SetOptions(unsigned options) { options_ = options; }  // kLinkAutoSize resizes on SetText
  // Where "app:" commands go; null (the default) means the link has no parent to tell.
  void SetParentTarget(platform::IMessageTarget* parent) { parentTarget_ = parent; }
  void SetOpener(Opener opener);

  // Forwards to the label; 0 while detached.
  int Show(bool show);
  int Move(const QRect& geometry);
  int Invalidate();
  int IsVisible() const;
  int Centre();

  bool Hovering() const { return hover_; }
  const std::string& Text() const { return text_; }
  const std::string& Target() const { return target_; }
  QColor NormalColour() const { return ColourFromColorRef(kLink2NormalColour); }
  QColor HoverColour() const { return ColourFromColorRef(kLink2HoverColour); }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QString DisplayText() const;
  void SetHover(bool hover);
  void Click();
  void AutoSize();
  void Forget();

  QPointer<QLabel> label_;
  QMetaObject::Connection destroyedConnection_;
  QFont font_;
  bool hadOwnCursor_ = false;
  QCursor oldCursor_;
  bool hover_ = false;
  std::string text_;
  std::string target_;
  unsigned options_ = 0;
  int commandParameter_ = 0;
  platform::IMessageTarget* parentTarget_ = nullptr;
  Opener opener_;
};

class CHyperLink : public QLabel {
  Q_OBJECT

 public:
  explicit CHyperLink(QWidget* parent = nullptr);
  explicit CHyperLink(const QString& text, QWidget* parent = nullptr);

  // Hides a shown link while it changes, sizes it to its text (option 4), shows the target as
  // the tooltip and shows the link again.
  void SetTarget(std::string_view utf8);
  const std::string& Target() const { return target_; }
  // The label's text, then the auto-size.
  void SetLinkText(const QString& text);
  void SetOptions(unsigned options);
  unsigned Options() const { return options_; }
  // Tests and special callers replace how targets are opened; null restores the desktop's.
  void SetOpener(ILinkOpener* opener) { opener_ = opener; }

  // Opens the target (or the text when there is no target); on failure the user hears a beep
  // and reads why. 1 when opened.
  int OpenTarget();

  bool Hovering() const { return hover_; }
  bool Clicked() const { return clicked_; }
  bool Visited() const { return visited_; }
  QColor CurrentColour() const;

  // Shared by every link of the process; the main window sets them at start-up.
  static void SetColours(const LinkColours& colours);
  static LinkColours Colours();

 protected:
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void ApplyOptions();
  void ApplyColour();
  void AutoSize();

  std::string target_;
  unsigned options_ = kLinkDefaultOptions;
  bool hover_ = false;
  bool clicked_ = false;
  bool visited_ = false;
  ILinkOpener* opener_ = nullptr;
};

// One wheel event on a page: scrolls the bar by the desktop's wheel setting (30 pixels a
// step, at least one step). False when the event has no vertical turn.
bool WheelScroll(QScrollBar* bar, const QWheelEvent* event);

}  // namespace korvane
