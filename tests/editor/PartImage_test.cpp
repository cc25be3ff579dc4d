// The Pin Mapping tab's part drawing: the container made once on Panel_PartImage, the schematic server's painter in it, each shown part drawn into it, and the panel as it was when the server offers no painter.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "editor/EditorKinds.h"
#include "editor/Form_ImplementationEditor.h"
#include "host/HostInterfaces.h"
#include "support/FakeSchServer.h"
#include "support/FormInput.h"
#include "ui/Drawing.h"
#include "ui/UiBackend.h"

namespace tolvex {
namespace {

using test::FakeSchServer;
using test::Input;

// A painter as a schematic server hands it out: its identity answers IExternalForm, and it paints one line
// as long as the part it was last drawn for.
class TFakePainter final : public IExternalForm {
 public:
  std::uint32_t Refs = 1;
  std::int32_t Part = 0;
  HRESULT32 TOLVEX_STDCALL QueryInterface(const TGUID& iid, void** object) override {
    if (iid == IID_IInterface || iid == IID_IExternalForm) {
      *object = static_cast<IExternalForm*>(this);
      AddRef();
      return S_OK32;
    }
    *object = nullptr;
    return E_NOINTERFACE32;
  }
  std::uint32_t TOLVEX_STDCALL AddRef() override { return ++Refs; }
  std::uint32_t TOLVEX_STDCALL Release() override { return --Refs; }
  std::int32_t TOLVEX_STDCALL GetName(char* buffer, std::int32_t size) override {
    const std::string name = "part-U1-" + std::to_string(Part);
    if (buffer && size > static_cast<std::int32_t>(name.size())) name.copy(buffer, name.size()), buffer[name.size()] = 0;
    return static_cast<std::int32_t>(name.size());
  }
  HRESULT32 TOLVEX_STDCALL Paint(IDrawingSurface* surface, std::int32_t, std::int32_t) override {
    return surface->Line(0, 0, Part * 10, 0);
  }
};

// A dual device U1 whose parts have a pin each and share a supply pin, on an in-memory schematic.
class PartImage : public ::testing::Test {
 protected:
  PartImage() {
    RegisterEditorKinds();
    Component = Sch.AddComponent("U1", 2);
    Sch.AddPin(Component, {"IN", "1", 1});
    Sch.AddPin(Component, {"IN", "2", 2});
    Sch.AddPin(Component, {"V+", "8", 0});
    Implementation = Sch.AddImplementation(Component, "", "(1:1),(2:2),(8:3)");
  }
  ~PartImage() override { ReleaseEditorKinds(); }


  FakeSchServer Sch;
  THandle Component = 0;
  THandle Implementation = 0;
  ui::THeadlessUiBackend User;
  ui::TScopedUiBackend Scope{User};
};

TEST_F(PartImage, TheServersPainterFillsThePanelAndDrawsEachShownPart) {
  TFakePainter painter;
  Sch.Painter = &painter;
  {
    TImplementationEditorDialog dialog(Implementation, Component);
    dialog.LoadFromImplementation();
    auto* image = dynamic_cast<ui::TExternalFormPanel*>(dialog.FindComponent("ExternalForm_PartImage"));
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->Parent(), dialog.Panel_PartImage);
    EXPECT_EQ(image->Align(), ui::alClient);
    EXPECT_EQ(image->Bounds(), (ui::TRect{0, 0, 313, 222}));
    EXPECT_TRUE(image->Visible());
    ASSERT_NE(image->Content(), nullptr);
    ASSERT_FALSE(Sch.Draws.empty());
    // Drawn into the painter's IExternalForm, part 1 of the component.
    EXPECT_EQ(Sch.Draws.back().Painter, static_cast<IInterface*>(&painter));
    EXPECT_EQ(Sch.Draws.back().Component, Component);
    EXPECT_EQ(Sch.Draws.back().Part, 1);
    painter.Part = 1;
    ui::TDrawing drawing = ui::DrawPanelContent(*image);
    EXPECT_EQ(drawing.Title, "part-U1-1");
    ASSERT_EQ(drawing.Shapes.size(), 1u);
    EXPECT_EQ(drawing.Shapes[0].Points[1].X, 10);

    Input(dialog, ui::uiChooseTab, "TabControl_Main", "Pin Mapping");
    Input(dialog, ui::uiClick, "Button_NextPart");
    EXPECT_EQ(Sch.Draws.back().Part, 2);
    Input(dialog, ui::uiClick, "Button_PreviousPart");
    EXPECT_EQ(Sch.Draws.back().Part, 1);
    // One container for the dialog's whole life, and one painter asked for.
    int containers = 0;
    for (const auto& component : dialog.Components()) containers += component->Kind() == ui::ckExternalFormPanel;
    EXPECT_EQ(containers, 1);
    EXPECT_GT(painter.Refs, 1u);
  }
  EXPECT_EQ(painter.Refs, 1u) << "the dialog gave back every reference to the painter";
}

TEST_F(PartImage, WithoutAPainterThePanelSaysNoPartPreviewAvailable) {
  TImplementationEditorDialog dialog(Implementation, Component);
  dialog.LoadFromImplementation();
  auto* image = dynamic_cast<ui::TExternalFormPanel*>(dialog.FindComponent("ExternalForm_PartImage"));
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->Content(), nullptr);
  EXPECT_EQ(image->Caption(), "No Part Preview Available");
  EXPECT_EQ(dialog.Panel_PartImage->Caption(), "No Part Preview Available");
  EXPECT_TRUE(Sch.Draws.empty()) << "nothing to draw into";
  EXPECT_TRUE(ui::DrawPanelContent(*image).Shapes.empty());
}

TEST_F(PartImage, WithoutAComponentNoDrawingIsMade) {
  TFakePainter painter;
  Sch.Painter = &painter;
  TImplementationEditorDialog dialog(Implementation, 0);
  dialog.LoadFromImplementation();
  EXPECT_EQ(dialog.FindComponent("ExternalForm_PartImage"), nullptr);
  EXPECT_TRUE(Sch.Draws.empty());
  EXPECT_EQ(painter.Refs, 1u);
}

}  // namespace
}  // namespace tolvex
