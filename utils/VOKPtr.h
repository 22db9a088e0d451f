// VOKPtr: owns one reference to an interface pointer.
#pragma once

#include <cassert>
#include <memory>
#include <utility>

template <class T>
class VOKPtr {
 public:
  /// Empty; owns nothing.
  VOKPtr() noexcept = default;
  /// Adds a reference to `p` (when non-null).
  explicit VOKPtr(T* p) noexcept : _reference(p) {
    if (_reference) _reference->AddRef();
  }
  /// Adds a reference to what `other` holds.
  VOKPtr(const VOKPtr& other) noexcept : VOKPtr(other._reference) {}
  /// Takes `other`'s reference; `other` is left empty. No count changes.
  VOKPtr(VOKPtr&& other) noexcept : _reference(std::exchange(other._reference, nullptr)) {}
  /// Releases the reference held.
  ~VOKPtr() { Reset(); }

  /// Releases the old pointer, stores `p` and adds a reference to it. Self-assignment is safe: the
  /// new reference is added before the old one is dropped.
  VOKPtr& operator=(T* p) noexcept {
    if (p) p->AddRef();
    T* old = std::exchange(_reference, p);
    if (old) old->Release();
    return *this;
  }
  VOKPtr& operator=(const VOKPtr& other) noexcept { return *this = other._reference; }
  /// Takes `other`'s reference and releases the old one.
  VOKPtr& operator=(VOKPtr&& other) noexcept {
    // std::addressof: operator& is the out-parameter access, which would release `other`.
    if (this != std::addressof(other)) {
      T* old = std::exchange(_reference, std::exchange(other._reference, nullptr));
      if (old) old->Release();
    }
    return *this;
  }

  /// Out-parameter access: releases what is held first, then yields the address for a callee to
  /// fill with a pointer that already carries its reference.
  T** operator&() noexcept {
    Reset();
    return &_reference;
  }
  /// The same as a void** for QueryInterface-style out-parameters.
  void** PutVoid() noexcept { return reinterpret_cast<void**>(&*this); }

  /// Member access; requires a non-null pointer.
  T* operator->() const noexcept {
    assert(_reference != nullptr);
    return _reference;
  }
  /// Plain read, no requirement; no count change.
  T* Get() const noexcept { return _reference; }
  explicit operator bool() const noexcept { return _reference != nullptr; }

  /// Hands the reference to the caller without releasing it; requires a non-null pointer.
  [[nodiscard]] T* Detach() noexcept {
    assert(_reference != nullptr);
    return std::exchange(_reference, nullptr);
  }
  /// Takes over a reference the caller already owns (no AddRef); releases the old pointer.
  void Attach(T* p) noexcept {
    T* old = std::exchange(_reference, p);
    if (old) old->Release();
  }
  /// Releases the reference held (if any) and becomes empty.
  void Reset() noexcept {
    if (T* old = std::exchange(_reference, nullptr)) old->Release();
  }

  T* _reference = nullptr;
};
