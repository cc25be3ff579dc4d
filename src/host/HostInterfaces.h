// The interfaces that cross between the host, its servers and this plug-in.
// Every interface is an abstract class of stdcall methods in this exact order,
// starting with QueryInterface, AddRef and Release; none has a virtual
// destructor, since that would take vtable slots the host does not expect.
// Interface pointers returned by a method carry a reference that the caller
// gives back (see TInterfacePtr).
#pragma once

#include <cstdint>

#include "os/Platform.h"

namespace tolvex {

struct TGUID {
  std::uint32_t D1;
  std::uint16_t D2;
  std::uint16_t D3;
  std::uint8_t D4[8];
  friend bool operator==(const TGUID&, const TGUID&) = default;
};

using HRESULT32 = std::int32_t;
constexpr HRESULT32 S_OK32 = 0;
constexpr HRESULT32 E_UNEXPECTED32 = static_cast<HRESULT32>(0x8000FFFFu);
constexpr HRESULT32 E_NOINTERFACE32 = static_cast<HRESULT32>(0x80004002u);
constexpr HRESULT32 E_FAIL32 = static_cast<HRESULT32>(0x80004005u);

// 32-bit interface booleans.
using TBool32 = std::int32_t;
constexpr TBool32 TRUE32 = -1;
constexpr TBool32 FALSE32 = 0;

// Pointer-sized handles; 0 is none.
using THandle = std::intptr_t;

struct IInterface {
  virtual HRESULT32 TOLVEX_STDCALL QueryInterface(const TGUID& iid, void** object) = 0;
  virtual std::uint32_t TOLVEX_STDCALL AddRef() = 0;
  virtual std::uint32_t TOLVEX_STDCALL Release() = 0;

 protected:
  ~IInterface() = default;
};

struct IServerModule;
struct IServerDocument;
struct IServerDocumentView;
struct ICommandLauncher;
struct IProcessControl;
struct IProject;

// {00000000-0000-0000-C000-000000000046}
inline constexpr TGUID IID_IInterface = {0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr TGUID IID_IServerModule = {0xCF7702C4, 0x5044, 0x49E3, {0xBE, 0x46, 0x37, 0xB9, 0xF8, 0xFB, 0x82, 0x03}};
inline constexpr TGUID IID_ICommandLauncher = {0xB3F5F50A, 0xC728, 0x462B, {0x8C, 0x35, 0x0A, 0xF0, 0x7A, 0xEF, 0xE6, 0xD5}};
inline constexpr TGUID IID_IProcessControl = {0xBAF46BDA, 0x19A1, 0x4848, {0xBF, 0xAC, 0x2B, 0xEC, 0x07, 0x8C, 0x89, 0x11}};
inline constexpr TGUID IID_ISimEditor = {0xB384FBF0, 0x5441, 0x4222, {0xBC, 0x6B, 0x38, 0x17, 0x8D, 0xCB, 0x3E, 0x51}};
inline constexpr TGUID IID_IProcessLauncher = {0x8452C443, 0x703F, 0x4881, {0xB7, 0xAC, 0xC3, 0x35, 0x50, 0x79, 0x4A, 0xA6}};
inline constexpr TGUID IID_IExternalForm = {0x85961389, 0x4EF1, 0x4825, {0x83, 0x7C, 0xAC, 0xB0, 0x84, 0xEA, 0xD2, 0x6D}};
// The host's own interfaces below have identities of the host's choosing.
inline constexpr TGUID IID_IClient = {0x6E1F0A10, 0x7B2C, 0x4C3D, {0x9E, 0x41, 0x5A, 0x60, 0x71, 0x82, 0x93, 0xA4}};
inline constexpr TGUID IID_IServerDocument = {0x6E1F0A11, 0x7B2C, 0x4C3D, {0x9E, 0x41, 0x5A, 0x60, 0x71, 0x82, 0x93, 0xA4}};
inline constexpr TGUID IID_IServerDocumentView = {0x6E1F0A12, 0x7B2C, 0x4C3D,
                                           {0x9E, 0x41, 0x5A, 0x60, 0x71, 0x82, 0x93, 0xA4}};
inline constexpr TGUID IID_IWorkspace = {0x6E1F0A13, 0x7B2C, 0x4C3D, {0x9E, 0x41, 0x5A, 0x60, 0x71, 0x82, 0x93, 0xA4}};
inline constexpr TGUID IID_IProject = {0x6E1F0A14, 0x7B2C, 0x4C3D, {0x9E, 0x41, 0x5A, 0x60, 0x71, 0x82, 0x93, 0xA4}};
inline constexpr TGUID IID_IDesignDocument = {0x6E1F0A15, 0x7B2C, 0x4C3D,
                                              {0x9E, 0x41, 0x5A, 0x60, 0x71, 0x82, 0x93, 0xA4}};
inline constexpr TGUID IID_IDesignComponent = {0x6E1F0A16, 0x7B2C, 0x4C3D,
                                               {0x9E, 0x41, 0x5A, 0x60, 0x71, 0x82, 0x93, 0xA4}};
inline constexpr TGUID IID_IDesignPin = {0x6E1F0A17, 0x7B2C, 0x4C3D, {0x9E, 0x41, 0x5A, 0x60, 0x71, 0x82, 0x93, 0xA4}};
inline constexpr TGUID IID_IDesignNet = {0x6E1F0A18, 0x7B2C, 0x4C3D, {0x9E, 0x41, 0x5A, 0x60, 0x71, 0x82, 0x93, 0xA4}};
inline constexpr TGUID IID_IDrawingSurface = {0x6E1F0A19, 0x7B2C, 0x4C3D,
                                               {0x9E, 0x41, 0x5A, 0x60, 0x71, 0x82, 0x93, 0xA4}};

// Status-bar indexes of IClient::SetStatusBarState.
enum TStatusBarIndex : std::int32_t {
  sbiText = 2,
  sbiPush = -3,
  sbiPop = -4,
  sbiProgressStart = -5,
  sbiProgressEnd = -6,
  sbiProgressStep = -7,
};

struct IClient : IInterface {
  // The active view, or none.
  virtual IServerDocumentView* TOLVEX_STDCALL GetCurrentView() = 0;
  // Opens Path as a document of Kind ("SCH", "Text", "TEXT", "SimData"); none when it cannot.
  virtual IServerDocument* TOLVEX_STDCALL OpenDocument(const char* kind, const char* path) = 0;
  // The document already open for Path, or none.
  virtual IServerDocument* TOLVEX_STDCALL GetDocumentByPath(const char* path) = 0;
  virtual void TOLVEX_STDCALL ShowDocument(IServerDocument* document) = 0;
  // The host's main window, the owner of every dialog.
  virtual THandle TOLVEX_STDCALL GetMainWindowHandle() = 0;
  // Sets the text of panel Index, or with a negative index does the status-bar
  // operation of TStatusBarIndex (Text is then the progress caption or empty).
  virtual void TOLVEX_STDCALL SetStatusBarState(std::int32_t index, const char* text) = 0;
  // Copies the text of panel Index into Buffer (cut to BufferSize - 1 bytes) and returns its full length.
  virtual std::int32_t TOLVEX_STDCALL GetStatusBarState(std::int32_t index, char* buffer, std::int32_t bufferSize) = 0;
};

// Reached through IClient::QueryInterface.
struct IProcessLauncher : IInterface {
  // Runs a host process; result parameters are written back into Parameters (BufferSize bytes).
  virtual std::int32_t TOLVEX_STDCALL RunProcess(const char* process, char* parameters, std::int32_t bufferSize,
                                                 IServerDocumentView* view) = 0;
};

struct IServerDocumentView : IInterface {
  virtual IServerDocument* TOLVEX_STDCALL GetOwnerDocument() = 0;
};

struct IServerDocument : IInterface {
  // Full path; the text lives as long as the document.
  virtual const char* TOLVEX_STDCALL GetFileName() = 0;
  // Kind name: "SCH", "SchLib" or "Lib" for a schematic library, "Text", "SimData", "NSX", ...
  virtual const char* TOLVEX_STDCALL GetKind() = 0;
  // The server module that serves this document; none for a document without a server.
  virtual IServerModule* TOLVEX_STDCALL GetServerModule() = 0;
  virtual std::int32_t TOLVEX_STDCALL GetViewCount() = 0;
  virtual IServerDocumentView* TOLVEX_STDCALL GetView(std::int32_t index) = 0;
  // Declares what kind of file the document holds (a run declares its netlist "NSX").
  virtual void TOLVEX_STDCALL SetFileKind(const char* kind) = 0;
  // Reads the document's file again.
  virtual void TOLVEX_STDCALL Refresh() = 0;
};

struct IServerModule : IInterface {
  virtual void TOLVEX_STDCALL Idle() = 0;
  virtual void TOLVEX_STDCALL ReceiveNotification(IInterface* notification) = 0;
  virtual IServerDocument* TOLVEX_STDCALL CreateDocument(std::int32_t a, std::int32_t b) = 0;
  virtual void TOLVEX_STDCALL DestroyDocument(IServerDocument* document) = 0;
  virtual IClient* TOLVEX_STDCALL GetClient() = 0;
  virtual ICommandLauncher* TOLVEX_STDCALL GetCommandLauncher() = 0;
  virtual std::int32_t TOLVEX_STDCALL GetDocumentCount() = 0;
  virtual IServerDocument* TOLVEX_STDCALL GetDocument(std::int32_t index) = 0;
  virtual THandle TOLVEX_STDCALL GetInstanceHandle() = 0;
  virtual const char* TOLVEX_STDCALL GetModuleName() = 0;
  virtual IProcessControl* TOLVEX_STDCALL GetProcessControl() = 0;
  virtual std::int32_t TOLVEX_STDCALL GetSecondaryCount() = 0;
  virtual IInterface* TOLVEX_STDCALL GetSecondary(std::int32_t index) = 0;
  virtual std::int32_t TOLVEX_STDCALL GetExtendedInfo() = 0;
};

struct ICommandLauncher : IInterface {
  virtual std::int32_t TOLVEX_STDCALL LaunchCommand(const char* name, const char* parameters, std::int32_t bufferSize,
                                                    IServerDocumentView* context) = 0;
  virtual void TOLVEX_STDCALL GetCommandState(const char* name, const char* parameters, IServerDocumentView* context,
                                              TBool32* enabled, TBool32* checked, TBool32* visible,
                                              std::uint8_t* extra1, std::uint8_t* extra2) = 0;
};

struct IProcessControl : IInterface {
  virtual std::int32_t TOLVEX_STDCALL GetProcessDepth() = 0;
  virtual void TOLVEX_STDCALL PostProcess(IInterface* context, const char* parameters) = 0;
  virtual void TOLVEX_STDCALL PreProcess(IInterface* context, const char* parameters) = 0;
  virtual void TOLVEX_STDCALL SetProcessDepth(std::int32_t value) = 0;
};

struct ISimEditor : IInterface {
  // Safe-call: 0 on success, 0x8000FFFF when the dialog failed; Accepted is 8-bit.
  virtual HRESULT32 TOLVEX_STDCALL EditImplementation(THandle implementation, THandle component, TBool32 unused,
                                                      std::uint8_t* accepted) = 0;
};

// A point of a drawing surface in pixels, from the surface's top left corner, y growing downwards.
struct TDrawPoint {
  std::int32_t X;
  std::int32_t Y;
};

// Colours of a drawing surface are 0x00RRGGBB; kDrawNoFill as a brush leaves shapes unfilled.
constexpr std::uint32_t kDrawNoFill = 0xFFFFFFFFu;

// Text alignment of IDrawingSurface::Text: one horizontal value plus one vertical value, relative to the point.
enum TDrawTextAlign : std::int32_t {
  dtaLeft = 0,
  dtaCenter = 1,
  dtaRight = 2,
  dtaTop = 0,
  dtaMiddle = 4,
  dtaBaseline = 8,
  dtaBottom = 12,
};

// Something a form outside the plug-in paints into, in pixels, without handing C++ objects across: the plug-in
// records what is drawn and every backend shows that recording. Pen, brush and font stay as set until set again
// (initially a black pen 1 pixel wide, no fill, text 8 pixels high). A pen of width 0 draws no outline. Angles are
// whole degrees counter-clockwise from three o'clock; a rotated text turns counter-clockwise about its point. A
// method refuses (E_FAIL32) what it cannot take: a null or negative array, more points or shapes than a drawing
// keeps, an unknown alignment.
struct IDrawingSurface : IInterface {
  virtual HRESULT32 TOLVEX_STDCALL SetPen(std::uint32_t color, std::int32_t width) = 0;
  virtual HRESULT32 TOLVEX_STDCALL SetBrush(std::uint32_t color) = 0;
  virtual HRESULT32 TOLVEX_STDCALL SetFont(std::int32_t height) = 0;
  virtual HRESULT32 TOLVEX_STDCALL Line(std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2) = 0;
  virtual HRESULT32 TOLVEX_STDCALL Rectangle(std::int32_t left, std::int32_t top, std::int32_t right,
                                             std::int32_t bottom) = 0;
  virtual HRESULT32 TOLVEX_STDCALL Polyline(const TDrawPoint* points, std::int32_t count) = 0;
  // Closed and filled with the brush.
  virtual HRESULT32 TOLVEX_STDCALL Polygon(const TDrawPoint* points, std::int32_t count) = 0;
  virtual HRESULT32 TOLVEX_STDCALL Ellipse(std::int32_t left, std::int32_t top, std::int32_t right,
                                           std::int32_t bottom) = 0;
  // Part of the outline of the ellipse in the rectangle: from StartAngle, SweepAngle degrees on.
  virtual HRESULT32 TOLVEX_STDCALL Arc(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom,
                                       std::int32_t startAngle, std::int32_t sweepAngle) = 0;
  // Text is 8-bit (UTF-8), cut at 1,023 bytes; Alignment is a TDrawTextAlign sum; Rotation is 0 or 90.
  virtual HRESULT32 TOLVEX_STDCALL Text(std::int32_t x, std::int32_t y, const char* text, std::int32_t alignment,
                                        std::int32_t rotation) = 0;
};

// A form that lives outside the plug-in (the schematic server's part painter) as the host's panels show it.
struct IExternalForm : IInterface {
  // A short name of what the form shows, fit for a file name ("part-R1-1"; empty for none yet), cut to
  // BufferSize - 1 bytes; returns its full length.
  virtual std::int32_t TOLVEX_STDCALL GetName(char* buffer, std::int32_t bufferSize) = 0;
  // Paints everything the form shows into Surface, an area of Width by Height pixels. The surface lives only
  // during the call. 0 on success.
  virtual HRESULT32 TOLVEX_STDCALL Paint(IDrawingSurface* surface, std::int32_t width, std::int32_t height) = 0;
};

// The workspace of Fenwarden.dll. Every operation returns a status; negative is failure.
struct IWorkspace : IInterface {
  virtual HRESULT32 TOLVEX_STDCALL GetProjectCount(std::int32_t* count) = 0;
  virtual HRESULT32 TOLVEX_STDCALL GetProject(std::int32_t index, IProject** project) = 0;
  virtual HRESULT32 TOLVEX_STDCALL GetFocusedProject(IProject** project) = 0;
  // Brings the compiled design up to date; made before every run of a netlist.
  virtual HRESULT32 TOLVEX_STDCALL PrepareForSimulation() = 0;
};

struct IDesignDocument;
struct IDesignComponent;
struct IDesignPin;
struct IDesignNet;

struct IProject : IInterface {
  // Copies the project's full path into Buffer (wide text, cut to BufferChars - 1 units).
  virtual HRESULT32 TOLVEX_STDCALL GetFullPath(char16_t* buffer, std::int32_t bufferChars) = 0;
  // Takes a file generated for the project (the waveform file of a run).
  virtual HRESULT32 TOLVEX_STDCALL AddGeneratedFile(const char16_t* path) = 0;
  // The compiled design. The flattened document, or none when the project has none.
  virtual HRESULT32 TOLVEX_STDCALL GetCompiledDocument(IDesignDocument** document) = 0;
  // The documents of list 0 (the first) or 1 (the second), in order.
  virtual HRESULT32 TOLVEX_STDCALL GetDocumentCount(std::int32_t list, std::int32_t* count) = 0;
  virtual HRESULT32 TOLVEX_STDCALL GetDocument(std::int32_t list, std::int32_t index, IDesignDocument** document) = 0;
};

// Text results of the design interfaces go into a caller's buffer and are cut to BufferSize - 1 bytes.
struct IDesignDocument : IInterface {
  virtual HRESULT32 TOLVEX_STDCALL GetComponentCount(std::int32_t* count) = 0;
  virtual HRESULT32 TOLVEX_STDCALL GetComponent(std::int32_t index, IDesignComponent** component) = 0;
};

struct IDesignComponent : IInterface {
  virtual HRESULT32 TOLVEX_STDCALL GetDesignator(char* buffer, std::int32_t bufferSize) = 0;
  virtual HRESULT32 TOLVEX_STDCALL GetPinCount(std::int32_t* count) = 0;
  virtual HRESULT32 TOLVEX_STDCALL GetPin(std::int32_t index, IDesignPin** pin) = 0;
};

// A pin item of the compiled design.
struct IDesignPin : IInterface {
  virtual HRESULT32 TOLVEX_STDCALL GetLocation(std::int32_t* x, std::int32_t* y) = 0;
  virtual HRESULT32 TOLVEX_STDCALL GetPinName(char* buffer, std::int32_t bufferSize) = 0;
  virtual HRESULT32 TOLVEX_STDCALL GetPinNumber(char* buffer, std::int32_t bufferSize) = 0;
  // The item's own name.
  virtual HRESULT32 TOLVEX_STDCALL GetName(char* buffer, std::int32_t bufferSize) = 0;
  // The net name the item is linked to itself; Present is FALSE32 when it has no such link.
  virtual HRESULT32 TOLVEX_STDCALL GetLinkedNetName(char* buffer, std::int32_t bufferSize, TBool32* present) = 0;
  // The item's net, or none.
  virtual HRESULT32 TOLVEX_STDCALL GetNet(IDesignNet** net) = 0;
  // The designator of the component the item belongs to.
  virtual HRESULT32 TOLVEX_STDCALL GetComponentDesignator(char* buffer, std::int32_t bufferSize) = 0;
};

struct IDesignNet : IInterface {
  virtual HRESULT32 TOLVEX_STDCALL GetNumberText(char* buffer, std::int32_t bufferSize) = 0;
  virtual HRESULT32 TOLVEX_STDCALL GetPinCount(std::int32_t* count) = 0;
  virtual HRESULT32 TOLVEX_STDCALL GetPin(std::int32_t index, IDesignPin** pin) = 0;
  // The members of naming group Group (0 to 3, in the order the names are tried).
  virtual HRESULT32 TOLVEX_STDCALL GetMemberCount(std::int32_t group, std::int32_t* count) = 0;
  virtual HRESULT32 TOLVEX_STDCALL GetMemberName(std::int32_t group, std::int32_t index, char* buffer,
                                                 std::int32_t bufferSize) = 0;
};

// Exported by Fenwarden.dll: the workspace, or a failure status.
using TGetWorkspaceFunc = HRESULT32(TOLVEX_STDCALL*)(IWorkspace** workspace);

// Exported by Tolvex.dll.
using TServerFactoryFunc = void(TOLVEX_STDCALL*)(IServerModule** module, IClient* client);

}  // namespace tolvex
