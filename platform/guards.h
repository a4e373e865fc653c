#pragma once
// Small owners of Windows resources, so that every early return releases
// what was taken.

#include <windows.h>

#include <utility>

// Owns one resource described by Traits: Type, Invalid() and Release(value).
template <typename Traits>
class Owned {
 public:
  using Type = typename Traits::Type;

  Owned() = default;
  explicit Owned(Type value) : value_(value) {}
  ~Owned() { reset(); }
  Owned(Owned&& other) noexcept : value_(std::exchange(other.value_, Traits::Invalid())) {}
  Owned& operator=(Owned&& other) noexcept {
    if (this != &other) {
      reset();
      value_ = std::exchange(other.value_, Traits::Invalid());
    }
    return *this;
  }
  Owned(const Owned&) = delete;
  Owned& operator=(const Owned&) = delete;

  Type get() const { return value_; }
  explicit operator bool() const { return value_ != Traits::Invalid(); }
  // For functions that hand the resource back through a pointer.
  Type* receive() {
    reset();
    return &value_;
  }
  void reset() {
    if (value_ != Traits::Invalid()) Traits::Release(value_);
    value_ = Traits::Invalid();
  }
  // Hands the resource over to the caller, who releases it (and may want to know how that went).
  Type release() { return std::exchange(value_, Traits::Invalid()); }

 private:
  Type value_ = Traits::Invalid();
};

struct KernelHandleTraits {  // processes, threads, tokens, mutexes: null when invalid
  using Type = HANDLE;
  static Type Invalid() { return nullptr; }
  static void Release(Type handle) { CloseHandle(handle); }
};
struct FileHandleTraits {  // CreateFile: INVALID_HANDLE_VALUE when invalid
  using Type = HANDLE;
  static Type Invalid() { return INVALID_HANDLE_VALUE; }
  static void Release(Type handle) { CloseHandle(handle); }
};
struct FindHandleTraits {
  using Type = HANDLE;
  static Type Invalid() { return INVALID_HANDLE_VALUE; }
  static void Release(Type handle) { FindClose(handle); }
};
struct RegistryKeyTraits {
  using Type = HKEY;
  static Type Invalid() { return nullptr; }
  static void Release(Type key) { RegCloseKey(key); }
};

struct LocalMemoryTraits {  // LocalAlloc'd memory that functions hand back: descriptors, lists, strings
  using Type = HLOCAL;
  static Type Invalid() { return nullptr; }
  static void Release(Type memory) { LocalFree(memory); }
};
struct SidTraits {  // AllocateAndInitializeSid
  using Type = PSID;
  static Type Invalid() { return nullptr; }
  static void Release(Type sid) { FreeSid(sid); }
};

using UniqueHandle = Owned<KernelHandleTraits>;
using LocalMemory = Owned<LocalMemoryTraits>;
using SidMemory = Owned<SidTraits>;
using FileHandle = Owned<FileHandleTraits>;
using FindHandle = Owned<FindHandleTraits>;
using RegistryKey = Owned<RegistryKeyTraits>;
