// The adapter's registers by name and field, as a register reference lists
// them: the standard VGA registers after the VGA documentation, the Zel
// extended registers after the chip's. `state` prints them and the decoded
// trace annotates accesses with them.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace zelctl::regs {

// The indexed register files.
enum class File : uint8_t { Seq, Crtc, Gc, Attr };

// "SR05", "CR11", "GR06", "AR10".
std::string Label(File file, uint8_t index);

// Whether a value is read from the register or written to it: SR05 answers
// 0xA1 when open, but opens on 0x86.
enum class Direction : uint8_t { Read, Write };

// A value split into the register's fields, datasheet style:
// "vertical retrace end 14, protect CR0-7 on". Set bits that no field
// covers end the text as "other bits 0x..". Empty for a register without
// fields (an index beyond the file, an unused extended register).
std::string Fields(File file, uint8_t index, uint8_t value, Direction direction = Direction::Read);

// The registers that have fields, in reference order: SR00-SR04 and the
// extended registers the driver and the display use, CR00-CR18, GR00-GR08,
// AR10-AR14 (AR00-AR0F are the palette, shown as one block).
struct Described {
  File file;
  uint8_t index;
};
std::span<const Described> DescribedRegisters();

// The registers outside the index files.
enum class Single : uint8_t {
  Misc,            // write 0x3C2, read 0x3CC
  FeatureControl,  // write 0x3DA/0x3BA, read 0x3CA
  VideoEnable,     // 0x3C3
  PelMask,         // 0x3C6
  BankSelect,      // 0x3CD
  KeyPort,         // 0x3BF
  ModeKey,         // 0x3D8/0x3B8
};
std::string_view Label(Single single);
std::string Fields(Single single, uint8_t value);

// The attribute address register (0x3C0): index and palette source.
std::string AttributeAddress(uint8_t value);

}  // namespace zelctl::regs
