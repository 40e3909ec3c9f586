// engine/replay.cpp: object-code replay.
#include "engine/replay.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "engine/error.h"
#include "engine/gates.h"
#include "engine/measure.h"
#include "engine/objcode.h"

namespace {

// The replay always builds a register of this width, whatever width the file names.
constexpr int64_t REPLAY_WIDTH = 12;

// Reads one dump file sequentially. Every operand is read whole or not at all, so a short
// read can never leave part of a value behind, and nothing is read past the file's end.
class DumpReader {
public:
    explicit DumpReader(FILE* file) : file_(file) {}

    bool at_end() const { return std::feof(file_) != 0; }

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

    // 8 bytes, most significant first.
    bool basis_value(uint64_t& out)
    {
        uint8_t b[8];
        if (std::fread(b, 1, sizeof b, file_) != sizeof b)
            return false;
        out = 0;
        for (uint8_t byte : b)
            out = (out << 8) | byte;
        return true;
    }

    // A double in the machine's own byte order, narrowed to the gates' single precision.
    bool angle(float& out)
    {
        double d;
        static_assert(sizeof d == 8);
        uint8_t b[8];
        if (std::fread(b, 1, sizeof b, file_) != sizeof b)
            return false;
        std::memcpy(&d, b, sizeof d);
        out = static_cast<float>(d);
        return true;
    }

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

// Reads count integers; reports "failure" once when any of them is short.
bool read_integers(DumpReader& in, int64_t* out, int count)
{
    for (int i = 0; i < count; ++i) {
        if (!in.integer(out[i])) {
            quantum_error(QUANTUM_FAILURE);
            return false;
        }
    }
    return true;
}

bool read_angle(DumpReader& in, float& out)
{
    if (in.angle(out))
        return true;
    quantum_error(QUANTUM_FAILURE);
    return false;
}

} // namespace

void quantum_objcode_run(const std::string& name, quantum_reg_struct& reg)
{
    FILE* file = std::fopen(name.c_str(), "rb");
    if (!file) {
        const int reason = errno;
        std::fflush(stdout);
        std::fprintf(stderr, "quantum_objcode_run: Could not open %s: %s\n", name.c_str(),
                     std::strerror(reason));
        std::fflush(stderr);
        return;
    }

    DumpReader in(file);
    int64_t q[3];
    float gamma = 0;
    uint64_t value = 0;
    for (int64_t n = 0; !in.at_end(); ++n) {
        const uint8_t op = in.opcode();
        switch (op) {
        case OBJCODE_INIT:
            if (!in.basis_value(value)) {
                quantum_error(QUANTUM_FAILURE);
                break;
            }
            // The old register belongs to the replay from here on; release it rather than
            // lose it (a default record has nothing to release).
            register_delete(reg);
            reg = register_new(value, REPLAY_WIDTH);
            break;
        case OBJCODE_CNOT:
            if (read_integers(in, q, 2))
                apply_cnot(q[0], q[1], reg);
            break;
        case OBJCODE_COND_PHASE:
            if (read_integers(in, q, 2))
                apply_cond_phase(q[0], q[1], reg);
            break;
        case OBJCODE_TOFFOLI:
            if (read_integers(in, q, 3))
                apply_toffoli(q[0], q[1], q[2], reg);
            break;
        case OBJCODE_SIGMA_X:
            if (read_integers(in, q, 1))
                apply_sigma_x(q[0], reg);
            break;
        case OBJCODE_SIGMA_Y:
            if (read_integers(in, q, 1))
                apply_sigma_y(q[0], reg);
            break;
        case OBJCODE_SIGMA_Z:
            if (read_integers(in, q, 1))
                apply_sigma_z(q[0], reg);
            break;
        case OBJCODE_HADAMARD:
            if (read_integers(in, q, 1))
                apply_hadamard(q[0], reg);
            break;
        case OBJCODE_SWAP_LEADS: {
            if (!read_integers(in, q, 1))
                break;
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
            if (read_integers(in, q, 1))
                measure_qubit(q[0], reg);
            break;
        case OBJCODE_MEASURE_QUBIT_PRESERVE:
            if (read_integers(in, q, 1))
                measure_qubit_preserve(q[0], reg);
            break;
        case OBJCODE_ROT_X:
        case OBJCODE_ROT_Y:
        case OBJCODE_ROT_Z:
        case OBJCODE_PHASE_KICK:
        case OBJCODE_PHASE_SCALE:
            if (!read_integers(in, q, 1) || !read_angle(in, gamma))
                break;
            if (op == OBJCODE_ROT_X)
                apply_rot_x(q[0], gamma, reg);
            else if (op == OBJCODE_ROT_Y)
                apply_rot_y(q[0], gamma, reg);
            else if (op == OBJCODE_ROT_Z)
                apply_rot_z(q[0], gamma, reg);
            else if (op == OBJCODE_PHASE_KICK)
                apply_phase_kick(q[0], gamma, reg);
            else
                apply_phase_scale(q[0], gamma, reg);
            break;
        case OBJCODE_COND_PHASE_KICK:
            if (read_integers(in, q, 2) && read_angle(in, gamma))
                apply_cond_phase_kick(q[0], q[1], gamma, reg);
            break;
        case OBJCODE_MEASURE:
            measure(reg);
            break;
        case OBJCODE_WIDTH:
            // The width record opens every dump, but the following 0x00 record builds the
            // register with the fixed replay width all the same: read the operand and go on.
            read_integers(in, q, 1);
            break;
        case OBJCODE_NOP:
            break;
        default:
            std::fflush(stdout);
            std::fprintf(stderr, "%li: Unknown opcode 0x(%X)!\n", static_cast<long>(n),
                         static_cast<unsigned>(op));
            std::fflush(stderr);
            std::fclose(file);
            return;
        }
    }
    std::fclose(file);
}
