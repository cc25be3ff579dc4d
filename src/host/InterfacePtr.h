// An owning reference to an interface: adds on copy, releases on destruction.
#pragma once

#include <utility>

namespace tolvex {

template <class T>
class TInterfacePtr {
 public:
  TInterfacePtr() = default;
  // Takes over a reference that the caller already holds (a method's result).
  static TInterfacePtr Attach(T* raw) {
    TInterfacePtr p;
    p.FRaw = raw;
    return p;
  }
  // Takes a new reference.
  static TInterfacePtr Share(T* raw) {
    if (raw) raw->AddRef();
    return Attach(raw);
  }
  TInterfacePtr(const TInterfacePtr& other) : FRaw(other.FRaw) {
    if (FRaw) FRaw->AddRef();
  }
  TInterfacePtr(TInterfacePtr&& other) noexcept : FRaw(std::exchange(other.FRaw, nullptr)) {}
  TInterfacePtr& operator=(TInterfacePtr other) noexcept {
    std::swap(FRaw, other.FRaw);
    return *this;
  }
  ~TInterfacePtr() { Reset(); }

  void Reset() {
    if (T* raw = std::exchange(FRaw, nullptr)) raw->Release();
  }
  // Hands the reference to the caller (as a method result).
  T* Detach() { return std::exchange(FRaw, nullptr); }
  T* Get() const { return FRaw; }
  T* operator->() const { return FRaw; }
  explicit operator bool() const { return FRaw != nullptr; }

 private:
  T* FRaw = nullptr;
};

}  // namespace tolvex
