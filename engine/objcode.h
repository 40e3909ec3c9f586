// engine/objcode.h: the recorder of gates and measurements as binary object code.
#pragma once

#include <cstdint>
#include <string>

// Opcodes: byte 0 of every record.
constexpr uint8_t OBJCODE_INIT = 0x00;
constexpr uint8_t OBJCODE_CNOT = 0x01;
constexpr uint8_t OBJCODE_TOFFOLI = 0x02;
constexpr uint8_t OBJCODE_SIGMA_X = 0x03;
constexpr uint8_t OBJCODE_SIGMA_Y = 0x04;
constexpr uint8_t OBJCODE_SIGMA_Z = 0x05;
constexpr uint8_t OBJCODE_HADAMARD = 0x06;
constexpr uint8_t OBJCODE_ROT_X = 0x07;
constexpr uint8_t OBJCODE_ROT_Y = 0x08;
constexpr uint8_t OBJCODE_ROT_Z = 0x09;
constexpr uint8_t OBJCODE_PHASE_KICK = 0x0A;
constexpr uint8_t OBJCODE_PHASE_SCALE = 0x0B;
constexpr uint8_t OBJCODE_COND_PHASE = 0x0C;
constexpr uint8_t OBJCODE_COND_PHASE_KICK = 0x0D;
constexpr uint8_t OBJCODE_SWAP_LEADS = 0x0E;
constexpr uint8_t OBJCODE_MEASURE = 0x80;
constexpr uint8_t OBJCODE_MEASURE_QUBIT = 0x81;
constexpr uint8_t OBJCODE_MEASURE_QUBIT_PRESERVE = 0x82;
constexpr uint8_t OBJCODE_WIDTH = 0xF0;
constexpr uint8_t OBJCODE_NOP = 0xFF;

// The buffer grows by whole pages of this many bytes.
constexpr int64_t OBJCODE_PAGE_BYTES = 65536;

// Recorded bytes kept in memory before they spill to an unnamed file beside the dump.
constexpr int64_t OBJCODE_MEMORY_LIMIT = 128 * OBJCODE_PAGE_BYTES;

// Total record length in bytes (opcode included) of opcode; 0 for an invalid opcode.
int64_t objcode_record_length(uint8_t opcode);

// Starts a fresh recording (one empty page), dropping any earlier buffer.
void quantum_objcode_start();

// Ends recording and releases the buffer.
void objcode_stop();

// Appends one record; 1 while recording (even for an invalid opcode), 0 when off.
// Operands, cast at the call: qubit indices and widths as int, basis values as uint64_t,
// angles as double. Reading any other type is undefined behaviour. The opcode is a byte; it
// is passed as an int, the type a variable argument list may start after.
int objcode_record(int opcode, ...);

// Appends count copies of one record, the same bytes as count calls of objcode_record but
// streamed in bulk (one swap-leads record per stored state adds up to hundreds of MB).
int objcode_record_repeat(int64_t count, int opcode, ...);

// The dump file used when objcode_write_file gets no name; empty until set.
void objcode_set_default_file(std::string name);
const std::string& objcode_default_file();

// The system's dump file, which register_new makes the default file again each time.
// Empty until the application (or a tool or test) sets it; then writes without a name fail.
void objcode_set_dump_path(std::string path);
const std::string& objcode_dump_path();

// Writes the recorded bytes to name (nullptr: the default file). 0 ok, 1 not recording,
// -1 when the file cannot be opened or not every byte was written. A regular file (or a
// new one) is replaced in one rename, so name never holds half a trace and a failed write
// leaves the previous file; other files (devices, symbolic links) are written in place.
int objcode_write_file(const char* name = nullptr);

// Bytes kept in memory before spilling (default OBJCODE_MEMORY_LIMIT); 0 never spills.
// For tests and benchmarks; applies from the next record on.
void objcode_set_memory_limit(int64_t bytes);

// Recorder state, for the disassembler's tests and the benchmarks.
bool objcode_active();
int64_t objcode_position();
int64_t objcode_pages();
// The first objcode_position() bytes recorded; nullptr when not recording. A spilled
// recording is mapped from its file; the view lasts until the next call or stop.
const uint8_t* objcode_data();
