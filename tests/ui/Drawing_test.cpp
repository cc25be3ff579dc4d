// The recorded drawing: its SVG text, the file name it is written to, and the transcript's drawing lines for an external-form panel.
#include "ui/Drawing.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "ui/Controls.h"
#include "ui/UiBackend.h"
#include "ui/UiScript.h"
#include "ui/UiTranscript.h"

namespace tolvex::ui {
namespace {

TShape Shape(TShapeKind kind, std::vector<TDrawingPoint> points) {
  TShape shape;
  shape.Kind = kind;
  shape.Points = std::move(points);
  return shape;
}

TShape Text(std::string text, TDrawingPoint at, THorizontalAlign h, TVerticalAlign v, int rotation = 0) {
  TShape shape = Shape(shText, {at});
  shape.Text = std::move(text);
  shape.FontHeight = 10;
  shape.HAlign = h;
  shape.VAlign = v;
  shape.Rotation = rotation;
  return shape;
}

TEST(DrawingSvg, ASmallDrawingGivesExactlyThisDocument) {
  TDrawing drawing;
  drawing.Width = 100;
  drawing.Height = 60;
  drawing.Title = "part-D1-1";
  TShape background = Shape(shRectangle, {{0, 0}, {100, 60}});
  background.PenWidth = 0;
  background.Fill = 0xFFFFFF;
  drawing.Shapes.push_back(background);
  TShape line = Shape(shLine, {{10, 30}, {30, 30}});
  drawing.Shapes.push_back(line);
  TShape triangle = Shape(shPolygon, {{30, 20}, {30, 40}, {50, 30}});
  triangle.Pen = 0x000080;
  triangle.PenWidth = 2;
  triangle.Fill = 0x000080;
  drawing.Shapes.push_back(triangle);
  drawing.Shapes.push_back(Shape(shPolyline, {{50, 20}, {50, 40}}));
  TShape circle = Shape(shEllipse, {{61, 21}, {80, 40}});  // a half-pixel centre and radius
  drawing.Shapes.push_back(circle);
  TShape arc = Shape(shArc, {{60, 20}, {80, 40}});
  arc.StartAngle = 0;
  arc.SweepAngle = 180;  // the upper half, counter-clockwise from three o'clock
  drawing.Shapes.push_back(arc);
  TShape full = Shape(shArc, {{0, 0}, {10, 10}});
  full.SweepAngle = 360;  // a whole turn is the outline of the ellipse
  drawing.Shapes.push_back(full);
  TShape nothing = Shape(shArc, {{0, 0}, {10, 10}});
  nothing.SweepAngle = 0;  // no arc at all: nothing is written
  drawing.Shapes.push_back(nothing);
  drawing.Shapes.push_back(Text("1", {20, 28}, haCenter, vaBottom));
  drawing.Shapes.push_back(Text("A", {30, 10}, haLeft, vaTop));
  drawing.Shapes.push_back(Text("K", {90, 30}, haRight, vaMiddle, 90));

  EXPECT_EQ(DrawingToSvg(drawing),
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
            "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"100\" height=\"60\" viewBox=\"0 0 100 60\">\n"
            "<title>part-D1-1</title>\n"
            "<rect x=\"0\" y=\"0\" width=\"100\" height=\"60\" stroke=\"none\" fill=\"#ffffff\"/>\n"
            "<line x1=\"10\" y1=\"30\" x2=\"30\" y2=\"30\" stroke=\"#000000\" stroke-width=\"1\"/>\n"
            "<polygon points=\"30,20 30,40 50,30\" stroke=\"#000080\" stroke-width=\"2\" fill=\"#000080\"/>\n"
            "<polyline points=\"50,20 50,40\" stroke=\"#000000\" stroke-width=\"1\" fill=\"none\"/>\n"
            "<ellipse cx=\"70.5\" cy=\"30.5\" rx=\"9.5\" ry=\"9.5\" stroke=\"#000000\" stroke-width=\"1\" fill=\"none\"/>\n"
            "<path d=\"M 80 30 A 10 10 0 0 0 60 30\" stroke=\"#000000\" stroke-width=\"1\" fill=\"none\"/>\n"
            "<ellipse cx=\"5\" cy=\"5\" rx=\"5\" ry=\"5\" stroke=\"#000000\" stroke-width=\"1\" fill=\"none\"/>\n"
            "<text x=\"20\" y=\"26\" font-family=\"sans-serif\" font-size=\"10\" text-anchor=\"middle\" "
            "fill=\"#000000\">1</text>\n"
            "<text x=\"30\" y=\"18\" font-family=\"sans-serif\" font-size=\"10\" text-anchor=\"start\" "
            "fill=\"#000000\">A</text>\n"
            "<text x=\"90\" y=\"33\" transform=\"rotate(-90 90 30)\" font-family=\"sans-serif\" font-size=\"10\" "
            "text-anchor=\"end\" fill=\"#000000\">K</text>\n"
            "</svg>\n");
  // The same drawing gives the same bytes.
  EXPECT_EQ(DrawingToSvg(drawing), DrawingToSvg(TDrawing(drawing)));
}

TEST(DrawingSvg, TextsAreEscapedAndWhatXmlCannotHoldBecomesAQuestionMark) {
  struct TCase {
    const char* Name;
    std::string Text;
    std::string Expected;  // the text element's content
  };
  const std::vector<TCase> cases = {
      {"markup", "<R&D> \"1\"", "&lt;R&amp;D&gt; &quot;1&quot;"},
      {"UTF-8 kept", "\xCE\xA9 \xE2\x80\x93", "\xCE\xA9 \xE2\x80\x93"},
      {"a lone continuation byte", "a\x80" "b", "a?b"},
      {"a cut sequence at the end", "a\xE2\x80", "a??"},
      {"an overlong form", "\xC0\xAF", "??"},
      {"a surrogate", "\xED\xA0\x80", "???"},
      {"control characters", std::string("a\x01\tb\x7F", 5), "a? b?"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TDrawing drawing;
    drawing.Title = c.Text;
    drawing.Shapes.push_back(Text(c.Text, {0, 0}, haLeft, vaBaseline));
    const std::string svg = DrawingToSvg(drawing);
    EXPECT_NE(svg.find("<title>" + c.Expected + "</title>"), std::string::npos) << svg;
    EXPECT_NE(svg.find("fill=\"#000000\">" + c.Expected + "</text>"), std::string::npos) << svg;
  }
}

TEST(DrawingFileName, OnlyAPlainNameInTheFolderComesOut) {
  struct TCase {
    const char* Name;
    std::string Title;
    std::string Fallback;
    std::string Expected;
  };
  const std::vector<TCase> cases = {
      {"a part", "part-R1-1", "Panel", "part-R1-1.svg"},
      {"a folder in the title", "../../etc/passwd", "Panel", "_._.._etc_passwd.svg"},
      {"a leading dot", ".hidden", "Panel", "_hidden.svg"},
      {"blanks and UTF-8", "part-U 1-\xCE\xA9", "Panel", "part-U_1-__.svg"},
      {"no title", "", "ExternalForm_PartImage", "ExternalForm_PartImage.svg"},
      {"neither", "", "", "drawing.svg"},
      {"a long title", std::string(300, 'x'), "Panel", std::string(120, 'x') + ".svg"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    EXPECT_EQ(DrawingFileName(c.Title, c.Fallback), c.Expected);
  }
}

// What an external form paints: one line whose length the test changes, under the name it is given.
class TFakeContent final : public TPanelContent {
 public:
  std::string FName = "part-X1-1";
  int FLength = 10;
  bool FFails = false;
  int FPaints = 0;
  std::string Name() const override { return FName; }
  bool Paint(TDrawing& drawing) const override {
    ++const_cast<TFakeContent*>(this)->FPaints;
    drawing.Shapes.push_back(Shape(shLine, {{0, 0}, {FLength, drawing.Height}}));
    return !FFails;
  }
};

// A form with an external-form panel and buttons that change what its content paints.
struct TPanelForm {
  TForm Form;
  TPanel* Panel_Image = Form.Add<TPanel>("Panel_Image", &Form);
  TExternalFormPanel* ExternalForm_Image = Form.Add<TExternalFormPanel>("ExternalForm_Image", Panel_Image);
  TButton* Button_Same = Form.Add<TButton>("Button_Same", &Form);
  TButton* Button_Longer = Form.Add<TButton>("Button_Longer", &Form);
  TButton* Button_Grow = Form.Add<TButton>("Button_Grow", &Form);
  TButton* Button_Cancel = Form.Add<TButton>("Button_Cancel", &Form);
  std::shared_ptr<TFakeContent> Content = std::make_shared<TFakeContent>();

  TPanelForm() {
    Form.SetClientSize(200, 100);
    Panel_Image->SetBounds({10, 10, 40, 30});
    ExternalForm_Image->SetBounds({0, 0, 40, 30});
    ExternalForm_Image->SetAlign(alClient);
    ExternalForm_Image->SetContent(Content);
    Button_Same->OnClick = [this](TControl&) { ExternalForm_Image->Redraw(); };
    Button_Longer->OnClick = [this](TControl&) {
      Content->FLength = 20;
      Content->FName = "part-X1-2";
      ExternalForm_Image->Redraw();
    };
    Button_Grow->OnClick = [this](TControl&) { Panel_Image->SetBounds({10, 10, 60, 30}); };
    Button_Cancel->SetModalResult(mrCancel);
    Button_Cancel->SetCancel(true);
  }
};

TEST(UiTranscriptDrawings, APanelsDrawingIsNamedWhenItBeginsAndEachTimeItShowsSomethingNew) {
  TPanelForm form;
  THeadlessUiBackend backend;
  TScopedUiBackend scope(backend);
  TUiTranscript transcript;
  std::vector<std::pair<std::string, std::string>> written;
  transcript.SetDrawingSink([&](const std::string& file, const std::string& svg) { written.emplace_back(file, svg); });
  backend.QueueScript(ParseUiScript("click Button_Same\nclick Button_Longer\nclick Button_Grow\ncancel\n"), transcript);
  RunModal(form.Form);

  const std::vector<std::string> expected = {
      "form Form",
      "drawing ExternalForm_Image \"part-X1-1.svg\"",
      "step 1: click Button_Same",  // drawn again the same: no line
      "  event Button_Same.OnClick",
      "  state Button_Same Focused=True",
      "step 2: click Button_Longer",
      "  event Button_Longer.OnClick",
      "  state Button_Same Focused=False",
      "  state Button_Longer Focused=True",
      "  drawing ExternalForm_Image \"part-X1-2.svg\"",
      "step 3: click Button_Grow",  // a larger panel is painted afresh
      "  event Button_Grow.OnClick",
      "  state Panel_Image Bounds=10,10,60,30",
      "  state ExternalForm_Image Bounds=0,0,60,30",
      "  state Button_Longer Focused=False",
      "  state Button_Grow Focused=True",
      "  drawing ExternalForm_Image \"part-X1-2.svg\"",
      "step 4: cancel",
      "  state Form ModalResult=Cancel Closed=True",
      "  state Button_Grow Focused=False",
      "  state Button_Cancel Focused=True",
      "result Cancel",
  };
  EXPECT_EQ(transcript.Lines(), expected) << transcript.Text();
  ASSERT_EQ(written.size(), 3u);
  EXPECT_EQ(written[0].first, "part-X1-1.svg");
  EXPECT_NE(written[0].second.find("<line x1=\"0\" y1=\"0\" x2=\"10\" y2=\"30\""), std::string::npos) << written[0].second;
  EXPECT_NE(written[1].second.find("x2=\"20\" y2=\"30\""), std::string::npos) << written[1].second;
  EXPECT_NE(written[2].second.find("width=\"60\" height=\"30\""), std::string::npos) << written[2].second;
}

TEST(UiTranscriptDrawings, APanelWithoutContentOrWithAFailingFormShowsNoShapes) {
  TPanelForm form;
  form.ExternalForm_Image->SetContent(nullptr);
  EXPECT_TRUE(DrawPanelContent(*form.ExternalForm_Image).Shapes.empty());
  TUiTranscript transcript;
  transcript.Begin(form.Form);
  transcript.End(mrCancel);
  EXPECT_EQ(transcript.Lines(), (std::vector<std::string>{"form Form", "result Cancel"}));

  form.Content->FFails = true;
  form.ExternalForm_Image->SetContent(form.Content);
  const TDrawing drawing = DrawPanelContent(*form.ExternalForm_Image);
  EXPECT_EQ(drawing.Title, "part-X1-1");
  EXPECT_EQ(drawing.Width, 40);
  EXPECT_EQ(drawing.Height, 30);
  EXPECT_TRUE(drawing.Shapes.empty());
}

}  // namespace
}  // namespace tolvex::ui
