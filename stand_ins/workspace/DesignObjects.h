// The compiled design as the plug-in sees it: documents, components, pin items and nets behind the design
// interfaces. Every object of one design shares the design's reference count, so a pin the plug-in still holds
// keeps its whole design (nets, components and all) alive after the project was compiled again.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <vector>

#include "ProjectFile.h"
#include "host/HostInterfaces.h"

namespace fenwarden {

class TDesign;

class TDesignPin final : public tolvex::IDesignPin {
 public:
  TDesignPin(TDesign& design, std::size_t index) : FDesign(design), FIndex(index) {}
  tolvex::HRESULT32 TOLVEX_STDCALL QueryInterface(const tolvex::TGUID& iid, void** object) override;
  std::uint32_t TOLVEX_STDCALL AddRef() override;
  std::uint32_t TOLVEX_STDCALL Release() override;
  tolvex::HRESULT32 TOLVEX_STDCALL GetLocation(std::int32_t* x, std::int32_t* y) override;
  tolvex::HRESULT32 TOLVEX_STDCALL GetPinName(char* buffer, std::int32_t bufferSize) override;
  tolvex::HRESULT32 TOLVEX_STDCALL GetPinNumber(char* buffer, std::int32_t bufferSize) override;
  tolvex::HRESULT32 TOLVEX_STDCALL GetName(char* buffer, std::int32_t bufferSize) override;
  tolvex::HRESULT32 TOLVEX_STDCALL GetLinkedNetName(char* buffer, std::int32_t bufferSize,
                                                     tolvex::TBool32* present) override;
  tolvex::HRESULT32 TOLVEX_STDCALL GetNet(tolvex::IDesignNet** net) override;
  tolvex::HRESULT32 TOLVEX_STDCALL GetComponentDesignator(char* buffer, std::int32_t bufferSize) override;

 private:
  const TDesignPinData& Data() const;
  TDesign& FDesign;
  std::size_t FIndex;
};

class TDesignNet final : public tolvex::IDesignNet {
 public:
  TDesignNet(TDesign& design, std::size_t index) : FDesign(design), FIndex(index) {}
  tolvex::HRESULT32 TOLVEX_STDCALL QueryInterface(const tolvex::TGUID& iid, void** object) override;
  std::uint32_t TOLVEX_STDCALL AddRef() override;
  std::uint32_t TOLVEX_STDCALL Release() override;
  tolvex::HRESULT32 TOLVEX_STDCALL GetNumberText(char* buffer, std::int32_t bufferSize) override;
  tolvex::HRESULT32 TOLVEX_STDCALL GetPinCount(std::int32_t* count) override;
  tolvex::HRESULT32 TOLVEX_STDCALL GetPin(std::int32_t index, tolvex::IDesignPin** pin) override;
  tolvex::HRESULT32 TOLVEX_STDCALL GetMemberCount(std::int32_t group, std::int32_t* count) override;
  tolvex::HRESULT32 TOLVEX_STDCALL GetMemberName(std::int32_t group, std::int32_t index, char* buffer,
                                                  std::int32_t bufferSize) override;

 private:
  const TDesignNetData& Data() const;
  TDesign& FDesign;
  std::size_t FIndex;
};

class TDesignComponent final : public tolvex::IDesignComponent {
 public:
  TDesignComponent(TDesign& design, std::size_t index) : FDesign(design), FIndex(index) {}
  tolvex::HRESULT32 TOLVEX_STDCALL QueryInterface(const tolvex::TGUID& iid, void** object) override;
  std::uint32_t TOLVEX_STDCALL AddRef() override;
  std::uint32_t TOLVEX_STDCALL Release() override;
  tolvex::HRESULT32 TOLVEX_STDCALL GetDesignator(char* buffer, std::int32_t bufferSize) override;
  tolvex::HRESULT32 TOLVEX_STDCALL GetPinCount(std::int32_t* count) override;
  tolvex::HRESULT32 TOLVEX_STDCALL GetPin(std::int32_t index, tolvex::IDesignPin** pin) override;

 private:
  const TDesignComponentData& Data() const;
  TDesign& FDesign;
  std::size_t FIndex;
};

class TDesignDocument final : public tolvex::IDesignDocument {
 public:
  TDesignDocument(TDesign& design, const TDesignDocumentData& data) : FDesign(design), FData(data) {}
  tolvex::HRESULT32 TOLVEX_STDCALL QueryInterface(const tolvex::TGUID& iid, void** object) override;
  std::uint32_t TOLVEX_STDCALL AddRef() override;
  std::uint32_t TOLVEX_STDCALL Release() override;
  tolvex::HRESULT32 TOLVEX_STDCALL GetComponentCount(std::int32_t* count) override;
  tolvex::HRESULT32 TOLVEX_STDCALL GetComponent(std::int32_t index, tolvex::IDesignComponent** component) override;

 private:
  TDesign& FDesign;
  const TDesignDocumentData& FData;
};

// One compiled design. Created with one reference for the creator; freed when the last reference to it or to
// any of its objects is given back.
class TDesign {
 public:
  static TDesign* Create(TDesignData data);
  TDesign(const TDesign&) = delete;
  TDesign& operator=(const TDesign&) = delete;

  std::uint32_t AddRef() { return ++FRefs; }
  std::uint32_t Release();

  const TDesignData& Data() const { return FData; }
  // The flattened document, or null.
  TDesignDocument* Flattened() { return FFlattened.empty() ? nullptr : &FFlattened.front(); }
  std::int32_t DocumentCount(int list) const { return static_cast<std::int32_t>(FDocuments[list].size()); }
  TDesignDocument& Document(int list, std::size_t index) { return FDocuments[list][index]; }
  TDesignComponent& Component(std::size_t index) { return FComponents[index]; }
  TDesignPin& Pin(std::size_t index) { return FPins[index]; }
  TDesignNet& Net(std::size_t index) { return FNets[index]; }

  // Designs alive in the process (tests: every reference handed out comes back).
  static std::int32_t LiveCount();

 private:
  explicit TDesign(TDesignData data);
  ~TDesign();

  std::atomic<std::uint32_t> FRefs{1};
  TDesignData FData;
  // Deques: the objects never move, and the documents refer to the data they show.
  std::deque<TDesignPin> FPins;
  std::deque<TDesignNet> FNets;
  std::deque<TDesignComponent> FComponents;
  std::deque<TDesignDocument> FDocuments[2];
  std::deque<TDesignDocument> FFlattened;
};

// Copies Text into a caller's buffer, cut to BufferSize - 1 bytes but never inside a UTF-8 character.
tolvex::HRESULT32 CopyDesignText(const std::string& text, char* buffer, std::int32_t bufferSize);

}  // namespace fenwarden
