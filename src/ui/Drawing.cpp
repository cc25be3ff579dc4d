// The recorded drawing's SVG form, the file name it is written to, and the panel content painted into a drawing.
#include "ui/Drawing.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "support/TextConversion.h"
#include "ui/Controls.h"

namespace tolvex::ui {

namespace {

// Whole numbers as they are; anything else with at most two decimals, trailing zeros dropped, never "-0".
std::string Number(double value) {
  const double rounded = std::round(value * 100.0) / 100.0;
  if (rounded == 0.0) return "0";
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.2f", rounded);
  std::string text = buffer;
  while (text.back() == '0') text.pop_back();
  if (text.back() == '.') text.pop_back();
  return text;
}

std::string Colour(TRgb rgb) {
  char buffer[8];
  std::snprintf(buffer, sizeof buffer, "#%06x", static_cast<unsigned>(rgb & 0xFFFFFFu));
  return buffer;
}

// The length of the UTF-8 sequence that starts Text at I, or 0 when none does or it is a character
// XML cannot hold (U+FFFE, U+FFFF).
std::size_t Utf8Length(std::string_view text, std::size_t i) {
  char32_t code = 0;
  const std::size_t length = Utf8SequenceLength(text, i, &code);
  return code == 0xFFFE || code == 0xFFFF ? 0 : length;
}

// Text as XML character data or an attribute value: markup escaped, what XML cannot hold as "?".
std::string Escape(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size();) {
    const char c = text[i];
    const std::size_t length = Utf8Length(text, i);
    if (length == 0) {
      out += '?';
      ++i;
      continue;
    }
    if (length > 1) {
      out.append(text.substr(i, length));
      i += length;
      continue;
    }
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      default:
        // Control characters: a line break would only turn into a blank in SVG text, the rest is not XML.
        out += static_cast<unsigned char>(c) < 0x20 || c == 0x7F ? (c == '\t' || c == '\n' || c == '\r' ? ' ' : '?') : c;
        break;
    }
    ++i;
  }
  return out;
}

std::string Stroke(const TShape& shape) {
  if (shape.PenWidth <= 0) return " stroke=\"none\"";
  return " stroke=\"" + Colour(shape.Pen) + "\" stroke-width=\"" + std::to_string(shape.PenWidth) + "\"";
}

std::string FillOf(const TShape& shape) {
  return " fill=\"" + (shape.Fill == kNoFill ? std::string("none") : Colour(shape.Fill)) + "\"";
}

std::string PointList(const std::vector<TDrawingPoint>& points) {
  std::string text;
  for (const TDrawingPoint& p : points) {
    if (!text.empty()) text += ' ';
    text += std::to_string(p.X) + "," + std::to_string(p.Y);
  }
  return text;
}

// The point at Angle degrees on the ellipse, counter-clockwise on the screen (whose y grows downwards). Quarter
// angles are exact, so that the usual arcs give the same numbers everywhere.
void PointAt(double cx, double cy, double rx, double ry, long long angle, double& x, double& y) {
  const long long quarter = ((angle % 360) + 360) % 360;
  double c, s;
  if (quarter % 90 == 0) {
    static constexpr double kCos[] = {1, 0, -1, 0}, kSin[] = {0, 1, 0, -1};
    c = kCos[quarter / 90];
    s = kSin[quarter / 90];
  } else {
    const double radians = static_cast<double>(quarter) * 3.14159265358979323846 / 180.0;
    c = std::cos(radians);
    s = std::sin(radians);
  }
  x = cx + rx * c;
  y = cy - ry * s;
}

// The baseline of a text of Height pixels aligned at Y: its box reaches 0.8 of the height above the baseline and
// 0.2 below.
double Baseline(const TShape& text) {
  const double h = text.FontHeight;
  switch (text.VAlign) {
    case vaTop: return 0.8 * h;
    case vaMiddle: return 0.3 * h;
    case vaBottom: return -0.2 * h;
    case vaBaseline: break;
  }
  return 0.0;
}

std::string ShapeToSvg(const TShape& shape) {
  const std::vector<TDrawingPoint>& p = shape.Points;
  const auto box = [&](int& left, int& top, int& right, int& bottom) {
    left = std::min(p[0].X, p[1].X);
    right = std::max(p[0].X, p[1].X);
    top = std::min(p[0].Y, p[1].Y);
    bottom = std::max(p[0].Y, p[1].Y);
  };
  int left, top, right, bottom;
  switch (shape.Kind) {
    case shLine:
      if (p.size() != 2) return {};
      return "<line x1=\"" + std::to_string(p[0].X) + "\" y1=\"" + std::to_string(p[0].Y) + "\" x2=\"" +
             std::to_string(p[1].X) + "\" y2=\"" + std::to_string(p[1].Y) + "\"" + Stroke(shape) + "/>";
    case shRectangle:
      if (p.size() != 2) return {};
      box(left, top, right, bottom);
      return "<rect x=\"" + std::to_string(left) + "\" y=\"" + std::to_string(top) + "\" width=\"" +
             std::to_string(right - left) + "\" height=\"" + std::to_string(bottom - top) + "\"" + Stroke(shape) +
             FillOf(shape) + "/>";
    case shPolyline:
      if (p.empty()) return {};
      return "<polyline points=\"" + PointList(p) + "\"" + Stroke(shape) + " fill=\"none\"/>";
    case shPolygon:
      if (p.empty()) return {};
      return "<polygon points=\"" + PointList(p) + "\"" + Stroke(shape) + FillOf(shape) + "/>";
    case shEllipse:
    case shArc: {
      if (p.size() != 2) return {};
      box(left, top, right, bottom);
      const double cx = (static_cast<double>(left) + right) / 2, cy = (static_cast<double>(top) + bottom) / 2;
      const double rx = (static_cast<double>(right) - left) / 2, ry = (static_cast<double>(bottom) - top) / 2;
      const long long sweep = shape.SweepAngle;
      if (shape.Kind == shEllipse || sweep >= 360 || sweep <= -360)
        return "<ellipse cx=\"" + Number(cx) + "\" cy=\"" + Number(cy) + "\" rx=\"" + Number(rx) + "\" ry=\"" +
               Number(ry) + "\"" + Stroke(shape) + (shape.Kind == shEllipse ? FillOf(shape) : " fill=\"none\"") + "/>";
      if (sweep == 0) return {};
      double sx, sy, ex, ey;
      PointAt(cx, cy, rx, ry, shape.StartAngle, sx, sy);
      PointAt(cx, cy, rx, ry, static_cast<long long>(shape.StartAngle) + sweep, ex, ey);
      // Counter-clockwise on the screen is SVG's negative direction.
      const bool large = sweep > 180 || sweep < -180;
      return "<path d=\"M " + Number(sx) + " " + Number(sy) + " A " + Number(rx) + " " + Number(ry) + " 0 " +
             (large ? "1" : "0") + " " + (sweep > 0 ? "0" : "1") + " " + Number(ex) + " " + Number(ey) + "\"" +
             Stroke(shape) + " fill=\"none\"/>";
    }
    case shText: {
      if (p.size() != 1 || shape.Text.empty()) return {};
      static constexpr const char* kAnchors[] = {"start", "middle", "end"};
      const char* anchor = shape.HAlign <= haRight ? kAnchors[shape.HAlign] : "start";
      const std::string x = std::to_string(p[0].X), y = std::to_string(p[0].Y);
      std::string svg = "<text x=\"" + x + "\" y=\"" + Number(p[0].Y + Baseline(shape)) + "\"";
      // Rotated about the anchor, the offset to the baseline turns with the text.
      if (shape.Rotation != 0) svg += " transform=\"rotate(" + std::to_string(-shape.Rotation) + " " + x + " " + y + ")\"";
      return svg + " font-family=\"sans-serif\" font-size=\"" + std::to_string(shape.FontHeight) +
             "\" text-anchor=\"" + anchor + "\" fill=\"" + Colour(shape.Pen) + "\">" + Escape(shape.Text) + "</text>";
    }
  }
  return {};
}

bool FileNameCharacter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_' ||
         c == '.';
}

std::string SafeStem(std::string_view text) {
  std::string stem;
  for (char c : text) stem += FileNameCharacter(c) ? c : '_';
  // A name starting with a dot would be hidden, and ".." would lead out of the folder.
  if (!stem.empty() && stem[0] == '.') stem[0] = '_';
  if (stem.size() > 120) stem.resize(120);
  return stem;
}

}  // namespace

std::string DrawingToSvg(const TDrawing& drawing) {
  const std::string width = std::to_string(std::max(drawing.Width, 0));
  const std::string height = std::to_string(std::max(drawing.Height, 0));
  std::string svg = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  svg += "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + width + "\" height=\"" + height + "\" viewBox=\"0 0 " +
         width + " " + height + "\">\n";
  if (!drawing.Title.empty()) svg += "<title>" + Escape(drawing.Title) + "</title>\n";
  for (const TShape& shape : drawing.Shapes) {
    std::string element = ShapeToSvg(shape);
    if (!element.empty()) svg += element + "\n";
  }
  svg += "</svg>\n";
  return svg;
}

std::string DrawingFileName(std::string_view title, std::string_view fallback) {
  std::string stem = SafeStem(title);
  if (stem.empty()) stem = SafeStem(fallback);
  if (stem.empty()) stem = "drawing";
  return stem + ".svg";
}

TDrawing DrawPanelContent(const TExternalFormPanel& panel) {
  TDrawing drawing;
  drawing.Width = std::max(panel.Width(), 0);
  drawing.Height = std::max(panel.Height(), 0);
  const std::shared_ptr<TPanelContent>& content = panel.Content();
  if (!content) return drawing;
  // A backend calls this while it paints, where nothing may escape.
  try {
    drawing.Title = content->Name();
    TDrawing painted = drawing;
    if (content->Paint(painted)) return painted;
  } catch (...) {
  }
  return drawing;
}

}  // namespace tolvex::ui
