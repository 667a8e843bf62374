#pragma once
// The Help page: a column of five buttons that start the maker's driver and update tools or open
// the maker's web pages, beside the help board, which shows the built-in about page.
#include <QWidget>
#include <array>
#include <vector>

#include "ui/logic/ProgramLaunch.h"

class QPushButton;

namespace korvane {

class CWebBrowser2;

// A strip of push buttons in one column: they act on click and never stay selected.
class CBtnTabCtrl : public QWidget {
  Q_OBJECT

 public:
  explicit CBtnTabCtrl(QWidget* parent = nullptr);
  int AddButton(const QString& text);
  QPushButton* Button(int index) const;
  int Count() const { return static_cast<int>(buttons_.size()); }
  QSize sizeHint() const override;

 signals:
  void Clicked(int index);

 private:
  std::vector<QPushButton*> buttons_;
};

// The board with its caption line; the browser sits inside below the caption.
class CHdwHelpBoard : public QWidget {
  Q_OBJECT

 public:
  explicit CHdwHelpBoard(const QString& caption, QWidget* parent = nullptr);
  QString Caption() const { return caption_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QString caption_;
};

class CHdwHelpDlg : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kMargin = 6;
  explicit CHdwHelpDlg(QWidget* parent = nullptr);

  // Runs the action of button 0..4, as a click does.
  void RunButton(int index);
  CBtnTabCtrl* Strip() const { return strip_; }
  CHdwHelpBoard* Board() const { return board_; }
  CWebBrowser2* Browser() const { return browser_; }
  // Where the tools are looked for and how things are opened; tests point these elsewhere.
  void SetPlaces(const ProgramPlaces& places) { places_ = places; }
  void SetOpener(ILinkOpener* opener) { opener_ = opener; }

 signals:
  void ButtonRan(int index, bool started);

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  void LayOut();

  CBtnTabCtrl* strip_ = nullptr;
  CHdwHelpBoard* board_ = nullptr;
  CWebBrowser2* browser_ = nullptr;
  ProgramPlaces places_;
  ILinkOpener* opener_ = nullptr;
};

}  // namespace korvane
