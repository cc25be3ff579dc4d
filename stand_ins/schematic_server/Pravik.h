// The private exports of the schematic server stand-in Pravik.dll, for the stand-in host and tests.
#pragma once

#include <cstdint>

#include "host/HostInterfaces.h"
#include "os/Platform.h"

namespace pravik {

// Kind codes the stand-in reports beside the pin (37) and parameter (57) codes that the plug-in knows.
// Containers, documents and iterators are not schematic objects and answer 61 like an unknown handle.
constexpr std::uint8_t kObjectIdComponent = 1;
constexpr std::uint8_t kObjectIdImplementation = 2;

// The painter that SchAPI_CreatePainter hands out records every drawing instead of showing it.
// {4B1D7A20-6C55-4E0B-9D0E-2F61A8C3B7E1}
inline constexpr tolvex::TGUID IID_IPravikPainter = {
    0x4B1D7A20, 0x6C55, 0x4E0B, {0x9D, 0x0E, 0x2F, 0x61, 0xA8, 0xC3, 0xB7, 0xE1}};

struct IPravikPainter : tolvex::IInterface {
  virtual std::int32_t TOLVEX_STDCALL GetDrawingCount() = 0;
  // Copies drawing Index (0-based, oldest first) into Buffer, cut to BufferSize - 1 bytes, and returns its full
  // length; -1 when there is no such drawing. A drawing reads
  //   component="R1" part=1 pins="1,2" rect=-10,0,30,40
  // with the designator, the part drawn, the designators of the pins shown on that part in pin order and the
  // component's bounding rectangle (left, bottom, right, top).
  virtual std::int32_t TOLVEX_STDCALL GetDrawing(std::int32_t index, char* buffer, std::int32_t bufferSize) = 0;
};

}  // namespace pravik

extern "C" {
// Told of what the server does on the plug-in's behalf: "redraw" (Handle, empty detail), "import" (Handle,
// "accepted" or "cancelled"), "draw" (the component's handle, "part=N").
using TPravikObserver = void (*)(void* context, const char* event, tolvex::THandle handle, const char* detail);

// Loads the schematic document (.SchDoc) or schematic library (.SchLib, by the extension in any letter case) at
// Path and returns its handle. On failure returns 0, loads nothing and writes a message naming the file (and for
// malformed JSON its line and column) into Error, cut to ErrorSize - 1 bytes. A path that is already loaded gives
// the handle of that document again; the file is not read a second time.
using TPravik_OpenDocument = tolvex::THandle(TOLVEX_STDCALL*)(const char* path, char* error, std::int32_t errorSize);
// Writes Document to Path, or to its own file when Path is null or empty: a temporary file in the target's folder
// is written, flushed and synced, then renamed over the target. On failure the target is left as it was, the
// temporary file is removed and the message goes to Error. Saving to another path does not change the document's
// own file name.
using TPravik_SaveDocument = tolvex::TBool32(TOLVEX_STDCALL*)(tolvex::THandle document, const char* path, char* error,
                                                              std::int32_t errorSize);
// The component of Document whose designator equals Designator (letter case ignored; the first of several), and
// its first implementation (0 when it has none). False and both 0 when there is no such component.
using TPravik_FindComponent = tolvex::TBool32(TOLVEX_STDCALL*)(tolvex::THandle document, const char* designator,
                                                               tolvex::THandle* component,
                                                               tolvex::THandle* implementation);
// The Index-th implementation of Component (0-based, in file order); 0 past the end and for a handle that is no
// component.
using TPravik_GetImplementation = tolvex::THandle(TOLVEX_STDCALL*)(tolvex::THandle component, std::int32_t index);
using TPravik_GetDocumentCount = std::int32_t(TOLVEX_STDCALL*)();
// The handle of the Index-th loaded document (0-based, in load order) and its file name as it was opened, cut to
// PathSize - 1 bytes; 0 past the end.
using TPravik_GetDocument = tolvex::THandle(TOLVEX_STDCALL*)(std::int32_t index, char* path, std::int32_t pathSize);
// Makes Component the current component of the library document that holds it; false for a component of a
// schematic document or an unknown handle.
using TPravik_SetCurrentLibraryComponent = tolvex::TBool32(TOLVEX_STDCALL*)(tolvex::THandle component);
// Closes every document and frees every object, also the parameters that were created and never placed. Their
// handles stay dead: handles are never reused within a process.
using TPravik_CloseAll = void(TOLVEX_STDCALL*)();
// Queues the answer of the next SchAPI_ImportFromUser, standing in for the user's interactive edit. Edit is JSON:
// an object whose members are applied to the edited object as its own members would be in a document file (for
// example {"value": "2k2"} on a parameter), or false for an edit the user cancels. False when Edit is not such a
// value. With an empty queue the user cancels.
using TPravik_QueueUserEdit = tolvex::TBool32(TOLVEX_STDCALL*)(const char* edit);
// How many times SchAPI_RedrawObject was asked for Handle; with 0, for every handle together.
using TPravik_GetRedrawCount = std::int32_t(TOLVEX_STDCALL*)(tolvex::THandle handle);
using TPravik_SetObserver = void(TOLVEX_STDCALL*)(TPravikObserver observer, void* context);
// Makes every later save fail at one stage, as a full disk or a failing device would: "create" (the temporary
// file), "write", "sync" or "rename". Null or empty ends it.
using TPravik_SetSaveFailure = void(TOLVEX_STDCALL*)(const char* stage);
}
