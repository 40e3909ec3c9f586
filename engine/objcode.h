// engine/objcode.h: the recorder of gates and measurements as binary object code.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

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

// The record layout, the one description the recorder, the replay, the disassembler and the
// exporters read. Operands follow the opcode without padding: a qubit index or width as 4
// bytes, most significant first; a basis value as 8 bytes, most significant first; an angle
// as the 8 bytes of a double in the machine's own order.
enum class Operand : uint8_t { Int32, Int64, Real };

constexpr int64_t operand_bytes(Operand kind)
{
    return kind == Operand::Int32 ? 4 : 8;
}

struct RecordLayout {
    uint8_t opcode;
    std::string_view mnemonic; // as the disassembler lists it
    int count;                 // operands
    std::array<Operand, 3> operands;
};

inline constexpr RecordLayout RECORD_LAYOUTS[] = {
    {OBJCODE_INIT, "init", 1, {Operand::Int64}},
    {OBJCODE_CNOT, "cnot", 2, {Operand::Int32, Operand::Int32}},
    {OBJCODE_TOFFOLI, "toffoli", 3, {Operand::Int32, Operand::Int32, Operand::Int32}},
    {OBJCODE_SIGMA_X, "sigma_x", 1, {Operand::Int32}},
    {OBJCODE_SIGMA_Y, "sigma_y", 1, {Operand::Int32}},
    {OBJCODE_SIGMA_Z, "sigma_z", 1, {Operand::Int32}},
    {OBJCODE_HADAMARD, "hadamard", 1, {Operand::Int32}},
    {OBJCODE_ROT_X, "rotate_x", 2, {Operand::Int32, Operand::Real}},
    {OBJCODE_ROT_Y, "rotate_y", 2, {Operand::Int32, Operand::Real}},
    {OBJCODE_ROT_Z, "rotate_z", 2, {Operand::Int32, Operand::Real}},
    {OBJCODE_PHASE_KICK, "phase_kick", 2, {Operand::Int32, Operand::Real}},
    {OBJCODE_PHASE_SCALE, "phase_scale", 2, {Operand::Int32, Operand::Real}},
    {OBJCODE_COND_PHASE, "cond_phase", 2, {Operand::Int32, Operand::Int32}},
    {OBJCODE_COND_PHASE_KICK, "cphase_kick", 3, {Operand::Int32, Operand::Int32, Operand::Real}},
    {OBJCODE_SWAP_LEADS, "swapleads", 1, {Operand::Int32}},
    {OBJCODE_MEASURE, "measure", 0, {}},
    {OBJCODE_MEASURE_QUBIT, "measure_bit", 1, {Operand::Int32}},
    {OBJCODE_MEASURE_QUBIT_PRESERVE, "measure_bit_p", 1, {Operand::Int32}},
    {OBJCODE_WIDTH, "qbits", 1, {Operand::Int32}},
    {OBJCODE_NOP, "nop", 0, {}},
};

// The layout of opcode; nullptr for an invalid one.
const RecordLayout* record_layout(uint8_t opcode);

// One operand handed to objcode_record, of the type its kind takes: qubit indices and widths
// as int, basis values as uint64_t, angles as double. Other types do not compile.
struct ObjcodeOperand {
    Operand kind;
    uint64_t bits = 0;
    double angle = 0;
    ObjcodeOperand(int value) : kind(Operand::Int32), bits(static_cast<uint32_t>(value)) {}
    ObjcodeOperand(uint64_t value) : kind(Operand::Int64), bits(value) {}
    ObjcodeOperand(double value) : kind(Operand::Real), angle(value) {}
    template <typename T> ObjcodeOperand(T) = delete;
};

// The operands of one record, read as its layout says: the integers in order, the basis
// value and the angle (zero where the layout has none).
struct RecordOperands {
    int64_t integer[3] = {};
    uint64_t basis = 0;
    double angle = 0;
};

// Decodes the operands of a whole record (record_length bytes from the opcode on); all zero
// for an invalid opcode.
RecordOperands record_operands(const uint8_t* record);

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

// Appends count copies of one record with the given operands, in layout order (count 1: one
// record); 1 while recording (even for an invalid opcode, reported), 0 when off. Operands
// missing from the layout's count are written as zeros. Bulk copies are streamed: one
// swap-leads record per stored state adds up to hundreds of MB.
int objcode_append(int64_t count, uint8_t opcode, const ObjcodeOperand* operands,
                   size_t operand_count);

// Appends one record; 1 while recording (even for an invalid opcode), 0 when off.
template <typename... Operands> int objcode_record(uint8_t opcode, Operands... operands)
{
    const ObjcodeOperand values[] = {ObjcodeOperand(operands)..., ObjcodeOperand(0)};
    return objcode_append(1, opcode, values, sizeof...(Operands));
}

// Appends count copies of one record, the same bytes as count calls of objcode_record.
template <typename... Operands>
int objcode_record_repeat(int64_t count, uint8_t opcode, Operands... operands)
{
    const ObjcodeOperand values[] = {ObjcodeOperand(operands)..., ObjcodeOperand(0)};
    return objcode_append(count, opcode, values, sizeof...(Operands));
}

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
