#include "ui/SplashDlg.h"

#include <QGuiApplication>
#include <QFontMetrics>
#include <QLabel>
#include <QPainter>
#include <QScreen>
#include <QShowEvent>

#include <cmath>
#include <cstdlib>

#include "config/LanguageRes.h"
#include "hwlib/HardwareLibrary.h"
#include "ui/KorvaneArt.h"

namespace korvane {

CSplashAnimation::CSplashAnimation(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("splashAnimation"));
  frameTimer_.setInterval(80);
  connect(&frameTimer_, &QTimer::timeout, this, [this] {
    frame_ = (frame_ + 1) % 1000;
    update();
  });
  frameTimer_.start();
}

void CSplashAnimation::paintEvent(QPaintEvent*) {
  // A row of chip-like bars that light up in a travelling wave.
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  p.fillRect(rect(), Qt::white);
  const int bars = 16;
  const double slot = width() / static_cast<double>(bars);
  for (int i = 0; i < bars; ++i) {
    const double phase = (frame_ * 0.35) - i * 0.55;
    const double level = 0.5 + 0.5 * std::sin(phase);
    const int h = static_cast<int>(12 + level * (height() - 24));
    const QColor c = QColor::fromRgb(122, 161, 42).lighter(100 + static_cast<int>((1.0 - level) * 70));
    const QRectF bar(i * slot + slot * 0.2, (height() - h) / 2.0, slot * 0.6, h);
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    p.drawRoundedRect(bar, 3, 3);
  }
}

CSplashDlg::CSplashDlg(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("splash"));
  setWindowTitle(QString::fromStdString(LangText(6020)));
  setWindowIcon(KorvaneIcon());
  setAutoFillBackground(true);
  QPalette pal = palette();
  pal.setColor(QPalette::Window, Qt::white);
  setPalette(pal);
  setFixedSize(382, 150);

  QFont small = font();
  small.setPixelSize(12);
  small.setWeight(QFont::Normal);
  QFont bold = font();
  bold.setPixelSize(14);
  bold.setWeight(QFont::Bold);

  animation_ = new CSplashAnimation(this);
  animation_->setGeometry(3, 33, 376, 60);

  label_ = new QLabel(QString::fromStdString(LangText(6021)), this);
  label_->setObjectName(QStringLiteral("splashLabel"));
  // The English text is longer than the Chinese one: step down to the small font rather
  // than cut it at the window's edge.
  const QString labelText = label_->text();
  QFont labelFont = bold;
  for (const QFont& candidate : {bold, QFont(bold.family(), -1, QFont::Bold), small}) {
    QFont f = candidate;
    if (f.pixelSize() <= 0) f.setPixelSize(12);
    labelFont = f;
    if (QFontMetrics(f).horizontalAdvance(labelText) <= 366) break;
  }
  label_->setFont(labelFont);
  QPalette lp = label_->palette();
  lp.setColor(QPalette::WindowText, QColor(122, 161, 42));
  label_->setPalette(lp);
  label_->setGeometry(8, 6, 366, 24);

  bar_ = new QProgressBar(this);
  bar_->setObjectName(QStringLiteral("splashProgress"));
  bar_->setFont(small);
  bar_->setRange(0, 100);
  bar_->setTextVisible(false);
  bar_->setStyleSheet(QStringLiteral(
      "QProgressBar { border: 1px solid rgb(160,186,110); border-radius: 3px; background: white; }"
      "QProgressBar::chunk { background: rgb(122,161,42); }"));
  bar_->setGeometry(8, 104, 366, 16);
  ShowPosition(CSplashProgress::kInitialPosition);

  timer_.setInterval(CSplashProgress::kTimerPeriodMs);
  connect(&timer_, &QTimer::timeout, this, [this] { OnTick(); });
}

CSplashDlg::~CSplashDlg() { timer_.stop(); }

void CSplashDlg::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (started_) return;
  started_ = true;
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect area = screen->availableGeometry();
    move(area.center() - QPoint(width() / 2, height() / 2));
  }
  if (!HasStartupThread()) StartHardwareLibraryStartupThread();
  timer_.start();
}

void CSplashDlg::ShowPosition(int position) {
  bar_->setValue(position);
  shown_.push_back(position);
}

void CSplashDlg::Abort() {
  timer_.stop();
  done(2);
}

void CSplashDlg::OnTick() {
  SplashTickInput in;
  in.hasStartupThread = HasStartupThread();
  in.startupStatus = StartupStatusValue();
  if (CSplashProgress::TickWaitsForThread(in.hasStartupThread, in.startupStatus)) {
    in.wait = WaitForStartupThread(CSplashProgress::kWaitTimeoutMs);
  }
  in.randomValue = std::rand();
  const SplashTickResult r = progress_.Tick(in);
  switch (r.action) {
    case SplashTickResult::Action::None:
      break;
    case SplashTickResult::Action::ShowPosition:
      if (isVisible()) ShowPosition(r.position);
      break;
    case SplashTickResult::Action::End:
      timer_.stop();
      done(r.endResult);
      break;
  }
}

}  // namespace korvane
