// tests/fuzz/fuzz_keyfile.cpp: reads arbitrary bytes as the headless run's key file.
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include <unistd.h>

#include "platform/utf8.h"
#include "programs/headless_run.h"
#include "shell/mttools.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const std::string path = "/tmp/orbikon_fuzz_keys_" + std::to_string(getpid());
    FILE* out = std::fopen(path.c_str(), "wb");
    if (!out)
        return 0;
    std::fwrite(data, 1, size, out);
    std::fclose(out);
    const std::optional<std::u32string> keys = read_key_file(path);
    if (!keys)
        __builtin_trap();

    // Nothing is lost: the keys written back as UTF-8 decode to the same keys, and a stray
    // byte decoded as U+FFFD gives as many characters as one decoded as its own code.
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    if (platform::decode_utf8(platform::encode_utf8(*keys)) != *keys)
        __builtin_trap();
    if (platform::decode_utf8(text, platform::StrayByte::Replacement).size() != keys->size())
        __builtin_trap();
    return 0;
}
