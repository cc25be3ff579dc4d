// An outside form's painting recorded through the drawing surface: the pen, brush and font it set, what the surface refuses, and the form as a panel's content.
#include "host/ExternalForm.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

namespace tolvex {
namespace {

// An external form that paints whatever the test says, with a name and a status of the test's choosing.
class TFakeForm final : public IExternalForm {
 public:
  std::function<void(IDrawingSurface&, std::int32_t, std::int32_t)> Painting;
  std::string Name = "part-Q1-1";
  HRESULT32 Status = S_OK32;
  std::uint32_t Refs = 1;

  HRESULT32 TOLVEX_STDCALL QueryInterface(const TGUID&, void** object) override {
    if (object) *object = nullptr;
    return E_NOINTERFACE32;
  }
  std::uint32_t TOLVEX_STDCALL AddRef() override { return ++Refs; }
  std::uint32_t TOLVEX_STDCALL Release() override { return --Refs; }
  std::int32_t TOLVEX_STDCALL GetName(char* buffer, std::int32_t bufferSize) override {
    if (buffer && bufferSize > 0) {
      const std::size_t n = std::min<std::size_t>(Name.size(), static_cast<std::size_t>(bufferSize) - 1);
      Name.copy(buffer, n);
      buffer[n] = '\0';
    }
    return static_cast<std::int32_t>(Name.size());
  }
  HRESULT32 TOLVEX_STDCALL Paint(IDrawingSurface* surface, std::int32_t width, std::int32_t height) override {
    if (Painting) Painting(*surface, width, height);
    return Status;
  }
};

ui::TDrawing Painted(TFakeForm& form, int width = 120, int height = 80) {
  TExternalFormContent content(TInterfacePtr<IExternalForm>::Share(&form));
  ui::TDrawing drawing;
  drawing.Width = width;
  drawing.Height = height;
  content.Paint(drawing);
  return drawing;
}

TEST(DrawingRecorder, EachShapeTakesThePenBrushAndFontSetBeforeIt) {
  TFakeForm form;
  std::vector<HRESULT32> results;
  form.Painting = [&](IDrawingSurface& s, std::int32_t width, std::int32_t height) {
    results.push_back(s.Line(0, 0, width, height));
    results.push_back(s.SetPen(0x000080, 2));
    results.push_back(s.SetBrush(0xFFFFC0));
    const TDrawPoint triangle[] = {{10, 10}, {10, 30}, {30, 20}};
    results.push_back(s.Polygon(triangle, 3));
    results.push_back(s.SetBrush(kDrawNoFill));
    results.push_back(s.Ellipse(40, 10, 60, 30));
    results.push_back(s.Arc(40, 10, 60, 30, 450, 720));  // a turn and a quarter, more than a whole turn
    results.push_back(s.SetFont(12));
    results.push_back(s.Text(5, 6, "IN+", dtaRight | dtaMiddle, 90));
  };
  const ui::TDrawing drawing = Painted(form);
  EXPECT_EQ(results, std::vector<HRESULT32>(9, S_OK32));
  ASSERT_EQ(drawing.Shapes.size(), 5u);
  const ui::TShape& line = drawing.Shapes[0];
  EXPECT_EQ(line.Kind, ui::shLine);
  EXPECT_EQ(line.Points, (std::vector<ui::TDrawingPoint>{{0, 0}, {120, 80}}));  // the size the panel gave
  EXPECT_EQ(line.Pen, 0x000000u);
  EXPECT_EQ(line.PenWidth, 1);
  EXPECT_EQ(line.Fill, ui::kNoFill);
  const ui::TShape& triangle = drawing.Shapes[1];
  EXPECT_EQ(triangle.Kind, ui::shPolygon);
  EXPECT_EQ(triangle.Points.size(), 3u);
  EXPECT_EQ(triangle.Pen, 0x000080u);
  EXPECT_EQ(triangle.PenWidth, 2);
  EXPECT_EQ(triangle.Fill, 0xFFFFC0u);
  EXPECT_EQ(drawing.Shapes[2].Fill, ui::kNoFill);
  EXPECT_EQ(drawing.Shapes[3].StartAngle, 90);
  EXPECT_EQ(drawing.Shapes[3].SweepAngle, 360);
  const ui::TShape& text = drawing.Shapes[4];
  EXPECT_EQ(text.Text, "IN+");
  EXPECT_EQ(text.FontHeight, 12);
  EXPECT_EQ(text.HAlign, ui::haRight);
  EXPECT_EQ(text.VAlign, ui::vaMiddle);
  EXPECT_EQ(text.Rotation, 90);
  EXPECT_EQ(form.Refs, 1u) << "the content gave back its reference";
}

TEST(DrawingRecorder, WhatTheSurfaceCannotTakeIsRefusedAndNotRecorded) {
  struct TCase {
    const char* Name;
    std::function<HRESULT32(IDrawingSurface&)> Call;
  };
  const TDrawPoint points[] = {{1, 2}, {3, 4}};
  const std::vector<TCase> cases = {
      {"no points", [&](IDrawingSurface& s) { return s.Polyline(nullptr, 2); }},
      {"a negative count", [&](IDrawingSurface& s) { return s.Polygon(points, -1); }},
      {"more points than a shape keeps",
       [&](IDrawingSurface& s) { return s.Polyline(points, static_cast<std::int32_t>(ui::kMaxShapePoints) + 1); }},
      {"no text", [](IDrawingSurface& s) { return s.Text(0, 0, nullptr, dtaLeft, 0); }},
      {"a horizontal alignment past right", [](IDrawingSurface& s) { return s.Text(0, 0, "x", 3, 0); }},
      {"an alignment with other bits", [](IDrawingSurface& s) { return s.Text(0, 0, "x", 16, 0); }},
      {"a negative alignment", [](IDrawingSurface& s) { return s.Text(0, 0, "x", -1, 0); }},
      {"a negative pen", [](IDrawingSurface& s) { return s.SetPen(0, -1); }},
      {"a font of no height", [](IDrawingSurface& s) { return s.SetFont(0); }},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TFakeForm form;
    HRESULT32 result = S_OK32;
    form.Painting = [&](IDrawingSurface& s, std::int32_t, std::int32_t) { result = c.Call(s); };
    EXPECT_TRUE(Painted(form).Shapes.empty());
    EXPECT_EQ(result, E_FAIL32);
  }
}

TEST(DrawingRecorder, ALongTextIsCutWholeCharactersAndAFullDrawingTakesNoMore) {
  TFakeForm form;
  // 1,022 letters and a two-byte character: the cut at 1,023 bytes would split it, so it goes whole.
  const std::string text = std::string(1022, 'a') + "\xCE\xA9" + "tail";
  std::vector<HRESULT32> last;
  form.Painting = [&](IDrawingSurface& s, std::int32_t, std::int32_t) {
    s.Text(0, 0, text.c_str(), dtaLeft, 0);
    HRESULT32 result = S_OK32;
    for (std::size_t i = 1; i < ui::kMaxDrawingShapes && result == S_OK32; ++i) result = s.Line(0, 0, 1, 1);
    last.push_back(result);
    last.push_back(s.Line(0, 0, 1, 1));
  };
  const ui::TDrawing drawing = Painted(form);
  EXPECT_EQ(last, (std::vector<HRESULT32>{S_OK32, E_FAIL32}));
  ASSERT_EQ(drawing.Shapes.size(), ui::kMaxDrawingShapes);
  EXPECT_EQ(drawing.Shapes[0].Text, std::string(1022, 'a'));
}

TEST(ExternalFormContent, AFailedPaintShowsNothingAndTheNameIsTheForms) {
  TFakeForm form;
  form.Painting = [](IDrawingSurface& s, std::int32_t, std::int32_t) { s.Line(0, 0, 5, 5); };
  form.Status = E_FAIL32;
  TExternalFormContent content(TInterfacePtr<IExternalForm>::Share(&form));
  ui::TDrawing drawing;
  EXPECT_FALSE(content.Paint(drawing));
  EXPECT_TRUE(drawing.Shapes.empty());
  EXPECT_EQ(content.Name(), "part-Q1-1");
  form.Name = std::string(400, 'n');  // longer than the name's buffer: cut, never overrun
  EXPECT_EQ(content.Name(), std::string(255, 'n'));
  EXPECT_EQ(TExternalFormContent({}).Name(), "");
}

}  // namespace
}  // namespace tolvex
