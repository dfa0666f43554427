#include "fuzz/session_program.h"

#include <initializer_list>

namespace fuzz {
namespace {

// The ports a program's video code uses most; the others come from the
// whole block.
const uint16_t kBusyPorts[] = {0x3C4, 0x3C5, 0x3CE, 0x3CF, 0x3D4, 0x3D5, 0x3C0, 0x3C1,
                               0x3DA, 0x3C7, 0x3C8, 0x3C9, 0x3C2, 0x3CC, 0x3C6, 0x3CD};
const uint16_t kIndexPorts[] = {0x3C4, 0x3CE, 0x3D4, 0x3B4};
const uint16_t kWindowSegments[] = {0xA000, 0xB000, 0xB800};
const uint8_t kBiosModes[] = {0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07,
                              0x0D, 0x0E, 0x0F, 0x10, 0x11, 0x12, 0x13};

// A port for an access of `width` bytes: every byte inside 0x3B0-0x3DF, or
// now and then a port no device answers.
uint16_t ReadPort(Input& in, unsigned width) {
  const uint8_t pick = in.U8();
  if (pick >= 250) return 0x80;
  const uint16_t port =
      pick & 1 ? in.Pick(kBusyPorts) : static_cast<uint16_t>(0x3B0 + in.Below(0x30));
  return std::min<uint16_t>(port, static_cast<uint16_t>(0x3E0 - width));
}

uint32_t ReadValue(Input& in, unsigned width) {
  return width == 1 ? in.U8() : width == 2 ? in.U16() : in.U32();
}

// Real-mode code, built up one instruction at a time.
class Code {
 public:
  void Bytes(std::initializer_list<uint8_t> bytes) { code_.insert(code_.end(), bytes); }
  void Word(uint16_t v) { Bytes({static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8)}); }
  void Dword(uint32_t v) { Word(static_cast<uint16_t>(v)), Word(static_cast<uint16_t>(v >> 16)); }
  void MovAl(uint8_t v) { Bytes({0xB0, v}); }
  void MovAx(uint16_t v) { Bytes({0xB8}), Word(v); }
  void MovEax(uint32_t v) { Bytes({0x66, 0xB8}), Dword(v); }
  void MovBx(uint16_t v) { Bytes({0xBB}), Word(v); }
  void MovCx(uint16_t v) { Bytes({0xB9}), Word(v); }
  void MovDx(uint16_t v) { Bytes({0xBA}), Word(v); }
  void MovSi(uint16_t v) { Bytes({0xBE}), Word(v); }
  void MovDi(uint16_t v) { Bytes({0xBF}), Word(v); }
  void MovEs(uint16_t segment) { MovAx(segment), Bytes({0x8E, 0xC0}); }
  void EsIsCs() { Bytes({0x0E, 0x07}); }  // push cs; pop es
  void DsIsCs() { Bytes({0x0E, 0x1F}); }  // push cs; pop ds
  void DsIsEs() { Bytes({0x06, 0x1F}); }  // push es; pop ds
  // The accumulator of `width` bytes set to `value`.
  void MovA(unsigned width, uint32_t value) {
    if (width == 1) MovAl(static_cast<uint8_t>(value));
    if (width == 2) MovAx(static_cast<uint16_t>(value));
    if (width == 4) MovEax(value);
  }
  // out dx / in from dx, or an ES:[DI] store / load, of `width` bytes.
  void Out(unsigned width) { Sized(width, 0xEE, {}); }
  void In(unsigned width) { Sized(width, 0xEC, {}); }
  void Store(unsigned width) { Sized(width, 0x88, {0x26}), Bytes({0x05}); }
  void Load(unsigned width) { Sized(width, 0x8A, {0x26}), Bytes({0x05}); }
  std::vector<uint8_t>& Image() { return code_; }

 private:
  // The byte form of an opcode is `op`, the word form op + 1, the
  // doubleword form the word form behind an operand-size prefix.
  void Sized(unsigned width, uint8_t op, std::initializer_list<uint8_t> prefix) {
    if (width == 4) Bytes({0x66});
    code_.insert(code_.end(), prefix);
    Bytes({static_cast<uint8_t>(width == 1 ? op : op + 1)});
  }
  std::vector<uint8_t> code_;
};

// A window access's address: a segment of the window and an offset.
void WindowTarget(Input& in, Code& code) {
  code.MovEs(in.Pick(kWindowSegments));
  code.MovDi(in.U16());
}

// How many elements a repeated instruction moves: mostly a few, at times
// a screenful.
uint16_t ReadCount(Input& in) {
  const uint8_t n = in.U8();
  return static_cast<uint16_t>(n & 0x80 ? (n & 0x7F) * 32 + 1 : n % 24 + 1);
}

}  // namespace

sim::session::Registers ReadInt10(Input& in, std::vector<uint8_t>& data, uint32_t& pointer) {
  static const uint8_t kPalette[] = {0x00, 0x01, 0x02, 0x03, 0x07, 0x08, 0x09, 0x10,
                                     0x12, 0x13, 0x15, 0x17, 0x18, 0x19, 0x1A, 0x1B};
  static const uint8_t kFont[] = {0x00, 0x01, 0x02, 0x03, 0x04, 0x10, 0x11, 0x12,
                                  0x14, 0x20, 0x21, 0x22, 0x23, 0x24, 0x30};
  static const uint8_t kAlternate[] = {0x10, 0x20, 0x30, 0x31, 0x32, 0x33, 0x34, 0x35, 0x36};
  static const uint8_t kCommon[] = {0x01, 0x02, 0x03, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0A, 0x0B,
                                    0x0C, 0x0D, 0x0E, 0x0E, 0x0E, 0x0F, 0x10, 0x10, 0x10, 0x11,
                                    0x11, 0x12, 0x13, 0x1A, 0x1B, 0x1C, 0x00, 0xFF};
  sim::session::Registers r;
  r.ds = r.es = kDataSegment;
  data.clear();
  const uint8_t ah = in.Pick(kCommon);
  uint8_t al = in.U8();
  r.ebx = in.U16();
  r.ecx = in.U8();  // counts: characters, DAC entries, glyphs
  r.edx = in.U16();
  pointer = static_cast<uint32_t>(in.U8()) << 4;
  switch (ah) {
    case 0x00:
      al = static_cast<uint8_t>(in.Pick(kBiosModes) | (al & 0x80));  // bit 7: keep the memory
      break;
    case 0x01:  // cursor lines, and the colour registers of 1010h: two bytes each
    case 0x0C:
    case 0x0D:
      r.ecx = in.U16();
      break;
    case 0x06:
    case 0x07:
      al %= 26;
      break;
    case 0x10:
      al = in.Pick(kPalette);
      if (al == 0x10) r.ecx = in.U16();
      r.edx = pointer;
      break;
    case 0x11:
      al = in.Pick(kFont);
      r.ebp = pointer;
      break;
    case 0x12:
      r.ebx = (r.ebx & 0xFF00) | in.Pick(kAlternate);
      break;
    case 0x13:
      al &= 3;
      r.ebp = pointer;
      break;
    case 0x1B:
      r.ebx = 0;
      r.edi = pointer;
      break;
    case 0x1C:
      al %= 3;
      r.ebx = pointer;
      break;
    case 0xFF:  // any function at all
      r.eax = in.U16();
      return r;
    default:
      break;
  }
  r.eax = static_cast<uint32_t>(ah) << 8 | al;
  data = in.Bytes(in.U8() % 64);
  return r;
}

std::vector<uint8_t> ReadProgram(Input& in) {
  Code code;
  // The program's own bytes for string output, jumped over: at 0x102.
  const std::vector<uint8_t> data = in.Bytes(1 + in.U8() % 64);
  code.Bytes({0xEB, static_cast<uint8_t>(data.size())});
  code.Image().insert(code.Image().end(), data.begin(), data.end());
  const auto dataAt = static_cast<uint16_t>(0x102);
  const auto dataLength = static_cast<uint16_t>(data.size());

  static const unsigned kWidths[] = {1, 1, 1, 2, 2, 4};
  const int statements = 1 + in.U8() % 16;
  for (int i = 0; i < statements && !in.Empty(); ++i) {
    const uint8_t kind = in.U8() % 20;
    const unsigned width = in.Pick(kWidths);
    switch (kind) {
      case 0:
      case 1:  // out
        code.MovDx(ReadPort(in, width)), code.MovA(width, ReadValue(in, width)), code.Out(width);
        break;
      case 2:
      case 3:  // in
        code.MovDx(ReadPort(in, width)), code.In(width);
        break;
      case 4: {  // a register through its index/data pair, byte by byte
        code.MovDx(in.Pick(kIndexPorts)), code.MovAl(in.U8()), code.Out(1);
        code.Bytes({0x42}), code.MovAl(in.U8()), code.Out(1);  // inc dx
        break;
      }
      case 5: {  // read-modify-write: and, or
        code.MovDx(in.Pick(kIndexPorts)), code.MovAl(in.U8()), code.Out(1), code.Bytes({0x42});
        code.In(1), code.Bytes({0x24, in.U8(), 0x0C, in.U8()}), code.Out(1);
        break;
      }
      case 6: {  // a synchronous reset around a few sequencer words
        code.MovDx(0x3C4), code.MovAx(in.Bool() ? 0x0100 : 0x0000), code.Out(2);
        for (int w = in.U8() % 4; w > 0; --w)
          code.MovAx(in.U16()), code.Out(2);
        if (in.U8() < 224) code.MovAx(0x0300), code.Out(2);
        break;
      }
      case 7:  // rep outsb / outsw from the program's bytes
        code.MovDx(ReadPort(in, width == 1 ? 1 : 2)), code.DsIsCs(), code.MovSi(dataAt);
        code.MovCx(
            static_cast<uint16_t>(1 + in.U8() % (width == 1 ? dataLength : dataLength / 2 + 1)));
        code.Bytes({0xF3, static_cast<uint8_t>(width == 1 ? 0x6E : 0x6F)});
        break;
      case 8:  // rep insb / insw into the program's segment
        code.MovDx(ReadPort(in, width == 1 ? 1 : 2)), code.EsIsCs(), code.MovDi(0x8000);
        code.MovCx(static_cast<uint16_t>(1 + in.U8() % 32));
        code.Bytes({0xF3, static_cast<uint8_t>(width == 1 ? 0x6C : 0x6D)});
        break;
      case 9:
      case 10:  // a window write
        WindowTarget(in, code), code.MovA(width, ReadValue(in, width)), code.Store(width);
        break;
      case 11:
      case 12:  // a window read
        WindowTarget(in, code), code.Load(width);
        break;
      case 13: {  // rep stosb / stosw into the window
        WindowTarget(in, code);
        code.MovCx(ReadCount(in)), code.MovAx(in.U16());
        code.Bytes({0xF3, static_cast<uint8_t>(width == 1 ? 0xAA : 0xAB)});
        break;
      }
      case 14: {  // rep movsb / movsw from the program's bytes into the window
        WindowTarget(in, code), code.DsIsCs(), code.MovSi(dataAt);
        code.MovCx(static_cast<uint16_t>(1 + in.U8() % dataLength));
        code.Bytes({0xF3, static_cast<uint8_t>(width == 1 ? 0xA4 : 0xA5)});
        break;
      }
      case 15: {  // rep movsb / movsw within the window (a scroll)
        WindowTarget(in, code), code.DsIsEs(), code.MovSi(in.U16()), code.MovCx(ReadCount(in));
        code.Bytes({0xF3, static_cast<uint8_t>(width == 1 ? 0xA4 : 0xA5)});
        break;
      }
      case 16:  // a few status reads: in al, dx; loop
        code.MovDx(in.Bool() ? 0x3DA : 0x3BA), code.MovCx(static_cast<uint16_t>(1 + in.U8() % 16));
        code.Bytes({0xEC, 0xE2, 0xFD});
        break;
      case 17: {  // DAC: an index, then components
        code.MovDx(in.Bool() ? 0x3C8 : 0x3C7), code.MovAl(in.U8()), code.Out(1);
        code.MovDx(0x3C9);
        for (int c = 1 + in.U8() % 6; c > 0; --c) {
          if (in.Bool()) {
            code.MovAl(in.U8()), code.Out(1);
          } else {
            code.In(1);
          }
        }
        break;
      }
      case 18: {  // attribute controller: flip-flop reset, index, data
        code.MovDx(0x3DA), code.In(1), code.MovDx(0x3C0);
        code.MovAl(in.U8()), code.Out(1), code.MovAl(in.U8()), code.Out(1);
        break;
      }
      default: {  // the extensions (unlocked, a register, the bank), or INT 10h
        const uint8_t what = in.U8() % 3;
        if (what == 0) {
          code.MovDx(0x3C4), code.MovAx(0x8605), code.Out(2);
          code.MovAx(static_cast<uint16_t>(in.U8() << 8 | (0x06 + in.U8() % 0x3A))), code.Out(2);
        } else if (what == 1) {
          code.MovDx(0x3CD), code.MovAl(in.U8()), code.Out(1);
        } else {
          std::vector<uint8_t> unused;
          uint32_t pointer = 0;
          const sim::session::Registers r = ReadInt10(in, unused, pointer);
          code.MovBx(static_cast<uint16_t>(r.ebx)), code.MovCx(static_cast<uint16_t>(r.ecx));
          code.MovDx(static_cast<uint16_t>(r.edx)), code.MovEs(kDataSegment);
          code.MovAx(static_cast<uint16_t>(r.eax)), code.Bytes({0xCD, 0x10});
        }
        break;
      }
    }
  }
  code.Bytes({0xF4});  // hlt
  return std::move(code.Image());
}

}  // namespace fuzz
