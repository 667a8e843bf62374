#include "ui/HdwRankDlg.h"

#include <QResizeEvent>
#include <QShowEvent>

#include "config/LanguageRes.h"
#include "ui/WebBrowser2.h"

namespace korvane {

QUrl RankPageUrl() {
  return QUrl(QString::fromStdString(ServerBase(LanguageRes().SelectedTable())) +
              QStringLiteral("/html/korvane/rank.htm"));
}

CHdwRankDlg::CHdwRankDlg(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("rankPage"));
}

void CHdwRankDlg::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  // Made and loaded once: coming back to the page keeps where the user was in it.
  if (browser_ != nullptr) return;
  browser_ = new CWebBrowser2(this);
  browser_->resize(300, 200);
  browser_->Navigate(RankPageUrl());
  browser_->setGeometry(rect().adjusted(kMargin, kMargin, -kMargin, -kMargin));
  browser_->show();
}

void CHdwRankDlg::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  if (browser_ != nullptr)
    browser_->setGeometry(rect().adjusted(kMargin, kMargin, -kMargin, -kMargin));
}

}  // namespace korvane
