#include "platform/QtCanvas.h"

#include <QGuiApplication>
#include <QHash>
#include <QPaintEngine>
#include <QPainter>
#include <QPolygon>
#include <QStaticText>
#include <QTextLayout>
#include <QTextOption>
#include <algorithm>

namespace {

// Lines break at LF, CR and CR LF alike; Qt breaks only at LF.
QString ToLayoutText(const std::string& text) {
  QString s = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
  if (s.contains(QLatin1Char('\r'))) {
    s.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    s.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  }
  return s;
}

// The multi-line layout at the top left. Measuring uses exactly these flags
// so that the extent is the drawn text's extent. Without Qt::TextShowMnemonic
// an ampersand is an ordinary character; without Qt::TextWordWrap lines
// break only at line breaks.
constexpr int kMultiLineFlags = Qt::AlignLeft | Qt::AlignTop;

// Texts remembered per font: enough for the distinct texts of any real
// table, little enough (a few megabytes) to keep for the window's life.
constexpr size_t kMaxCachedExtents = 1 << 16;

// Texts drawn from the cache: one line with nothing Qt treats specially
// when drawing into a rectangle - no tab (tab stops), no control character
// or line or paragraph separator (line breaks), and no right-to-left script
// or character outside the basic plane, whose placement is left to Qt's
// own routine. For these, the prepared text drawn at the offset that the
// alignment gives has exactly the pixels of Qt's drawing in a rectangle.
bool IsPlainLine(const QString& s) {
  for (const QChar ch : s) {
    const char16_t c = ch.unicode();
    if (c < 0x20 || c == 0x7f || (c >= 0x0590 && c <= 0x08ff) || c == 0x2028 || c == 0x2029 ||
        (c >= 0xd800 && c <= 0xdfff) || (c >= 0xfb1d && c <= 0xfdff) || (c >= 0xfe70 && c <= 0xfeff))
      return false;
  }
  return true;
}

// Beyond this many texts per font the cache starts afresh: several views
// full of distinct texts, about a kilobyte each, prepared.
constexpr qsizetype kMaxCachedTexts = 1 << 13;

}  // namespace

struct TQtTextCache::TEntry {
  QStaticText Text;
  qreal Advance = 0;  // what an alignment offsets the line by
};

struct TQtTextCache::TTexts {
  QHash<QString, TEntry> Map;
};

struct TQtTextCache::TMaps {
  // By font key and resolution; a map's nodes stay where they are.
  std::map<QString, TTexts> Fonts;
};

TQtTextCache::TQtTextCache() : FMaps(std::make_unique<TMaps>()) {}
TQtTextCache::~TQtTextCache() = default;

TQtTextCache::TTexts& TQtTextCache::Texts(const QFont& font, const QPaintDevice* device) {
  const int dpi = device ? device->logicalDpiY() : 0;
  return FMaps->Fonts[font.key() + QLatin1Char('@') + QString::number(dpi)];
}

const TQtTextCache::TEntry& TQtTextCache::Get(TTexts& cached, const QFont& font, const QPaintDevice* device,
                                              const QString& text) {
  QHash<QString, TEntry>& texts = cached.Map;
  auto found = texts.find(text);
  if (found != texts.end()) return *found;
  if (texts.size() >= kMaxCachedTexts) texts.clear();
  // The options Qt's drawing in a rectangle uses for a line that does not
  // wrap; trailing blanks count, as they move right-aligned text.
  QTextOption option;
  option.setWrapMode(QTextOption::NoWrap);
  option.setFlags(QTextOption::IncludeTrailingSpaces);
  TEntry entry;
  entry.Text.setText(text);
  entry.Text.setTextFormat(Qt::PlainText);
  entry.Text.setTextOption(option);
  QTextLayout layout(text, font, const_cast<QPaintDevice*>(device));
  layout.setTextOption(option);
  layout.beginLayout();
  QTextLine line = layout.createLine();
  if (line.isValid()) {
    line.setLineWidth(0x01000000);
    entry.Advance = line.horizontalAdvance();
  }
  layout.endLayout();
  return *texts.insert(text, std::move(entry));
}

TQtCanvas::TQtCanvas(QPainter& painter) : TQtCanvas(painter, QGuiApplication::palette()) {}

TQtCanvas::TQtCanvas(QPainter& painter, const QPalette& palette) : TQtCanvas(painter.device(), palette) {
  FPainter = &painter;
}

TQtCanvas::TQtCanvas(const QPaintDevice* device) : TQtCanvas(device, QGuiApplication::palette()) {}

TQtCanvas::TQtCanvas(const QPaintDevice* device, const QPalette& palette) : FDevice(device) {
  // Window background is the background of text views, not of dialogs;
  // a button's shadow is the palette's dark shade.
  auto set = [&](TSystemColor color, QPalette::ColorRole role) {
    FSystemColors[static_cast<int>(color)] = palette.color(role);
  };
  set(TSystemColor::Window, QPalette::Base);
  set(TSystemColor::WindowText, QPalette::Text);
  set(TSystemColor::Highlight, QPalette::Highlight);
  set(TSystemColor::HighlightText, QPalette::HighlightedText);
  set(TSystemColor::ButtonFace, QPalette::Button);
  set(TSystemColor::ButtonShadow, QPalette::Dark);
}

QColor TQtCanvas::ToQColor(TColor color) const {
  if (!color.IsSystem()) return QColor(color.Red(), color.Green(), color.Blue());
  return FSystemColors[static_cast<int>(color.System())];
}

void TQtCanvas::FontChanged() {
  FFont = QFont(QString::fromUtf8(FontName().c_str()));
  // A size below one point would only make Qt complain; show the smallest.
  FFont.setPointSize(std::max(FontSize(), 1));
  FMetrics.reset();
  FPainterFontSet = false;
  FFontExtents = nullptr;
  FCachedTexts = nullptr;
}

const QFontMetricsF& TQtCanvas::Metrics() {
  if (!FMetrics) {
    if (FDevice) FMetrics.emplace(FFont, FDevice);
    else FMetrics.emplace(FFont);
  }
  return *FMetrics;
}

TTextSize TQtCanvas::TextExtent(const std::string& text) {
  if (!FFontExtents) FFontExtents = &FExtents[{FontName(), FontSize()}];
  const auto found = FFontExtents->find(text);
  if (found != FFontExtents->end()) return found->second;
  const QRectF r = Metrics().boundingRect(QRectF(0, 0, 0, 0), kMultiLineFlags, ToLayoutText(text));
  const TTextSize size{static_cast<float>(r.width()), static_cast<float>(r.height())};
  if (FFontExtents->size() >= kMaxCachedExtents) FFontExtents->clear();
  FFontExtents->emplace(text, size);
  return size;
}

void TQtCanvas::TextRect(const TRect& rect, const std::string& text, TTextAlign align, bool multiLine) {
  if (!FPainter) return;
  if (BrushStyle() == TBrushStyle::Solid)
    Fill(rect.Left, rect.Top, rect.Right - rect.Left, rect.Bottom - rect.Top, ToQColor(BrushColor()));
  if (!FPainterFontSet) {
    FPainter->setFont(FFont);
    FPainterFontSet = true;
  }
  int flags = Qt::AlignTop | Qt::TextDontClip;
  switch (align) {
    case TTextAlign::Left: flags |= Qt::AlignLeft; break;
    case TTextAlign::Center: flags |= Qt::AlignHCenter; break;
    case TTextAlign::Right: flags |= Qt::AlignRight; break;
  }
  if (!multiLine) flags |= Qt::TextSingleLine;
  FPainter->setPen(ToQColor(FontColor()));
  const QRectF r(rect.Left, rect.Top, std::max(rect.Right - rect.Left, 0), std::max(rect.Bottom - rect.Top, 0));
  const QString s = ToLayoutText(text);
  if (FTextCache && IsPlainLine(s)) {
    // Qt's drawing in a rectangle, without laying the text out again: the
    // line starts at the left edge, or by the rest of the width (right) or
    // half of it (centred) further right.
    if (!FCachedTexts) FCachedTexts = &FTextCache->Texts(FFont, FPainter->device());
    const TQtTextCache::TEntry& entry = TQtTextCache::Get(*FCachedTexts, FFont, FPainter->device(), s);
    qreal x = r.x();
    if (align == TTextAlign::Center) x += (r.width() - entry.Advance) / 2;
    else if (align == TTextAlign::Right) x += r.width() - entry.Advance;
    FPainter->drawStaticText(QPointF(x, r.y()), entry.Text);
    return;
  }
  FPainter->drawText(r, flags, s);
}

void TQtCanvas::Fill(int left, int top, int width, int height, const QColor& color) {
  if (!FPainter || width <= 0 || height <= 0) return;
  FPainter->fillRect(QRect(left, top, width, height), color);
}

void TQtCanvas::FillRect(const TRect& rect) {
  if (BrushStyle() == TBrushStyle::Clear) return;
  Fill(rect.Left, rect.Top, rect.Right - rect.Left, rect.Bottom - rect.Top, ToQColor(BrushColor()));
}

void TQtCanvas::FrameRect(const TRect& rect) {
  const int w = rect.Right - rect.Left;
  const int h = rect.Bottom - rect.Top;
  if (BrushStyle() == TBrushStyle::Clear || w <= 0 || h <= 0) return;
  const QColor color = ToQColor(BrushColor());
  Fill(rect.Left, rect.Top, w, 1, color);
  Fill(rect.Left, rect.Bottom - 1, w, 1, color);
  Fill(rect.Left, rect.Top + 1, 1, h - 2, color);
  Fill(rect.Right - 1, rect.Top + 1, 1, h - 2, color);
}

void TQtCanvas::DrawFocusRect(const TRect& rect) {
  if (!FPainter || rect.Right <= rect.Left || rect.Bottom <= rect.Top) return;
  // Every pixel of the border once, so that inverting twice restores it;
  // the dots sit where x + y is even, whatever the rectangle's position.
  QPolygon points;
  auto dot = [&points](int x, int y) {
    if (((x + y) & 1) == 0) points << QPoint(x, y);
  };
  const int l = rect.Left, t = rect.Top, r = rect.Right - 1, b = rect.Bottom - 1;
  for (int x = l; x <= r; ++x) dot(x, t);
  if (b > t)
    for (int x = l; x <= r; ++x) dot(x, b);
  for (int y = t + 1; y < b; ++y) {
    dot(l, y);
    if (r > l) dot(r, y);
  }

  FPainter->save();
  FPainter->setRenderHint(QPainter::Antialiasing, false);
  const QPaintEngine* engine = FPainter->paintEngine();
  if (engine && engine->hasFeature(QPaintEngine::RasterOpModes)) {
    FPainter->setCompositionMode(QPainter::RasterOp_SourceXorDestination);
    FPainter->setPen(QPen(Qt::white, 0));
  } else {
    // Devices that cannot invert get plain dots in the text colour.
    FPainter->setPen(QPen(ToQColor(clWindowText), 0));
  }
  FPainter->drawPoints(points);
  FPainter->restore();
}

void TQtCanvas::DrawLine(int x1, int y1, int x2, int y2) {
  if (!FPainter) return;
  const QColor color = ToQColor(PenColor());
  // Straight lines are pixel runs that leave out the end point; filling
  // them avoids any doubt about how Qt caps a line.
  if (y1 == y2) {
    if (x2 > x1) Fill(x1, y1, x2 - x1, 1, color);
    else if (x2 < x1) Fill(x2 + 1, y1, x1 - x2, 1, color);
    return;
  }
  if (x1 == x2) {
    if (y2 > y1) Fill(x1, y1, 1, y2 - y1, color);
    else Fill(x1, y2 + 1, 1, y1 - y2, color);
    return;
  }
  FPainter->save();
  FPainter->setRenderHint(QPainter::Antialiasing, false);
  FPainter->setPen(QPen(color, 0, Qt::SolidLine, Qt::FlatCap));
  FPainter->drawLine(x1, y1, x2, y2);
  FPainter->restore();
}

float TQtCanvas::PixelsPerPoint() const {
  return FDevice ? static_cast<float>(FDevice->logicalDpiY()) / 72.0f : TCanvas::PixelsPerPoint();
}
