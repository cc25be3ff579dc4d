// Recording a form's painting into a drawing, and a form as a panel's content.
#include "host/ExternalForm.h"

#include <algorithm>
#include <cstring>

namespace tolvex {

namespace {

// The surface is called from another module: nothing may escape.
template <class F>
HRESULT32 Guarded(F body) {
  try {
    return body();
  } catch (...) {
    return E_UNEXPECTED32;
  }
}

// Pen widths and font heights beyond these are no drawing a panel can show.
constexpr std::int32_t kMaxPenWidth = 1000;
constexpr std::int32_t kMaxFontHeight = 1000;

}  // namespace

HRESULT32 TOLVEX_STDCALL TDrawingRecorder::QueryInterface(const TGUID& iid, void** object) {
  if (!object) return E_NOINTERFACE32;
  if (iid == IID_IInterface || iid == IID_IDrawingSurface) {
    *object = static_cast<IDrawingSurface*>(this);
    AddRef();
    return S_OK32;
  }
  *object = nullptr;
  return E_NOINTERFACE32;
}

HRESULT32 TOLVEX_STDCALL TDrawingRecorder::SetPen(std::uint32_t color, std::int32_t width) {
  if (width < 0 || width > kMaxPenWidth) return E_FAIL32;
  FPen = color & 0xFFFFFFu;
  FPenWidth = width;
  return S_OK32;
}

HRESULT32 TOLVEX_STDCALL TDrawingRecorder::SetBrush(std::uint32_t color) {
  FFill = color == kDrawNoFill ? ui::kNoFill : (color & 0xFFFFFFu);
  return S_OK32;
}

HRESULT32 TOLVEX_STDCALL TDrawingRecorder::SetFont(std::int32_t height) {
  if (height < 1 || height > kMaxFontHeight) return E_FAIL32;
  FFontHeight = height;
  return S_OK32;
}

bool TDrawingRecorder::Add(ui::TShape shape) {
  if (FDrawing.Shapes.size() >= ui::kMaxDrawingShapes) return false;
  shape.Pen = FPen;
  shape.PenWidth = FPenWidth;
  shape.Fill = FFill;
  shape.FontHeight = FFontHeight;
  FDrawing.Shapes.push_back(std::move(shape));
  return true;
}

HRESULT32 TDrawingRecorder::Box(ui::TShapeKind kind, std::int32_t left, std::int32_t top, std::int32_t right,
                                std::int32_t bottom, int startAngle, int sweepAngle) {
  return Guarded([&] {
    ui::TShape shape;
    shape.Kind = kind;
    shape.Points = {{left, top}, {right, bottom}};
    shape.StartAngle = startAngle;
    shape.SweepAngle = sweepAngle;
    return Add(std::move(shape)) ? S_OK32 : E_FAIL32;
  });
}

HRESULT32 TDrawingRecorder::Points(ui::TShapeKind kind, const TDrawPoint* points, std::int32_t count) {
  return Guarded([&] {
    if (!points || count < 0 || static_cast<std::size_t>(count) > ui::kMaxShapePoints) return E_FAIL32;
    if (count == 0) return S_OK32;
    ui::TShape shape;
    shape.Kind = kind;
    shape.Points.reserve(static_cast<std::size_t>(count));
    for (std::int32_t i = 0; i < count; ++i) shape.Points.push_back({points[i].X, points[i].Y});
    return Add(std::move(shape)) ? S_OK32 : E_FAIL32;
  });
}

HRESULT32 TOLVEX_STDCALL TDrawingRecorder::Line(std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2) {
  return Box(ui::shLine, x1, y1, x2, y2);
}

HRESULT32 TOLVEX_STDCALL TDrawingRecorder::Rectangle(std::int32_t left, std::int32_t top, std::int32_t right,
                                                     std::int32_t bottom) {
  return Box(ui::shRectangle, left, top, right, bottom);
}

HRESULT32 TOLVEX_STDCALL TDrawingRecorder::Polyline(const TDrawPoint* points, std::int32_t count) {
  return Points(ui::shPolyline, points, count);
}

HRESULT32 TOLVEX_STDCALL TDrawingRecorder::Polygon(const TDrawPoint* points, std::int32_t count) {
  return Points(ui::shPolygon, points, count);
}

HRESULT32 TOLVEX_STDCALL TDrawingRecorder::Ellipse(std::int32_t left, std::int32_t top, std::int32_t right,
                                                   std::int32_t bottom) {
  return Box(ui::shEllipse, left, top, right, bottom);
}

HRESULT32 TOLVEX_STDCALL TDrawingRecorder::Arc(std::int32_t left, std::int32_t top, std::int32_t right,
                                               std::int32_t bottom, std::int32_t startAngle,
                                               std::int32_t sweepAngle) {
  return Box(ui::shArc, left, top, right, bottom, startAngle % 360, std::clamp(sweepAngle, -360, 360));
}

HRESULT32 TOLVEX_STDCALL TDrawingRecorder::Text(std::int32_t x, std::int32_t y, const char* text,
                                                std::int32_t alignment, std::int32_t rotation) {
  return Guarded([&] {
    const std::int32_t horizontal = alignment & 3;
    if (!text || alignment < 0 || (alignment & ~15) != 0 || horizontal > 2) return E_FAIL32;
    ui::TShape shape;
    shape.Kind = ui::shText;
    shape.Points = {{x, y}};
    // Never read past the longest text a drawing keeps; a cut never splits a UTF-8 character.
    std::size_t length = strnlen(text, ui::kMaxShapeText + 1);
    if (length > ui::kMaxShapeText) {
      length = ui::kMaxShapeText;
      while (length > 0 && (static_cast<unsigned char>(text[length]) & 0xC0) == 0x80) --length;
    }
    shape.Text.assign(text, length);
    shape.HAlign = static_cast<ui::THorizontalAlign>(horizontal);
    static constexpr ui::TVerticalAlign kVertical[] = {ui::vaTop, ui::vaMiddle, ui::vaBaseline, ui::vaBottom};
    shape.VAlign = kVertical[(alignment >> 2) & 3];
    shape.Rotation = rotation % 360;
    return Add(std::move(shape)) ? S_OK32 : E_FAIL32;
  });
}

std::string TExternalFormContent::Name() const {
  if (!FForm) return {};
  char buffer[256] = {};
  const std::int32_t length = FForm->GetName(buffer, sizeof buffer);
  if (length <= 0) return {};
  buffer[sizeof buffer - 1] = '\0';
  return buffer;
}

bool TExternalFormContent::Paint(ui::TDrawing& drawing) const {
  if (!FForm) return false;
  TDrawingRecorder recorder(drawing);
  if (FForm->Paint(&recorder, drawing.Width, drawing.Height) == S_OK32) return true;
  drawing.Shapes.clear();
  return false;
}

}  // namespace tolvex
