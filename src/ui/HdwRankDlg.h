#pragma once
// The Rank page: the ranking service's page in the program's own browser host.
#include <QUrl>
#include <QWidget>

namespace korvane {

class CWebBrowser2;

// <server base>/html/korvane/rank.htm
QUrl RankPageUrl();

class CHdwRankDlg : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kMargin = 4;
  explicit CHdwRankDlg(QWidget* parent = nullptr);
  CWebBrowser2* Browser() const { return browser_; }

 protected:
  void showEvent(QShowEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  CWebBrowser2* browser_ = nullptr;
};

}  // namespace korvane
