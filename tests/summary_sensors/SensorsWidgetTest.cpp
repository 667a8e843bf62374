// The summary window shows what the sensor placement decided: the temperatures in the caption
// bars and badges, the fans and the core voltage, updated by the refresh.
#include <QApplication>
#include <QTest>
#include <QToolButton>

#include "FakeSensorLibrary.h"
#include "summary/SummarySensors.h"
#include "ui/DeviceInfoCtrl.h"
#include "ui/HdwSummaryDlg.h"

using namespace korvane;
using namespace korvane::summary;
using sensorfake::Chip;
using sensorfake::Chips;

class SensorsWidgetTest : public QObject {
  Q_OBJECT

 private slots:
  void readingsReachTheCaptionsBadgesAndVoltageRow() {
    SensorsProcessState() = {};
    sensorfake::FakeLibrary library;
    Chips() = {Chip{"Nuvoton NCT6779",
                    kChipBoard,
                    {{kClassVoltage, "CPU VCORE", 1.072f},
                     {kClassTemperature, "CPUTIN", 45.4f},
                     {kClassTemperature, "SYSTIN", 38.6f},
                     {kClassFan, "CPUFANIN", 1197.0f}}}};
    SummarySources sources;
    sources.library = [&library] { return library.Sdk(); };
    sources.board = [] { return BoardFacts{}; };
    sources.memory = [] { return MemoryFacts{}; };
    sources.network = [] { return std::vector<NetworkAdapterFacts>{}; };
    sources.sound = [] { return std::vector<SoundDeviceFacts>{}; };
    CHdwSummaryDlg page(nullptr, std::move(sources));
    page.resize(960, 700);
    page.show();
    page.Start();

    QVERIFY(page.Pane(kCategoryCpu)->CaptionButton()->text().contains(QStringLiteral("45\u2103")));
    QVERIFY(page.Pane(kCategoryMainboard)
                ->CaptionButton()
                ->text()
                .contains(QStringLiteral("39\u2103")));
    const CDeviceInfoCtrl* cpu = page.Pane(kCategoryCpu)->Controls().front();
    QCOMPARE(cpu->Model().temperature, 45);
    QCOMPARE(cpu->Model().fan, 1197);
    bool voltage = false;
    for (const auto& r : cpu->Model().rows) {
      if (r.key == "Voltage") voltage = r.value == "1.072 V";
    }
    QVERIFY(voltage);

    // The next refresh shows the chip's new reading.
    Chips()[0].inputs[1].value = 61.0f;
    page.RefreshValues(true);
    QVERIFY(page.Pane(kCategoryCpu)->CaptionButton()->text().contains(QStringLiteral("61\u2103")));
    QCOMPARE(page.Pane(kCategoryCpu)->Controls().front()->Model().temperature, 61);
    Chips().clear();
    SensorsProcessState() = {};
  }
};

QTEST_MAIN(SensorsWidgetTest)
#include "SensorsWidgetTest.moc"
