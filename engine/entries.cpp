// engine/entries.cpp: allocation of entry arrays and work arrays, counted and reported.
#include "engine/entries.h"

#include <cstring>

namespace engine {

namespace {

int64_t arrays(const quantum_reg_struct& reg)
{
    return reg.state ? 2 : 1;
}

// realloc to n elements (at least one, so that a pointer stays); nullptr on failure, with p
// untouched.
template <typename T> T* resized(T* p, int64_t n)
{
    const auto count = static_cast<size_t>(n > 0 ? n : 1);
    return static_cast<T*>(std::realloc(static_cast<void*>(p), count * sizeof(T)));
}

} // namespace

bool entries_new(quantum_reg_struct& reg, int64_t n, bool with_state)
{
    const auto count = static_cast<size_t>(n > 0 ? n : 1);
    reg.amplitude = static_cast<quantum_amplitude*>(std::calloc(count, sizeof(quantum_amplitude)));
    reg.state = with_state ? static_cast<uint64_t*>(std::calloc(count, sizeof(uint64_t))) : nullptr;
    if (!reg.amplitude || (with_state && !reg.state)) {
        quantum_error(QUANTUM_ENOMEM);
        std::free(static_cast<void*>(reg.amplitude));
        std::free(reg.state);
        reg.amplitude = nullptr;
        reg.state = nullptr;
        reg.size = 0;
        return false;
    }
    reg.size = n > 0 ? n : 0;
    memory_account(arrays(reg) * ENTRY_BYTES * reg.size);
    return true;
}

void entries_free(quantum_reg_struct& reg)
{
    if (reg.amplitude) {
        std::free(static_cast<void*>(reg.amplitude));
        memory_account(-ENTRY_BYTES * reg.size);
    }
    if (reg.state) {
        std::free(reg.state);
        memory_account(-ENTRY_BYTES * reg.size);
    }
    reg.amplitude = nullptr;
    reg.state = nullptr;
}

bool entries_resize(quantum_reg_struct& reg, int64_t n)
{
    n = n > 0 ? n : 0;
    const int64_t old = reg.size;
    if (n == old || !reg.amplitude)
        return n == old;
    if (n < old) {
        quantum_amplitude* amplitude = resized(reg.amplitude, n);
        uint64_t* state = reg.state ? resized(reg.state, n) : nullptr;
        // A refused shrink keeps the larger block, which still holds every kept entry.
        if (amplitude)
            reg.amplitude = amplitude;
        if (state)
            reg.state = state;
        if ((!amplitude || (reg.state && !state)) && n > 0)
            quantum_error(QUANTUM_ENOMEM);
        memory_account(-arrays(reg) * ENTRY_BYTES * (old - n));
        reg.size = n;
        return true;
    }
    quantum_amplitude* amplitude = resized(reg.amplitude, n);
    if (!amplitude) {
        quantum_error(QUANTUM_ENOMEM);
        return false;
    }
    reg.amplitude = amplitude;
    if (reg.state) {
        uint64_t* state = resized(reg.state, n);
        if (!state) {
            // Back to the size counted; a shrink keeps the block if it is refused.
            if (quantum_amplitude* back = resized(reg.amplitude, old))
                reg.amplitude = back;
            quantum_error(QUANTUM_ENOMEM);
            return false;
        }
        reg.state = state;
        std::memset(reg.state + old, 0, static_cast<size_t>(n - old) * sizeof(uint64_t));
    }
    std::memset(static_cast<void*>(reg.amplitude + old), 0,
                static_cast<size_t>(n - old) * sizeof(quantum_amplitude));
    memory_account(arrays(reg) * ENTRY_BYTES * (n - old));
    reg.size = n;
    return true;
}

bool entries_add_state(quantum_reg_struct& reg)
{
    if (reg.state)
        return true;
    const auto count = static_cast<size_t>(reg.size > 0 ? reg.size : 1);
    reg.state = static_cast<uint64_t*>(std::calloc(count, sizeof(uint64_t)));
    if (!reg.state) {
        quantum_error(QUANTUM_ENOMEM);
        return false;
    }
    memory_account(ENTRY_BYTES * (reg.size > 0 ? reg.size : 0));
    return true;
}

void entries_drop_state(quantum_reg_struct& reg)
{
    if (!reg.state)
        return;
    std::free(reg.state);
    reg.state = nullptr;
    memory_account(-ENTRY_BYTES * (reg.size > 0 ? reg.size : 0));
}

void* work_new(int64_t n, size_t element_bytes, bool zeroed, bool report)
{
    const auto count = static_cast<size_t>(n > 0 ? n : 1);
    void* p = zeroed ? std::calloc(count, element_bytes) : std::malloc(count * element_bytes);
    if (!p) {
        if (report)
            quantum_error(QUANTUM_ENOMEM);
        return nullptr;
    }
    memory_account(static_cast<int64_t>(element_bytes) * (n > 0 ? n : 0));
    return p;
}

void work_free(void* p, int64_t n, size_t element_bytes)
{
    if (!p)
        return;
    std::free(p);
    memory_account(-static_cast<int64_t>(element_bytes) * (n > 0 ? n : 0));
}

} // namespace engine
