// engine/register.cpp: register life cycle, the basis-state hash table, the purge of
// negligible amplitudes and the register printouts.
#include "engine/register.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "engine/by_value.h"
#include "engine/entries.h"
#include "engine/error.h"
#include "engine/objcode.h"

namespace {

constexpr int64_t SLOT_BYTES = 8;

// A table of hash_length(hashw) zeroed slots, or nullptr (reported) when the length is
// not usable: hashw mod 32 = 31 gives a negative 32-bit length.
int64_t* new_table(int64_t hashw)
{
    // hashw 0 (a width of -2) means no table at all; one made anyway could never be freed.
    if (hashw == 0)
        return nullptr;
    const int32_t slots = hash_length(hashw);
    int64_t* table = nullptr;
    if (slots > 0)
        table = static_cast<int64_t*>(std::calloc(static_cast<size_t>(slots), sizeof(int64_t)));
    if (!table) {
        quantum_error(QUANTUM_ENOMEM);
        return nullptr;
    }
    memory_account(SLOT_BYTES * slots);
    return table;
}

uint64_t basis_value(const quantum_reg_struct& reg, int64_t position)
{
    return reg.state ? reg.state[position] : static_cast<uint64_t>(position);
}

} // namespace

int32_t hash_length(int64_t hashw)
{
    // A 32-bit signed power of two: the shift count is taken modulo 32 and 1 << 31 is negative.
    return static_cast<int32_t>(uint32_t{1} << (hashw & 31));
}

uint32_t quantum_hash64(uint64_t v, int64_t hashw)
{
    const uint32_t x = static_cast<uint32_t>(v) ^ static_cast<uint32_t>(v >> 32);
    const uint32_t product = x * 0x9E370001u;
    const uint32_t k32 = product >> ((32 - hashw) & 31);
    const uint64_t k64 = static_cast<uint64_t>(product) >> ((32 - hashw) & 63);
    // Above 32 the two shift widths disagree; the table uses k32 and the line shows it.
    if (k64 != k32)
        std::printf("quantum_hash64: key = %llu, width = %li, k32 = %u, k64 = %li\n",
                    static_cast<unsigned long long>(v), static_cast<long>(hashw), k32,
                    static_cast<long>(k64));
    return k32;
}

namespace {

// Linear probing from v's index; false (reported) when every slot is taken.
bool insert_slot(uint64_t v, int64_t position, quantum_reg_struct& reg)
{
    const int32_t slots = hash_length(reg.hashw);
    if (!reg.hash || slots <= 0)
        return false;
    // Widths outside the working range give indices beyond the table; fold them back in.
    int64_t i = quantum_hash64(v, reg.hashw) % static_cast<uint32_t>(slots);
    bool wrapped = false;
    while (reg.hash[i]) {
        i++;
        if (i == slots) {
            if (wrapped) {
                quantum_error(QUANTUM_EHASHFULL);
                return false;
            }
            i = 0;
            wrapped = true;
        }
    }
    reg.hash[i] = position + 1;
    return true;
}

// As many entries as slots can only come from basis values beyond the register's width
// (or from a table of one slot). More entries than slots would fail to insert: report that
// once. Either way widen the table (more hash bits) so that lookups stay cheap and every
// entry finds a slot, as long as a wider table is possible.
void widen_full_table(quantum_reg_struct& reg)
{
    const int32_t slots = hash_length(reg.hashw);
    if (reg.size < slots)
        return;
    if (reg.size > slots)
        quantum_error(QUANTUM_EHASHFULL);
    int64_t hashw = reg.hashw;
    while ((hashw & 31) < 30 && hash_length(hashw) < 2 * reg.size)
        hashw++;
    if (hashw == reg.hashw)
        return;
    int64_t* table = new_table(hashw);
    if (!table)
        return;
    hash_destroy(reg);
    reg.hash = table;
    reg.hashw = hashw;
}

} // namespace

void hash_insert(uint64_t v, int64_t position, quantum_reg_struct& reg)
{
    insert_slot(v, position, reg);
}

void hash_rebuild(quantum_reg_struct& reg)
{
    if (reg.hashw == 0 || !reg.hash)
        return;
    widen_full_table(reg);
    const int32_t slots = hash_length(reg.hashw);
    if (slots <= 0)
        return;
    std::memset(reg.hash, 0, sizeof(int64_t) * static_cast<size_t>(slots));
    // After the first failure every later insert would fail too, each after a full scan.
    for (int64_t p = 0; p < reg.size; p++)
        if (!insert_slot(basis_value(reg, p), p, reg))
            return;
}

int64_t state_lookup(uint64_t v, const quantum_reg_struct& reg)
{
    if (reg.hashw == 0)
        return static_cast<int64_t>(v);
    const int32_t slots = hash_length(reg.hashw);
    if (!reg.hash || slots <= 0) {
        // No table could be made: still answer correctly, if slowly.
        for (int64_t p = 0; p < reg.size; p++)
            if (basis_value(reg, p) == v)
                return p;
        return -1;
    }
    int64_t i = quantum_hash64(v, reg.hashw) % static_cast<uint32_t>(slots);
    // At most one round through the table, so a full table cannot loop forever; a slot
    // left over from before a shrink is skipped rather than followed out of the arrays.
    for (int64_t probes = 0; probes < slots; probes++) {
        const int64_t slot = reg.hash[i];
        if (slot == 0)
            return -1;
        if (slot <= reg.size && basis_value(reg, slot - 1) == v)
            return slot - 1;
        i++;
        if (i == slots)
            i = 0;
    }
    return -1;
}

quantum_reg_struct register_new(uint64_t init, int64_t width)
{
    quantum_reg_struct reg;
    reg.width = width;
    reg.hashw = width + 2;
    if (engine::entries_new(reg, 1, true)) {
        reg.state[0] = init;
        reg.amplitude[0] = 1.0f;
    }
    reg.hash = new_table(reg.hashw);

    // Every trace starts with the newest register.
    quantum_objcode_start();
    objcode_set_default_file(objcode_dump_path());
    objcode_record(OBJCODE_WIDTH, static_cast<int>(width));
    objcode_record(OBJCODE_INIT, init);
    return reg;
}

quantum_reg_struct register_new_dense(int64_t n, int64_t width)
{
    quantum_reg_struct reg;
    reg.width = width;
    engine::entries_new(reg, n, false);
    return reg;
}

quantum_reg_struct register_new_sparse(int64_t n, int64_t width)
{
    quantum_reg_struct reg;
    reg.width = width;
    engine::entries_new(reg, n, true);
    return reg;
}

quantum_reg_struct register_from_column(quantum_matrix_struct m, int64_t width)
{
    if (m.cols != 1)
        quantum_error(QUANTUM_EMCMATRIX);
    // Rows are read as the leading elements, which is what they are in a one-column matrix.
    const int64_t count = m.t && m.cols > 0 && m.rows > 0 ? m.rows : 0;
    quantum_reg_struct reg;
    reg.width = width;
    reg.hashw = width + 2;
    int64_t nonzero = 0;
    for (int64_t r = 0; r < count; r++)
        if (m.t[r].real() != 0 || m.t[r].imag() != 0)
            nonzero++;
    if (engine::entries_new(reg, nonzero, true)) {
        int64_t k = 0;
        for (int64_t r = 0; r < count; r++) {
            if (m.t[r].real() != 0 || m.t[r].imag() != 0) {
                reg.state[k] = static_cast<uint64_t>(r);
                reg.amplitude[k] = m.t[r];
                k++;
            }
        }
    }
    reg.hash = new_table(reg.hashw);
    return reg;
}

quantum_matrix_struct register_to_column(quantum_reg_struct reg)
{
    const int32_t rows = static_cast<int32_t>(uint32_t{1} << (reg.width & 31));
    quantum_matrix_struct m = matrix_new(1, rows);
    if (!m.t)
        return m;
    for (int64_t i = 0; i < reg.size; i++) {
        const uint64_t v = basis_value(reg, i);
        if (v < static_cast<uint64_t>(m.rows))
            m.t[v] = reg.amplitude[i];
    }
    return m;
}

void hash_destroy(quantum_reg_struct& reg)
{
    if (!reg.hash)
        return;
    std::free(reg.hash);
    memory_account(-SLOT_BYTES * hash_length(reg.hashw));
    reg.hash = nullptr;
}

void register_delete_keep_hash(quantum_reg_struct& reg)
{
    engine::fast_paths_forget(reg);
    engine::entries_free(reg);
}

void register_delete(quantum_reg_struct& reg)
{
    if (reg.hashw != 0)
        hash_destroy(reg);
    register_delete_keep_hash(reg);
}

void register_copy(quantum_reg_struct src, quantum_reg_struct& dst)
{
    dst = src;
    if (engine::entries_new(dst, src.size, src.state != nullptr) && src.amplitude &&
        src.size > 0) {
        std::memcpy(static_cast<void*>(dst.amplitude), src.amplitude,
                    sizeof(quantum_amplitude) * static_cast<size_t>(src.size));
        if (src.state)
            std::memcpy(dst.state, src.state, sizeof(uint64_t) * static_cast<size_t>(src.size));
    }
    dst.hash = src.hashw != 0 ? new_table(src.hashw) : nullptr;
}

quantum_reg_struct register_kronecker(quantum_reg_struct a, quantum_reg_struct b)
{
    quantum_reg_struct reg;
    reg.width = a.width + b.width;
    reg.hashw = a.width + b.width + 2;
    if (engine::entries_new(reg, a.size * b.size, true)) {
        for (int64_t i = 0; i < a.size; i++) {
            const uint64_t high = basis_value(a, i) << (b.width & 63);
            for (int64_t j = 0; j < b.size; j++) {
                reg.state[j + i * b.size] = high | basis_value(b, j);
                reg.amplitude[j + i * b.size] = quantum_cmul(a.amplitude[i], b.amplitude[j]);
            }
        }
    }
    reg.hash = new_table(reg.hashw);
    return reg;
}

void register_add_scratch(int64_t k, quantum_reg_struct& reg)
{
    reg.width += k;
    if (!reg.state)
        return;
    for (int64_t i = 0; i < reg.size; i++)
        reg.state[i] <<= (k & 63);
}

double get_probability(int64_t position, quantum_reg_struct reg)
{
    if (position < 0 || position >= reg.size || !reg.amplitude)
        return 0.0;
    return quantum_prob(reg.amplitude[position]);
}

void set_amplitude_real(int64_t position, quantum_reg_struct& reg, double value)
{
    if (position < 0 || position >= reg.size || !reg.amplitude)
        return;
    reg.amplitude[position] = quantum_amplitude(static_cast<float>(value), 0.0f);
}

namespace engine {

void hash_load_warning(const quantum_reg_struct& reg)
{
    const int32_t slots = hash_length(reg.hashw);
    if (reg.size > slots / 2)
        std::fprintf(stderr, "Warning: inefficient hash table (size %li vs hash %i)\n",
                     static_cast<long>(reg.size), slots);
}

float purge_limit(const quantum_reg_struct& reg)
{
    const double states = static_cast<double>(uint64_t{1} << (reg.width & 63));
    return static_cast<float>((1.0 / states) * 1e-6);
}

} // namespace engine

void purge_small_amplitudes(quantum_reg_struct& reg)
{
    const float limit = engine::purge_limit(reg);

    // A dense register cannot drop entries: positions are its basis values.
    if (reg.state && reg.amplitude) {
        int64_t dropped = 0;
        for (int64_t i = 0; i < reg.size; i++) {
            if (quantum_prob(reg.amplitude[i]) < limit) {
                dropped++;
                continue;
            }
            if (dropped) {
                reg.state[i - dropped] = reg.state[i];
                reg.amplitude[i - dropped] = reg.amplitude[i];
            }
        }
        engine::entries_resize(reg, reg.size - dropped);
    }
    engine::hash_load_warning(reg);
}

void print_register(quantum_reg_struct reg)
{
    for (int64_t i = 0; i < reg.size; i++) {
        const quantum_amplitude a = reg.amplitude[i];
        const uint64_t v = basis_value(reg, i);
        std::printf("% f %+fi|%lli> (%e) (|", static_cast<double>(a.real()),
                    static_cast<double>(a.imag()), static_cast<long long>(v),
                    static_cast<double>(quantum_prob(a)));
        for (int64_t j = reg.width - 1; j >= 0; j--) {
            if (j % 4 == 3)
                std::printf(" ");
            std::printf("%i", static_cast<int>((v >> (j & 63)) & 1));
        }
        std::printf(">)\n");
    }
    std::printf("\n");
}

void print_expn(quantum_reg_struct reg)
{
    const int32_t step = static_cast<int32_t>(uint32_t{1} << ((reg.width / 2) & 31));
    for (int64_t i = 0; i < reg.size; i++) {
        const uint64_t value = basis_value(reg, i) - static_cast<uint64_t>(i * step);
        std::printf("%li: %lli\n", static_cast<long>(i), static_cast<long long>(value));
    }
}

void print_hash(quantum_reg_struct reg)
{
    const int32_t slots = hash_length(reg.hashw);
    if (!reg.hash || reg.hashw == 0)
        return;
    for (int64_t i = 1; i < slots; i++) {
        const int64_t slot = reg.hash[i];
        if (slot == 0)
            std::printf("%li: -1 (empty)\n", static_cast<long>(i));
        else if (slot > reg.size)
            std::printf("%li: %li (stale)\n", static_cast<long>(i), static_cast<long>(slot - 1));
        else
            std::printf("%li: %li %llu\n", static_cast<long>(i), static_cast<long>(slot - 1),
                        static_cast<unsigned long long>(basis_value(reg, slot - 1)));
    }
}
