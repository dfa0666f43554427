// A reader for 32-bit PE images (i386 Windows NT executables and drivers):
// the headers, the sections, the imports, the exports, the base relocations
// and the COFF symbol table that the linker leaves in an unstripped image.
// Everything is bounds-checked; a malformed image is a PeError naming what
// is wrong and where.
#pragma once

#include <algorithm>
#include <cstdint>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace sim::pe {

class PeError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

inline constexpr uint16_t kMachineI386 = 0x014C;
inline constexpr uint16_t kSubsystemNative = 1;

// Section characteristics
inline constexpr uint32_t kSectionCode = 0x00000020;
inline constexpr uint32_t kSectionDiscardable = 0x02000000;
inline constexpr uint32_t kSectionExecute = 0x20000000;
inline constexpr uint32_t kSectionRead = 0x40000000;
inline constexpr uint32_t kSectionWrite = 0x80000000;

struct Section {
  std::string name;
  uint32_t rva = 0;
  uint32_t virtualSize = 0;
  uint32_t rawOffset = 0;
  uint32_t rawSize = 0;
  uint32_t characteristics = 0;

  bool Contains(uint32_t address) const {
    return address >= rva && address - rva < std::max(virtualSize, rawSize);
  }
};

struct Import {
  std::string dll;
  std::string name;      // empty for an import by ordinal
  uint16_t ordinal = 0;  // by ordinal only
  uint32_t slotRva = 0;  // the import address table entry the loader fills
};

struct Export {
  std::string name;
  uint32_t rva = 0;
};

struct Symbol {
  std::string name;     // as linked, e.g. "_DriverEntry@8"
  int16_t section = 0;  // 1-based section number; 0 and below are special
  uint32_t value = 0;   // offset within the section
};

struct Relocation {
  uint8_t type = 0;  // 3: 32-bit absolute address (HIGHLOW); 0: padding
  uint32_t rva = 0;
};

inline constexpr uint8_t kRelocationAbsolute = 0;
inline constexpr uint8_t kRelocationHighLow = 3;

class PeFile {
 public:
  // Parses `bytes` (the whole file); `label` names the image in errors.
  PeFile(std::vector<uint8_t> bytes, std::string label);
  static PeFile Read(const std::string& path);

  const std::string& Label() const { return label_; }
  std::span<const uint8_t> Bytes() const { return bytes_; }

  uint16_t Machine() const { return machine_; }
  uint16_t Characteristics() const { return characteristics_; }
  uint16_t Subsystem() const { return subsystem_; }
  uint16_t DllCharacteristics() const { return dllCharacteristics_; }
  uint32_t ImageBase() const { return imageBase_; }
  uint32_t SizeOfImage() const { return sizeOfImage_; }
  uint32_t SizeOfHeaders() const { return sizeOfHeaders_; }
  uint32_t EntryRva() const { return entryRva_; }

  const std::vector<Section>& Sections() const { return sections_; }
  const Section* FindSection(const std::string& name) const;
  const Section* SectionAt(uint32_t rva) const;

  const std::vector<Import>& Imports() const { return imports_; }
  const std::vector<Export>& Exports() const { return exports_; }
  const std::vector<Relocation>& Relocations() const { return relocations_; }
  const std::vector<Symbol>& Symbols() const { return symbols_; }

  std::optional<uint32_t> ExportRva(const std::string& name) const;
  // The RVA of a symbol of the COFF table by its linked name.
  std::optional<uint32_t> SymbolRva(const std::string& name) const;
  // "probe.sys+0x1234 (_ProbeAdd@8)", with the nearest preceding symbol.
  std::string Describe(uint32_t rva) const;

 private:
  void ParseHeaders();
  void ParseImports(uint32_t rva, uint32_t size);
  void ParseExports(uint32_t rva, uint32_t size);
  void ParseRelocations(uint32_t rva, uint32_t size);
  void ParseSymbols(uint32_t offset, uint32_t count);

  // File offset of an RVA that lies in the file, or throws.
  uint32_t Offset(uint32_t rva, uint32_t length, const char* what) const;
  uint32_t U32(uint32_t offset, const char* what) const;
  uint16_t U16(uint32_t offset, const char* what) const;
  std::string CString(uint32_t offset, const char* what) const;
  [[noreturn]] void Fail(const std::string& message) const;

  std::vector<uint8_t> bytes_;
  std::string label_;
  uint16_t machine_ = 0;
  uint16_t characteristics_ = 0;
  uint16_t subsystem_ = 0;
  uint16_t dllCharacteristics_ = 0;
  uint32_t imageBase_ = 0;
  uint32_t sizeOfImage_ = 0;
  uint32_t sizeOfHeaders_ = 0;
  uint32_t entryRva_ = 0;
  std::vector<Section> sections_;
  std::vector<Import> imports_;
  std::vector<Export> exports_;
  std::vector<Relocation> relocations_;
  std::vector<Symbol> symbols_;
};

}  // namespace sim::pe
