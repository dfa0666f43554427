#include "sim/pe/pe_file.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>

namespace sim::pe {
namespace {

constexpr uint16_t kOptionalMagicPe32 = 0x010B;
constexpr uint32_t kCoffHeaderSize = 20;
constexpr uint32_t kSectionHeaderSize = 40;
constexpr uint32_t kSymbolSize = 18;
constexpr uint32_t kImportDescriptorSize = 20;
constexpr uint32_t kOrdinalFlag = 0x80000000u;

// Data directory slots
constexpr uint32_t kDirectoryExport = 0;
constexpr uint32_t kDirectoryImport = 1;
constexpr uint32_t kDirectoryBaseRelocation = 5;

std::string Hex(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%x", value);
  return text;
}

}  // namespace

PeFile::PeFile(std::vector<uint8_t> bytes, std::string label)
    : bytes_(std::move(bytes)), label_(std::move(label)) {
  ParseHeaders();
}

PeFile PeFile::Read(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw PeError(path + ": cannot open");
  // In one read: a byte at a time costs milliseconds in unoptimised builds,
  // and the image suites load the image for every machine.
  in.seekg(0, std::ios::end);
  std::vector<uint8_t> bytes(static_cast<size_t>(std::max<std::streamoff>(in.tellg(), 0)));
  in.seekg(0);
  if (!in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size())))
    throw PeError(path + ": cannot read");
  const auto slash = path.find_last_of('/');
  return PeFile(std::move(bytes), slash == std::string::npos ? path : path.substr(slash + 1));
}

void PeFile::Fail(const std::string& message) const {
  throw PeError(label_ + ": " + message);
}

uint32_t PeFile::U32(uint32_t offset, const char* what) const {
  if (offset > bytes_.size() || bytes_.size() - offset < 4) {
    Fail(std::string(what) + " at file offset " + Hex(offset) + " lies past the end");
  }
  return bytes_[offset] | bytes_[offset + 1] << 8 | bytes_[offset + 2] << 16 |
         static_cast<uint32_t>(bytes_[offset + 3]) << 24;
}

uint16_t PeFile::U16(uint32_t offset, const char* what) const {
  if (offset > bytes_.size() || bytes_.size() - offset < 2) {
    Fail(std::string(what) + " at file offset " + Hex(offset) + " lies past the end");
  }
  return static_cast<uint16_t>(bytes_[offset] | bytes_[offset + 1] << 8);
}

std::string PeFile::CString(uint32_t offset, const char* what) const {
  std::string text;
  for (uint32_t at = offset;; ++at) {
    if (at >= bytes_.size())
      Fail(std::string(what) + " at file offset " + Hex(offset) + " is not terminated");
    if (bytes_[at] == 0) return text;
    text.push_back(static_cast<char>(bytes_[at]));
  }
}

uint32_t PeFile::Offset(uint32_t rva, uint32_t length, const char* what) const {
  if (rva < sizeOfHeaders_ && length <= sizeOfHeaders_ - rva) return rva;
  for (const Section& s : sections_) {
    if (rva >= s.rva && rva - s.rva < s.rawSize && length <= s.rawSize - (rva - s.rva)) {
      return s.rawOffset + (rva - s.rva);
    }
  }
  Fail(std::string(what) + " at RVA " + Hex(rva) + " is not in the file");
}

void PeFile::ParseHeaders() {
  if (bytes_.size() < 0x40 || bytes_[0] != 'M' || bytes_[1] != 'Z') Fail("no MZ header");
  const uint32_t pe = U32(0x3C, "e_lfanew");
  if (U32(pe, "PE signature") != 0x00004550) Fail("no PE signature at " + Hex(pe));
  const uint32_t coff = pe + 4;
  machine_ = U16(coff, "machine");
  if (machine_ != kMachineI386) Fail("machine " + Hex(machine_) + " is not i386");
  const uint16_t sectionCount = U16(coff + 2, "section count");
  const uint32_t symbolTable = U32(coff + 8, "symbol table pointer");
  const uint32_t symbolCount = U32(coff + 12, "symbol count");
  const uint16_t optionalSize = U16(coff + 16, "optional header size");
  characteristics_ = U16(coff + 18, "characteristics");

  const uint32_t opt = coff + kCoffHeaderSize;
  if (U16(opt, "optional header magic") != kOptionalMagicPe32) Fail("not a PE32 image");
  entryRva_ = U32(opt + 16, "entry point");
  imageBase_ = U32(opt + 28, "image base");
  sizeOfImage_ = U32(opt + 56, "image size");
  sizeOfHeaders_ = U32(opt + 60, "header size");
  subsystem_ = U16(opt + 68, "subsystem");
  dllCharacteristics_ = U16(opt + 70, "DLL characteristics");
  const uint32_t directoryCount = U32(opt + 92, "directory count");
  auto directory = [&](uint32_t index) -> std::pair<uint32_t, uint32_t> {
    if (index >= directoryCount || 96 + 8 * (index + 1) > optionalSize) return {0, 0};
    return {U32(opt + 96 + 8 * index, "directory"), U32(opt + 100 + 8 * index, "directory")};
  };
  if (sizeOfHeaders_ > bytes_.size()) Fail("headers are larger than the file");

  const uint32_t table = opt + optionalSize;
  for (uint32_t i = 0; i < sectionCount; ++i) {
    const uint32_t at = table + i * kSectionHeaderSize;
    if (at + kSectionHeaderSize > bytes_.size()) Fail("section table lies past the end");
    Section s;
    for (uint32_t c = 0; c < 8 && bytes_[at + c]; ++c)
      s.name.push_back(static_cast<char>(bytes_[at + c]));
    s.virtualSize = U32(at + 8, "section size");
    s.rva = U32(at + 12, "section address");
    s.rawSize = U32(at + 16, "section raw size");
    s.rawOffset = U32(at + 20, "section raw offset");
    s.characteristics = U32(at + 36, "section characteristics");
    if (s.rawSize && (s.rawOffset > bytes_.size() || bytes_.size() - s.rawOffset < s.rawSize)) {
      Fail("section " + s.name + " lies past the end of the file");
    }
    if (s.rva > sizeOfImage_ || sizeOfImage_ - s.rva < std::max(s.virtualSize, s.rawSize)) {
      Fail("section " + s.name + " lies past the end of the image");
    }
    sections_.push_back(s);
  }
  if (symbolTable && symbolCount) ParseSymbols(symbolTable, symbolCount);

  if (auto [rva, size] = directory(kDirectoryImport); rva) ParseImports(rva, size);
  if (auto [rva, size] = directory(kDirectoryExport); rva) ParseExports(rva, size);
  if (auto [rva, size] = directory(kDirectoryBaseRelocation); rva) ParseRelocations(rva, size);
}

void PeFile::ParseImports(uint32_t rva, uint32_t) {
  for (uint32_t descriptor = rva;; descriptor += kImportDescriptorSize) {
    const uint32_t at = Offset(descriptor, kImportDescriptorSize, "import descriptor");
    const uint32_t lookup = U32(at, "import lookup table");
    const uint32_t nameRva = U32(at + 12, "import DLL name");
    const uint32_t slots = U32(at + 16, "import address table");
    if (nameRva == 0 && slots == 0) return;
    const std::string dll = CString(Offset(nameRva, 1, "import DLL name"), "import DLL name");
    const uint32_t entries = lookup ? lookup : slots;
    for (uint32_t i = 0;; ++i) {
      const uint32_t entry =
          U32(Offset(entries + 4 * i, 4, "import lookup entry"), "import lookup entry");
      if (entry == 0) break;
      Import import;
      import.dll = dll;
      import.slotRva = slots + 4 * i;
      if (entry & kOrdinalFlag) {
        import.ordinal = static_cast<uint16_t>(entry);
      } else {
        // A hint (u16) precedes the name.
        import.name = CString(Offset(entry + 2, 1, "import name"), "import name");
      }
      imports_.push_back(import);
    }
  }
}

void PeFile::ParseExports(uint32_t rva, uint32_t) {
  const uint32_t at = Offset(rva, 40, "export directory");
  const uint32_t nameCount = U32(at + 24, "export name count");
  const uint32_t functions = U32(at + 28, "export address table");
  const uint32_t names = U32(at + 32, "export name table");
  const uint32_t ordinals = U32(at + 36, "export ordinal table");
  const uint32_t functionCount = U32(at + 20, "export count");
  for (uint32_t i = 0; i < nameCount; ++i) {
    const uint32_t nameRva = U32(Offset(names + 4 * i, 4, "export name"), "export name");
    const uint16_t index = U16(Offset(ordinals + 2 * i, 2, "export ordinal"), "export ordinal");
    if (index >= functionCount) Fail("export ordinal " + std::to_string(index) + " out of range");
    exports_.push_back(
        Export{.name = CString(Offset(nameRva, 1, "export name"), "export name"),
               .rva = U32(Offset(functions + 4 * index, 4, "export address"), "export address")});
  }
}

void PeFile::ParseRelocations(uint32_t rva, uint32_t size) {
  uint32_t done = 0;
  while (done + 8 <= size) {
    const uint32_t at = Offset(rva + done, 8, "relocation block");
    const uint32_t page = U32(at, "relocation page");
    const uint32_t blockSize = U32(at + 4, "relocation block size");
    if (blockSize < 8 || blockSize > size - done)
      Fail("relocation block at " + Hex(rva + done) + " has a bad size");
    const uint32_t entries = Offset(rva + done + 8, blockSize - 8, "relocation entries");
    for (uint32_t i = 0; i < (blockSize - 8) / 2; ++i) {
      const uint16_t entry = U16(entries + 2 * i, "relocation");
      relocations_.push_back(
          Relocation{.type = static_cast<uint8_t>(entry >> 12), .rva = page + (entry & 0xFFFu)});
    }
    done += blockSize;
  }
}

void PeFile::ParseSymbols(uint32_t offset, uint32_t count) {
  if (offset > bytes_.size() || (bytes_.size() - offset) / kSymbolSize < count) {
    Fail("symbol table lies past the end");
  }
  const uint32_t strings = offset + count * kSymbolSize;
  for (uint32_t i = 0; i < count; ++i) {
    const uint32_t at = offset + i * kSymbolSize;
    Symbol symbol;
    if (U32(at, "symbol name") == 0) {
      symbol.name = CString(strings + U32(at + 4, "symbol name offset"), "symbol name");
    } else {
      for (uint32_t c = 0; c < 8 && bytes_[at + c]; ++c)
        symbol.name.push_back(static_cast<char>(bytes_[at + c]));
    }
    symbol.value = U32(at + 8, "symbol value");
    symbol.section = static_cast<int16_t>(U16(at + 12, "symbol section"));
    symbols_.push_back(symbol);
    i += bytes_[at + 17];  // auxiliary records
  }
}

const Section* PeFile::FindSection(const std::string& name) const {
  for (const Section& s : sections_) {
    if (s.name == name) return &s;
  }
  return nullptr;
}

const Section* PeFile::SectionAt(uint32_t rva) const {
  for (const Section& s : sections_) {
    if (s.Contains(rva)) return &s;
  }
  return nullptr;
}

std::optional<uint32_t> PeFile::ExportRva(const std::string& name) const {
  for (const Export& e : exports_) {
    if (e.name == name) return e.rva;
  }
  return std::nullopt;
}

std::optional<uint32_t> PeFile::SymbolRva(const std::string& name) const {
  for (const Symbol& s : symbols_) {
    if (s.name == name && s.section >= 1 && static_cast<size_t>(s.section) <= sections_.size()) {
      return sections_[s.section - 1].rva + s.value;
    }
  }
  return std::nullopt;
}

std::string PeFile::Describe(uint32_t rva) const {
  std::string text = label_ + "+" + Hex(rva);
  const Symbol* best = nullptr;
  uint32_t bestRva = 0;
  for (const Symbol& s : symbols_) {
    if (s.section < 1 || static_cast<size_t>(s.section) > sections_.size()) continue;
    if (s.name.empty() || s.name[0] == '.') continue;  // section symbols
    const uint32_t at = sections_[s.section - 1].rva + s.value;
    if (at <= rva && (!best || at > bestRva)) {
      best = &s;
      bestRva = at;
    }
  }
  // A stripped image still names its exports.
  const std::string* name = best ? &best->name : nullptr;
  for (const Export& e : exports_) {
    if (e.rva <= rva && (!name || e.rva > bestRva)) {
      name = &e.name;
      bestRva = e.rva;
    }
  }
  if (name) {
    text.append(" (").append(*name);
    if (bestRva != rva) text.append("+").append(Hex(rva - bestRva));
    text.append(")");
  }
  return text;
}

}  // namespace sim::pe
