// engine/objcode.cpp: the object-code recorder: one growing buffer of records and the
// dump file it is written to.
#include "engine/objcode.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

#include "engine/error.h"

namespace {

int64_t active = 0;
uint8_t* buffer = nullptr;
int64_t pages = 0;
int64_t position = 0;
std::string default_file;
std::string dump_path;

// The longest record: opcode, two integers and an angle.
constexpr int64_t MAX_RECORD_BYTES = 17;

uint8_t* put_int(uint8_t* out, int value)
{
    // Big-endian on the two's-complement bits, so a negative value keeps its sign bytes.
    const auto bits = static_cast<uint32_t>(value);
    for (int shift = 24; shift >= 0; shift -= 8)
        *out++ = static_cast<uint8_t>(bits >> shift);
    return out;
}

uint8_t* put_basis(uint8_t* out, uint64_t value)
{
    for (int shift = 56; shift >= 0; shift -= 8)
        *out++ = static_cast<uint8_t>(value >> shift);
    return out;
}

uint8_t* put_angle(uint8_t* out, double value)
{
    // Native byte order on purpose: dump files carry the machine's own doubles.
    std::memcpy(out, &value, sizeof value);
    return out + sizeof value;
}

void release_buffer()
{
    if (buffer) {
        std::free(buffer);
        memory_account(-OBJCODE_PAGE_BYTES * pages);
    }
    buffer = nullptr;
    pages = 0;
    position = 0;
}

bool write_all(int fd, const uint8_t* data, int64_t bytes)
{
    while (bytes > 0) {
        const ssize_t written = ::write(fd, data, static_cast<size_t>(bytes));
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (written == 0)
            return false;
        data += written;
        bytes -= written;
    }
    return true;
}

} // namespace

int64_t objcode_record_length(uint8_t opcode)
{
    switch (opcode) {
    case OBJCODE_INIT:
    case OBJCODE_CNOT:
    case OBJCODE_COND_PHASE:
        return 9;
    case OBJCODE_TOFFOLI:
    case OBJCODE_ROT_X:
    case OBJCODE_ROT_Y:
    case OBJCODE_ROT_Z:
    case OBJCODE_PHASE_KICK:
    case OBJCODE_PHASE_SCALE:
        return 13;
    case OBJCODE_SIGMA_X:
    case OBJCODE_SIGMA_Y:
    case OBJCODE_SIGMA_Z:
    case OBJCODE_HADAMARD:
    case OBJCODE_SWAP_LEADS:
    case OBJCODE_MEASURE_QUBIT:
    case OBJCODE_MEASURE_QUBIT_PRESERVE:
    case OBJCODE_WIDTH:
        return 5;
    case OBJCODE_COND_PHASE_KICK:
        return 17;
    case OBJCODE_MEASURE:
    case OBJCODE_NOP:
        return 1;
    default:
        return 0;
    }
}

void quantum_objcode_start()
{
    release_buffer();
    active = 1;
    pages = 1;
    position = 0;
    buffer = static_cast<uint8_t*>(std::malloc(OBJCODE_PAGE_BYTES));
    if (!buffer) {
        quantum_error(QUANTUM_ENOMEM);
        pages = 0;
        return;
    }
    memory_account(OBJCODE_PAGE_BYTES);
}

void objcode_stop()
{
    active = 0;
    release_buffer();
}

int objcode_record(uint8_t opcode, ...)
{
    if (!active)
        return 0;

    uint8_t record[MAX_RECORD_BYTES];
    record[0] = opcode;
    uint8_t* out = record + 1;
    va_list args;
    va_start(args, opcode);
    switch (opcode) {
    case OBJCODE_INIT:
        out = put_basis(out, va_arg(args, uint64_t));
        break;
    case OBJCODE_CNOT:
    case OBJCODE_COND_PHASE:
        out = put_int(out, va_arg(args, int));
        out = put_int(out, va_arg(args, int));
        break;
    case OBJCODE_TOFFOLI:
        for (int k = 0; k < 3; k++)
            out = put_int(out, va_arg(args, int));
        break;
    case OBJCODE_SIGMA_X:
    case OBJCODE_SIGMA_Y:
    case OBJCODE_SIGMA_Z:
    case OBJCODE_HADAMARD:
    case OBJCODE_SWAP_LEADS:
    case OBJCODE_MEASURE_QUBIT:
    case OBJCODE_MEASURE_QUBIT_PRESERVE:
    case OBJCODE_WIDTH:
        out = put_int(out, va_arg(args, int));
        break;
    case OBJCODE_ROT_X:
    case OBJCODE_ROT_Y:
    case OBJCODE_ROT_Z:
    case OBJCODE_PHASE_KICK:
    case OBJCODE_PHASE_SCALE:
        out = put_int(out, va_arg(args, int));
        out = put_angle(out, va_arg(args, double));
        break;
    case OBJCODE_COND_PHASE_KICK:
        out = put_int(out, va_arg(args, int));
        out = put_int(out, va_arg(args, int));
        out = put_angle(out, va_arg(args, double));
        break;
    case OBJCODE_MEASURE:
    case OBJCODE_NOP:
        break;
    default:
        quantum_error(QUANTUM_EOPCODE);
        break;
    }
    va_end(args);

    const int64_t length = objcode_record_length(opcode);
    if (length == 0)
        return 1;

    // A record that reaches the end of the last page exactly also adds a page.
    if (position / OBJCODE_PAGE_BYTES < (position + length) / OBJCODE_PAGE_BYTES) {
        auto* grown = static_cast<uint8_t*>(
            std::realloc(buffer, static_cast<size_t>((pages + 1) * OBJCODE_PAGE_BYTES)));
        if (!grown) {
            // The record is lost, but the trace recorded so far stays intact.
            quantum_error(QUANTUM_ENOMEM);
            return 1;
        }
        buffer = grown;
        pages += 1;
        memory_account(OBJCODE_PAGE_BYTES);
    }
    if (!buffer) {
        quantum_error(QUANTUM_ENOMEM);
        return 1;
    }
    std::memcpy(buffer + position, record, static_cast<size_t>(length));
    position += length;
    return 1;
}

void objcode_set_default_file(std::string name)
{
    default_file = std::move(name);
}

const std::string& objcode_default_file()
{
    return default_file;
}

void objcode_set_dump_path(std::string path)
{
    dump_path = std::move(path);
}

const std::string& objcode_dump_path()
{
    return dump_path;
}

int objcode_write_file(const char* name)
{
    if (!active) {
        std::fprintf(stderr,
                     "Object code generation not active! Forgot to call quantum_objcode_start?\n");
        return 1;
    }
    const std::string path = name ? std::string(name) : default_file;
    if (path.empty())
        return -1;
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return -1;
    // A short write is a failure too: nobody may believe a truncated dump was written.
    const bool ok = write_all(fd, buffer, buffer ? position : 0);
    const bool closed = ::close(fd) == 0;
    return ok && closed ? 0 : -1;
}

bool objcode_active()
{
    return active != 0;
}

int64_t objcode_position()
{
    return position;
}

int64_t objcode_pages()
{
    return pages;
}

const uint8_t* objcode_data()
{
    return active ? buffer : nullptr;
}
