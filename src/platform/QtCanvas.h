#pragma once
// The table's canvas on a QPainter. System colours come from a palette,
// fonts from fontconfig. Text is measured and drawn by the same Qt routine
// with the same flags, so a measured cell always holds its drawn text.
#include <QColor>
#include <QFont>
#include <QFontMetricsF>
#include <QPalette>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>

#include "model/Canvas.h"

class QPainter;
class QPaintDevice;

// Texts prepared for drawing, kept from one paint to the next by whoever
// paints often (the grid view): Qt's layout of a text on every draw is most
// of the cost of repainting a view full of cells. Only texts of one line
// that Qt lays out alike either way are prepared (TQtCanvas::TextRect).
class TQtTextCache {
 public:
  TQtTextCache();
  ~TQtTextCache();
  TQtTextCache(const TQtTextCache&) = delete;
  TQtTextCache& operator=(const TQtTextCache&) = delete;

  struct TEntry;
  struct TTexts;
  // The texts of font on device; the reference holds while the cache does.
  TTexts& Texts(const QFont& font, const QPaintDevice* device);
  // The prepared text among texts (those of font on device), made on first
  // use. The reference holds until the next call.
  static const TEntry& Get(TTexts& texts, const QFont& font, const QPaintDevice* device, const QString& text);

 private:
  struct TMaps;
  std::unique_ptr<TMaps> FMaps;
};

class TQtCanvas : public TCanvas {
 public:
  // Draws with painter, which must stay active while the canvas is used.
  explicit TQtCanvas(QPainter& painter);
  TQtCanvas(QPainter& painter, const QPalette& palette);
  // Measures text as it would be drawn on device (its resolution decides
  // the pixel size of a point) but draws nothing: for laying out a table
  // before anything is painted. Measure on a device of the same resolution
  // as the one that is painted later.
  explicit TQtCanvas(const QPaintDevice* device);
  TQtCanvas(const QPaintDevice* device, const QPalette& palette);

  QColor ToQColor(TColor color) const;
  // Texts are drawn through cache from here on; none: laid out every time.
  void SetTextCache(TQtTextCache* cache) {
    FTextCache = cache;
    FCachedTexts = nullptr;
  }

  TTextSize TextExtent(const std::string& text) override;
  float PixelsPerPoint() const override;
  void TextRect(const TRect& rect, const std::string& text, TTextAlign align, bool multiLine) override;
  void FillRect(const TRect& rect) override;
  void FrameRect(const TRect& rect) override;
  void DrawFocusRect(const TRect& rect) override;

 protected:
  void DrawLine(int x1, int y1, int x2, int y2) override;
  void FontChanged() override;

 private:
  const QFontMetricsF& Metrics();
  void Fill(int left, int top, int width, int height, const QColor& color);

  QPainter* FPainter = nullptr;
  const QPaintDevice* FDevice = nullptr;
  // The system colours, by TSystemColor, resolved once.
  QColor FSystemColors[static_cast<int>(TSystemColor::ButtonShadow) + 1];
  QFont FFont;
  std::optional<QFontMetricsF> FMetrics;
  // Extents already measured, by font and text: a large table holds far
  // fewer distinct texts than cells, and Qt's layout of a text costs
  // microseconds. Each font's map is bounded; a full one starts afresh.
  using TExtentMap = std::unordered_map<std::string, TTextSize>;
  std::map<std::pair<std::string, int>, TExtentMap> FExtents;
  TExtentMap* FFontExtents = nullptr;
  bool FPainterFontSet = false;
  TQtTextCache* FTextCache = nullptr;
  TQtTextCache::TTexts* FCachedTexts = nullptr;  // the current font's
};
