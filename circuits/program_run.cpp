// circuits/program_run.cpp: a read program on the engine: its gates, measurements and
// conditions, and the tables of its outcomes.
#include "circuits/program_run.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <map>
#include <optional>
#include <unistd.h>

#include "engine/gates.h"
#include "engine/measure.h"
#include "engine/objcode.h"
#include "engine/register.h"

namespace circuits {

namespace {

using Clock = std::chrono::steady_clock;

// Progress waits this long before it shows, and then rewrites its line at most this often.
constexpr std::chrono::milliseconds PROGRESS_DELAY{1000};
constexpr std::chrono::milliseconds PROGRESS_INTERVAL{100};

// A dense table of outcomes pays off while it has at most this many cells per entry.
constexpr int64_t DENSE_CELLS_PER_ENTRY = 4;
constexpr int DENSE_MAX_BITS = 26;

// "FILE:LINE:COLUMN: message" on standard error.
void report(const Circuit& c, const Op& op, const std::string& message)
{
    std::fflush(stdout);
    std::fprintf(stderr, "%s:%d:%d: %s\n", c.file.c_str(), op.line, op.column, message.c_str());
    std::fflush(stderr);
}

// "Gatter k von n" on one line of a terminal, once a run has taken a second.
class Progress {
public:
    Progress(bool wanted, int64_t total)
        : enabled_(wanted && ::isatty(2) == 1), total_(total), start_(Clock::now())
    {
    }
    ~Progress()
    {
        if (shown_) {
            std::fprintf(stderr, "\r%*s\r", static_cast<int>(width_), "");
            std::fflush(stderr);
        }
    }

    void step(int64_t done)
    {
        if (!enabled_)
            return;
        const Clock::time_point now = Clock::now();
        if (now - start_ < PROGRESS_DELAY || (shown_ && now - last_ < PROGRESS_INTERVAL))
            return;
        const std::string text = "Gatter " + grouped(done) + " von " + grouped(total_);
        width_ = std::max(width_, text.size());
        std::fprintf(stderr, "\r%-*s", static_cast<int>(width_), text.c_str());
        std::fflush(stderr);
        shown_ = true;
        last_ = now;
    }

private:
    bool enabled_;
    int64_t total_;
    Clock::time_point start_, last_;
    bool shown_ = false;
    size_t width_ = 0;
};

enum class Mode {
    Collapse,     // measurements draw and collapse, as the program says
    Probabilities // terminal measurements are only noted; resets must be certain
};

// One run of a circuit on a fresh engine register. The permutation gates are queued in a
// run of the engine's, which is closed whenever anything other than a gate reads the register.
class Executor {
public:
    // Records the run's object code only when it is to be written.
    Executor(const Circuit& c, const RunOptions& options, Progress& progress, int64_t done_before,
             bool record)
        : c_(c), options_(options), progress_(progress), done_before_(done_before),
          bits_(static_cast<size_t>(c.bits), 0), source_(static_cast<size_t>(c.bits), -1)
    {
        reg_ = register_new(0, c.engine_width);
        if (!record)
            objcode_stop();
        permutation_run_open(reg_);
    }
    ~Executor()
    {
        permutation_run_close();
        register_delete(reg_);
    }
    Executor(const Executor&) = delete;
    Executor& operator=(const Executor&) = delete;

    // Runs every op; false after one line on standard error.
    bool run(Mode mode);

    // The register with no run open, for reading.
    const quantum_reg_struct& settled()
    {
        permutation_run_close();
        return reg_;
    }
    const std::vector<uint8_t>& bits() const { return bits_; }
    // Hands the register over (an empty one stays behind).
    quantum_reg_struct release()
    {
        permutation_run_close();
        quantum_reg_struct out = reg_;
        reg_ = quantum_reg_struct{};
        return out;
    }
    // Probabilities mode: the qubit whose terminal measurement each bit holds, or -1.
    const std::vector<int32_t>& source() const { return source_; }
    // Probabilities mode: the terminal measurements that took place, in order.
    const std::vector<const Op*>& noted() const { return noted_; }
    // Draws the noted measurements after all, for a dump of the whole run.
    void draw_noted();

private:
    bool holds(int32_t condition) const;
    bool within_budget(const Op& op);
    int measure(int32_t qubit);
    void gate(const Op& op);

    const Circuit& c_;
    const RunOptions& options_;
    Progress& progress_;
    int64_t done_before_;
    quantum_reg_struct reg_;
    std::vector<uint8_t> bits_;
    std::vector<int32_t> source_;
    std::vector<const Op*> noted_;
};

bool Executor::holds(int32_t condition) const
{
    for (int32_t ci = condition; ci >= 0;) {
        const Condition& cond = c_.conditions[static_cast<size_t>(ci)];
        uint64_t value = 0;
        bool beyond = false; // a set bit above the 64 a comparison value has
        for (size_t k = 0; k < cond.bits.size(); ++k) {
            if (!bits_[static_cast<size_t>(cond.bits[k])])
                continue;
            if (k < 64)
                value |= uint64_t{1} << k;
            else
                beyond = true;
        }
        if ((!beyond && value == cond.value) != cond.equal)
            return false;
        ci = cond.parent;
    }
    return true;
}

// Before a gate that may give entries new partners: the exact count once it comes near the
// budget, as the replay does for dumps.
bool Executor::within_budget(const Op& op)
{
    if (reg_.size <= options_.max_states / 2)
        return true;
    if (op.kind != OpKind::H) {
        const double half = static_cast<float>(op.angle) * 0.5f;
        if (static_cast<float>(std::sin(half)) == 0)
            return true;
    }
    permutation_run_close();
    hash_rebuild(reg_);
    const uint64_t bit = uint64_t{1} << (op.qubit[0] & 63);
    int64_t size = reg_.size;
    for (int64_t i = 0; i < reg_.size; ++i)
        if (state_lookup(reg_.state[i] ^ bit, reg_) < 0)
            ++size;
    permutation_run_open(reg_);
    if (size <= options_.max_states)
        return true;
    report(c_, op,
           "Das Gatter würde das Register auf " + grouped(size) +
               " Zustände vergrößern, mehr als die Grenze von " + grouped(options_.max_states) +
               " (--max-states); abgebrochen.");
    return false;
}

// A one-qubit measurement keeping the width. When every entry agrees on the qubit the
// outcome is certain; the engine would still compare its draw with a sum that rounding can
// leave a hair below 1 and then pick the empty side, so the record and the draw are made
// here and the register is left as it is.
int Executor::measure(int32_t qubit)
{
    permutation_run_close();
    const uint64_t bit = uint64_t{1} << (qubit & 63);
    bool zero = false, one = false;
    for (int64_t i = 0; i < reg_.size; ++i)
        (reg_.state[i] & bit ? one : zero) = true;
    int result;
    if (zero != one) {
        objcode_record(OBJCODE_MEASURE_QUBIT_PRESERVE, static_cast<int>(qubit));
        uniform_random();
        result = one ? 1 : 0;
    } else {
        result = measure_qubit_preserve(qubit, reg_);
    }
    permutation_run_open(reg_);
    return result;
}

void Executor::gate(const Op& op)
{
    const int32_t* q = op.qubit;
    const auto angle = static_cast<float>(op.angle);
    switch (op.kind) {
    case OpKind::X:
        apply_sigma_x(q[0], reg_);
        break;
    case OpKind::Y:
        apply_sigma_y(q[0], reg_);
        break;
    case OpKind::Z:
        apply_sigma_z(q[0], reg_);
        break;
    case OpKind::H:
        apply_hadamard(q[0], reg_);
        break;
    case OpKind::CX:
        apply_cnot(q[0], q[1], reg_);
        break;
    case OpKind::CCX:
        apply_toffoli(q[0], q[1], q[2], reg_);
        break;
    case OpKind::RX:
        apply_rot_x(q[0], angle, reg_);
        break;
    case OpKind::RY:
        apply_rot_y(q[0], angle, reg_);
        break;
    case OpKind::RZ:
        apply_rot_z(q[0], angle, reg_);
        break;
    case OpKind::PHASE:
        apply_phase_kick(q[0], angle, reg_);
        break;
    case OpKind::CPHASE:
        apply_cond_phase_kick(q[0], q[1], angle, reg_);
        break;
    case OpKind::GPHASE:
        apply_phase_scale(0, angle, reg_);
        break;
    case OpKind::MEASURE:
    case OpKind::RESET:
        break;
    }
}

bool Executor::run(Mode mode)
{
    int64_t done = done_before_;
    for (const Op& op : c_.ops) {
        progress_.step(done++);
        if (!holds(op.condition))
            continue;
        if (op.kind == OpKind::MEASURE) {
            if (mode == Mode::Probabilities) {
                noted_.push_back(&op);
                if (op.bit >= 0)
                    source_[static_cast<size_t>(op.bit)] = op.qubit[0];
            } else {
                const int result = measure(op.qubit[0]);
                if (op.bit >= 0)
                    bits_[static_cast<size_t>(op.bit)] = static_cast<uint8_t>(result);
            }
        } else if (op.kind == OpKind::RESET) {
            if (mode == Mode::Probabilities) {
                permutation_run_close();
                const uint64_t bit = uint64_t{1} << (op.qubit[0] & 63);
                bool zero = false, one = false;
                for (int64_t i = 0; i < reg_.size; ++i)
                    (reg_.state[i] & bit ? one : zero) = true;
                permutation_run_open(reg_);
                if (zero && one) {
                    report(c_, op,
                           "\"reset\" trifft hier ein Qubit in Überlagerung; die "
                           "Wahrscheinlichkeiten hängen dann vom Zufall ab (dafür gibt "
                           "es \"qucode sample\").");
                    return false;
                }
            }
            if (measure(op.qubit[0]) == 1)
                apply_sigma_x(op.qubit[0], reg_);
        } else {
            if ((op.kind == OpKind::H || op.kind == OpKind::RX || op.kind == OpKind::RY) &&
                !within_budget(op))
                return false;
            gate(op);
        }
    }
    permutation_run_close();
    return true;
}

void Executor::draw_noted()
{
    for (const Op* op : noted_)
        measure(op->qubit[0]);
    permutation_run_close();
}

// The bits of one outcome, printed as the tables print them: registers last declared first,
// each from its highest bit, separated by blanks. value_of gives a classical bit (or, for a
// table of qubits, a qubit).
template <typename ValueOf>
std::string outcome_text(const std::vector<Register>& regs, ValueOf value_of)
{
    std::string text;
    for (auto r = regs.rbegin(); r != regs.rend(); ++r) {
        if (!text.empty())
            text += ' ';
        for (int32_t i = r->size - 1; i >= 0; --i)
            text += value_of(r->first + i) ? '1' : '0';
    }
    return text;
}

// The outcomes of the noted terminal measurements (or, without any measurement, of all
// qubits) in a settled register: the probability of each, summed in double. An outcome is
// kept as a key holding the deciding qubits' bits, and turned into text only when shown.
class Distribution {
public:
    Distribution(const Circuit& c, const std::vector<int32_t>& source, bool any_measurement,
                 const quantum_reg_struct& reg)
        : c_(c), source_(source), any_measurement_(any_measurement)
    {
        if (any_measurement) {
            for (int32_t q : source)
                if (q >= 0)
                    qubits_.push_back(q);
            std::sort(qubits_.begin(), qubits_.end());
            qubits_.erase(std::unique(qubits_.begin(), qubits_.end()), qubits_.end());
        } else {
            for (int32_t q = 0; q < c.qubits; ++q)
                qubits_.push_back(q);
        }
        key_bit_.assign(static_cast<size_t>(std::max(c.qubits, 1)), -1);
        for (size_t k = 0; k < qubits_.size(); ++k)
            key_bit_[static_cast<size_t>(qubits_[k])] = static_cast<int>(k);
        sum(reg);
    }

    // Every outcome with a probability above 0, in the order of their keys.
    const std::vector<std::pair<uint64_t, double>>& sums() const { return sums_; }

    std::string text(uint64_t key) const
    {
        const auto qubit_value = [&](int32_t q) {
            const int k = key_bit_[static_cast<size_t>(q)];
            return k >= 0 && (key >> k & 1);
        };
        if (!any_measurement_)
            return outcome_text(c_.qregs, qubit_value);
        return outcome_text(c_.cregs, [&](int32_t b) {
            const int32_t q = source_[static_cast<size_t>(b)];
            return q >= 0 && qubit_value(q);
        });
    }

private:
    void sum(const quantum_reg_struct& reg)
    {
        const int key_bits = static_cast<int>(qubits_.size());
        // Most programs measure q[i] into a bit of their own for every i: the key is the value.
        bool in_place = true;
        for (int k = 0; k < key_bits; ++k)
            in_place = in_place && qubits_[static_cast<size_t>(k)] == k;
        const uint64_t mask = key_bits >= 64 ? ~uint64_t{0} : (uint64_t{1} << key_bits) - 1;
        const auto key_of = [&](uint64_t v) {
            if (in_place)
                return v & mask;
            uint64_t key = 0;
            for (size_t k = 0; k < qubits_.size(); ++k)
                key |= (v >> (qubits_[k] & 63) & 1) << k;
            return key;
        };
        const auto probability = [&reg](int64_t i) {
            const double re = reg.amplitude[i].real(), im = reg.amplitude[i].imag();
            return re * re + im * im;
        };
        if (key_bits <= DENSE_MAX_BITS &&
            (int64_t{1} << key_bits) <= DENSE_CELLS_PER_ENTRY * reg.size + 1024) {
            std::vector<double> cells(size_t{1} << key_bits, 0.0);
            for (int64_t i = 0; i < reg.size; ++i)
                cells[key_of(reg.state[i])] += probability(i);
            for (size_t k = 0; k < cells.size(); ++k)
                if (cells[k] > 0)
                    sums_.emplace_back(k, cells[k]);
            return;
        }
        for (int64_t i = 0; i < reg.size; ++i)
            sums_.emplace_back(key_of(reg.state[i]), probability(i));
        std::sort(sums_.begin(), sums_.end(),
                  [](const auto& a, const auto& b) { return a.first < b.first; });
        size_t kept = 0;
        for (size_t i = 0; i < sums_.size(); ++i) {
            if (kept > 0 && sums_[kept - 1].first == sums_[i].first)
                sums_[kept - 1].second += sums_[i].second;
            else
                sums_[kept++] = sums_[i];
        }
        sums_.resize(kept);
    }

    const Circuit& c_;
    std::vector<int32_t> source_;
    bool any_measurement_;
    std::vector<int32_t> qubits_;
    std::vector<int> key_bit_;
    std::vector<std::pair<uint64_t, double>> sums_;
};

// Whether any measurement writes a classical bit; without one, outcomes are of the qubits.
bool has_measurement(const Circuit& c)
{
    return std::any_of(c.ops.begin(), c.ops.end(),
                       [](const Op& op) { return op.kind == OpKind::MEASURE && op.bit >= 0; });
}

// Most first, ties in the order of the bits.
template <typename T> void sort_rows(OutcomeRows<T>& rows)
{
    std::sort(rows.begin(), rows.end(), [](const auto& a, const auto& b) {
        return a.second != b.second ? a.second > b.second : a.first < b.first;
    });
}

bool write_dump(const RunOptions& options)
{
    if (options.dump.empty())
        return true;
    if (objcode_write_file(options.dump.c_str()) == 0)
        return true;
    std::fflush(stdout);
    std::fprintf(stderr, "qucode: %s kann nicht geschrieben werden.\n", options.dump.c_str());
    return false;
}

// Probabilities of the terminal measurements from one run (measurements only noted).
bool terminal_distribution(const Circuit& c, const RunOptions& options,
                           std::optional<Distribution>& out)
{
    Progress progress(options.progress, static_cast<int64_t>(c.ops.size()));
    Executor run(c, options, progress, 0, !options.dump.empty());
    if (!run.run(Mode::Probabilities))
        return false;
    out.emplace(c, run.source(), has_measurement(c), run.settled());
    if (!options.dump.empty()) {
        run.draw_noted();
        return write_dump(options);
    }
    return true;
}

bool refuse_early_measurement(const Circuit& c)
{
    const int64_t early = first_early_measurement(c);
    if (early < 0)
        return false;
    const Op& op = c.ops[static_cast<size_t>(early)];
    report(c, op,
           "Auf diese Messung folgen noch Operationen, die von ihr abhängen; exakte "
           "Wahrscheinlichkeiten gibt es nur für Messungen am Ende (\"qucode sample\" "
           "zieht Stichproben).");
    return true;
}

void print_rows(const OutcomeRows<double>& rows)
{
    for (const auto& [bits, p] : rows)
        std::printf("%s %.9g\n", bits.c_str(), p);
}

} // namespace

int64_t first_early_measurement(const Circuit& circuit)
{
    std::vector<int64_t> qubit_measured(static_cast<size_t>(circuit.qubits), -1);
    std::vector<int64_t> bit_measured(static_cast<size_t>(circuit.bits), -1);
    int64_t earliest = -1;
    const auto depends_on = [&earliest](int64_t measurement) {
        if (measurement >= 0 && (earliest < 0 || measurement < earliest))
            earliest = measurement;
    };
    for (size_t i = 0; i < circuit.ops.size(); ++i) {
        const Op& op = circuit.ops[i];
        for (int32_t ci = op.condition; ci >= 0;) {
            const Condition& cond = circuit.conditions[static_cast<size_t>(ci)];
            for (int32_t b : cond.bits)
                depends_on(bit_measured[static_cast<size_t>(b)]);
            ci = cond.parent;
        }
        if (op.kind == OpKind::MEASURE) {
            int64_t& first = qubit_measured[static_cast<size_t>(op.qubit[0])];
            if (first < 0)
                first = static_cast<int64_t>(i);
            if (op.bit >= 0 && bit_measured[static_cast<size_t>(op.bit)] < 0)
                bit_measured[static_cast<size_t>(op.bit)] = static_cast<int64_t>(i);
            continue;
        }
        for (int k = 0; k < (op.kind == OpKind::RESET ? 1 : op_qubit_count(op.kind)); ++k)
            depends_on(qubit_measured[static_cast<size_t>(op.qubit[k])]);
    }
    return earliest;
}

bool outcome_probabilities(const Circuit& circuit, double min_probability,
                           const RunOptions& options, OutcomeRows<double>& rows)
{
    rows.clear();
    std::optional<Distribution> table;
    if (refuse_early_measurement(circuit) || !terminal_distribution(circuit, options, table))
        return false;
    for (const auto& [key, p] : table->sums())
        if (p >= min_probability)
            rows.emplace_back(table->text(key), p);
    sort_rows(rows);
    return true;
}

bool outcome_samples(const Circuit& circuit, int64_t shots, const RunOptions& options,
                     OutcomeRows<int64_t>& rows)
{
    rows.clear();
    if (first_early_measurement(circuit) < 0) {
        std::optional<Distribution> table;
        if (!terminal_distribution(circuit, options, table))
            return false;
        const auto& sums = table->sums();
        std::vector<double> cumulative;
        double total = 0;
        for (const auto& [key, p] : sums)
            cumulative.push_back(total += p);
        std::vector<int64_t> counts(sums.size(), 0);
        for (int64_t s = 0; s < shots && !sums.empty(); ++s) {
            const double u = uniform_random() * total;
            const auto at = std::lower_bound(cumulative.begin(), cumulative.end(), u);
            ++counts[std::min(static_cast<size_t>(at - cumulative.begin()), sums.size() - 1)];
        }
        for (size_t i = 0; i < sums.size(); ++i)
            if (counts[i] > 0)
                rows.emplace_back(table->text(sums[i].first), counts[i]);
    } else {
        Progress progress(options.progress, shots * static_cast<int64_t>(circuit.ops.size()));
        std::map<std::string, int64_t> counts;
        const bool into_bits = has_measurement(circuit);
        for (int64_t s = 0; s < shots; ++s) {
            // Only the first run is recorded, for the dump.
            Executor run(circuit, options, progress, s * static_cast<int64_t>(circuit.ops.size()),
                         s == 0 && !options.dump.empty());
            if (!run.run(Mode::Collapse))
                return false;
            if (s == 0 && !write_dump(options))
                return false;
            if (into_bits) {
                ++counts[outcome_text(circuit.cregs, [&](int32_t b) {
                    return run.bits()[static_cast<size_t>(b)] != 0;
                })];
            } else {
                // Without bits, the qubits are read at the end, as probs gives them.
                const uint64_t v = measure(run.settled());
                ++counts[outcome_text(circuit.qregs,
                                      [v](int32_t q) { return (v >> (q & 63)) & 1; })];
            }
        }
        rows.assign(counts.begin(), counts.end());
    }
    sort_rows(rows);
    return true;
}

bool run_to_register(const Circuit& circuit, const RunOptions& options, quantum_reg_struct& reg)
{
    Progress progress(options.progress, static_cast<int64_t>(circuit.ops.size()));
    Executor run(circuit, options, progress, 0, !options.dump.empty());
    reg = quantum_reg_struct{};
    if (!run.run(Mode::Collapse))
        return false;
    reg = run.release();
    return true;
}

int run_command(const Circuit& circuit, const RunOptions& options)
{
    Progress progress(options.progress, static_cast<int64_t>(circuit.ops.size()));
    Executor run(circuit, options, progress, 0, !options.dump.empty());
    if (!run.run(Mode::Collapse))
        return 1;
    print_register(run.settled());
    if (circuit.bits > 0)
        std::printf("Klassische Bits: %s\n", outcome_text(circuit.cregs, [&](int32_t b) {
                                                 return run.bits()[static_cast<size_t>(b)] != 0;
                                             }).c_str());
    std::fflush(stdout);
    return write_dump(options) ? 0 : 1;
}

int probs_command(const Circuit& circuit, double min_probability, const RunOptions& options)
{
    OutcomeRows<double> rows;
    if (!outcome_probabilities(circuit, min_probability, options, rows))
        return 1;
    print_rows(rows);
    std::fflush(stdout);
    return 0;
}

int sample_command(const Circuit& circuit, int64_t shots, const RunOptions& options)
{
    OutcomeRows<int64_t> rows;
    if (!outcome_samples(circuit, shots, options, rows))
        return 1;
    for (const auto& [bits, count] : rows)
        std::printf("%s %lld\n", bits.c_str(), static_cast<long long>(count));
    std::fflush(stdout);
    return 0;
}

} // namespace circuits
