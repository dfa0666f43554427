#!/usr/bin/env python3
"""Writes the hand-made seeds of fuzz/corpus/<harness>/seed-*: short inputs in
each harness's own byte layout (see the harness sources) that start the
fuzzer from the paths a display driver and a full-screen console take."""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))

# ReadProfile: chip (odd: B1), memory (index into 1, 2, 4, 8 MB), bus width,
# type, strap and SR10 bit 6 bits, clock index, ROM size index.
B1_1MB = bytes([1, 0, 0x01, 7, 0])
B1_4MB = bytes([1, 2, 0x01, 7, 0])
A1_2MB_32BIT = bytes([0, 1, 0x04, 7, 2])

# Request codes by their place in the harness's table.
CODES = {name: i for i, name in enumerate(
    "enable_vdm save restore avail num_modes current set_mode reset font palette clut "
    "set_cursor_attr query_cursor_attr set_cursor_pos query_cursor_pos ptr_on ptr_off "
    "set_ptr_attr set_ptr_pos query_ptr_pos ptr_caps bank map unmap query_public "
    "free_public share unshare".split())}
# Lengths by their place in the harness's table of record sizes.
LENGTHS = [0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 15, 16, 20, 23, 24, 36, 52, 80, 102,
           160, 1052, 1216, 4107, 8192, 65536]


def length(n, nudge=0):
    return bytes([0, LENGTHS.index(n), nudge + 1])


def request(code, in_len=0, out_len=0, content=b"", fill=0, one_buffer=False):
    fill_byte = (fill & 0xFE) | (1 if one_buffer else 0)
    return (bytes([0, CODES[code]]) + length(in_len) + length(out_len) +
            bytes([fill_byte, 0xCC, len(content)]) + content)


def u16(v):
    return struct.pack("<H", v)


def u32(v):
    return struct.pack("<I", v)


def write(harness, name, data):
    folder = os.path.join(HERE, "corpus", harness)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, "seed-" + name), "wb") as f:
        f.write(data)


def requests():
    text = B1_1MB + bytes([96])  # mode 0, the 80 x 25 text mode
    graphics = B1_1MB + bytes([2])  # 640 x 480 at 8 bits
    write("requests", "queries", text +
          request("num_modes", out_len=8) + request("avail", out_len=8192) +
          request("current", out_len=80) + request("current", out_len=80, one_buffer=True))
    write("requests", "cursor", text +
          request("set_cursor_pos", 4, content=u16(5) + u16(3)) +
          request("query_cursor_pos", out_len=4) +
          request("set_cursor_attr", 10, content=u16(14) + u16(15) + u16(1) + u16(0)) +
          request("query_cursor_attr", out_len=10))
    font = u16(8) + u16(16) + u32(4096)
    write("requests", "font", text + request("font", 4107, content=font, fill=0x5A))
    write("requests", "colours", graphics +
          request("clut", 36, content=u16(8) + u16(0) + bytes(range(32))) +
          request("palette", 36, content=u16(16) + u16(0) + bytes(range(32))))
    write("requests", "memory", graphics +
          request("map", 4, 16) + request("query_public", out_len=24) +
          request("share", 16, 12, content=u32(0) + u32(0x1000) + u32(0) + u32(0)) +
          request("free_public", 8))
    write("requests", "pointer", graphics +
          request("ptr_caps", out_len=20) +
          request("set_ptr_attr", 1052, content=u32(1) + u32(32) + u32(32) + u32(8) +
                  u32(1) + u32(10) + u32(10), fill=0xF0) +
          request("set_ptr_pos", 4, content=u16(100) + u16(50)) +
          request("query_ptr_pos", out_len=4) + request("ptr_on") + request("ptr_off"))
    write("requests", "bank", graphics + request("bank", out_len=52) +
          request("bank", out_len=102) + request("bank", out_len=102, one_buffer=True))
    write("requests", "state", text + request("enable_vdm") + request("save", out_len=8) +
          request("reset"))
    write("requests", "refusals", B1_4MB + bytes([0]) +
          request("current", out_len=80) + request("set_mode", 4, content=u32(0x80000060)) +
          request("query_cursor_pos", out_len=3) + request("map", 3, 16))


def restore():
    # Profile, set-up (bit 0 VDM, bits 1-2 mode, bit 3 the recording save),
    # StateLength choice (3: the exact size), fill, patch count, patches.
    write("restore", "plain", B1_1MB + bytes([0, 3, 0, 0]))
    # After the restore, the session goes on: out8 0x3C4 = 0, out8 0x3C5 = 3
    # (the end of the synchronous reset plays the recording back).
    write("restore", "recording", B1_1MB + bytes([9, 3, 0, 0, 2]) +
          bytes([0, 0x14, 1]) + u32(0) + bytes([0, 0x15, 1]) + u32(3))
    write("restore", "graphics", B1_1MB + bytes([3, 3, 0, 0]))
    write("restore", "short", B1_1MB + bytes([0, 0, 0, 0]))
    # Header fields by their 4-byte index: PlaneLength (27) one more than
    # saved; Plane4Offset (31) one byte before the end; a DIB whose size
    # overflows 32 bits (34, 35, 36 set to 0xFFFFFFFF).
    write("restore", "plane-length", B1_1MB + bytes([0, 3, 0, 1, 0, 27, 2]))
    write("restore", "plane-end", B1_1MB + bytes([0, 3, 0, 1, 0, 31, 5]))
    write("restore", "dib-overflow", B1_1MB + bytes([0, 3, 0, 3, 0, 34, 10, 0, 35, 10,
                                                    0, 36, 10]))
    # The validator count raised to 99 in a recording.
    write("restore", "validator-count", B1_1MB + bytes([9, 3, 0, 1, 150]) + u32(0) +
          bytes([0, 99]))


def session():
    def out8(port_index, value):
        # access: op, size 1, busy port, port index, write, value
        return bytes([0, 0, 1, port_index, 0, value])
    enable = bytes([180])
    save = bytes([200, 0])
    restore_op = bytes([210])
    seq_index, seq_data, gc_index, gc_data = 0, 1, 2, 3
    write("session", "sync-reset", B1_1MB + enable + out8(seq_index, 0) + out8(seq_data, 1) +
          out8(gc_index, 5) + out8(gc_data, 0x40) + out8(seq_index, 0) + out8(seq_data, 3))
    write("session", "save-restore", B1_1MB + enable + out8(seq_index, 0) + out8(seq_data, 1) +
          out8(seq_index, 2) + out8(seq_data, 0x0F) + save + restore_op +
          out8(seq_index, 0) + out8(seq_data, 3))
    write("session", "reads", B1_1MB + enable + bytes([0, 0, 1, 7, 200]) +
          bytes([0, 3, 1, 0, 200]) + bytes([0, 5, 0, 20, 200]))
    write("session", "words", B1_1MB + enable + bytes([0, 3, 1, 0, 0]) + u16(0x0100) +
          bytes([0, 3, 1, 2, 0]) + u16(0x0F05) + bytes([0, 3, 1, 0, 0]) + u16(0x0300))


def identification():
    def profile(flags=0, revision=0x1A, memory=2, bus=1, mem_type=2, strap=0, clock=100,
                rom=0, pci_bus=1, pci_device=0, ram_top=0, defects=0, overrides=0,
                rom_how=0):
        return bytes([flags, revision, memory, bus, mem_type, strap, clock, rom, pci_bus,
                      pci_device, ram_top, defects, overrides, rom_how, 0])
    write("identification", "b1-4mb", profile())
    write("identification", "a1-2mb-32bit", profile(revision=0x0B, memory=1, bus=0))
    write("identification", "b1-8mb", profile(memory=3))
    write("identification", "b1-1mb-strap", profile(memory=0, strap=1))
    write("identification", "no-pci", profile(flags=4))
    write("identification", "rom-64k", profile(rom=2))
    write("identification", "rom-patched", profile()[:-2] + bytes([0x80, 2, 1, 0x18, 0x41,
                                                                     1, 0x02, 0x7F]))


if __name__ == "__main__":
    requests()
    restore()
    session()
    identification()
