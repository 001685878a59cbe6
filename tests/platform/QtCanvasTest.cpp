// The QPainter canvas checked on raster images, pixel by pixel.
#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <functional>
#include <string>

#include "model/Canvas.h"
#include "model/Tables.h"
#include "platform/QtCanvas.h"

namespace {

const QColor kWhite(255, 255, 255);

QPalette TestPalette() {
  QPalette p;
  p.setColor(QPalette::Base, kWhite);
  p.setColor(QPalette::Text, QColor(0, 0, 0));
  p.setColor(QPalette::Highlight, QColor(0, 0, 200));
  p.setColor(QPalette::HighlightedText, QColor(255, 255, 254));
  p.setColor(QPalette::Button, QColor(220, 221, 222));
  p.setColor(QPalette::Dark, QColor(128, 129, 130));
  return p;
}

// The smallest rectangle holding every pixel that is not white; empty when
// the image is blank.
QRect Ink(const QImage& img, const QRect& area) {
  QRect ink;
  for (int y = area.top(); y <= area.bottom(); ++y)
    for (int x = area.left(); x <= area.right(); ++x)
      if (img.pixelColor(x, y) != kWhite) ink |= QRect(x, y, 1, 1);
  return ink;
}

class QtCanvasTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Fonts need the application object that the test main makes.
    ASSERT_NE(QCoreApplication::instance(), nullptr);
    Image = QImage(64, 48, QImage::Format_RGB32);
    Image.fill(kWhite);
  }
  // Runs draw on a canvas over the image.
  void Draw(const std::function<void(TQtCanvas&)>& draw) {
    QPainter painter(&Image);
    TQtCanvas canvas(painter, TestPalette());
    canvas.SetFont("Times New Roman", 11);
    draw(canvas);
  }
  QImage Image;
};

TEST_F(QtCanvasTest, ShapesCoverExactlyTheirPixels) {
  const QColor face(220, 221, 222);
  auto inside = [](int x, int y, int l, int t, int r, int b) { return x >= l && x < r && y >= t && y < b; };
  struct Case {
    const char* Name;
    std::function<void(TQtCanvas&)> Draw;
    std::function<bool(int, int)> Painted;
  };
  const Case cases[] = {
      {"fill", [](TQtCanvas& c) { c.FillRect({2, 3, 8, 10}); },
       [&](int x, int y) { return inside(x, y, 2, 3, 8, 10); }},
      {"empty fill", [](TQtCanvas& c) { c.FillRect({5, 5, 5, 9}); }, [](int, int) { return false; }},
      {"inverted fill", [](TQtCanvas& c) { c.FillRect({9, 9, 5, 5}); }, [](int, int) { return false; }},
      {"clear brush",
       [](TQtCanvas& c) {
         c.SetBrushStyle(TBrushStyle::Clear);
         c.FillRect({2, 3, 8, 10});
         c.FrameRect({2, 3, 8, 10});
       },
       [](int, int) { return false; }},
      {"frame", [](TQtCanvas& c) { c.FrameRect({2, 3, 8, 10}); },
       [&](int x, int y) { return inside(x, y, 2, 3, 8, 10) && !inside(x, y, 3, 4, 7, 9); }},
      {"line right",
       [](TQtCanvas& c) {
         c.MoveTo(2, 5);
         c.LineTo(9, 5);
       },
       [&](int x, int y) { return inside(x, y, 2, 5, 9, 6); }},
      {"line left",
       [](TQtCanvas& c) {
         c.MoveTo(9, 5);
         c.LineTo(2, 5);
       },
       [&](int x, int y) { return inside(x, y, 3, 5, 10, 6); }},
      {"line down then right",
       [](TQtCanvas& c) {
         c.MoveTo(4, 1);
         c.LineTo(4, 7);
         c.LineTo(8, 7);
       },
       [&](int x, int y) { return inside(x, y, 4, 1, 5, 7) || inside(x, y, 4, 7, 8, 8); }},
      {"line up",
       [](TQtCanvas& c) {
         c.MoveTo(4, 7);
         c.LineTo(4, 1);
       },
       [&](int x, int y) { return inside(x, y, 4, 2, 5, 8); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    Image.fill(kWhite);
    Draw([&](TQtCanvas& canvas) {
      canvas.SetBrushColor(clBtnFace);
      canvas.SetPenColor(clBtnFace);
      c.Draw(canvas);
    });
    for (int y = 0; y < Image.height(); ++y)
      for (int x = 0; x < Image.width(); ++x)
        ASSERT_EQ(Image.pixelColor(x, y), c.Painted(x, y) ? face : kWhite) << x << "," << y;
  }
}

TEST_F(QtCanvasTest, SystemColoursComeFromThePalette) {
  QPainter painter(&Image);
  const QPalette palette = TestPalette();
  TQtCanvas canvas(painter, palette);
  const std::pair<TColor, QColor> cases[] = {
      {clWindow, palette.color(QPalette::Base)},
      {clWindowText, palette.color(QPalette::Text)},
      {clHighlight, palette.color(QPalette::Highlight)},
      {clHighlightText, palette.color(QPalette::HighlightedText)},
      {clBtnFace, palette.color(QPalette::Button)},
      {clBtnShadow, palette.color(QPalette::Dark)},
      {clRed, QColor(255, 0, 0)},
  };
  int x = 0;
  for (const auto& [color, expected] : cases) {
    canvas.SetBrushColor(color);
    canvas.FillRect({x, 0, x + 1, 1});
    ++x;
  }
  painter.end();
  x = 0;
  for (const auto& [color, expected] : cases) {
    EXPECT_EQ(canvas.ToQColor(color), expected) << x;
    EXPECT_EQ(Image.pixelColor(x++, 0), expected);
  }
}

TEST_F(QtCanvasTest, FocusRectInvertsDotsAndUndoesItself) {
  Draw([](TQtCanvas& c) {
    c.SetBrushColor(clHighlight);
    c.FillRect({0, 0, 32, 48});
  });
  const QImage before = Image;
  const QRect r(5, 6, 20, 11);  // TRect (5, 6, 25, 17)
  Draw([](TQtCanvas& c) { c.DrawFocusRect({5, 6, 25, 17}); });
  for (int y = 0; y < Image.height(); ++y) {
    for (int x = 0; x < Image.width(); ++x) {
      const bool border = r.contains(x, y) && !r.adjusted(1, 1, -1, -1).contains(x, y);
      const QRgb old = before.pixel(x, y);
      const QRgb expected = border && (x + y) % 2 == 0 ? (~old | 0xff000000u) : old;
      ASSERT_EQ(Image.pixel(x, y), expected) << x << "," << y;
    }
  }
  Draw([](TQtCanvas& c) { c.DrawFocusRect({5, 6, 25, 17}); });
  EXPECT_EQ(Image, before);
}

TEST_F(QtCanvasTest, TextExtentFollowsLineBreaksOnly) {
  QPainter painter(&Image);
  TQtCanvas canvas(painter);
  canvas.SetFont("Times New Roman", 11);
  const TTextSize one = canvas.TextExtent("a");
  const TTextSize two = canvas.TextExtent("a\nb");
  EXPECT_GT(one.Width, 0);
  EXPECT_GT(two.Height, 1.8f * one.Height);
  EXPECT_EQ(canvas.TextExtent("a\r\nb"), two);
  EXPECT_EQ(canvas.TextExtent("a\rb"), two);
  EXPECT_EQ(canvas.TextExtent("Wide line\nx").Width, canvas.TextExtent("Wide line").Width);
  EXPECT_GT(canvas.TextExtent("a&b").Width, canvas.TextExtent("ab").Width);
  // No word wrapping: a long line stays one line.
  EXPECT_EQ(canvas.TextExtent("many words on a single line").Height, one.Height);
  canvas.SetFont("Times New Roman", 22);
  EXPECT_GT(canvas.TextExtent("a").Height, 1.5f * one.Height);
  // Remembered extents belong to their font, both ways.
  canvas.SetFont("Times New Roman", 11);
  EXPECT_EQ(canvas.TextExtent("a"), one);

  // A canvas that only measures agrees with the painting one.
  TQtCanvas measuring(&Image);
  measuring.SetFont("Times New Roman", 11);
  canvas.SetFont("Times New Roman", 11);
  EXPECT_EQ(measuring.TextExtent("Wide line\nx"), canvas.TextExtent("Wide line\nx"));
}

TEST_F(QtCanvasTest, DrawnTextStaysInsideItsExtent) {
  const std::string texts[] = {"Hello", "a&b", "Two\nlines", "Wy", "x\r\nyyyy", "fj|"};
  for (const std::string& text : texts) {
    SCOPED_TRACE(text);
    Image.fill(kWhite);
    TTextSize extent;
    Draw([&](TQtCanvas& c) {
      extent = c.TextExtent(text);
      c.SetBrushStyle(TBrushStyle::Clear);
      c.TextRect({10, 10, 10 + int(extent.Width), 10 + int(extent.Height)}, text, TTextAlign::Left, true);
    });
    const QRect ink = Ink(Image, Image.rect());
    ASSERT_FALSE(ink.isEmpty());
    // Antialiased edges may touch the pixel next to the extent.
    EXPECT_GE(ink.left(), 9);
    EXPECT_GE(ink.top(), 10);
    EXPECT_LE(ink.right(), 10 + int(extent.Width) + 1);
    EXPECT_LE(ink.bottom(), 10 + int(extent.Height) + 1);
  }
}

TEST_F(QtCanvasTest, SingleLineLayoutsJoinLines) {
  float lineHeight = 0;
  Draw([&](TQtCanvas& c) {
    lineHeight = c.TextExtent("x").Height;
    c.SetBrushStyle(TBrushStyle::Clear);
    c.TextRect({2, 2, 62, 20}, "ab\ncd", TTextAlign::Center, false);
  });
  const QRect ink = Ink(Image, Image.rect());
  ASSERT_FALSE(ink.isEmpty());
  EXPECT_LE(ink.height(), int(lineHeight) + 1);
}

TEST_F(QtCanvasTest, TextWithSolidBrushFillsItsRectangle) {
  Draw([](TQtCanvas& c) {
    c.SetBrushColor(clHighlight);
    c.TextRect({4, 4, 40, 30}, "", TTextAlign::Left, true);
  });
  EXPECT_EQ(Ink(Image, Image.rect()), QRect(4, 4, 36, 26));
}

// A real table painted with the Qt canvas: every cell text lies inside its
// cell, the rules and row marks land on their pixels.
TEST_F(QtCanvasTest, PaintedTableKeepsTextInsideCells) {
  TTable t;
  for (int i = 0; i < 3; ++i) new TColumn(t);
  const char* texts[2][3] = {{"Name", "Qty & price", "Wg"}, {"first\nsecond line", "x", "12.50"}};
  for (auto& rowTexts : texts) {
    TRow* row = t.AddRow();
    for (int j = 0; j < 3; ++j) (*row)[j]->SetText(rowTexts[j]);
  }
  t.Columns[1]->Format = "c";
  t.Columns[2]->Format = "r";
  t.Rows[1]->Prefix = "\\hline";
  t.SetRules({0, 0, 2, 1}, rbOuter, 255);
  t.ShowGrid = false;

  {
    TQtCanvas measuring(&Image, TestPalette());
    t.Measure(measuring);
  }
  Image = QImage(t.PixelWidth, t.PixelHeight, QImage::Format_RGB32);
  Image.fill(kWhite);
  {
    QPainter painter(&Image);
    TQtCanvas canvas(painter, TestPalette());
    t.Paint(canvas);
  }
  const QColor black(0, 0, 0);
  const TRect first = (*t.Rows[0])[0]->BoundsRect;
  const TRect last = (*t.Rows[1])[2]->BoundsRect;
  EXPECT_EQ(Image.pixelColor(first.Left, first.Top), black);
  EXPECT_EQ(Image.pixelColor(last.Right, last.Bottom), black);
  EXPECT_EQ(Image.pixelColor(last.Right, first.Top), black);
  const TRect row = t.Rows[1]->BoundsRect;
  EXPECT_EQ(Image.pixelColor(t.Margin - 4, row.Top + 4), QColor(255, 0, 0));
  EXPECT_EQ(Image.pixelColor(t.Margin - 3, row.Bottom - 4), QColor(255, 0, 0));
  EXPECT_EQ(Image.pixelColor(t.Margin - 2, row.Top + 4), kWhite);

  for (const TRow* r : t.Rows) {
    for (const TCell* c : *r) {
      SCOPED_TRACE(c->Text());
      const TRect& b = c->BoundsRect;
      // Inside the rules and one pixel of antialiasing around the text area.
      const QRect cellInside(b.Left + 1, b.Top + 1, b.Right - b.Left - 1, b.Bottom - b.Top - 1);
      const QRect textArea(b.Left + t.CellPadding - 1, b.Top + t.CellPadding - 1,
                           b.Right - b.Left - 2 * t.CellPadding + 2, b.Bottom - b.Top - 2 * t.CellPadding + 2);
      const QRect ink = Ink(Image, cellInside);
      ASSERT_FALSE(ink.isEmpty());
      EXPECT_TRUE(textArea.contains(ink)) << ink.x() << "," << ink.y() << " " << ink.width() << "x" << ink.height();
    }
  }
}

}  // namespace

// Texts drawn from the cache have the very pixels of Qt's own layout: a
// wrong alignment offset, trailing blanks not counted, another font or a
// text that Qt lays out differently (tabs, line breaks, right-to-left)
// taken from the cache would show here.
TEST(QtCanvasTextCache, CachedTextsDrawTheSamePixels) {
  const std::string texts[] = {"25",    "25x",          "Qty & price", "  lead", "trail  ", "\xC3\x84gypten", "fi ffl",
                               "x\ty", "two\nlines", "\xD7\xA9\xD7\x9C\xD7\x95\xD7\x9D", "a\xF0\x9F\x98\x80", ""};
  TQtTextCache cache;
  for (const char* font : {"Times New Roman", "Courier New"}) {
    for (const std::string& text : texts) {
      for (const TTextAlign align : {TTextAlign::Left, TTextAlign::Center, TTextAlign::Right}) {
        for (const bool multiLine : {false, true}) {
          SCOPED_TRACE(std::string(font) + " '" + text + "' align " + std::to_string(static_cast<int>(align)) +
                       (multiLine ? " multi-line" : ""));
          QImage images[3];
          for (int k = 0; k < 3; ++k) {
            // Without the cache, then twice through it: preparing and reusing.
            images[k] = QImage(90, 40, QImage::Format_RGB32);
            images[k].fill(kWhite);
            QPainter painter(&images[k]);
            painter.translate(-3, -2);
            TQtCanvas canvas(painter, TestPalette());
            if (k > 0) canvas.SetTextCache(&cache);
            canvas.SetFont(font, 11);
            canvas.SetBrushStyle(TBrushStyle::Clear);
            canvas.TextRect({8, 7, 67, 30}, text, align, multiLine);
          }
          EXPECT_EQ(images[1], images[0]);
          EXPECT_EQ(images[2], images[0]);
        }
      }
    }
  }
}
