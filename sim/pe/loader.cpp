#include "sim/pe/loader.h"

#include <sys/mman.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <vector>

namespace sim::pe {
namespace {

constexpr uint16_t kRelocationsStripped = 0x0001;
constexpr char kVideoPort[] = "VIDEOPRT.SYS";

bool SameDll(const std::string& a, const char* b) {
  return a.size() == std::strlen(b) && std::equal(a.begin(), a.end(), b, [](char x, char y) {
           return std::toupper(x) == std::toupper(y);
         });
}

std::string Hex(uintptr_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%x", static_cast<unsigned>(value));
  return text;
}

uint8_t* MapExecutable(size_t length, const std::string& label) {
  void* p =
      mmap(nullptr, length, PROT_READ | PROT_WRITE | PROT_EXEC, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (p == MAP_FAILED) throw PeError(label + ": cannot map " + std::to_string(length) + " bytes");
  return static_cast<uint8_t*>(p);
}

}  // namespace

std::shared_ptr<LoadedImage> LoadedImage::Load(const std::string& path, ImportResolver resolve) {
  return std::shared_ptr<LoadedImage>(new LoadedImage(PeFile::Read(path), std::move(resolve)));
}

LoadedImage::LoadedImage(PeFile file, ImportResolver resolve)
    : file_(std::move(file)), resolve_(std::move(resolve)) {
  if (file_.SizeOfImage() == 0) throw PeError(file_.Label() + ": empty image");
  if (file_.EntryRva() >= file_.SizeOfImage())
    throw PeError(file_.Label() + ": entry point outside the image");
  // Every refused import at once, so that one load names them all.
  std::string refused;
  for (const Import& import : file_.Imports()) {
    std::string why;
    std::string name = import.dll;
    name.append("!");
    if (import.name.empty()) {
      name.append("#").append(std::to_string(import.ordinal));
    } else {
      name.append(import.name);
    }
    if (!SameDll(import.dll, kVideoPort)) {
      why.append("only ").append(kVideoPort).append(" services are bound");
    } else if (import.name.empty()) {
      why = "imports are bound by name only";
    } else if (auto service = resolve_(import.name); !service) {
      why = "not a service the platform provides";
    } else {
      descriptors_.push_back(ImportDescriptor{service->address, service->argumentBytes});
    }
    if (!why.empty())
      refused.append(refused.empty() ? "" : "; ").append(name).append(": ").append(why);
  }
  if (!refused.empty()) throw PeError(file_.Label() + " imports what cannot be bound: " + refused);

  base_ = reinterpret_cast<uintptr_t>(MapExecutable(file_.SizeOfImage(), file_.Label()));
  stubsSize_ = std::max<size_t>(kImportStubSize * descriptors_.size(), 1);
  try {
    stubs_ = MapExecutable(stubsSize_, file_.Label());
    for (size_t i = 0; i < descriptors_.size(); ++i)
      WriteImportStub(stubs_ + i * kImportStubSize, &descriptors_[i]);
    Restore();
  } catch (...) {
    munmap(reinterpret_cast<void*>(base_), file_.SizeOfImage());
    if (stubs_) munmap(stubs_, stubsSize_);
    throw;
  }
}

LoadedImage::~LoadedImage() {
  munmap(reinterpret_cast<void*>(base_), file_.SizeOfImage());
  munmap(stubs_, stubsSize_);
}

void LoadedImage::Restore() {
  Map();
  Relocate();
  Bind();
}

void LoadedImage::Map() {
  auto* image = reinterpret_cast<uint8_t*>(base_);
  const auto bytes = file_.Bytes();
  std::memset(image, 0, file_.SizeOfImage());
  std::memcpy(image, bytes.data(), file_.SizeOfHeaders());
  for (const Section& s : file_.Sections()) {
    // The raw data is padded to the file alignment; the virtual size is the
    // section's own length (zero in some linkers' output: then the raw size).
    const uint32_t length = s.virtualSize ? std::min(s.rawSize, s.virtualSize) : s.rawSize;
    if (length) std::memcpy(image + s.rva, bytes.data() + s.rawOffset, length);
  }
}

void LoadedImage::Relocate() {
  const uint32_t delta = static_cast<uint32_t>(base_) - file_.ImageBase();
  if (delta == 0) return;
  if (file_.Relocations().empty() && (file_.Characteristics() & kRelocationsStripped)) {
    throw PeError(file_.Label() + ": relocations stripped, and the image cannot sit at " +
                  Hex(file_.ImageBase()));
  }
  for (const Relocation& r : file_.Relocations()) {
    if (r.type == kRelocationAbsolute) continue;
    if (r.type != kRelocationHighLow) {
      throw PeError(file_.Label() + ": relocation of type " + std::to_string(r.type) + " at " +
                    Hex(r.rva));
    }
    if (r.rva > file_.SizeOfImage() - 4)
      throw PeError(file_.Label() + ": relocation outside the image at " + Hex(r.rva));
    uint32_t value;
    std::memcpy(&value, reinterpret_cast<void*>(base_ + r.rva), 4);
    value += delta;
    std::memcpy(reinterpret_cast<void*>(base_ + r.rva), &value, 4);
  }
}

void LoadedImage::Bind() {
  // The constructor refused every import it could not bind, so the imports
  // and the descriptors pair up in order.
  size_t next = 0;
  for (const Import& import : file_.Imports()) {
    if (import.slotRva > file_.SizeOfImage() - 4)
      throw PeError(file_.Label() + ": import slot outside the image");
    const auto stub =
        static_cast<uint32_t>(reinterpret_cast<uintptr_t>(stubs_ + next++ * kImportStubSize));
    std::memcpy(reinterpret_cast<void*>(base_ + import.slotRva), &stub, 4);
  }
}

bool LoadedImage::Contains(const void* address) const {
  const auto a = reinterpret_cast<uintptr_t>(address);
  return a >= base_ && a - base_ < file_.SizeOfImage();
}

void* LoadedImage::Export(const std::string& name) const {
  const auto rva = file_.ExportRva(name);
  return rva ? Address(*rva) : nullptr;
}

std::string LoadedImage::Describe(const void* address) const {
  if (!Contains(address))
    return Hex(reinterpret_cast<uintptr_t>(address)) + " (outside " + file_.Label() + ")";
  return file_.Describe(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(address) - base_));
}

CallOutcome LoadedImage::Call(const void* routine, std::initializer_list<uint32_t> args) const {
  return CallStdcall(routine, std::span<const uint32_t>(args.begin(), args.size()));
}

}  // namespace sim::pe
