// Printing a picture: where the picture lands on the page, and a real PDF through QPrinter.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QFile>
#include <QImage>
#include <QPrinter>
#include <QRegularExpression>
#include <cstdlib>
#include <string>

#include "gdi/Gdi.h"

namespace gdi::test {
namespace {

TEST(FitOnPage, LargestWithTheAspectKeptAtTheTop) {
  struct Row {
    int w, h, pageW, pageH;
    RECT want;
  };
  for (const Row& r : {
           Row{1024, 738, 1000, 1000, {0, 0, 1000, 720}},      // wide: full width
           Row{100, 200, 1000, 1000, {250, 0, 750, 1000}},     // tall: full height, centred
           Row{200, 100, 400, 200, {0, 0, 400, 200}},          // same aspect: the whole page
           Row{1920, 1080, 9450, 6750, {0, 0, 9450, 5315}},    // landscape A4 at 1200 dpi
           Row{1000, 1, 10, 10, {0, 0, 10, 1}},                // never thinner than a pixel
           Row{0, 100, 10, 10, {}}, Row{100, 100, 0, 10, {}},  // nothing to place, or no page
       }) {
    EXPECT_EQ(FitOnPage(r.w, r.h, r.pageW, r.pageH), r.want)
        << r.w << "x" << r.h << " on " << r.pageW << "x" << r.pageH;
  }
}

// A 40 x 20 picture: red left half, black right half.
QImage TwoHalves() {
  QImage picture(40, 20, QImage::Format_RGB32);
  picture.fill(Qt::black);
  for (int y = 0; y < 20; ++y) {
    for (int x = 0; x < 20; ++x) picture.setPixel(x, y, 0xFF0000);
  }
  return picture;
}

QRgb At(const QImage& page, int x, int y) {
  return page.pixel(x, y) & 0xFFFFFF;
}

TEST(PrintImage, ScalesThePictureOntoAnImagePage) {
  QImage page(100, 100, QImage::Format_RGB32);
  page.fill(0x808080);
  ASSERT_TRUE(PrintImage(page, TwoHalves()));
  // Each picture pixel is a sharp 2.5 x 2.5 square: no blend at the edge between the halves.
  EXPECT_EQ(At(page, 0, 0), 0xFF0000u);
  EXPECT_EQ(At(page, 49, 49), 0xFF0000u);
  EXPECT_EQ(At(page, 50, 0), 0x000000u);
  EXPECT_EQ(At(page, 99, 49), 0x000000u);
  EXPECT_EQ(At(page, 0, 50), 0x808080u);  // below the picture the page is untouched
  EXPECT_EQ(At(page, 99, 99), 0x808080u);

  EXPECT_FALSE(PrintImage(page, QImage()));
}

std::string TempPdf() {
  const char* dir = std::getenv("TMPDIR");
  return std::string(dir && *dir ? dir : "/tmp") + "/vellum-print-" + std::to_string(::getpid()) +
         ".pdf";
}

TEST(PrintImage, PdfThroughQPrinterIsOnePage) {
  QImage picture(300, 200, QImage::Format_RGB32);
  picture.fill(Qt::red);
  const std::string path = TempPdf();
  QPrinter printer(QPrinter::HighResolution);
  printer.setOutputFormat(QPrinter::PdfFormat);
  printer.setOutputFileName(QString::fromStdString(path));
  ASSERT_TRUE(PrintImage(printer, picture));

  QFile file(QString::fromStdString(path));
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QString pdf = QString::fromLatin1(file.readAll());
  file.close();
  QFile::remove(QString::fromStdString(path));
  EXPECT_TRUE(pdf.startsWith(QStringLiteral("%PDF-")));
  EXPECT_EQ(pdf.count(QRegularExpression(QStringLiteral("/Type\\s*/Page\\b"))), 1);
  EXPECT_TRUE(pdf.contains(QRegularExpression(QStringLiteral("/Count\\s+1\\b"))));
  // The picture goes in whole, at its own size, and lossless: no JPEG.
  EXPECT_TRUE(pdf.contains(QStringLiteral("/FlateDecode")));
  EXPECT_FALSE(pdf.contains(QStringLiteral("/DCTDecode")));
  EXPECT_TRUE(pdf.contains(QRegularExpression(QStringLiteral("/Width\\s+300\\b"))));
  EXPECT_TRUE(pdf.contains(QRegularExpression(QStringLiteral("/Height\\s+200\\b"))));
}

TEST(PrintImage, UnwritablePdfIsAFailure) {
  QPrinter printer;
  printer.setOutputFormat(QPrinter::PdfFormat);
  printer.setOutputFileName(QStringLiteral("/nonexistent/vellum/print.pdf"));
  EXPECT_FALSE(PrintImage(printer, TwoHalves()));
}

}  // namespace
}  // namespace gdi::test
