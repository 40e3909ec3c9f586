// engine/replay.cpp: object-code replay.
#include "engine/replay.h"

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include <unistd.h>

#include "engine/error.h"
#include "engine/gates.h"
#include "engine/measure.h"
#include "engine/objcode.h"

namespace {

// The replay always builds a register of this width, whatever width the file names.
constexpr int64_t REPLAY_WIDTH = 12;

// Peak bytes an entry costs while a gate grows a sparse register: basis value, amplitude,
// hash slots and the gate's scratch (2^24 entries after Hadamards peaked at 28 bytes each).
constexpr int64_t BYTES_PER_STATE = 32;

// Records one look-ahead reads at most, so that long dumps stay linear to replay.
constexpr int64_t LOOKAHEAD_RECORDS = 65536;

// Reads one dump file sequentially. Every operand is read whole or not at all, so a short
// read can never leave part of a value behind, and nothing is read past the file's end.
class DumpReader {
public:
    explicit DumpReader(FILE* file) : file_(file) {}

    // A read error ends the file too: a folder opens, but every read of it fails.
    bool at_end() const { return std::feof(file_) != 0 || std::ferror(file_) != 0; }

    // The next byte; past the end this is 0xFF, the no-operation code, so a file ends cleanly.
    uint8_t opcode() { return static_cast<uint8_t>(std::fgetc(file_)); }

    // 4 bytes, most significant first, as the recorder writes qubit indices and widths.
    bool integer(int64_t& out)
    {
        uint8_t b[4];
        if (std::fread(b, 1, sizeof b, file_) != sizeof b)
            return false;
        const uint32_t u = (uint32_t{b[0]} << 24) | (uint32_t{b[1]} << 16) |
                           (uint32_t{b[2]} << 8) | uint32_t{b[3]};
        out = static_cast<int32_t>(u);
        return true;
    }

    // n bytes; false when the file ends inside them.
    bool bytes(uint8_t* out, size_t n) { return std::fread(out, 1, n, file_) == n; }

    // Consumes the next record if it is exactly a swap-leads record of width; otherwise
    // leaves the position where it was. A file that cannot seek never matches.
    bool next_is_swap_leads(int64_t width)
    {
        const long at = std::ftell(file_);
        if (at < 0)
            return false;
        int64_t w = 0;
        if (std::fgetc(file_) == OBJCODE_SWAP_LEADS && integer(w) && w == width)
            return true;
        std::clearerr(file_);
        std::fseek(file_, at, SEEK_SET);
        return false;
    }

private:
    FILE* file_;
};

// One record's operands as the recorder writes them.
struct Record {
    uint8_t op = OBJCODE_NOP;
    int64_t q[3] = {};
    float gamma = 0;
    uint64_t value = 0;
};

// Reads the operands of a known opcode as the record layout gives them; false when the file
// ends inside them.
bool read_operands(DumpReader& in, Record& r)
{
    uint8_t record[32] = {r.op};
    const int64_t length = objcode_record_length(r.op);
    if (length < 1 || !in.bytes(record + 1, static_cast<size_t>(length - 1)))
        return false;
    const RecordOperands operands = record_operands(record);
    for (int k = 0; k < 3; ++k)
        r.q[k] = operands.integer[k];
    r.value = operands.basis;
    r.gamma = static_cast<float>(operands.angle);
    return true;
}

uint64_t qubit_mask(int64_t q)
{
    return uint64_t{1} << (q & 63);
}

// Gates that may give an entry a partner it did not have: the only ones that grow a register.
bool splits(uint8_t op)
{
    return op == OBJCODE_HADAMARD || op == OBJCODE_ROT_X || op == OBJCODE_ROT_Y;
}

// Gates that keep the number of entries: permutations and phases.
bool keeps_count(uint8_t op)
{
    switch (op) {
    case OBJCODE_CNOT:
    case OBJCODE_TOFFOLI:
    case OBJCODE_SIGMA_X:
    case OBJCODE_SIGMA_Y:
    case OBJCODE_SIGMA_Z:
    case OBJCODE_ROT_Z:
    case OBJCODE_PHASE_KICK:
    case OBJCODE_PHASE_SCALE:
    case OBJCODE_COND_PHASE:
    case OBJCODE_COND_PHASE_KICK:
    case OBJCODE_WIDTH:
    case OBJCODE_NOP:
        return true;
    default:
        return false;
    }
}

// The smaller share of its probability a splitting gate leaves an amplitude, with the sine
// the gate itself computes: 0 when it cannot create an entry, NaN for an angle that is none.
double split_share(const Record& r)
{
    if (r.op == OBJCODE_HADAMARD)
        return 0.5;
    const float half = r.gamma * 0.5f;
    const float c = static_cast<float>(std::cos(static_cast<double>(half)));
    const float s = static_cast<float>(std::sin(static_cast<double>(half)));
    if (s == 0)
        return 0;
    return std::fmin(static_cast<double>(c) * c, static_cast<double>(s) * s);
}

// Where a replay will certainly pass the budget.
struct Overrun {
    int64_t record = -1; // -1: none certain
    Record at;
    int64_t states = 0;
};

// Looks ahead from the splitting record r (number n, just read) for a certain overrun.
// Certain only while each splitting gate acts on a bit that every entry shares, which
// exactly doubles the entries, and no amplitude comes near the purge limit; the first
// record that spoils either ends the look-ahead (as does its length limit), and the file is
// put back where it was.
// This refuses 34 Hadamards at once, not after minutes of work and gigabytes.
Overrun predict_overrun(FILE* file, int64_t n, const Record& r, const quantum_reg_struct& reg,
                        int64_t max_states)
{
    Overrun out;
    const long start = std::ftell(file);
    if (start < 0 || reg.size <= 0 || !reg.state || !reg.amplitude)
        return out;
    // Most splits in real dumps act on a bit the entries already differ in: leave early.
    const uint64_t first = reg.state[0] & qubit_mask(r.q[0]);
    for (int64_t i = 1; i < reg.size; i++)
        if ((reg.state[i] & qubit_mask(r.q[0])) != first)
            return out;
    uint64_t all_and = ~uint64_t{0}, all_or = 0;
    double prob = 1;
    for (int64_t i = 0; i < reg.size; i++) {
        all_and &= reg.state[i];
        all_or |= reg.state[i];
        prob = std::fmin(prob, static_cast<double>(quantum_prob(reg.amplitude[i])));
    }
    uint64_t shared = ~(all_and ^ all_or);
    // Twice the purge limit, so single-precision rounding cannot decide.
    const double keep = 2e-6 / static_cast<double>(uint64_t{1} << (reg.width & 63));
    int64_t size = reg.size;

    DumpReader in(file);
    Record next = r;
    for (int64_t k = n; k < n + LOOKAHEAD_RECORDS; ++k) {
        if (splits(next.op) && split_share(next) != 0) {
            prob *= split_share(next);
            if (!(shared & qubit_mask(next.q[0])) || !(prob >= keep))
                break;
            shared &= ~qubit_mask(next.q[0]);
            size *= 2;
            if (size > max_states) {
                out = {k, next, size};
                break;
            }
        } else if (next.op == OBJCODE_CNOT) {
            if (!(shared & qubit_mask(next.q[0])))
                shared &= ~qubit_mask(next.q[1]);
        } else if (next.op == OBJCODE_TOFFOLI) {
            if (~shared & (qubit_mask(next.q[0]) | qubit_mask(next.q[1])))
                shared &= ~qubit_mask(next.q[2]);
        } else if (!keeps_count(next.op) && !splits(next.op)) {
            break;
        }
        next = Record{};
        next.op = in.opcode();
        if (in.at_end() || objcode_record_length(next.op) == 0 || !read_operands(in, next))
            break;
    }
    std::clearerr(file);
    std::fseek(file, start, SEEK_SET);
    return out;
}

// Entries the splitting record r leaves in reg: exact, counted only near the budget.
int64_t size_after_split(const Record& r, quantum_reg_struct& reg, int64_t max_states)
{
    if (reg.size <= max_states / 2 || !reg.state || reg.hashw == 0 || split_share(r) == 0)
        return reg.size;
    hash_rebuild(reg);
    const uint64_t bit = qubit_mask(r.q[0]);
    int64_t size = reg.size;
    for (int64_t i = 0; i < reg.size; i++)
        if (state_lookup(reg.state[i] ^ bit, reg) < 0)
            size++;
    return size;
}

void report_overrun(int64_t n, const Record& r, int64_t states, int64_t max_states)
{
    std::fflush(stdout);
    std::fprintf(stderr,
                 "%li: Record 0x%02X on qubit %li would grow the register to %lli states, past "
                 "the budget of %lli; replay stopped.\n",
                 static_cast<long>(n), static_cast<unsigned>(r.op), static_cast<long>(r.q[0]),
                 static_cast<long long>(states), static_cast<long long>(max_states));
    std::fflush(stderr);
}

} // namespace

int64_t replay_default_state_budget()
{
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long page_bytes = sysconf(_SC_PAGESIZE);
    if (pages <= 0 || page_bytes <= 0)
        return int64_t{1} << 24;
    return static_cast<int64_t>(pages) / 4 * page_bytes / BYTES_PER_STATE;
}

bool quantum_objcode_run(const std::string& name, quantum_reg_struct& reg, int64_t max_states)
{
    FILE* file = std::fopen(name.c_str(), "rb");
    if (!file) {
        const int reason = errno;
        std::fflush(stdout);
        std::fprintf(stderr, "quantum_objcode_run: Could not open %s: %s\n", name.c_str(),
                     std::strerror(reason));
        std::fflush(stderr);
        return true;
    }
    const bool within = quantum_objcode_run_stream(file, reg, max_states);
    if (std::ferror(file)) {
        const int reason = errno;
        std::fflush(stdout);
        std::fprintf(stderr, "quantum_objcode_run: Could not read %s: %s\n", name.c_str(),
                     std::strerror(reason));
        std::fflush(stderr);
    }
    std::fclose(file);
    return within;
}

bool quantum_objcode_run_stream(FILE* file, quantum_reg_struct& reg, int64_t max_states)
{
    DumpReader in(file);
    for (int64_t n = 0; !in.at_end(); ++n) {
        Record r;
        r.op = in.opcode();
        if (objcode_record_length(r.op) == 0) {
            std::fflush(stdout);
            std::fprintf(stderr, "%li: Unknown opcode 0x(%X)!\n", static_cast<long>(n),
                         static_cast<unsigned>(r.op));
            std::fflush(stderr);
            return true;
        }
        // A record cut short by the end of the file is reported once and skipped.
        if (!read_operands(in, r)) {
            quantum_error(QUANTUM_FAILURE);
            continue;
        }
        if (splits(r.op)) {
            Overrun ahead = predict_overrun(file, n, r, reg, max_states);
            if (ahead.record < 0) {
                const int64_t size = size_after_split(r, reg, max_states);
                if (size > max_states)
                    ahead = {n, r, size};
            }
            if (ahead.record >= 0) {
                report_overrun(ahead.record, ahead.at, ahead.states, max_states);
                return false;
            }
        }
        const int64_t* q = r.q;
        switch (r.op) {
        case OBJCODE_INIT:
            // The old register belongs to the replay from here on; release it rather than
            // lose it (a default record has nothing to release).
            register_delete(reg);
            reg = register_new(r.value, REPLAY_WIDTH);
            break;
        case OBJCODE_CNOT:
            apply_cnot(q[0], q[1], reg);
            break;
        case OBJCODE_COND_PHASE:
            apply_cond_phase(q[0], q[1], reg);
            break;
        case OBJCODE_TOFFOLI:
            apply_toffoli(q[0], q[1], q[2], reg);
            break;
        case OBJCODE_SIGMA_X:
            apply_sigma_x(q[0], reg);
            break;
        case OBJCODE_SIGMA_Y:
            apply_sigma_y(q[0], reg);
            break;
        case OBJCODE_SIGMA_Z:
            apply_sigma_z(q[0], reg);
            break;
        case OBJCODE_HADAMARD:
            apply_hadamard(q[0], reg);
            break;
        case OBJCODE_SWAP_LEADS: {
            // The recorder never writes a negative width; such a record is malformed.
            if (q[0] < 0) {
                quantum_error(QUANTUM_FAILURE);
                break;
            }
            // One swap-leads call records one identical record per stored entry. Replaying
            // each record as a call would swap that many times, so the records the call
            // itself wrote (size - 1 more, the size being unchanged by the swap) are taken
            // as part of it.
            const int64_t records = reg.size;
            swap_leads(q[0], reg);
            for (int64_t k = 1; k < records && in.next_is_swap_leads(q[0]); ++k)
                ++n;
            break;
        }
        case OBJCODE_MEASURE_QUBIT:
            measure_qubit(q[0], reg);
            break;
        case OBJCODE_MEASURE_QUBIT_PRESERVE:
            measure_qubit_preserve(q[0], reg);
            break;
        case OBJCODE_ROT_X:
            apply_rot_x(q[0], r.gamma, reg);
            break;
        case OBJCODE_ROT_Y:
            apply_rot_y(q[0], r.gamma, reg);
            break;
        case OBJCODE_ROT_Z:
            apply_rot_z(q[0], r.gamma, reg);
            break;
        case OBJCODE_PHASE_KICK:
            apply_phase_kick(q[0], r.gamma, reg);
            break;
        case OBJCODE_PHASE_SCALE:
            apply_phase_scale(q[0], r.gamma, reg);
            break;
        case OBJCODE_COND_PHASE_KICK:
            apply_cond_phase_kick(q[0], q[1], r.gamma, reg);
            break;
        case OBJCODE_MEASURE:
            measure(reg);
            break;
        default:
            // The width record opens every dump, but the following 0x00 record builds the
            // register with the fixed replay width all the same; no-operations do nothing.
            break;
        }
    }
    return true;
}
