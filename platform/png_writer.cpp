// platform/png_writer.cpp: PNG output through libpng.
#include "platform/png_writer.h"

#include <csetjmp>
#include <cstdio>
#include <png.h>

namespace platform {

namespace {

// libpng reports fatal errors by longjmp; nothing with a destructor may live between
// setjmp and the calls that can jump, so the rows are prepared before it.
bool write_rows(FILE* file, const std::vector<std::vector<uint8_t>>& rows, uint32_t width,
                uint32_t height)
{
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (!png)
        return false;
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, width, height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (const auto& row : rows)
        png_write_row(png, row.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

} // namespace

bool write_png_argb(const std::string& path, const std::vector<uint8_t>& argb, int64_t width,
                    int64_t height)
{
    if (width <= 0 || height <= 0 || width > 0x7FFFFFFF || height > 0x7FFFFFFF)
        return false;
    if (argb.size() != static_cast<size_t>(width) * static_cast<size_t>(height) * 4)
        return false;

    std::vector<std::vector<uint8_t>> rows(static_cast<size_t>(height));
    for (int64_t y = 0; y < height; ++y) {
        auto& row = rows[static_cast<size_t>(y)];
        row.resize(static_cast<size_t>(width) * 3);
        const uint8_t* src = argb.data() + static_cast<size_t>(y * width * 4);
        for (int64_t x = 0; x < width; ++x) {
            row[static_cast<size_t>(x * 3 + 0)] = src[x * 4 + 1];
            row[static_cast<size_t>(x * 3 + 1)] = src[x * 4 + 2];
            row[static_cast<size_t>(x * 3 + 2)] = src[x * 4 + 3];
        }
    }

    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
        return false;
    bool ok = write_rows(file, rows, static_cast<uint32_t>(width), static_cast<uint32_t>(height));
    ok = (std::fclose(file) == 0) && ok;
    if (!ok)
        std::remove(path.c_str());
    return ok;
}

bool write_png(const std::string& path, const ArgbImage& image)
{
    if (image.width <= 0 || image.height <= 0 ||
        image.pixels.size() != static_cast<size_t>(image.width) * static_cast<size_t>(image.height))
        return false;
    std::vector<uint8_t> bytes;
    bytes.reserve(image.pixels.size() * 4);
    for (uint32_t p : image.pixels) {
        bytes.push_back(static_cast<uint8_t>(p >> 24));
        bytes.push_back(static_cast<uint8_t>(p >> 16));
        bytes.push_back(static_cast<uint8_t>(p >> 8));
        bytes.push_back(static_cast<uint8_t>(p));
    }
    return write_png_argb(path, bytes, image.width, image.height);
}

} // namespace platform
