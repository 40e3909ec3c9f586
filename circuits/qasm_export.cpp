// circuits/qasm_export.cpp: export of a dump file's recorded circuit as OpenQASM 3.
#include "circuits/qasm_export.h"

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
#include "engine/register.h"
#include "engine/replay.h"
#include "platform/diag.h"
#include "circuits/lister.h"

namespace {

// The engine's basis values have 64 bits; qubit q is bit q mod 64.
constexpr int POSITIONS = 64;
constexpr size_t READ_CHUNK_BYTES = size_t{1} << 20;
constexpr size_t LONGEST_RECORD_BYTES = 17;
// Wider swaps lose bits in the engine: the fields no longer fit in 64 bits side by side.
constexpr int64_t WIDEST_SWAP = 32;
// The width of every register the replay builds, whatever the dump names; the program
// carries it in a pragma, so that run from the program the register prints and purges alike.
constexpr int64_t REPLAY_WIDTH = 12;
// Bytes of records noted for the entry count before they are replayed anyway, to bound the
// memory: five million gates (the S 667 dump needs about a megabyte).
constexpr size_t MOST_NOTED_BYTES = size_t{1} << 26;

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

// The number of entries the replay's register holds at a record. A swap-leads call writes one
// record per entry and the replay takes that many records as one call, so this number
// decides how many calls a run of equal records is. The records are kept as they stand and
// replayed, by the replay itself, into a register of our own the first time a count is
// asked for after one that may change it (an init, a gate that splits entries, a
// measurement); permutations and phases keep it. A measurement draws as the replay draws
// (from rand, unseeded here), so after one the count is that of one replay.
class EntryCount {
public:
    EntryCount() = default;
    EntryCount(const EntryCount&) = delete;
    EntryCount& operator=(const EntryCount&) = delete;
    ~EntryCount() { register_delete(reg_); }

    // One record as the dump holds it.
    void note(const uint8_t* record, size_t length)
    {
        const uint8_t op = record[0];
        const bool splits = op == OBJCODE_HADAMARD || op == OBJCODE_ROT_X || op == OBJCODE_ROT_Y;
        if (splits)
            splits_.push_back(pending_.size());
        pending_.insert(pending_.end(), record, record + length);
        changed_ = changed_ || splits || op == OBJCODE_INIT || op == OBJCODE_MEASURE_QUBIT ||
                   op == OBJCODE_MEASURE_QUBIT_PRESERVE;
        if (pending_.size() >= MOST_NOTED_BYTES)
            apply_pending();
    }

    // calls swap-leads calls: one record each, a no-operation after it ending the call.
    void note_swaps(const uint8_t* record, int64_t calls)
    {
        for (int64_t k = 0; k < calls; ++k) {
            pending_.insert(pending_.end(), record, record + 5);
            pending_.push_back(OBJCODE_NOP);
        }
        if (pending_.size() >= MOST_NOTED_BYTES)
            apply_pending();
    }

    // The entries now; false when the register would outgrow the replay's default budget.
    bool entries(int64_t& count)
    {
        if (changed_)
            apply_pending();
        if (past_budget_)
            return false;
        changed_ = false;
        count = reg_.size;
        return true;
    }

private:
    // Replays the pending records, giving the register a wider table before each split.
    void apply_pending()
    {
        const int64_t budget = replay_default_state_budget();
        size_t from = 0;
        bool within = true;
        for (size_t split : splits_) {
            replay(from, split);
            if (reg_.size > budget / 2) {
                within = false;
                break;
            }
            widen_table();
            from = split;
        }
        if (within)
            replay(from, pending_.size());
        // Past the budget the register stops; no count after that is the replay's.
        past_budget_ = past_budget_ || !within;
        pending_.clear();
        splits_.clear();
    }

    void replay(size_t from, size_t to)
    {
        if (from == to)
            return;
        FILE* file = fmemopen(pending_.data() + from, to - from, "rb");
        if (!file)
            return;
        // The budget is checked above, before every split, so the replay is given none.
        quantum_objcode_run_stream(file, reg_, INT64_MAX);
        std::fclose(file);
        // An init restarts the recording, which nobody writes here.
        objcode_stop();
    }

    // The replay's register keeps the table of its fixed width, which a dump of more qubits
    // overfills (the engine then warns at every gate). A wider table changes no entry and
    // no amplitude, so this register gets one before it needs it.
    void widen_table()
    {
        if (reg_.hashw == 0 || (reg_.hashw & 31) >= 30 || 4 * reg_.size < hash_length(reg_.hashw))
            return;
        quantum_reg_struct wider = reg_;
        wider.hashw = reg_.hashw + 1;
        quantum_reg_struct copy;
        register_copy(wider, copy);
        register_delete(reg_);
        reg_ = copy;
    }

    std::vector<uint8_t> pending_;
    std::vector<size_t> splits_; // where a splitting record starts in pending_
    bool changed_ = false;
    bool past_budget_ = false;
    quantum_reg_struct reg_;
};

// The statements between two measurements, and the wires measured after them: one wire for
// a measurement of one qubit, every live wire for one of the whole register. A whole-register
// measurement leaves the engine's state as it was; if gates (or other measurements) follow
// it on the same register, a collapse would change what they do, so it becomes a comment.
struct Segment {
    std::string text;
    std::vector<int64_t> wires;
    bool whole = false;
    bool followed = false;
};

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
    void measure(std::vector<int64_t> wires, bool whole);
    void swap_leads(int64_t width, int64_t records, int64_t calls);

    // The statements since the last measurement; the finished ones before it.
    std::string body_;
    std::vector<Segment> segments_;
    // Whole-register measurements of the current register that nothing has followed yet.
    std::vector<size_t> open_whole_;
    EntryCount entries_;
    std::array<int64_t, 256> counts_{};
    int64_t record_index_ = 0;
    int64_t swap_calls_ = 0;
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

// Ends the current segment with these wires measured; their bits are numbered at the end,
// when it is known which whole-register measurements stay measurements.
void Exporter::measure(std::vector<int64_t> wires, bool whole)
{
    segments_.push_back({std::move(body_), std::move(wires), whole, false});
    body_.clear();
    if (whole)
        open_whole_.push_back(segments_.size() - 1);
}

// One call exchanges the fields 0..width-1 and width..2*width-1 of every basis value.
void Exporter::swap_leads(int64_t width, int64_t records, int64_t calls)
{
    swap_calls_ += calls;
    body_ += "// swap leads ";
    append_number(body_, width);
    body_ += " (";
    append_number(body_, records);
    body_ += records == 1 ? " record" : " records";
    if (calls > 1) {
        body_ += ", ";
        append_number(body_, calls);
        body_ += " calls";
    }
    body_ += ")\n";
    for (int64_t call = 0; call < calls; ++call)
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
    if (op != OBJCODE_INIT && op != OBJCODE_WIDTH && op != OBJCODE_NOP) {
        // Something acts on the register after its whole-register measurements.
        for (size_t i : open_whole_)
            segments_[i].followed = true;
        open_whole_.clear();
    }
    if (op != OBJCODE_SWAP_LEADS && op != OBJCODE_WIDTH && op != OBJCODE_NOP)
        entries_.note(bytes, static_cast<size_t>(objcode_record_length(op)));
    switch (op) {
    case OBJCODE_INIT: {
        const uint64_t value = operands.basis;
        // The measurements of the register before stay: nothing acts on it any more.
        open_whole_.clear();
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
        // A call writes one identical record per stored entry, and the replay takes as many
        // records as the register has entries as one call: a longer run is several calls.
        int64_t records = 1;
        while (in.want(5) && std::memcmp(in.data(), bytes, 5) == 0) {
            in.skip(5);
            ++records;
        }
        int64_t entries = 0;
        if (!entries_.entries(entries))
            return refuse(op, "needs the entry count of a register past the replay's budget");
        const int64_t calls = entries <= 1 ? records : (records + entries - 1) / entries;
        entries_.note_swaps(bytes, calls);
        counts_[op] += records - 1;
        record_index_ += records - 1;
        swap_leads(width, records, calls);
        return true;
    }
    case OBJCODE_MEASURE: {
        std::vector<int64_t> live;
        for (int p = 0; p < POSITIONS; ++p) {
            const auto w = static_cast<size_t>(wires_[p]);
            if (w < touched_.size() && touched_[w])
                live.push_back(wires_[p]);
        }
        measure(std::move(live), true);
        return true;
    }
    case OBJCODE_MEASURE_QUBIT:
        measure({wire(a)}, false);
        // The engine removes the qubit: every position above it moves down by one.
        for (int p = a; p + 1 < POSITIONS; ++p)
            wires_[p] = wires_[p + 1];
        wires_[POSITIONS - 1] = next_fresh_wire_++;
        return true;
    case OBJCODE_MEASURE_QUBIT_PRESERVE:
        measure({wire(a)}, false);
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
           "record order.\nOPENQASM 3.0;\npragma qucode width ";
    append_number(out, REPLAY_WIDTH);
    out += "\ninclude \"stdgates.inc\";\nqubit[";
    // At least one wire, so that an empty dump still declares a valid register.
    append_number(out, std::max<int64_t>(1, static_cast<int64_t>(touched_.size())));
    out += "] q;\n";
    int64_t bits = 0;
    for (const Segment& segment : segments_)
        if (!segment.followed)
            bits += static_cast<int64_t>(segment.wires.size());
    if (bits > 0) {
        out += "bit[";
        append_number(out, bits);
        out += "] c;\n";
    }
    int64_t bit = 0;
    for (const Segment& segment : segments_) {
        out += segment.text;
        if (segment.whole && segment.followed) {
            out += "// measure: the engine reads the whole register here and leaves it as it "
                   "is; gates follow, so it is no collapse\n";
            continue;
        }
        if (segment.whole)
            out += "// measure: every live qubit, the lowest engine qubit first\n";
        for (int64_t w : segment.wires) {
            out += "c[";
            append_number(out, bit++);
            out += "] = measure q[";
            append_number(out, w);
            out += "];\n";
        }
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
