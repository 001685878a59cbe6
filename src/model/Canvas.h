#pragma once
// The drawing surface the table measures and paints itself on. The model
// talks only to this interface; the platform maps it onto its own painter and
// tests record what is drawn.
//
// Geometry follows one convention throughout: a rectangle's left and top are
// inside, its right and bottom outside; a line covers its start point but not
// its end point. Rectangles that are empty (right <= left or bottom <= top)
// draw nothing.
#include <cstdint>
#include <string>

#include "model/Tables.h"

// The user's system colours, by role.
enum class TSystemColor : uint8_t {
  Window,         // background of the table's window
  WindowText,     // text and rules on that background
  Highlight,      // selected cells
  HighlightText,  // text on the highlight
  ButtonFace,     // grid lines and the fill of row and column bands
  ButtonShadow,   // frame of row and column bands
};

// A colour is either a system colour, resolved by the canvas when it draws,
// or an explicit RGB value.
class TColor {
 public:
  constexpr TColor(TSystemColor role) : FSystem(true), FValue(static_cast<uint32_t>(role)) {}
  static constexpr TColor FromRgb(uint8_t red, uint8_t green, uint8_t blue) {
    return TColor(false, (uint32_t{red} << 16) | (uint32_t{green} << 8) | blue);
  }

  constexpr bool IsSystem() const { return FSystem; }
  constexpr TSystemColor System() const { return static_cast<TSystemColor>(FValue); }
  constexpr uint8_t Red() const { return static_cast<uint8_t>(FValue >> 16); }
  constexpr uint8_t Green() const { return static_cast<uint8_t>(FValue >> 8); }
  constexpr uint8_t Blue() const { return static_cast<uint8_t>(FValue); }
  constexpr bool operator==(const TColor&) const = default;

 private:
  constexpr TColor(bool system, uint32_t value) : FSystem(system), FValue(value) {}
  bool FSystem;
  uint32_t FValue;
};

inline constexpr TColor clWindow{TSystemColor::Window};
inline constexpr TColor clWindowText{TSystemColor::WindowText};
inline constexpr TColor clHighlight{TSystemColor::Highlight};
inline constexpr TColor clHighlightText{TSystemColor::HighlightText};
inline constexpr TColor clBtnFace{TSystemColor::ButtonFace};
inline constexpr TColor clBtnShadow{TSystemColor::ButtonShadow};
inline constexpr TColor clRed = TColor::FromRgb(255, 0, 0);

enum class TBrushStyle : uint8_t { Solid, Clear };

enum class TTextAlign : uint8_t { Left, Center, Right };

struct TTextSize {
  float Width = 0;
  float Height = 0;
  bool operator==(const TTextSize&) const = default;
};

// The canvas keeps its drawing state (font, colours, brush, pen position)
// itself; implementations read it when they draw. Setting a state to the
// value it already has costs a comparison, so callers may set it freely.
class TCanvas {
 public:
  TCanvas() = default;
  TCanvas(const TCanvas&) = delete;
  TCanvas& operator=(const TCanvas&) = delete;
  virtual ~TCanvas() = default;

  // Font of measured and drawn text: a family name and a size in points.
  void SetFont(const std::string& name, int size) {
    if (size == FFontSize && name == FFontName) return;
    FFontName = name;
    FFontSize = size;
    FontChanged();
  }
  const std::string& FontName() const { return FFontName; }
  int FontSize() const { return FFontSize; }

  // Colour of drawn text.
  void SetFontColor(TColor color) { FFontColor = color; }
  TColor FontColor() const { return FFontColor; }
  // Colour of lines.
  void SetPenColor(TColor color) { FPenColor = color; }
  TColor PenColor() const { return FPenColor; }
  // Colour of FillRect, FrameRect and of the background behind text while
  // the brush is solid; a clear brush fills and frames nothing and leaves
  // the background behind text as it is.
  void SetBrushColor(TColor color) { FBrushColor = color; }
  TColor BrushColor() const { return FBrushColor; }
  void SetBrushStyle(TBrushStyle style) { FBrushStyle = style; }
  TBrushStyle BrushStyle() const { return FBrushStyle; }

  // Size of text laid out as TextRect lays it out on several lines: no
  // prefix processing (an ampersand is an ordinary character), no word
  // wrapping; each line break (LF, CR or CR LF) starts a new line. The width
  // is that of the widest line, the height that of all lines.
  virtual TTextSize TextExtent(const std::string& text) = 0;
  // Pixels to a point of the surface's resolution: what a font size in
  // points comes to on it.
  virtual float PixelsPerPoint() const { return 96.0f / 72.0f; }
  // Draws text into rect in the font colour, without prefix processing and
  // without clipping at the rectangle. multiLine: lines start at the top
  // and line breaks are honoured; otherwise the text is one line at the top.
  virtual void TextRect(const TRect& rect, const std::string& text, TTextAlign align, bool multiLine) = 0;

  void MoveTo(int x, int y) {
    FPenX = x;
    FPenY = y;
  }
  // Draws a line in the pen colour from the pen position to (x, y), which
  // is not drawn and becomes the new pen position.
  void LineTo(int x, int y) {
    DrawLine(FPenX, FPenY, x, y);
    MoveTo(x, y);
  }
  int PenX() const { return FPenX; }
  int PenY() const { return FPenY; }

  // Fills rect with the brush.
  virtual void FillRect(const TRect& rect) = 0;
  // Draws a one-pixel border just inside rect with the brush.
  virtual void FrameRect(const TRect& rect) = 0;
  // Inverts every other pixel of a one-pixel border just inside rect, so
  // that drawing the same rectangle twice restores what was there.
  virtual void DrawFocusRect(const TRect& rect) = 0;

 protected:
  virtual void DrawLine(int x1, int y1, int x2, int y2) = 0;
  // Called after the font name or size changed.
  virtual void FontChanged() {}

 private:
  std::string FFontName;
  int FFontSize = 0;
  TColor FFontColor = clWindowText;
  TColor FPenColor = clWindowText;
  TColor FBrushColor = clWindow;
  TBrushStyle FBrushStyle = TBrushStyle::Solid;
  int FPenX = 0;
  int FPenY = 0;
};
