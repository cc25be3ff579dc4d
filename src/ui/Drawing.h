// A recorded drawing (lines, rectangles, polylines, ellipses, arcs, texts in pixels) that every backend shows the same way, and its SVG form.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tolvex::ui {

class TExternalFormPanel;

// 0x00RRGGBB.
using TRgb = std::uint32_t;
constexpr TRgb kNoFill = 0xFFFFFFFFu;

enum TShapeKind : std::uint8_t { shLine, shRectangle, shPolyline, shPolygon, shEllipse, shArc, shText };

enum THorizontalAlign : std::uint8_t { haLeft, haCenter, haRight };
// Baseline: the point is on the text's baseline; the others place the text's box (its height is the font's).
enum TVerticalAlign : std::uint8_t { vaTop, vaMiddle, vaBaseline, vaBottom };

struct TDrawingPoint {
  int X = 0;
  int Y = 0;
  bool operator==(const TDrawingPoint&) const = default;
};

struct TShape {
  TShapeKind Kind = shLine;
  // Line: its two ends. Rectangle, ellipse, arc: the top left and bottom right corners of the box. Polyline,
  // polygon: every point in order. Text: its anchor.
  std::vector<TDrawingPoint> Points;
  TRgb Pen = 0x000000;
  int PenWidth = 1;  // 0: no outline
  TRgb Fill = kNoFill;
  // Arc: degrees counter-clockwise from three o'clock.
  int StartAngle = 0;
  int SweepAngle = 0;
  std::string Text;
  int FontHeight = 8;  // pixels
  THorizontalAlign HAlign = haLeft;
  TVerticalAlign VAlign = vaBaseline;
  int Rotation = 0;  // 0 or 90, counter-clockwise about the anchor
  bool operator==(const TShape&) const = default;
};

// What a painter drew into an area of Width by Height pixels, in order (later shapes over earlier ones).
struct TDrawing {
  int Width = 0;
  int Height = 0;
  std::string Title;  // what it shows, for a caption or a file name; may be empty
  std::vector<TShape> Shapes;
  bool operator==(const TDrawing&) const = default;
};

// A painter that sends everything at once could otherwise fill the memory; past these a drawing takes no more.
constexpr std::size_t kMaxDrawingShapes = 100000;
constexpr std::size_t kMaxShapePoints = 100000;
constexpr std::size_t kMaxShapeText = 1023;

// The drawing as a standalone SVG document, the same bytes for the same drawing: whole pixels, numbers in a fixed
// format, texts escaped (bytes that are not UTF-8 or not allowed in XML become "?"), no time stamps. Text is
// placed on its baseline with the alignment worked out from the font height, so no font metrics are needed.
std::string DrawingToSvg(const TDrawing& drawing);

// The file a drawing titled Title is written to: Title with every character other than a letter, a digit, "-",
// "_" or "." replaced by "_", no leading dot, at most 120 characters, and ".svg"; Fallback (treated the same way)
// for an empty title.
std::string DrawingFileName(std::string_view title, std::string_view fallback);

// What fills an external-form panel: a form from outside the control model that paints itself.
class TPanelContent {
 public:
  virtual ~TPanelContent() = default;
  // A short name of what it shows (see TDrawing::Title).
  virtual std::string Name() const = 0;
  // Paints into Drawing, whose Width and Height are set; false when the form failed (Drawing is then empty).
  virtual bool Paint(TDrawing& drawing) const = 0;
};

// The panel's content painted at the panel's size, titled with the content's name; a drawing without shapes when
// the panel has no content. This is what every backend shows in the panel.
TDrawing DrawPanelContent(const TExternalFormPanel& panel);

}  // namespace tolvex::ui
