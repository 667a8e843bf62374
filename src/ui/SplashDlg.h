#pragma once
// The window shown while the hardware library starts: it starts the library's start-up thread
// and follows it with a progress bar, then closes with 1 (ready) or 2 (failed).
#include <QDialog>
#include <QProgressBar>
#include <QTimer>

#include "app/logic/SplashProgress.h"

class QLabel;

namespace korvane {

// A small animation of our own in place of the animated picture.
class CSplashAnimation : public QWidget {
  Q_OBJECT

 public:
  explicit CSplashAnimation(QWidget* parent = nullptr);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QTimer frameTimer_;
  int frame_ = 0;
};

class CSplashDlg : public QDialog {
  Q_OBJECT

 public:
  explicit CSplashDlg(QWidget* parent = nullptr);
  ~CSplashDlg() override;
  // Every position the bar has shown, oldest first (the first is the initial 10).
  const std::vector<int>& ShownPositions() const { return shown_; }
  // Ends the window with 2, as a failed start-up does (used when the program is asked to quit).
  void Abort();

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void OnTick();
  void ShowPosition(int position);

  QProgressBar* bar_ = nullptr;
  QLabel* label_ = nullptr;
  CSplashAnimation* animation_ = nullptr;
  QTimer timer_;
  CSplashProgress progress_;
  std::vector<int> shown_;
  bool started_ = false;
};

}  // namespace korvane
