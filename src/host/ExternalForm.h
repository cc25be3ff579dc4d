// The host's external-form container as the dialogs see it: a form from outside (the schematic server's part painter) as the content of a ui panel, its painting recorded through IDrawingSurface.
#pragma once

#include <string>

#include "host/HostInterfaces.h"
#include "host/InterfacePtr.h"
#include "ui/Drawing.h"

namespace tolvex {

// Records what a form paints through IDrawingSurface into a drawing. It belongs to one Paint call and lives on the
// caller's stack, so its reference count only counts; past the drawing's limits it refuses more.
class TDrawingRecorder final : public IDrawingSurface {
 public:
  explicit TDrawingRecorder(ui::TDrawing& drawing) : FDrawing(drawing) {}

  HRESULT32 TOLVEX_STDCALL QueryInterface(const TGUID& iid, void** object) override;
  std::uint32_t TOLVEX_STDCALL AddRef() override { return ++FRefs; }
  std::uint32_t TOLVEX_STDCALL Release() override { return FRefs > 0 ? --FRefs : 0; }

  HRESULT32 TOLVEX_STDCALL SetPen(std::uint32_t color, std::int32_t width) override;
  HRESULT32 TOLVEX_STDCALL SetBrush(std::uint32_t color) override;
  HRESULT32 TOLVEX_STDCALL SetFont(std::int32_t height) override;
  HRESULT32 TOLVEX_STDCALL Line(std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2) override;
  HRESULT32 TOLVEX_STDCALL Rectangle(std::int32_t left, std::int32_t top, std::int32_t right,
                                     std::int32_t bottom) override;
  HRESULT32 TOLVEX_STDCALL Polyline(const TDrawPoint* points, std::int32_t count) override;
  HRESULT32 TOLVEX_STDCALL Polygon(const TDrawPoint* points, std::int32_t count) override;
  HRESULT32 TOLVEX_STDCALL Ellipse(std::int32_t left, std::int32_t top, std::int32_t right,
                                   std::int32_t bottom) override;
  HRESULT32 TOLVEX_STDCALL Arc(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom,
                               std::int32_t startAngle, std::int32_t sweepAngle) override;
  HRESULT32 TOLVEX_STDCALL Text(std::int32_t x, std::int32_t y, const char* text, std::int32_t alignment,
                                std::int32_t rotation) override;

 private:
  // A shape with the current pen, brush and font; false when the drawing is full.
  bool Add(ui::TShape shape);
  HRESULT32 Box(ui::TShapeKind kind, std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom,
                int startAngle = 0, int sweepAngle = 0);
  HRESULT32 Points(ui::TShapeKind kind, const TDrawPoint* points, std::int32_t count);

  ui::TDrawing& FDrawing;
  std::uint32_t FRefs = 0;
  ui::TRgb FPen = 0x000000;
  int FPenWidth = 1;
  ui::TRgb FFill = ui::kNoFill;
  int FFontHeight = 8;
};

// An IExternalForm as what fills a ui::TExternalFormPanel: it paints by asking the form to paint into a recorder.
class TExternalFormContent final : public ui::TPanelContent {
 public:
  explicit TExternalFormContent(TInterfacePtr<IExternalForm> form) : FForm(std::move(form)) {}
  std::string Name() const override;
  bool Paint(ui::TDrawing& drawing) const override;

 private:
  TInterfacePtr<IExternalForm> FForm;
};

}  // namespace tolvex
