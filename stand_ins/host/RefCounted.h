// Reference counting for the host's objects, with the interface protocol for a list of identities.
#pragma once

#include <atomic>
#include <cstdint>

#include "host/HostInterfaces.h"

namespace tolvex::host {

class TRefCounted {
 public:
  virtual ~TRefCounted() = default;
  std::uint32_t AddRefImpl() { return ++FRefCount; }
  std::uint32_t ReleaseImpl() {
    const std::uint32_t count = --FRefCount;
    if (count == 0) delete this;
    return count;
  }

 private:
  std::atomic<std::uint32_t> FRefCount{0};
};

#define TOLVEX_HOST_REFCOUNT                                                         \
  std::uint32_t TOLVEX_STDCALL AddRef() override { return AddRefImpl(); }             \
  std::uint32_t TOLVEX_STDCALL Release() override { return ReleaseImpl(); }

}  // namespace tolvex::host
