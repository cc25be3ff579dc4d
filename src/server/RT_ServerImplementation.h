// The generic server module of a host plug-in: command table, process counter
// and the module-wide client and server-module references.
#pragma once

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "host/HostInterfaces.h"
#include "host/InterfacePtr.h"

namespace tolvex {

// A command's process handler: the view it was launched in (possibly none) and its parameter text.
using TProcessHandler = std::function<void(IServerDocumentView* context, const char* parameters)>;
// A command's state handler: Enabled, two more 32-bit booleans and two 8-bit ones.
using TStateHandler = std::function<void(IServerDocumentView* context, const char* parameters, TBool32& enabled,
                                         TBool32& checked, TBool32& visible, std::uint8_t& extra1,
                                         std::uint8_t& extra2)>;

// Implements the interface protocol of I without reference counting: the object
// lives exactly as long as its owner, and the pointers handed out do not keep it alive.
template <class I, const TGUID& Iid>
class TInterfacedObjectNoRef : public I {
 public:
  HRESULT32 TOLVEX_STDCALL QueryInterface(const TGUID& iid, void** object) override {
    if (!object) return E_NOINTERFACE32;
    if (iid == Iid || iid == IID_IInterface) {
      *object = static_cast<I*>(this);
      return S_OK32;
    }
    *object = nullptr;
    return E_NOINTERFACE32;
  }
  std::uint32_t TOLVEX_STDCALL AddRef() override { return 0; }
  std::uint32_t TOLVEX_STDCALL Release() override { return 0; }

 protected:
  ~TInterfacedObjectNoRef() = default;
};

class TCommandHandler {
 public:
  TCommandHandler(TProcessHandler process, TStateHandler state)
      : FProcessHandler(std::move(process)), FStateHandler(std::move(state)) {}
  const TProcessHandler& ProcessHandler() const { return FProcessHandler; }
  const TStateHandler& StateHandler() const { return FStateHandler; }

 private:
  TProcessHandler FProcessHandler;
  TStateHandler FStateHandler;
};

// Orders command names without regard to case, so the table is sorted and a
// second entry of an existing name is recognised.
struct TCaseInsensitiveLess {
  bool operator()(const std::string& a, const std::string& b) const;
};

class TCommandLauncher final : public TInterfacedObjectNoRef<ICommandLauncher, IID_ICommandLauncher> {
 public:
  // Keeps the first registration of a name; a later one is discarded.
  void RegisterCommand(const std::string& name, TProcessHandler process, TStateHandler state = {});
  const TCommandHandler* FindProcessHandler(const std::string& name) const;
  const TCommandHandler* FindStateHandler(const std::string& name) const;
  std::size_t CommandCount() const { return FCommands.size(); }

  std::int32_t TOLVEX_STDCALL LaunchCommand(const char* name, const char* parameters, std::int32_t bufferSize,
                                            IServerDocumentView* context) override;
  void TOLVEX_STDCALL GetCommandState(const char* name, const char* parameters, IServerDocumentView* context,
                                      TBool32* enabled, TBool32* checked, TBool32* visible, std::uint8_t* extra1,
                                      std::uint8_t* extra2) override;

 private:
  std::map<std::string, std::unique_ptr<TCommandHandler>, TCaseInsensitiveLess> FCommands;
};

class TProcessControl final : public TInterfacedObjectNoRef<IProcessControl, IID_IProcessControl> {
 public:
  std::int32_t TOLVEX_STDCALL GetProcessDepth() override { return FProcessDepth; }
  void TOLVEX_STDCALL PostProcess(IInterface*, const char*) override { --FProcessDepth; }
  void TOLVEX_STDCALL PreProcess(IInterface*, const char*) override { ++FProcessDepth; }
  void TOLVEX_STDCALL SetProcessDepth(std::int32_t value) override { FProcessDepth = value; }

 private:
  std::int32_t FProcessDepth = 0;
};

// Base of every server module; reference counted through IServerModule, the
// host's last release destroys it.
class TServerModule : public IServerModule {
 public:
  TServerModule(IClient* client, const std::string& name);
  virtual ~TServerModule();
  TServerModule(const TServerModule&) = delete;
  TServerModule& operator=(const TServerModule&) = delete;

  // Finishes construction: the virtual steps cannot run from the base constructor.
  void Initialize();

  HRESULT32 TOLVEX_STDCALL QueryInterface(const TGUID& iid, void** object) override;
  std::uint32_t TOLVEX_STDCALL AddRef() override;
  std::uint32_t TOLVEX_STDCALL Release() override;

  void TOLVEX_STDCALL Idle() override;
  void TOLVEX_STDCALL ReceiveNotification(IInterface* notification) override;
  IServerDocument* TOLVEX_STDCALL CreateDocument(std::int32_t a, std::int32_t b) override;
  void TOLVEX_STDCALL DestroyDocument(IServerDocument* document) override;
  IClient* TOLVEX_STDCALL GetClient() override;
  ICommandLauncher* TOLVEX_STDCALL GetCommandLauncher() override;
  std::int32_t TOLVEX_STDCALL GetDocumentCount() override;
  IServerDocument* TOLVEX_STDCALL GetDocument(std::int32_t index) override;
  THandle TOLVEX_STDCALL GetInstanceHandle() override;
  const char* TOLVEX_STDCALL GetModuleName() override;
  IProcessControl* TOLVEX_STDCALL GetProcessControl() override;
  std::int32_t TOLVEX_STDCALL GetSecondaryCount() override;
  IInterface* TOLVEX_STDCALL GetSecondary(std::int32_t index) override;
  std::int32_t TOLVEX_STDCALL GetExtendedInfo() override;

  TCommandLauncher& CommandLauncher() { return *FCommandLauncher; }
  const std::string& ModuleName() const { return FModuleName; }

 protected:
  // The virtual operations a descendant may replace (in slot order).
  virtual void DoIdle();
  virtual IServerDocument* DoCreateDocument(std::int32_t a, std::int32_t b);
  virtual void DoDestroyDocument(IServerDocument* document);
  virtual IServerDocument* NewDocument(std::int32_t a, std::int32_t b) = 0;
  virtual void DoReceiveNotification(IInterface* notification);
  virtual void InitializeModule();
  virtual void CreateCommandLauncher();
  virtual std::int32_t DoGetExtendedInfo();

  TInterfacePtr<IClient> FClient;
  std::vector<TInterfacePtr<IServerDocument>> FDocuments;
  std::string FModuleName;
  std::vector<TInterfacePtr<IInterface>> FSecondary;
  std::unique_ptr<TCommandLauncher> FCommandLauncher;
  std::unique_ptr<TProcessControl> FProcessControl;

 private:
  std::atomic<std::uint32_t> FRefCount{0};
};

// The module-wide client: the host's initial client, replaced by each new module's.
TInterfacePtr<IClient> GetClient();
// The live server module, or none; the reference does not keep the module alive.
IServerModule* GetServerModule();

}  // namespace tolvex
