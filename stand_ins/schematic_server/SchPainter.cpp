// The part painter's drawing: shapes and pins of one part, fitted into the host's surface.
#include "SchPainter.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <vector>

namespace pravik {

namespace {

using tolvex::IDrawingSurface;
using tolvex::TDrawPoint;

constexpr double kMargin = 16.0;       // pixels around the part, room for the texts beside the outermost pins
constexpr double kMostPixelsPerUnit = 8.0;
constexpr std::int32_t kPinTextHeight = 10;  // pixels
constexpr double kPinTextGap = 2.0;          // sheet units between a pin and its texts
constexpr std::uint32_t kBackground = 0xFFFFFF;
constexpr std::uint32_t kPinColour = 0x000000;

bool OnPart(std::int32_t owner, std::int32_t part) { return owner == 0 || owner == part; }

std::uint32_t ColourOf(const std::string& text) {
  // The reader has checked the form "#RRGGBB".
  return static_cast<std::uint32_t>(std::strtoul(text.c_str() + 1, nullptr, 16)) & 0xFFFFFFu;
}

struct TBox {
  double MinX = 0, MinY = 0, MaxX = 0, MaxY = 0;
  bool Any = false;
  void Add(double x, double y) {
    if (!Any) {
      MinX = MaxX = x;
      MinY = MaxY = y;
      Any = true;
      return;
    }
    MinX = std::min(MinX, x);
    MaxX = std::max(MaxX, x);
    MinY = std::min(MinY, y);
    MaxY = std::max(MaxY, y);
  }
};

// Sheet units to the surface's pixels.
struct TView {
  double MinX = 0, MaxY = 0, Scale = 1, Left = 0, Top = 0;
  static std::int32_t Round(double v) {
    constexpr double lowest = std::numeric_limits<std::int32_t>::min();
    constexpr double highest = std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(std::clamp(std::round(v), lowest, highest));
  }
  std::int32_t X(double x) const { return Round(Left + (x - MinX) * Scale); }
  std::int32_t Y(double y) const { return Round(Top + (MaxY - y) * Scale); }
  TDrawPoint Point(const std::array<std::int32_t, 2>& p) const { return {X(p[0]), Y(p[1])}; }
};

// The unit vector of a pin's orientation, from its connection end toward the body.
void Direction(const TPin& pin, double& dx, double& dy) {
  switch (pin.P.Orientation) {
    case 1: dx = 0, dy = 1; break;
    case 2: dx = -1, dy = 0; break;
    case 3: dx = 0, dy = -1; break;
    default: dx = 1, dy = 0; break;
  }
}

struct TPinText {
  double X, Y;
  std::int32_t Align;
};

// The designator beside the middle of the pin: above a horizontal one, left of a vertical one.
TPinText DesignatorPlace(const TPin& pin) {
  double dx, dy;
  Direction(pin, dx, dy);
  const double length = pin.P.Length;
  const double mx = pin.G.Location[0] + dx * length / 2, my = pin.G.Location[1] + dy * length / 2;
  if (dy == 0) return {mx, my + kPinTextGap, tolvex::dtaCenter | tolvex::dtaBottom};
  return {mx - kPinTextGap, my, tolvex::dtaRight | tolvex::dtaMiddle};
}

// The name just inside the body, past the pin's body end.
TPinText NamePlace(const TPin& pin) {
  double dx, dy;
  Direction(pin, dx, dy);
  const double length = pin.P.Length;
  const double x = pin.G.Location[0] + dx * (length + kPinTextGap), y = pin.G.Location[1] + dy * (length + kPinTextGap);
  if (dx > 0) return {x, y, tolvex::dtaLeft | tolvex::dtaMiddle};
  if (dx < 0) return {x, y, tolvex::dtaRight | tolvex::dtaMiddle};
  if (dy > 0) return {x, y, tolvex::dtaCenter | tolvex::dtaBottom};
  return {x, y, tolvex::dtaCenter | tolvex::dtaTop};
}

void AddShape(TBox& box, const TShapeAttributes& s) {
  if (s.Type == "arc" || s.Type == "ellipse") {
    const double rx = s.Radius, ry = s.RadiusY > 0 ? s.RadiusY : s.Radius;
    box.Add(s.Center[0] - rx, s.Center[1] - ry);
    box.Add(s.Center[0] + rx, s.Center[1] + ry);
  } else if (s.Type == "text") {
    // Without font metrics: about six tenths of the size per character.
    const double width = 0.6 * s.FontSize * static_cast<double>(s.Text.size());
    const double left = s.Alignment == "left" ? 0 : s.Alignment == "center" ? -width / 2 : -width;
    box.Add(s.Location[0] + left, s.Location[1] - s.FontSize / 2.0);
    box.Add(s.Location[0] + left + width, s.Location[1] + s.FontSize / 2.0);
  } else {
    for (const auto& p : s.Points) box.Add(p[0], p[1]);
  }
}

void PaintShape(const TShapeAttributes& s, const TView& view, IDrawingSurface& surface) {
  surface.SetPen(ColourOf(s.Color), s.LineWidth);
  surface.SetBrush(s.Fill.empty() ? tolvex::kDrawNoFill : ColourOf(s.Fill));
  std::vector<TDrawPoint> points;
  for (const auto& p : s.Points) points.push_back(view.Point(p));
  const auto count = static_cast<std::int32_t>(std::min<std::size_t>(points.size(), 100000));
  if (s.Type == "line") {
    surface.Line(points[0].X, points[0].Y, points[1].X, points[1].Y);
  } else if (s.Type == "rectangle") {
    surface.Rectangle(points[0].X, points[0].Y, points[1].X, points[1].Y);
  } else if (s.Type == "polyline") {
    surface.Polyline(points.data(), count);
  } else if (s.Type == "polygon") {
    surface.Polygon(points.data(), count);
  } else if (s.Type == "arc" || s.Type == "ellipse") {
    const double rx = s.Radius, ry = s.RadiusY > 0 ? s.RadiusY : s.Radius;
    const std::int32_t left = view.X(s.Center[0] - rx), top = view.Y(s.Center[1] + ry);
    const std::int32_t right = view.X(s.Center[0] + rx), bottom = view.Y(s.Center[1] - ry);
    if (s.Type == "ellipse") {
      surface.Ellipse(left, top, right, bottom);
    } else {
      // From the start angle counter-clockwise to the end angle: a full turn when they are equal.
      long long sweep = (static_cast<long long>(s.EndAngle) - s.StartAngle) % 360;
      if (sweep <= 0) sweep += 360;
      surface.Arc(left, top, right, bottom, s.StartAngle % 360, static_cast<std::int32_t>(sweep));
    }
  } else if (s.Type == "text") {
    const double pixels = std::clamp(s.FontSize * view.Scale, 6.0, 48.0);
    surface.SetFont(TView::Round(pixels));
    const std::int32_t horizontal =
        s.Alignment == "center" ? tolvex::dtaCenter : s.Alignment == "right" ? tolvex::dtaRight : tolvex::dtaLeft;
    surface.Text(view.X(s.Location[0]), view.Y(s.Location[1]), s.Text.c_str(), horizontal | tolvex::dtaMiddle, 0);
  }
}

}  // namespace

std::string PartDrawingName(const TComponent& component, std::int32_t part) {
  std::string name = component.DesignatorText();
  if (name.empty()) name = component.C.LibraryReference;
  return "part-" + (name.empty() ? std::string() : name + "-") + std::to_string(part);
}

void PaintPart(const TComponent& component, std::int32_t part, IDrawingSurface& surface, std::int32_t width,
               std::int32_t height) {
  surface.SetPen(kBackground, 0);
  surface.SetBrush(kBackground);
  surface.Rectangle(0, 0, width, height);

  std::vector<const TShapeAttributes*> shapes;
  for (const TPartShape& shape : component.Graphics)
    if (OnPart(shape.S.OwnerPart, part)) shapes.push_back(&shape.S);
  std::vector<const TPin*> pins;
  for (const auto& pin : component.Container.Pins)
    if (OnPart(pin->G.OwnerPart, part)) pins.push_back(pin.get());

  TBox box;
  for (const TShapeAttributes* shape : shapes) AddShape(box, *shape);
  for (const TPin* pin : pins) {
    box.Add(pin->G.Location[0], pin->G.Location[1]);
    const auto end = PinOuterEnd(*pin);
    box.Add(end[0], end[1]);
  }
  if (!box.Any) return;

  TView view;
  const double boxWidth = box.MaxX - box.MinX, boxHeight = box.MaxY - box.MinY;
  const double roomX = std::max(width - 2 * kMargin, 1.0), roomY = std::max(height - 2 * kMargin, 1.0);
  view.Scale = kMostPixelsPerUnit;
  if (boxWidth > 0) view.Scale = std::min(view.Scale, roomX / boxWidth);
  if (boxHeight > 0) view.Scale = std::min(view.Scale, roomY / boxHeight);
  view.MinX = box.MinX;
  view.MaxY = box.MaxY;
  view.Left = (width - boxWidth * view.Scale) / 2;
  view.Top = (height - boxHeight * view.Scale) / 2;

  for (const TShapeAttributes* shape : shapes) PaintShape(*shape, view, surface);

  surface.SetPen(kPinColour, 1);
  surface.SetBrush(tolvex::kDrawNoFill);
  for (const TPin* pin : pins) {
    const auto end = PinOuterEnd(*pin);
    surface.Line(view.X(pin->G.Location[0]), view.Y(pin->G.Location[1]), view.X(end[0]), view.Y(end[1]));
  }
  surface.SetFont(kPinTextHeight);
  for (const TPin* pin : pins) {
    if (pin->P.ShowDesignator && !pin->P.Designator.empty()) {
      const TPinText at = DesignatorPlace(*pin);
      surface.Text(view.X(at.X), view.Y(at.Y), pin->P.Designator.c_str(), at.Align, 0);
    }
    if (pin->P.ShowName && !pin->P.Name.empty()) {
      const TPinText at = NamePlace(*pin);
      surface.Text(view.X(at.X), view.Y(at.Y), pin->P.Name.c_str(), at.Align, 0);
    }
  }
}

}  // namespace pravik
