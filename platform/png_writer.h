// platform/png_writer.h: saves an ARGB screen image as a PNG file.
#pragma once

#include "platform/window_system.h"

#include <cstdint>
#include <string>
#include <vector>

namespace platform {

// Writes width x height pixels of 4 bytes each (alpha, red, green, blue, top row first)
// as an 8-bit RGB PNG; alpha is dropped because screen images are always opaque.
// false when the sizes do not match the buffer or the file cannot be written.
bool write_png_argb(const std::string& path, const std::vector<uint8_t>& argb, int64_t width,
                    int64_t height);

// The same for a screen image (pixels 0xAARRGGBB).
bool write_png(const std::string& path, const ArgbImage& image);

} // namespace platform
