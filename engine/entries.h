// engine/entries.h: the one place that allocates a register's entry arrays and the gates'
// work arrays, with one contract for size, zeroing, the memory count and the failure report.
#pragma once

#include <cstdint>
#include <cstdlib>

#include "engine/error.h"
#include "engine/register.h"

namespace engine {

// Bytes per amplitude and per basis value, as the memory count takes them.
constexpr int64_t ENTRY_BYTES = 8;

// The contract of every function below: the arrays hold exactly size entries; the memory
// count always holds what they take, 8 bytes per entry and array; new entries are zeroed; a
// failed allocation reports "malloc failed" and leaves the register as it was. A register
// without a basis-value array (dense) has only amplitudes.

// Fresh zeroed arrays of n entries, a basis-value array only with_state; size = n. On
// failure both arrays are absent and size is 0.
bool entries_new(quantum_reg_struct& reg, int64_t n, bool with_state);
// Frees both arrays; the numeric fields stay.
void entries_free(quantum_reg_struct& reg);
// size = n: new entries zeroed, a shrink keeps the first n. A shrink that the allocator
// refuses keeps the larger blocks (counted at n) and reports only when n > 0.
bool entries_resize(quantum_reg_struct& reg, int64_t n);
// A zeroed basis-value array of size entries for a register that has amplitudes only, and
// the way back.
bool entries_add_state(quantum_reg_struct& reg);
void entries_drop_state(quantum_reg_struct& reg);

// A counted work array of n elements, zeroed unless the caller writes every element before
// reading it; nullptr (reported, unless the caller has another way) when the memory is not
// there.
void* work_new(int64_t n, size_t element_bytes, bool zeroed, bool report = true);
void work_free(void* p, int64_t n, size_t element_bytes);

template <typename T> T* work_array(int64_t n, bool zeroed = true, bool report = true)
{
    return static_cast<T*>(work_new(n, sizeof(T), zeroed, report));
}

template <typename T> void work_release(T* p, int64_t n)
{
    work_free(p, n, sizeof(T));
}

// A counted array that grows on demand and is given back whole; it never throws.
template <typename T> struct WorkBuffer {
    T* data = nullptr;
    int64_t capacity = 0;

    // Room for n zeroed elements, the earlier contents dropped unless they fit; false
    // (without a report: a fast path has another way) when the memory is not there.
    bool reserve(int64_t n)
    {
        if (n <= capacity)
            return true;
        release();
        data = work_array<T>(n, true, false);
        if (!data)
            return false;
        capacity = n;
        return true;
    }

    void release()
    {
        work_release(data, capacity);
        data = nullptr;
        capacity = 0;
    }
};

} // namespace engine
