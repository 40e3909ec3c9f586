// engine/arith.cpp: modular exponentiation from Toffoli, CNOT and Pauli-X gates, the
// quantum Fourier transform, and the classical number theory of factoring.
#include "engine/arith.h"

#include <cmath>
#include <new>
#include <optional>
#include <vector>

#include "engine/error.h"
#include "engine/ec.h"
#include "engine/gates.h"
#include "engine/objcode.h"

namespace {

// The circuits take powers and constant bits with a 32-bit signed mask 1 << (i mod 32),
// sign-extended, as the object code of existing dumps was produced that way.
int64_t pow2_32(int64_t i)
{
    return static_cast<int32_t>(1u << (static_cast<uint64_t>(i) & 31));
}

int bit32(int64_t value, int64_t i)
{
    return (value & pow2_32(i)) != 0 ? 1 : 0;
}

int bit64(int64_t value, int64_t i)
{
    return static_cast<int>((static_cast<uint64_t>(value) >> (static_cast<uint64_t>(i) & 63)) & 1);
}

// Products of constants wrap like the machine's 64-bit multiply, without undefined behaviour.
int64_t mul64(int64_t a, int64_t b)
{
    return static_cast<int64_t>(static_cast<uint64_t>(a) * static_cast<uint64_t>(b));
}

// Signed remainder that cannot trap: x % -1 is 0, x % 0 is reported by the callers' checks.
int64_t rem(int64_t a, int64_t n)
{
    return n == -1 ? 0 : a % n;
}

// A zero modulus would divide by zero in every constant; the circuit is then skipped.
bool modulus_usable(int64_t n)
{
    if (n != 0)
        return true;
    quantum_error(QUANTUM_FAILURE);
    return false;
}

// Permutation batches.
//
// The arithmetic circuits are long runs of CNOT, Toffoli, Pauli-X and lead swaps, which only
// permute basis values and only read and write a known set of bits. While a batch is open
// the wrappers below record each gate at once (same records, same gate count, in order) and
// queue it; closing the batch applies the whole run as one permutation: the run is executed
// gate by gate on every distinct value of the touched bits, and each entry then takes the
// result for its value. Within one controlled multiplication the touched bits are the
// scratch qubits and one control, which hold at most 2N distinct values however many
// entries the register has, so a 2^19-entry factoring register is rewritten once per stage
// instead of once per gate. The result is bit for bit that of applying the gates in turn.
// Batches are used only where the plain gates would do nothing else: a register with basis
// values, decoherence and error correction off.
class PermutationBatch {
public:
    explicit PermutationBatch(quantum_reg_struct& reg) : reg_(reg) {}

    quantum_reg_struct& reg() const { return reg_; }

    // Flips bit flip where every bit of mask is set (mask 0: everywhere).
    void flip(uint64_t mask, uint64_t flip)
    {
        queue({false, mask, flip, 0});
        touched_ |= mask | flip;
    }

    // Exchanges bit fields 0..w-1 and w..2w-1, as swap_leads does.
    void swap(int64_t width)
    {
        queue({true, low_bits(width), low_bits(2 * width) & ~low_bits(width), width});
        touched_ |= low_bits(2 * width);
    }

    void apply()
    {
        if (ops_.empty() || !reg_.state)
            return;
        const auto size = static_cast<size_t>(reg_.size);
        try {
            // Pass: number the distinct values of the touched bits.
            std::vector<uint32_t> index(size);
            std::vector<uint64_t> keys;
            KeyTable table;
            for (size_t k = 0; k < size; ++k)
                index[k] = table.find_or_add(reg_.state[k] & touched_, keys);
            // Pass: run the gates on each distinct value.
            for (uint64_t& v : keys)
                v = run(v);
            // Pass: every entry takes the result of its value.
            for (size_t k = 0; k < size; ++k)
                reg_.state[k] = (reg_.state[k] & ~touched_) | keys[index[k]];
        } catch (const std::bad_alloc&) {
            // Without memory for the table, run the gates on every entry instead: slower,
            // the same result, and nothing thrown to the caller.
            for (size_t k = 0; k < size; ++k)
                reg_.state[k] = (reg_.state[k] & ~touched_) | run(reg_.state[k] & touched_);
        }
        ops_.clear();
        touched_ = 0;
    }

private:
    struct Op {
        bool swap;
        uint64_t a; // flip: control mask; swap: low field
        uint64_t b; // flip: flipped bit; swap: high field
        int64_t width;
    };

    // Open addressing over the distinct keys; grows at half load.
    class KeyTable {
    public:
        KeyTable() { resize(1024); }

        uint32_t find_or_add(uint64_t key, std::vector<uint64_t>& keys)
        {
            size_t i = slot_of(key);
            while (index_[i] != EMPTY) {
                if (keys[index_[i]] == key)
                    return index_[i];
                i = (i + 1) & mask_;
            }
            const auto n = static_cast<uint32_t>(keys.size());
            index_[i] = n;
            keys.push_back(key);
            if (2 * keys.size() > index_.size())
                rehash(keys);
            return n;
        }

    private:
        static constexpr uint32_t EMPTY = 0xFFFFFFFFu;

        size_t slot_of(uint64_t key) const
        {
            return static_cast<size_t>((key * 0x9E3779B97F4A7C15ull) >> shift_);
        }

        void resize(size_t slots)
        {
            index_.assign(slots, EMPTY);
            mask_ = slots - 1;
            shift_ = 64;
            for (size_t s = slots; s > 1; s >>= 1)
                --shift_;
        }

        void rehash(const std::vector<uint64_t>& keys)
        {
            resize(index_.size() * 4);
            for (uint32_t n = 0; n < keys.size(); ++n) {
                size_t i = slot_of(keys[n]);
                while (index_[i] != EMPTY)
                    i = (i + 1) & mask_;
                index_[i] = n;
            }
        }

        std::vector<uint32_t> index_;
        size_t mask_ = 0;
        int shift_ = 64;
    };

    static uint64_t low_bits(int64_t bits)
    {
        return bits <= 0 ? 0 : bits >= 64 ? ~uint64_t{0} : (uint64_t{1} << bits) - 1;
    }

    static uint64_t run_op(const Op& op, uint64_t v)
    {
        if (!op.swap)
            return v ^ ((v & op.a) == op.a ? op.b : 0);
        const uint64_t p1 = v & op.a, p2 = v & op.b;
        const uint64_t up = op.width >= 64 ? 0 : p1 << op.width;
        const uint64_t down = op.width >= 64 ? 0 : p2 >> op.width;
        return v - (p1 + p2) + up + down;
    }

    uint64_t run(uint64_t v) const
    {
        for (const Op& op : ops_)
            v = run_op(op, v);
        return v;
    }

    // Queues op; without memory to queue it, the gates so far and then op act at once.
    void queue(const Op& op)
    {
        try {
            ops_.push_back(op);
        } catch (const std::bad_alloc&) {
            apply();
            if (reg_.state) {
                for (int64_t k = 0; k < reg_.size; ++k)
                    reg_.state[k] = run_op(op, reg_.state[k]);
            }
        }
    }

    quantum_reg_struct& reg_;
    std::vector<Op> ops_;
    uint64_t touched_ = 0;
};

// The open batch, if any; the engine runs on one thread only.
PermutationBatch* open_batch = nullptr;
bool batching_enabled = true;

// Opens a batch for the scope unless one is open already or the register does not allow it;
// the outermost scope applies the batch when it ends.
class BatchScope {
public:
    explicit BatchScope(quantum_reg_struct& reg)
    {
        if (open_batch || !batching_enabled || !batch_allowed(reg))
            return;
        batch_.emplace(reg);
        open_batch = &*batch_;
    }
    ~BatchScope()
    {
        if (!batch_)
            return;
        open_batch = nullptr;
        batch_->apply();
    }
    BatchScope(const BatchScope&) = delete;
    BatchScope& operator=(const BatchScope&) = delete;

private:
    static bool batch_allowed(const quantum_reg_struct& reg)
    {
        int64_t ec_type = 0, ec_width = 0;
        ec_get_status(ec_type, ec_width);
        // A stored lambda of 0 means decoherence is off; any other value may mean it is on.
        return reg.state && reg.size >= 0 && static_cast<uint64_t>(reg.size) < 0xFFFFFFFFull &&
               ec_type == 0 && get_decoherence() == 0.0f;
    }

    std::optional<PermutationBatch> batch_;
};

uint64_t qubit_bit(int64_t q)
{
    return uint64_t{1} << (static_cast<uint64_t>(q) & 63);
}

// Reached only while the batch is open, so open_batch->reg() is reg.
bool batching(const quantum_reg_struct& reg)
{
    return open_batch && &open_batch->reg() == &reg;
}

void toffoli(int64_t c1, int64_t c2, int64_t t, quantum_reg_struct& reg)
{
    if (!batching(reg)) {
        apply_toffoli(c1, c2, t, reg);
        return;
    }
    objcode_record(OBJCODE_TOFFOLI, static_cast<int>(c1), static_cast<int>(c2), static_cast<int>(t));
    open_batch->flip(qubit_bit(c1) | qubit_bit(c2), qubit_bit(t));
    gate_counter(1);
}

void cnot(int64_t c, int64_t t, quantum_reg_struct& reg)
{
    if (!batching(reg)) {
        apply_cnot(c, t, reg);
        return;
    }
    objcode_record(OBJCODE_CNOT, static_cast<int>(c), static_cast<int>(t));
    open_batch->flip(qubit_bit(c), qubit_bit(t));
    gate_counter(1);
}

void sigma_x(int64_t t, quantum_reg_struct& reg)
{
    if (!batching(reg)) {
        apply_sigma_x(t, reg);
        return;
    }
    objcode_record(OBJCODE_SIGMA_X, static_cast<int>(t));
    open_batch->flip(0, qubit_bit(t));
    gate_counter(1);
}

// swap_leads records once per stored entry and does not decohere.
void swap_fields(int64_t w, quantum_reg_struct& reg)
{
    if (!batching(reg) || w < 0) {
        swap_leads(w, reg);
        return;
    }
    objcode_record_repeat(reg.size, OBJCODE_SWAP_LEADS, static_cast<int>(w));
    open_batch->swap(w);
}

// controlled_swap's own Toffoli sequence, so that it can join a batch.
void cswap(int64_t control, int64_t w, quantum_reg_struct& reg)
{
    if (!batching(reg)) {
        controlled_swap(control, w, reg);
        return;
    }
    for (int64_t l = 0; l < w; ++l) {
        toffoli(control, w + l, 2 * w + l + 2, reg);
        toffoli(control, 2 * w + l + 2, w + l, reg);
        toffoli(control, w + l, 2 * w + l + 2, reg);
    }
}

} // namespace

void arith_set_batching(bool enabled)
{
    batching_enabled = enabled;
}

// Circuits

void modular_exponentiation(int64_t n, int64_t x, int64_t m, int64_t w, quantum_reg_struct& reg)
{
    if (!modulus_usable(n))
        return;
    sigma_x(2 * w + 2, reg);
    for (int64_t i = 0; i < m; ++i) {
        int64_t f = rem(x, n);
        for (int64_t j = 0; j < i; ++j)
            f = rem(mul64(f, f), n);
        controlled_mul_mod(n, f, 3 * w + 2 + i, w, reg);
    }
}

void controlled_mul_mod(int64_t n, int64_t a, int64_t control, int64_t w, quantum_reg_struct& reg)
{
    BatchScope batch(reg);
    controlled_mul_step(n, a, control, w, reg);
    cswap(control, w, reg);
    controlled_mul_step_inverse(n, a, control, w, reg);
}

void controlled_mul_step(int64_t n, int64_t a, int64_t control, int64_t w, quantum_reg_struct& reg)
{
    BatchScope batch(reg);
    if (!modulus_usable(n))
        return;
    const int64_t enable = 2 * w + 1;
    const int64_t product = 2 * w + 2;
    // Pass: copy a * (bit 0 of the product) straight into the accumulator.
    toffoli(control, product, enable, reg);
    const int64_t reduced = rem(a, n);
    for (int64_t k = w - 1; k >= 0; --k) {
        if (bit64(reduced, k))
            toffoli(product, enable, w + k, reg);
    }
    toffoli(control, product, enable, reg);
    // Pass: add 2^i * a mod N for every further product bit i. The unreduced a goes in
    // here, as the dumps of this circuit always had it.
    for (int64_t i = 1; i < w; ++i) {
        toffoli(control, product + i, enable, reg);
        add_const_mod(n, rem(mul64(pow2_32(i), a), n), w, reg);
        toffoli(control, product + i, enable, reg);
    }
}

void controlled_mul_step_inverse(int64_t n, int64_t a, int64_t control, int64_t w,
                                 quantum_reg_struct& reg)
{
    BatchScope batch(reg);
    if (!modulus_usable(n))
        return;
    const int64_t enable = 2 * w + 1;
    const int64_t product = 2 * w + 2;
    const int64_t v = inverse_mod(n, a);
    for (int64_t i = w - 1; i >= 1; --i) {
        toffoli(control, product + i, enable, reg);
        add_const_mod(n, n - rem(mul64(pow2_32(i), v), n), w, reg);
        toffoli(control, product + i, enable, reg);
    }
    toffoli(control, product, enable, reg);
    const int64_t reduced = rem(v, n);
    for (int64_t k = w - 1; k >= 0; --k) {
        if (bit64(reduced, k))
            toffoli(product, enable, w + k, reg);
    }
    toffoli(control, product, enable, reg);
}

void add_const_mod(int64_t n, int64_t a, int64_t w, quantum_reg_struct& reg)
{
    BatchScope batch(reg);
    add_const_forward(n, a, w, reg);
    add_const_backward(n, a, w, reg);
}

void add_const_forward(int64_t n, int64_t a, int64_t w, quantum_reg_struct& reg)
{
    BatchScope batch(reg);
    compare_const(n - a, w, reg);
    // Adding a, or a - N + 2^w when the comparison says the sum reaches N.
    const int64_t a1 = a - n + pow2_32(w);
    for (int64_t i = 0; i < w - 1; ++i) {
        const int code = bit32(a, i) + 2 * bit32(a1, i);
        mux_full_adder(code, w + i, i, i + 1, 2 * w, 2 * w + 1, reg);
    }
    const int code = bit32(a, w - 1) + 2 * bit32(a1, w - 1);
    mux_half_adder(code, 2 * w - 1, w - 1, 2 * w, 2 * w + 1, reg);
}

void add_const_backward(int64_t n, int64_t a, int64_t w, quantum_reg_struct& reg)
{
    BatchScope batch(reg);
    cnot(2 * w + 1, 2 * w, reg);
    const int64_t b1 = pow2_32(w) - a;
    const int64_t b2 = n - a;
    int code = bit32(b2, w - 1) + 2 * bit32(b1, w - 1);
    mux_half_adder_inverse(code, w - 1, 2 * w - 1, 2 * w, 2 * w + 1, reg);
    for (int64_t i = w - 2; i >= 0; --i) {
        code = bit32(b2, i) + 2 * bit32(b1, i);
        mux_full_adder_inverse(code, i, w + i, w + i + 1, 2 * w, 2 * w + 1, reg);
    }
    swap_fields(w, reg);
    compare_const(a, w, reg);
}

void compare_const(int64_t cv, int64_t w, quantum_reg_struct& reg)
{
    BatchScope batch(reg);
    // Pass: the top bit (a 64-bit test here, the 32-bit mask at the end).
    if (bit64(cv, w - 1)) {
        cnot(2 * w - 1, w - 1, reg);
        sigma_x(2 * w - 1, reg);
        cnot(2 * w - 1, 0, reg);
    } else {
        sigma_x(2 * w - 1, reg);
        cnot(2 * w - 1, w - 1, reg);
    }
    // Pass: carry chain down to bit 1.
    for (int64_t i = w - 2; i >= 1; --i) {
        if (bit32(cv, i)) {
            toffoli(i + 1, w + i, i, reg);
            sigma_x(w + i, reg);
            toffoli(i + 1, w + i, 0, reg);
        } else {
            sigma_x(w + i, reg);
            toffoli(i + 1, w + i, i, reg);
        }
    }
    // Pass: bit 0 sets the flag.
    if (bit32(cv, 0)) {
        sigma_x(w, reg);
        toffoli(w, 1, 0, reg);
        toffoli(2 * w + 1, 0, 2 * w, reg);
        toffoli(w, 1, 0, reg);
        sigma_x(w, reg);
    } else {
        toffoli(2 * w + 1, 0, 2 * w, reg);
    }
    // Pass: undo the carry chain upwards.
    for (int64_t i = 1; i <= w - 2; ++i) {
        if (bit32(cv, i)) {
            toffoli(i + 1, w + i, 0, reg);
            sigma_x(w + i, reg);
            toffoli(i + 1, w + i, i, reg);
        } else {
            toffoli(i + 1, w + i, i, reg);
            sigma_x(w + i, reg);
        }
    }
    if (bit32(cv, w - 1)) {
        cnot(2 * w - 1, 0, reg);
        sigma_x(2 * w - 1, reg);
        cnot(2 * w - 1, w - 1, reg);
    } else {
        cnot(2 * w - 1, w - 1, reg);
        sigma_x(2 * w - 1, reg);
    }
}

void mux_full_adder(int64_t code, int64_t p1, int64_t p2, int64_t p3, int64_t p4, int64_t p5,
                    quantum_reg_struct& reg)
{
    switch (code) {
    case 0:
        toffoli(p1, p2, p3, reg);
        cnot(p1, p2, reg);
        break;
    case 1:
    case 2:
        // Code 2 adds on the inverted selector.
        if (code == 2)
            sigma_x(p4, reg);
        toffoli(p5, p4, p1, reg);
        toffoli(p1, p2, p3, reg);
        toffoli(p5, p4, p1, reg);
        toffoli(p1, p2, p3, reg);
        toffoli(p5, p4, p2, reg);
        toffoli(p1, p2, p3, reg);
        cnot(p1, p2, reg);
        if (code == 2)
            sigma_x(p4, reg);
        break;
    case 3:
        toffoli(p5, p2, p3, reg);
        cnot(p5, p2, reg);
        toffoli(p1, p2, p3, reg);
        cnot(p1, p2, reg);
        break;
    default:
        break;
    }
}

void mux_full_adder_inverse(int64_t code, int64_t q1, int64_t q2, int64_t q3, int64_t q4,
                            int64_t q5, quantum_reg_struct& reg)
{
    switch (code) {
    case 0:
        cnot(q1, q2, reg);
        toffoli(q1, q2, q3, reg);
        break;
    case 1:
    case 2:
        if (code == 2)
            sigma_x(q4, reg);
        cnot(q1, q2, reg);
        toffoli(q1, q2, q3, reg);
        toffoli(q5, q4, q2, reg);
        toffoli(q1, q2, q3, reg);
        toffoli(q5, q4, q1, reg);
        toffoli(q1, q2, q3, reg);
        toffoli(q5, q4, q1, reg);
        if (code == 2)
            sigma_x(q4, reg);
        break;
    case 3:
        cnot(q1, q2, reg);
        toffoli(q1, q2, q3, reg);
        cnot(q5, q2, reg);
        toffoli(q5, q2, q3, reg);
        break;
    default:
        break;
    }
}

void mux_half_adder(int64_t code, int64_t h1, int64_t h2, int64_t h3, int64_t h4,
                    quantum_reg_struct& reg)
{
    switch (code) {
    case 0:
        cnot(h1, h2, reg);
        break;
    case 1:
        toffoli(h4, h3, h2, reg);
        cnot(h1, h2, reg);
        break;
    case 2:
        sigma_x(h3, reg);
        toffoli(h4, h3, h2, reg);
        cnot(h1, h2, reg);
        sigma_x(h3, reg);
        break;
    case 3:
        cnot(h4, h2, reg);
        cnot(h1, h2, reg);
        break;
    default:
        break;
    }
}

void mux_half_adder_inverse(int64_t code, int64_t g1, int64_t g2, int64_t g3, int64_t g4,
                            quantum_reg_struct& reg)
{
    switch (code) {
    case 0:
        cnot(g1, g2, reg);
        break;
    case 1:
        cnot(g1, g2, reg);
        toffoli(g4, g3, g2, reg);
        break;
    case 2:
        sigma_x(g3, reg);
        cnot(g1, g2, reg);
        toffoli(g4, g3, g2, reg);
        sigma_x(g3, reg);
        break;
    case 3:
        cnot(g1, g2, reg);
        cnot(g4, g2, reg);
        break;
    default:
        break;
    }
}

void qft(int64_t n, quantum_reg_struct& reg)
{
    for (int64_t i = n - 1; i >= 0; --i) {
        for (int64_t j = n - 1; j > i; --j)
            apply_cond_phase(j, i, reg);
        apply_hadamard(i, reg);
    }
}

void qft_inverse(int64_t n, quantum_reg_struct& reg)
{
    for (int64_t i = 0; i < n; ++i) {
        apply_hadamard(i, reg);
        for (int64_t j = i + 1; j < n; ++j)
            apply_cond_phase_inv(j, i, reg);
    }
}

// Classical functions

int64_t gcd(int64_t a, int64_t b)
{
    while (b != 0) {
        const int64_t r = rem(a, b);
        a = b;
        b = r;
    }
    return a;
}

void continued_fraction_approx(int64_t& a, int64_t& b, int64_t width)
{
    // Offsets that keep trunc() from dropping a whole number lost to rounding.
    constexpr double NUDGE = 0.000005;
    const int32_t lim = static_cast<int32_t>(pow2_32(width));
    if (lim <= 0 || b == 0) {
        // No denominator bound, or no fraction to approximate.
        a = 0;
        b = 0;
        return;
    }
    const double f = static_cast<float>(a) / static_cast<float>(b);
    // 2 * lim as a 32-bit product: it wraps negative for width 30, so that the tolerance test
    // never succeeds and the denominator bound alone ends the loop.
    const int32_t twice = static_cast<int32_t>(static_cast<uint32_t>(lim) * 2u);
    const double tolerance = 1.0 / static_cast<double>(twice);

    // Whole parts beyond this would not fit the integer convergents; the loop stops there.
    constexpr double LARGEST_PART = 4.0e18;
    auto whole_part = [](double g, int64_t& t) {
        const double x = std::trunc(g + NUDGE);
        if (!std::isfinite(x) || std::fabs(x) > LARGEST_PART)
            return false;
        t = static_cast<int64_t>(x);
        return true;
    };

    double g = f;
    int64_t t = 0;
    int64_t p_prev2 = 0, p_prev = 1;
    int64_t q = 1, q_prev = 0;
    int64_t p = 0;
    if (!whole_part(g, t)) {
        a = 0;
        b = 0;
        return;
    }
    for (;;) {
        p = mul64(t, p_prev) + p_prev2;
        p_prev2 = p_prev;
        p_prev = p;
        if (std::fabs(static_cast<double>(p) / static_cast<double>(q) - f) <= tolerance)
            break;
        const float diff = static_cast<float>(g - (static_cast<double>(t) - NUDGE));
        g = 1.0f / diff;
        if (!whole_part(g, t))
            break;
        const int64_t q_next = mul64(t, q) + q_prev;
        q_prev = q;
        if (q_next > lim)
            break;
        q = q_next;
    }
    a = p;
    b = q;
}

int64_t int_pow(int64_t a, int64_t b)
{
    // Square and multiply: products modulo 2^64 are associative, so this equals b repeated
    // multiplications, wrap-around included, without their cost for large b.
    int64_t r = 1;
    while (b > 0) {
        if (b & 1)
            r = mul64(r, a);
        a = mul64(a, a);
        b >>= 1;
    }
    return r;
}

int64_t mod_pow(int64_t a, int64_t b, int64_t n)
{
    if (n < 1)
        return 0;
    // Both factors stay below n < 2^63, so every product fits 128 bits.
    const auto modulus = static_cast<unsigned __int128>(n);
    int64_t base = a % n;
    if (base < 0)
        base += n;
    auto factor = static_cast<unsigned __int128>(base);
    unsigned __int128 r = 1 % modulus;
    while (b > 0) {
        if (b & 1)
            r = r * factor % modulus;
        factor = factor * factor % modulus;
        b >>= 1;
    }
    return static_cast<int64_t>(r);
}

int64_t inverse_mod(int64_t n, int64_t v)
{
    if (n == 0)
        return 0;
    // An inverse, when there is one, is below |N|; past that there is none.
    const uint64_t tries = n < 0 ? 0 - static_cast<uint64_t>(n) : static_cast<uint64_t>(n);
    int64_t product = 0;
    for (uint64_t i = 1; i <= tries; ++i) {
        product = static_cast<int64_t>(static_cast<uint64_t>(product) + static_cast<uint64_t>(v));
        if (rem(product, n) == 1)
            return static_cast<int64_t>(i);
    }
    return 0;
}

int64_t get_width(int64_t n)
{
    for (int64_t w = 1; w <= 30; ++w) {
        if (pow2_32(w) >= n)
            return w;
    }
    // The 32-bit power stops at 2^30; larger numbers get their true width.
    for (int64_t w = 31; w < 63; ++w) {
        if ((int64_t{1} << w) >= n)
            return w;
    }
    return 63;
}
