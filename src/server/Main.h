// The "SIM" server module of this library and its entry export.
#pragma once

#include "host/HostInterfaces.h"
#include "server/RT_ServerImplementation.h"

namespace tolvex {

class TTolvexServerModule final : public TServerModule, public ISimEditor {
 public:
  explicit TTolvexServerModule(IClient* client);
  ~TTolvexServerModule() override;

  // Creates, initialises and hands out a module with one reference for the caller.
  static IServerModule* Create(IClient* client);

  HRESULT32 TOLVEX_STDCALL QueryInterface(const TGUID& iid, void** object) override;
  std::uint32_t TOLVEX_STDCALL AddRef() override { return TServerModule::AddRef(); }
  std::uint32_t TOLVEX_STDCALL Release() override { return TServerModule::Release(); }

  HRESULT32 TOLVEX_STDCALL EditImplementation(THandle implementation, THandle component, TBool32 unused,
                                              std::uint8_t* accepted) override;

 protected:
  IServerDocument* NewDocument(std::int32_t a, std::int32_t b) override;
  void InitializeModule() override;
};

// Whether "RunSimulator" is available for Context: an "EditSim" document whose file ends in ".nsx".
void RunSimulatorState(IServerDocumentView* context, const char* parameters, TBool32& enabled, TBool32& checked,
                       TBool32& visible, std::uint8_t& extra1, std::uint8_t& extra2);

// The extension of a file name from the last "." of its name part, dot included; empty without one.
std::string ExtractFileExtension(const std::string& path);

}  // namespace tolvex

TOLVEX_EXTERN_C TOLVEX_EXPORT void TOLVEX_STDCALL ServerFactory(tolvex::IServerModule** module,
                                                               tolvex::IClient* client);
