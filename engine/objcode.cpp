// engine/objcode.cpp: the object-code recorder: records collect in a memory window that
// spills to an unnamed file beside the dump, and a write links that file as the dump.
#include "engine/objcode.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>
#include <vector>

#include "engine/by_value.h"
#include "engine/error.h"

namespace {

int64_t active = 0;
int64_t pages = 0;    // of the whole recording, as if it were one buffer
int64_t position = 0; // bytes recorded in all
std::string default_file;
std::string dump_path;

// The memory window holds the last `buffered` bytes; the ones before are in the spill file.
uint8_t* buffer = nullptr;
int64_t capacity = 0;
int64_t buffered = 0;
int64_t memory_limit = OBJCODE_MEMORY_LIMIT;

// The spill file has no name until a write links it as the dump. Once it is a dump it is
// never appended to again: the next spill continues in a copy.
int spill_fd = -1;
bool spill_failed = false;
bool spill_published = false;

// objcode_data's view of a spilled recording.
void* view = nullptr;
size_t view_bytes = 0;

// Copies of one record for bulk runs, kept while the same record repeats.
std::vector<uint8_t> run_block;
constexpr int64_t RUN_BLOCK_RECORDS = 65536;
constexpr int RUN_WRITE_BLOCKS = 64;

// The longest record: opcode, two integers and an angle.
constexpr int64_t MAX_RECORD_BYTES = 17;
constexpr bool longest_record_fits()
{
    for (const RecordLayout& layout : RECORD_LAYOUTS) {
        int64_t length = 1;
        for (int k = 0; k < layout.count; k++)
            length += operand_bytes(layout.operands[static_cast<size_t>(k)]);
        if (length > MAX_RECORD_BYTES)
            return false;
    }
    return true;
}
static_assert(longest_record_fits());

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

// Encodes the record of opcode with its operands; its length, 0 for an invalid opcode.
int64_t encode(uint8_t opcode, const ObjcodeOperand* operands, size_t count, uint8_t* record)
{
    const RecordLayout* layout = record_layout(opcode);
    if (!layout) {
        quantum_error(QUANTUM_EOPCODE);
        return 0;
    }
    record[0] = opcode;
    uint8_t* out = record + 1;
    for (int k = 0; k < layout->count; k++) {
        const ObjcodeOperand zero(0);
        const ObjcodeOperand& operand = static_cast<size_t>(k) < count ? operands[k] : zero;
        switch (layout->operands[static_cast<size_t>(k)]) {
        case Operand::Int32:
            out = put_int(out, static_cast<int>(static_cast<uint32_t>(operand.bits)));
            break;
        case Operand::Int64:
            out = put_basis(out, operand.bits);
            break;
        case Operand::Real:
            out = put_angle(out, operand.angle);
            break;
        }
    }
    return out - record;
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

bool pwrite_all(int fd, const uint8_t* data, int64_t bytes, int64_t offset)
{
    while (bytes > 0) {
        const ssize_t written = ::pwrite(fd, data, static_cast<size_t>(bytes), offset);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        data += written;
        bytes -= written;
        offset += written;
    }
    return true;
}

// Appends the first bytes of from to to. The kernel copies where it can; reading and
// writing is the fallback across file systems.
bool copy_prefix(int from, int to, int64_t bytes)
{
    loff_t offset = 0;
    while (bytes > 0) {
        const ssize_t copied =
            ::copy_file_range(from, &offset, to, nullptr, static_cast<size_t>(bytes), 0);
        if (copied < 0 && errno == EINTR)
            continue;
        if (copied <= 0)
            break;
        bytes -= copied;
    }
    std::vector<uint8_t> chunk(bytes > 0 ? OBJCODE_PAGE_BYTES : 0);
    while (bytes > 0) {
        const ssize_t got = ::pread(from, chunk.data(),
                                    static_cast<size_t>(std::min(bytes, OBJCODE_PAGE_BYTES)), offset);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0 || !write_all(to, chunk.data(), got))
            return false;
        offset += got;
        bytes -= got;
    }
    return true;
}

void drop_view()
{
    if (view)
        ::munmap(view, view_bytes);
    view = nullptr;
    view_bytes = 0;
}

void close_spill()
{
    drop_view();
    if (spill_fd >= 0)
        ::close(spill_fd);
    spill_fd = -1;
    spill_failed = false;
    spill_published = false;
}

void release_buffer()
{
    if (buffer)
        std::free(buffer);
    // Pages are counted for the whole recording, spilled or not, as if it were one buffer.
    memory_account(-OBJCODE_PAGE_BYTES * pages);
    buffer = nullptr;
    capacity = 0;
    buffered = 0;
    pages = 0;
    position = 0;
    close_spill();
    run_block.clear();
    run_block.shrink_to_fit();
}

// Advances the position; a record reaching the end of the last page exactly adds a page.
void advance(int64_t bytes)
{
    position += bytes;
    const int64_t now = position / OBJCODE_PAGE_BYTES + 1;
    if (now != pages) {
        memory_account((now - pages) * OBJCODE_PAGE_BYTES);
        pages = now;
    }
}

std::string folder_of(const std::string& path)
{
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// The spill file lives beside the file the trace will be written to, so that linking it
// there is possible; it has no name and vanishes with the process unless written.
int open_spill_file()
{
    const std::string& target = default_file.empty() ? dump_path : default_file;
    const char* tmp = std::getenv("TMPDIR");
    const std::string folder = !target.empty() ? folder_of(target) : tmp && *tmp ? tmp : "/tmp";
    return ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0644);
}

// A published spill file is a dump now: continue in a fresh copy of it.
bool unpublish()
{
    const int copy = open_spill_file();
    if (copy < 0)
        return false;
    if (!copy_prefix(spill_fd, copy, position - buffered)) {
        ::close(copy);
        return false;
    }
    drop_view();
    ::close(spill_fd);
    spill_fd = copy;
    spill_published = false;
    return true;
}

// Moves the window's bytes to the end of the spill file. When that fails, nothing is lost:
// the bytes stay in memory and the recording keeps them there from now on.
bool spill_window()
{
    if (memory_limit <= 0 || spill_failed)
        return false;
    if (spill_fd < 0)
        spill_fd = open_spill_file();
    if (spill_fd < 0 || (spill_published && !unpublish()) ||
        !pwrite_all(spill_fd, buffer, buffered, position - buffered)) {
        spill_failed = true;
        return false;
    }
    buffered = 0;
    return true;
}

// Room for bytes more in the window: a full window spills, else it grows by whole pages.
bool make_room(int64_t bytes)
{
    if (buffered + bytes <= capacity)
        return true;
    if (buffered > 0 && memory_limit > 0 && buffered + bytes > memory_limit && spill_window() &&
        bytes <= capacity)
        return true;
    const int64_t wanted = (buffered + bytes + OBJCODE_PAGE_BYTES - 1) / OBJCODE_PAGE_BYTES;
    auto* grown =
        static_cast<uint8_t*>(std::realloc(buffer, static_cast<size_t>(wanted * OBJCODE_PAGE_BYTES)));
    if (!grown) {
        // The record is lost, but the trace recorded so far stays intact.
        quantum_error(QUANTUM_ENOMEM);
        return false;
    }
    buffer = grown;
    capacity = wanted * OBJCODE_PAGE_BYTES;
    return true;
}

// Fills out with count copies of the length-byte record, doubling what is already copied.
void fill_copies(uint8_t* out, const uint8_t* record, int64_t length, int64_t count)
{
    const int64_t bytes = length * count;
    std::memcpy(out, record, static_cast<size_t>(length));
    for (int64_t done = length; done < bytes;) {
        const int64_t step = std::min(done, bytes - done);
        std::memcpy(out + done, out, static_cast<size_t>(step));
        done += step;
    }
}

// The block of copies of the record for write_run; false when memory is short.
bool prepare_run_block(const uint8_t* record, int64_t length)
{
    const auto block_bytes = static_cast<size_t>(length * RUN_BLOCK_RECORDS);
    if (run_block.size() == block_bytes && std::memcmp(run_block.data(), record, length) == 0)
        return true;
    try {
        run_block.resize(block_bytes);
    } catch (const std::bad_alloc&) {
        run_block = {};
        return false;
    }
    fill_copies(run_block.data(), record, length, RUN_BLOCK_RECORDS);
    return true;
}

// Writes count copies of the record at the end of the spill file straight from the block of
// copies, without passing through the window. Expects an empty window and a prepared block.
bool write_run(int64_t length, int64_t count)
{
    const auto block_bytes = static_cast<size_t>(length * RUN_BLOCK_RECORDS);
    // The block holds whole records, so the run is the block repeated, cut at its end.
    const int64_t bytes = length * count;
    for (int64_t done = 0; done < bytes;) {
        iovec parts[RUN_WRITE_BLOCKS];
        int used = 0;
        int64_t at = done;
        for (; used < RUN_WRITE_BLOCKS && at < bytes; ++used) {
            const int64_t from = at % static_cast<int64_t>(block_bytes);
            const int64_t part = std::min(static_cast<int64_t>(block_bytes) - from, bytes - at);
            parts[used] = {run_block.data() + from, static_cast<size_t>(part)};
            at += part;
        }
        const ssize_t written = ::pwritev(spill_fd, parts, used, position + done);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        done += written;
    }
    return true;
}

void append(const uint8_t* record, int64_t length)
{
    if (!make_room(length))
        return;
    std::memcpy(buffer + buffered, record, static_cast<size_t>(length));
    buffered += length;
    advance(length);
}

void append_run(const uint8_t* record, int64_t length, int64_t count)
{
    if (count > INT64_MAX / MAX_RECORD_BYTES - position) {
        quantum_error(QUANTUM_ENOMEM);
        return;
    }
    const int64_t bytes = length * count;
    // A run past the window goes straight to the file once the window is out of the way.
    if (memory_limit > 0 && buffered + bytes > memory_limit &&
        prepare_run_block(record, length) && spill_window()) {
        if (write_run(length, count)) {
            advance(bytes);
            return;
        }
        spill_failed = true;
    }
    if (!make_room(bytes))
        return;
    fill_copies(buffer + buffered, record, length, count);
    buffered += bytes;
    advance(bytes);
}

// The whole trace into fd at its current offset: the spilled bytes, then the window.
bool emit(int fd)
{
    const int64_t spilled = position - buffered;
    if (spilled > 0 && (spill_fd < 0 || !copy_prefix(spill_fd, fd, spilled)))
        return false;
    return write_all(fd, buffer, buffered);
}

std::string temporary_name(const std::string& path, int attempt)
{
    return path + "." + std::to_string(::getpid()) + "-" + std::to_string(attempt) + ".part";
}

// Gives the complete spill file the name path: linked under a temporary name, then renamed
// over path. False when the trace is not (only) in a spill file or linking is impossible.
bool publish(const std::string& path)
{
    if (spill_fd < 0 || spill_failed)
        return false;
    if (buffered > 0 && !spill_window())
        return false;
    if (::ftruncate(spill_fd, position) != 0)
        return false;
    // Already under that name: renaming a file onto itself would leave the temporary link.
    struct stat mine {};
    struct stat theirs {};
    if (::fstat(spill_fd, &mine) == 0 && ::stat(path.c_str(), &theirs) == 0 &&
        mine.st_dev == theirs.st_dev && mine.st_ino == theirs.st_ino)
        return true;
    const std::string self = "/proc/self/fd/" + std::to_string(spill_fd);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string temporary = temporary_name(path, attempt);
        if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, temporary.c_str(), AT_SYMLINK_FOLLOW) != 0) {
            if (errno == EEXIST)
                continue;
            return false;
        }
        if (::rename(temporary.c_str(), path.c_str()) != 0) {
            ::unlink(temporary.c_str());
            return false;
        }
        spill_published = true;
        return true;
    }
    return false;
}

// Writes the trace to a new file beside path and renames it over path.
bool write_beside(const std::string& path)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string temporary = temporary_name(path, attempt);
        const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd < 0) {
            if (errno == EEXIST)
                continue;
            return false;
        }
        const bool ok = emit(fd);
        const bool closed = ::close(fd) == 0;
        if (ok && closed && ::rename(temporary.c_str(), path.c_str()) == 0)
            return true;
        ::unlink(temporary.c_str());
        return false;
    }
    return false;
}

bool write_in_place(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    // A short write is a failure too: nobody may believe a truncated dump was written.
    const bool ok = emit(fd);
    const bool closed = ::close(fd) == 0;
    return ok && closed;
}

} // namespace

const RecordLayout* record_layout(uint8_t opcode)
{
    // By opcode, from the one table.
    static const std::array<const RecordLayout*, 256> by_opcode = [] {
        std::array<const RecordLayout*, 256> table{};
        for (const RecordLayout& layout : RECORD_LAYOUTS)
            table[layout.opcode] = &layout;
        return table;
    }();
    return by_opcode[opcode];
}

int64_t objcode_record_length(uint8_t opcode)
{
    const RecordLayout* layout = record_layout(opcode);
    if (!layout)
        return 0;
    int64_t length = 1;
    for (int k = 0; k < layout->count; k++)
        length += operand_bytes(layout->operands[static_cast<size_t>(k)]);
    return length;
}

RecordOperands record_operands(const uint8_t* record)
{
    RecordOperands out;
    const RecordLayout* layout = record_layout(record[0]);
    if (!layout)
        return out;
    const uint8_t* in = record + 1;
    int integers = 0;
    for (int k = 0; k < layout->count; k++) {
        switch (layout->operands[static_cast<size_t>(k)]) {
        case Operand::Int32: {
            const uint32_t u = (uint32_t{in[0]} << 24) | (uint32_t{in[1]} << 16) |
                               (uint32_t{in[2]} << 8) | uint32_t{in[3]};
            out.integer[integers++] = static_cast<int32_t>(u);
            break;
        }
        case Operand::Int64:
            for (int b = 0; b < 8; b++)
                out.basis = (out.basis << 8) | in[b];
            break;
        case Operand::Real:
            std::memcpy(&out.angle, in, sizeof out.angle);
            break;
        }
        in += operand_bytes(layout->operands[static_cast<size_t>(k)]);
    }
    return out;
}

void quantum_objcode_start()
{
    release_buffer();
    active = 1;
    pages = 1;
    buffer = static_cast<uint8_t*>(std::malloc(OBJCODE_PAGE_BYTES));
    if (!buffer) {
        quantum_error(QUANTUM_ENOMEM);
        pages = 0;
        return;
    }
    capacity = OBJCODE_PAGE_BYTES;
    memory_account(OBJCODE_PAGE_BYTES);
}

void objcode_stop()
{
    active = 0;
    release_buffer();
    // A program ends here: nothing of its fast paths' peak stays reserved.
    engine::fast_paths_release();
}

int objcode_append(int64_t count, uint8_t opcode, const ObjcodeOperand* operands,
                   size_t operand_count)
{
    if (!active)
        return 0;
    uint8_t record[MAX_RECORD_BYTES];
    const int64_t length = encode(opcode, operands, operand_count, record);
    if (length > 0 && count == 1)
        append(record, length);
    else if (length > 0 && count > 1)
        append_run(record, length, count);
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
    struct stat existing {};
    if (::lstat(path.c_str(), &existing) == 0 && !S_ISREG(existing.st_mode))
        return write_in_place(path) ? 0 : -1;
    return publish(path) || write_beside(path) ? 0 : -1;
}

void objcode_set_memory_limit(int64_t bytes)
{
    memory_limit = bytes > 0 ? bytes : 0;
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
    if (!active)
        return nullptr;
    if (spill_fd < 0 || position == 0)
        return buffer;
    // A spilled trace is read through a map of its file, the window spilled first.
    if (buffered > 0 && !spill_window())
        return nullptr;
    drop_view();
    void* mapped = ::mmap(nullptr, static_cast<size_t>(position), PROT_READ, MAP_SHARED, spill_fd, 0);
    if (mapped == MAP_FAILED)
        return nullptr;
    view = mapped;
    view_bytes = static_cast<size_t>(position);
    return static_cast<const uint8_t*>(view);
}
