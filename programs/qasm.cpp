// programs/qasm.cpp: export of a dump file's recorded circuit as OpenQASM 3.
#include "programs/qasm.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <numbers>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <unistd.h>

#include "engine/error.h"
#include "engine/objcode.h"
#include "platform/diag.h"
#include "programs/disasm.h"

namespace {

// The engine's basis values have 64 bits; qubit q is bit q mod 64.
constexpr int POSITIONS = 64;
constexpr size_t READ_CHUNK_BYTES = size_t{1} << 20;
constexpr size_t LONGEST_RECORD_BYTES = 17;
// Wider swaps lose bits in the engine: the fields no longer fit in 64 bits side by side.
constexpr int64_t WIDEST_SWAP = 32;

// Reads a dump sequentially through one buffer, so that a file of gigabytes costs a megabyte.
class ChunkReader {
public:
    explicit ChunkReader(FILE* file) : file_(file), buffer_(READ_CHUNK_BYTES) {}

    // Makes at least count bytes available at data(); false when the file ends first.
    bool want(size_t count)
    {
        if (end_ - at_ >= count)
            return true;
        std::memmove(buffer_.data(), buffer_.data() + at_, end_ - at_);
        end_ -= at_;
        at_ = 0;
        while (end_ < count) {
            const size_t got = std::fread(buffer_.data() + end_, 1, buffer_.size() - end_, file_);
            if (got == 0)
                return false;
            end_ += got;
        }
        return true;
    }

    const uint8_t* data() const { return buffer_.data() + at_; }
    void skip(size_t count) { at_ += count; }

private:
    FILE* file_;
    std::vector<uint8_t> buffer_;
    size_t at_ = 0;
    size_t end_ = 0;
};

// The angle of the conditional phase record, computed exactly as the gate computes it.
float cond_phase_angle(int64_t control, int64_t target)
{
    const double power = static_cast<double>(uint64_t{1} << ((control - target) & 63));
    return static_cast<float>(std::numbers::pi / power);
}

int position_of(int64_t qubit)
{
    return static_cast<int>(qubit & 63);
}

void append_number(std::string& out, int64_t value)
{
    char text[24];
    const auto end = std::to_chars(text, text + sizeof text, value).ptr;
    out.append(text, end);
}

class Exporter {
public:
    Exporter() { reset_wires(); }

    // Converts every record; false after one diagnostic.
    bool convert(ChunkReader& in);

    // The whole program: header comment, version, declarations, then the body.
    std::string program(const std::string& name) const;

private:
    bool record(uint8_t op, const uint8_t* bytes, ChunkReader& in);
    bool refuse(uint8_t op, const char* why) const;
    void reset_wires();
    int64_t wire(int position);
    void qubit(int position);
    void angle(float value);
    void gate(std::string_view name, std::initializer_list<int> positions,
              std::optional<float> value = std::nullopt);
    void cond_phase(float value, int a, int b);
    void measure(int position);
    void swap_leads(int64_t width, int64_t records);

    std::string body_;
    std::array<int64_t, 256> counts_{};
    int64_t record_index_ = 0;
    int64_t swap_calls_ = 0;
    int64_t bits_ = 0;
    bool has_register_ = false;
    // The wire each engine position stands for: a removing measurement moves the positions
    // above it down by one, and the top position then holds a fresh wire in |0>.
    std::array<int64_t, POSITIONS> wires_{};
    int64_t next_fresh_wire_ = POSITIONS;
    std::vector<bool> touched_;
};

bool Exporter::refuse(uint8_t op, const char* why) const
{
    diag_line("qucode", "record " + std::to_string(record_index_) + " (" + opcode_name(op) + ") " +
                            why + ".");
    return false;
}

void Exporter::reset_wires()
{
    for (int p = 0; p < POSITIONS; ++p)
        wires_[p] = p;
    next_fresh_wire_ = POSITIONS;
}

int64_t Exporter::wire(int position)
{
    const int64_t w = wires_[position];
    if (static_cast<size_t>(w) >= touched_.size())
        touched_.resize(static_cast<size_t>(w) + 1, false);
    touched_[static_cast<size_t>(w)] = true;
    return w;
}

void Exporter::qubit(int position)
{
    body_ += "q[";
    append_number(body_, wire(position));
    body_ += ']';
}

// The single-precision angle the engine uses, written so that it reads back as that value.
void Exporter::angle(float value)
{
    char text[32];
    const auto end = std::to_chars(text, text + sizeof text, static_cast<double>(value)).ptr;
    body_.append(text, end);
}

// One statement: the gate, its angle if it has one, then its qubits.
void Exporter::gate(std::string_view name, std::initializer_list<int> positions,
                    std::optional<float> value)
{
    body_ += name;
    if (value) {
        body_ += '(';
        angle(*value);
        body_ += ')';
    }
    const char* separator = " ";
    for (int position : positions) {
        body_ += separator;
        qubit(position);
        separator = ", ";
    }
    body_ += ";\n";
}

// A phase where both qubits are set; on one qubit named twice, the phase of that qubit alone.
void Exporter::cond_phase(float value, int a, int b)
{
    if (a == b)
        gate("p", {a}, value);
    else
        gate("cp", {a, b}, value);
}

void Exporter::measure(int position)
{
    body_ += "c[";
    append_number(body_, bits_++);
    body_ += "] = measure ";
    qubit(position);
    body_ += ";\n";
}

// One call exchanges the fields 0..width-1 and width..2*width-1 of every basis value.
void Exporter::swap_leads(int64_t width, int64_t records)
{
    ++swap_calls_;
    body_ += "// swap leads ";
    append_number(body_, width);
    body_ += " (";
    append_number(body_, records);
    body_ += records == 1 ? " record)\n" : " records)\n";
    for (int i = 0; i < width; ++i)
        gate("swap", {i, static_cast<int>(width) + i});
}

bool Exporter::convert(ChunkReader& in)
{
    // Zeroed, so that reading a short record's absent operands is harmless.
    uint8_t bytes[LONGEST_RECORD_BYTES] = {};
    while (in.want(1)) {
        const uint8_t op = in.data()[0];
        const int64_t length = objcode_record_length(op);
        if (length == 0) {
            // Worded and placed as the replay reports it.
            std::fflush(stdout);
            std::fprintf(stderr, "%li: Unknown opcode 0x(%X)!\n", static_cast<long>(record_index_),
                         static_cast<unsigned>(op));
            std::fflush(stderr);
            return false;
        }
        if (!in.want(static_cast<size_t>(length))) {
            quantum_error(QUANTUM_FAILURE);
            return false;
        }
        std::memcpy(bytes, in.data(), static_cast<size_t>(length));
        in.skip(static_cast<size_t>(length));
        ++counts_[op];
        if (!record(op, bytes, in))
            return false;
        ++record_index_;
    }
    return true;
}

bool Exporter::record(uint8_t op, const uint8_t* bytes, ChunkReader& in)
{
    // The operands as the record layout gives them; the angle narrowed as the replay does.
    const RecordOperands operands = record_operands(bytes);
    // The replay's register before its first init record has no entries: gates and
    // measurements change nothing there.
    if (!has_register_ && op != OBJCODE_INIT && op != OBJCODE_WIDTH && op != OBJCODE_NOP) {
        body_ += "// no register yet: " + opcode_name(op) + "\n";
        return true;
    }
    const int a = position_of(operands.integer[0]);
    const int b = position_of(operands.integer[1]);
    switch (op) {
    case OBJCODE_INIT: {
        const uint64_t value = operands.basis;
        if (has_register_)
            body_ += "reset q;\n";
        has_register_ = true;
        reset_wires();
        body_ += "// init ";
        append_number(body_, static_cast<int64_t>(value));
        body_ += '\n';
        for (int p = 0; p < POSITIONS; ++p)
            if (value >> p & 1)
                gate("x", {p});
        return true;
    }
    case OBJCODE_CNOT:
        if (a == b)
            return refuse(op, "clears its qubit and has no unitary form");
        gate("cx", {a, b});
        return true;
    case OBJCODE_TOFFOLI: {
        const int target = position_of(operands.integer[2]);
        if (target == a || target == b)
            return refuse(op, "clears its qubit and has no unitary form");
        if (a == b)
            gate("cx", {a, target});
        else
            gate("ccx", {a, b, target});
        return true;
    }
    case OBJCODE_SIGMA_X:
    case OBJCODE_SIGMA_Y:
    case OBJCODE_SIGMA_Z:
    case OBJCODE_HADAMARD: {
        static constexpr std::string_view NAMES[] = {"x", "y", "z", "h"};
        gate(NAMES[op - OBJCODE_SIGMA_X], {a});
        return true;
    }
    case OBJCODE_ROT_X:
    case OBJCODE_ROT_Y:
    case OBJCODE_ROT_Z:
    case OBJCODE_PHASE_KICK:
    case OBJCODE_PHASE_SCALE: {
        const float gamma = static_cast<float>(operands.angle);
        if (!std::isfinite(gamma))
            return refuse(op, "has no finite angle");
        if (op == OBJCODE_PHASE_SCALE) {
            // Every amplitude turns by the angle; the target is only recorded.
            gate("gphase", {}, gamma);
            return true;
        }
        static constexpr std::string_view NAMES[] = {"rx", "ry", "rz", "p"};
        gate(NAMES[op - OBJCODE_ROT_X], {a}, gamma);
        return true;
    }
    case OBJCODE_COND_PHASE:
        cond_phase(cond_phase_angle(operands.integer[0], operands.integer[1]), a, b);
        return true;
    case OBJCODE_COND_PHASE_KICK: {
        const float gamma = static_cast<float>(operands.angle);
        if (!std::isfinite(gamma))
            return refuse(op, "has no finite angle");
        cond_phase(gamma, a, b);
        return true;
    }
    case OBJCODE_SWAP_LEADS: {
        const int64_t width = operands.integer[0];
        if (width < 0) {
            // The replay rejects it as a malformed operand.
            quantum_error(QUANTUM_FAILURE);
            return false;
        }
        if (width > WIDEST_SWAP)
            return refuse(op, "loses bits and has no unitary form");
        // A call writes one identical record per stored entry; the whole run is that call.
        int64_t records = 1;
        while (in.want(5) && std::memcmp(in.data(), bytes, 5) == 0) {
            in.skip(5);
            ++records;
        }
        counts_[op] += records - 1;
        record_index_ += records - 1;
        swap_leads(width, records);
        return true;
    }
    case OBJCODE_MEASURE:
        // The engine samples the whole value here and keeps its state.
        body_ += "// measure: every live qubit, the lowest engine qubit first\n";
        for (int p = 0; p < POSITIONS; ++p) {
            const auto w = static_cast<size_t>(wires_[p]);
            if (w < touched_.size() && touched_[w])
                measure(p);
        }
        return true;
    case OBJCODE_MEASURE_QUBIT:
        measure(a);
        // The engine removes the qubit: every position above it moves down by one.
        for (int p = a; p + 1 < POSITIONS; ++p)
            wires_[p] = wires_[p + 1];
        wires_[POSITIONS - 1] = next_fresh_wire_++;
        return true;
    case OBJCODE_MEASURE_QUBIT_PRESERVE:
        measure(a);
        return true;
    case OBJCODE_WIDTH:
        body_ += "// width ";
        append_number(body_, operands.integer[0]);
        body_ += '\n';
        return true;
    default:
        return true;
    }
}

std::string Exporter::program(const std::string& name) const
{
    std::string out;
    int64_t records = 0;
    for (int64_t count : counts_)
        records += count;
    out += "// " + name + ": object code as OpenQASM 3 (qucode qasm)\n// ";
    append_number(out, records);
    out += records == 1 ? " record" : " records";
    const char* separator = ": ";
    for (int op = 0; op < 256; ++op) {
        if (counts_[op] == 0)
            continue;
        out += separator;
        out += opcode_name(static_cast<uint8_t>(op));
        out += ' ';
        append_number(out, counts_[op]);
        if (op == OBJCODE_SWAP_LEADS) {
            out += " in ";
            append_number(out, swap_calls_);
            out += swap_calls_ == 1 ? " call" : " calls";
        }
        separator = ", ";
    }
    out += "\n// q[i] is the engine's qubit i until a measurement removes one; c is filled in "
           "record order.\nOPENQASM 3.0;\ninclude \"stdgates.inc\";\nqubit[";
    // At least one wire, so that an empty dump still declares a valid register.
    append_number(out, std::max<int64_t>(1, static_cast<int64_t>(touched_.size())));
    out += "] q;\n";
    if (bits_ > 0) {
        out += "bit[";
        append_number(out, bits_);
        out += "] c;\n";
    }
    out += body_;
    return out;
}

// Writes all of text to file; false on any shortfall.
bool write_all(FILE* file, const std::string& text)
{
    return std::fwrite(text.data(), 1, text.size(), file) == text.size() && std::fflush(file) == 0;
}

} // namespace

bool qasm_export(const std::string& path, std::string& out)
{
    out.clear();
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) {
        diag_line("qucode", "cannot read " + path + ": " + std::strerror(errno));
        return false;
    }
    if (opcode_name(OBJCODE_INIT).empty())
        initopcodenames();
    ChunkReader in(file);
    Exporter exporter;
    const bool converted = exporter.convert(in);
    const bool read_error = std::ferror(file) != 0;
    std::fclose(file);
    if (read_error) {
        diag_line("qucode", "cannot read " + path + ".");
        return false;
    }
    if (!converted)
        return false;
    out = exporter.program(path);
    return true;
}

int qasm_command(const std::string& path, const std::string& out_path)
{
    // Standard output carries the program alone; every other line goes to standard error.
    DiagSink previous = diag_set_sink(
        [](std::string_view text) { std::fwrite(text.data(), 1, text.size(), stderr); });
    std::string program;
    int status = qasm_export(path, program) ? 0 : 1;
    if (status == 0 && out_path.empty()) {
        if (!write_all(stdout, program)) {
            diag_line("qucode", std::string("cannot write the program: ") + std::strerror(errno));
            status = 1;
        }
    } else if (status == 0) {
        const std::string temporary = out_path + ".tmp" + std::to_string(::getpid());
        FILE* file = std::fopen(temporary.c_str(), "wb");
        bool written = file && write_all(file, program);
        if (file)
            written = std::fclose(file) == 0 && written;
        if (!written || std::rename(temporary.c_str(), out_path.c_str()) != 0) {
            diag_line("qucode", "cannot write " + out_path + ": " + std::strerror(errno));
            std::remove(temporary.c_str());
            status = 1;
        }
    }
    diag_set_sink(std::move(previous));
    return status;
}
