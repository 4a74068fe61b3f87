#include <QFont>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <mutex>

#include "gdi/FontImpl.h"

namespace gdi {
namespace {

// The font database and font engines are created lazily and per thread inside Qt; every use of
// them here happens at font creation, under this lock, whatever thread creates the font.
std::mutex& FontMutex() {
  static std::mutex m;
  return m;
}

constexpr int kMaxCell = 500;  // far beyond any screen's cell; keeps the glyph canvas bounded

struct Request {
  QString family;
  QString style;        // a face of the family by name (empty: by weight)
  int cellHeight = 16;  // > 0: the cell (ascent + descent) must be exactly this
  int emHeight = 0;     // > 0 instead: the character height (pixel size)
  int width = 0;        // average character width; 0: natural
  bool asciiAverage = false;  // average over the printable ASCII advances, not the font's own
  int weight = 400;
};

QString ChooseFamily(const QString& face) {
  // Never let fontconfig pick: its substitute for an unknown face is whatever it likes best.
  const QStringList installed = QFontDatabase::families();
  QStringList wanted{"Liberation Sans", "DejaVu Sans"};
  if (!face.isEmpty()) wanted.prepend(face);
  for (const QString& f : wanted) {
    if (installed.contains(f, Qt::CaseInsensitive)) return f;
  }
  return wanted.back();
}

QFont MakeQFont(const Request& r, int pixelSize, int stretch) {
  QFont f(r.family);
  if (!r.style.isEmpty()) f.setStyleName(r.style);
  f.setPixelSize(std::max(pixelSize, 1));
  f.setStretch(std::clamp(stretch, 1, 4000));
  f.setWeight(QFont::Weight(std::clamp(r.weight, 1, 1000)));
  f.setKerning(false);  // the platform's TextOut places characters by their advances alone
  f.setStyleStrategy(QFont::StyleStrategy(QFont::NoAntialias | QFont::NoFontMerging));
  return f;
}

int CellOf(const QFont& f) {
  const QFontMetrics m(f);
  return m.ascent() + m.descent();
}

// The largest pixel size whose cell is not above h (exact for every h the program uses; where
// the font's metrics skip h, the cell is still declared h and the glyphs sit on the ascent).
int PixelSizeForCell(const Request& r, int h) {
  const int atH = std::max(CellOf(MakeQFont(r, h, 100)), 1);
  int p = std::max(1, int(int64_t(h) * h / atH));
  while (p > 1 && CellOf(MakeQFont(r, p, 100)) > h) --p;
  while (p < kMaxCell && CellOf(MakeQFont(r, p + 1, 100)) <= h) ++p;
  return p;
}

// The font's own average (OS/2 xAvgCharWidth) or, where asked, the mean advance of the printable
// ASCII characters: a family with thousands of narrow glyphs beyond ASCII declares an average
// well below that of the text it draws here.
double AverageWidth(const Request& r, const QFont& f) {
  const QFontMetrics m(f);
  if (!r.asciiAverage) return m.averageCharWidth();
  int64_t sum = 0;
  for (char16_t c = 0x20; c < 0x7F; ++c) sum += m.horizontalAdvance(QChar(c));
  return double(sum) / double(0x7F - 0x20);
}

int StretchForWidth(const Request& r, int pixelSize) {
  if (r.width <= 0) return 100;
  const double natural = AverageWidth(r, MakeQFont(r, pixelSize, 100));
  if (natural <= 0) return 100;
  const int guess = std::clamp(int(100.0 * r.width / natural + 0.5), 1, 4000);
  int best = guess;
  double bestDiff = INFINITY;
  for (int s = std::max(1, guess - 3); s <= std::min(4000, guess + 3); ++s) {
    const double d = std::abs(AverageWidth(r, MakeQFont(r, pixelSize, s)) - r.width);
    if (d < bestDiff) best = s, bestDiff = d;
  }
  return best;
}

void RenderGlyphs(const QFont& font, Font::Impl* impl) {
  const QFontMetrics m(font);
  int widest = 0;
  for (int c = 0; c < 256; ++c) {
    impl->glyphs[c].advance = std::max(0, m.horizontalAdvance(QChar(char16_t(c))));
    widest = std::max(widest, impl->glyphs[c].advance);
  }
  // Room for overhangs (italics, descenders below a clipped cell) on every side.
  const int margin = impl->cellHeight / 2 + 2;
  QImage canvas(widest + 2 * margin, impl->cellHeight + 2 * margin, QImage::Format_RGB32);
  QPainter p;
  for (int c = 0; c < 256; ++c) {
    canvas.fill(Qt::white);
    p.begin(&canvas);
    p.setRenderHint(QPainter::TextAntialiasing, false);
    p.setFont(font);
    p.setPen(Qt::black);
    p.drawText(QPoint(margin, margin + impl->ascent), QString(QChar(char16_t(c))));
    p.end();
    auto& runs = impl->glyphs[c].runs;
    for (int y = 0; y < canvas.height(); ++y) {
      const auto* line = reinterpret_cast<const QRgb*>(canvas.constScanLine(y));
      for (int x = 0; x < canvas.width();) {
        if (line[x] == 0xFFFFFFFFu) {
          ++x;
          continue;
        }
        const int start = x;
        while (x < canvas.width() && line[x] != 0xFFFFFFFFu) ++x;
        runs.push_back({int16_t(start - margin), int16_t(y - margin), int16_t(x - start)});
      }
    }
  }
}

std::unique_ptr<Font::Impl> Build(Request r) {
  auto impl = std::make_unique<Font::Impl>();
  std::lock_guard lock(FontMutex());
  if (QGuiApplication::instance() == nullptr) {
    // No font database without the application object: keep the geometry, draw no glyphs.
    impl->family = r.family.toStdString();
    impl->cellHeight = r.cellHeight > 0 ? r.cellHeight : std::max(r.emHeight, 1);
    impl->ascent = impl->cellHeight * 4 / 5;
    impl->averageCharWidth = r.width > 0 ? r.width : impl->cellHeight / 2;
    return impl;
  }
  r.family = ChooseFamily(r.family);
  const int pixelSize = r.cellHeight > 0 ? PixelSizeForCell(r, r.cellHeight) : r.emHeight;
  const int stretch = StretchForWidth(r, pixelSize);
  const QFont font = MakeQFont(r, pixelSize, stretch);
  const QFontMetrics m(font);
  impl->family = QFontInfo(font).family().toStdString();
  impl->pixelSize = pixelSize;
  impl->stretch = stretch;
  impl->ascent = m.ascent();
  impl->cellHeight = r.cellHeight > 0 ? r.cellHeight : m.ascent() + m.descent();
  impl->averageCharWidth = int(AverageWidth(r, font) + 0.5);
  RenderGlyphs(font, impl.get());
  return impl;
}

}  // namespace

Font::Font(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
Font::~Font() = default;

std::unique_ptr<Font> Font::Create(int height, int width, const char* faceName) {
  Request r;
  r.family = QString::fromLatin1(faceName != nullptr ? faceName : "");
  // Positive heights ask for the cell, negative ones for the character height; 0 is the
  // platform's default size, here the system font's cell.
  const int h = std::min(std::abs(height), kMaxCell);
  if (height > 0) {
    r.cellHeight = h;
  } else if (height < 0) {
    r.cellHeight = 0;
    r.emHeight = h;
  }
  r.width = std::min(std::abs(width), kMaxCell);
  return std::unique_ptr<Font>(new Font(Build(r)));
}

const Font& Font::System() {
  static const Font* system = [] {
    Request r;
    r.family = "DejaVu Sans";
    // The face by name: asked for by stretch, the font database would prefer a condensed face
    // where one is installed, and the text would look and measure differently per machine.
    r.style = "Bold";
    r.cellHeight = 16;
    r.width = 7;  // the platform's system font: a 16-pixel cell, 7 pixels average width
    r.asciiAverage = true;
    r.weight = 700;
    return new Font(Build(r));  // lives as long as the process: DCs anywhere may still use it
  }();
  return *system;
}

int Font::CellHeight() const {
  return impl_->cellHeight;
}
int Font::Ascent() const {
  return impl_->ascent;
}
int Font::AverageCharWidth() const {
  return impl_->averageCharWidth;
}

int Font::TextWidth(std::string_view text) const {
  int64_t w = 0;
  for (unsigned char c : text) w += impl_->glyphs[c].advance;
  return int(std::min<int64_t>(w, INT32_MAX));
}

}  // namespace gdi
