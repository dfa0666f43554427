// Loads a 32-bit NT kernel image into this (-m32) process as the system's
// loader does: maps its sections, applies its base relocations, and binds its
// VIDEOPRT.SYS imports by name to services of this process. Any other import
// is refused, naming it.
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "sim/pe/call.h"
#include "sim/pe/pe_file.h"

namespace sim::pe {

// A service an import binds to: a Linux stdcall function and the bytes of
// arguments it pops.
struct Service {
  const void* address = nullptr;
  uint32_t argumentBytes = 0;
};

// Finds the service for an import of VIDEOPRT.SYS by name, if there is one.
using ImportResolver = std::function<std::optional<Service>(const std::string& name)>;

// The bytes a stdcall function pops: each argument takes whole 4-byte slots.
template <typename F>
struct StdcallArgumentBytes;
template <typename R, typename... A>
struct StdcallArgumentBytes<R(__attribute__((stdcall))*)(A...)> {
  static constexpr uint32_t value = ((static_cast<uint32_t>(sizeof(A) + 3) & ~3u) + ... + 0u);
};

class LoadedImage {
 public:
  // Throws PeError when the file is not a loadable i386 image or an import
  // cannot be bound.
  static std::shared_ptr<LoadedImage> Load(const std::string& path, ImportResolver resolve);
  ~LoadedImage();
  LoadedImage(const LoadedImage&) = delete;
  LoadedImage& operator=(const LoadedImage&) = delete;

  const PeFile& File() const { return file_; }
  uintptr_t Base() const { return base_; }
  uint32_t Size() const { return file_.SizeOfImage(); }
  bool Contains(const void* address) const;
  void* Address(uint32_t rva) const { return reinterpret_cast<void*>(base_ + rva); }
  void* Entry() const { return Address(file_.EntryRva()); }
  void* Export(const std::string& name) const;  // nullptr when not exported

  // Puts every section back to the file's contents, relocated and bound: the
  // image's statics start again from their initial values.
  void Restore();

  // "zel.sys+0x1234 (_VgaStartIO@8)" for an address in the image.
  std::string Describe(const void* address) const;

  // Calls a stdcall routine of the image through the checking thunk.
  CallOutcome Call(const void* routine, std::initializer_list<uint32_t> args) const;

 private:
  LoadedImage(PeFile file, ImportResolver resolve);
  void Map();
  void Relocate();
  void Bind();

  PeFile file_;
  ImportResolver resolve_;
  uintptr_t base_ = 0;
  uint8_t* stubs_ = nullptr;  // one import stub per import, executable
  size_t stubsSize_ = 0;
  std::vector<ImportDescriptor> descriptors_;  // the stubs point into it: never resized after Bind
};

}  // namespace sim::pe
