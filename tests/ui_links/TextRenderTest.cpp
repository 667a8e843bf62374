// The panel text drawn by Qt, compared with a committed reference picture. The font is loaded
// from its file so every machine of ours draws with the same glyphs; what may differ between
// FreeType versions is anti-aliasing at glyph edges, which the tolerance allows.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QImage>
#include <QPainter>
#include <QTest>

#include "ui/TextRenderQt.h"

using namespace korvane;

namespace {

constexpr const char* kFontFile = "/usr/share/fonts/truetype/wqy/wqy-microhei.ttc";
const QSize kImageSize(280, 150);
// Bold, italic and underlined runs, a break of each kind, an unknown word, a word too long to
// wrap, CJK text, centred lines in a vertically centred block.
const char16_t kMarkup[] =
    u"\\b1Processor\\b0 Intel(R) Core(TM) i5-8400 CPU @ 2.80GHz\\n"
    u"\\i1Code name\\i0 Coffee Lake, \\ul1six cores\\ul0\\par"
    u"\\b1\u5904\u7406\u5668\\b0 \u4e3b\u677f \u5185\u5b58 a\\xb "
    u"Supercalifragilisticexpialidociousprocessorname";

struct Difference {
  int pixels = 0;  // pixels whose channels differ by more than the threshold
  int total = 0;
};

Difference Compare(const QImage& a, const QImage& b, int threshold) {
  Difference d;
  d.total = a.width() * a.height();
  if (a.size() != b.size()) {
    d.pixels = d.total;
    return d;
  }
  for (int y = 0; y < a.height(); ++y) {
    for (int x = 0; x < a.width(); ++x) {
      const QRgb p = a.pixel(x, y);
      const QRgb q = b.pixel(x, y);
      if (std::abs(qRed(p) - qRed(q)) > threshold || std::abs(qGreen(p) - qGreen(q)) > threshold ||
          std::abs(qBlue(p) - qBlue(q)) > threshold) {
        ++d.pixels;
      }
    }
  }
  return d;
}

int InkPixels(const QImage& image);

// Anti-aliasing differences touch a few edge pixels of the glyphs; a changed weight, style or
// position changes a good part of a word. The allowance is a share of the reference's ink.
bool CloseEnough(const Difference& d, const QImage& reference) {
  qInfo("%d pixels differ, %d allowed", d.pixels, InkPixels(reference) / 50);
  return d.pixels <= InkPixels(reference) / 50;
}

int InkPixels(const QImage& image) {
  int ink = 0;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) ink += qGray(image.pixel(x, y)) < 128 ? 1 : 0;
  }
  return ink;
}

}  // namespace

class TextRenderTest : public QObject {
  Q_OBJECT

 private:
  QFont font_;
  bool fontRestored_ = false;

  QImage Render(std::u16string_view markup, qreal ratio = 1.0, int* height = nullptr) {
    QImage image(kImageSize * ratio, QImage::Format_RGB32);
    image.setDevicePixelRatio(ratio);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setFont(font_);
    painter.setPen(Qt::black);
    CQtTextDevice dc(&painter);
    CTextRender render;
    render.SetFlags(kTextAlignCentre | kTextPlaceMiddle);
    const int h = render.Draw(&dc, markup, TextRect{0, 0, kImageSize.width(), kImageSize.height()},
                              TextRect{8, 6, 8, 6});
    if (height != nullptr) *height = h;
    fontRestored_ = painter.font() == font_;
    return image;
  }

  static QString ReferencePath() {
    return QStringLiteral(KORVANE_UI_LINKS_DIR "/reference/panel-text.png");
  }

 private slots:
  void initTestCase() {
    if (!QFile::exists(QString::fromLatin1(kFontFile))) {
      QSKIP("the WenQuanYi Micro Hei font (fonts-wqy-microhei) is not installed");
    }
    const int id = QFontDatabase::addApplicationFont(QString::fromLatin1(kFontFile));
    QVERIFY(id >= 0);
    const QStringList families = QFontDatabase::applicationFontFamilies(id);
    QVERIFY(!families.isEmpty());
    font_ = QFont(families.front());
    font_.setPixelSize(13);
    font_.setHintingPreference(QFont::PreferNoHinting);
  }

  void drawingMatchesTheReference() {
    const QImage image = Render(kMarkup);
    QVERIFY(fontRestored_);  // the runs' fonts do not outlive the pass
    if (qEnvironmentVariableIsSet("KORVANE_WRITE_REFERENCE")) {
      QDir().mkpath(QFileInfo(ReferencePath()).path());
      QVERIFY(image.save(ReferencePath()));
    }
    QImage reference(ReferencePath());
    QVERIFY2(!reference.isNull(), "reference picture missing");
    reference = reference.convertToFormat(QImage::Format_RGB32);
    QVERIFY(InkPixels(reference) > 500);
    const Difference d = Compare(image, reference, 48);
    if (!CloseEnough(d, reference)) {
      const QString out = QDir::currentPath() + QStringLiteral("/panel-text-actual.png");
      image.save(out);
      QFAIL(qPrintable(QStringLiteral("%1 of %2 pixels differ; the drawing is in %3")
                           .arg(d.pixels)
                           .arg(d.total)
                           .arg(out)));
    }
  }

  void theComparisonSeesAChangedStyleOrPlace() {
    const QImage reference = QImage(ReferencePath()).convertToFormat(QImage::Format_RGB32);
    QVERIFY(!reference.isNull());
    std::u16string markup(kMarkup);
    // Without the first bold word the rest of the first line moves and thins.
    const std::u16string plain = std::u16string(u"Processor") + markup.substr(markup.find(u"\\b0"));
    QVERIFY(!CloseEnough(Compare(Render(plain), reference, 48), reference));
    // One letter less on a centred line moves the whole line.
    std::u16string shifted = markup;
    shifted.replace(shifted.find(u"a\\xb"), 4, u"a\\b");
    QVERIFY(!CloseEnough(Compare(Render(shifted), reference, 48), reference));
  }

  void layoutIsInDeviceIndependentPixels() {
    int h1 = 0;
    int h2 = 0;
    const QImage one = Render(kMarkup, 1.0, &h1);
    const QImage two = Render(kMarkup, 2.0, &h2);
    QCOMPARE(h2, h1);
    QCOMPARE(two.size(), one.size() * 2);
    // At a ratio of 2 the glyphs are drawn with twice the pixels, not scaled up: the scaled
    // down picture matches the plain one closely, and there is about four times the ink.
    const QImage down = two.scaled(one.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                            .convertToFormat(QImage::Format_RGB32);
    QVERIFY(Compare(down, one, 96).pixels * 50 <= one.width() * one.height());
    const double inkRatio = double(InkPixels(two)) / InkPixels(one);
    QVERIFY2(inkRatio > 2.5 && inkRatio < 6.0, qPrintable(QString::number(inkRatio)));
  }
};

int RunTextRenderTests(int argc, char** argv) {
  TextRenderTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "TextRenderTest.moc"
