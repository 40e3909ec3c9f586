// programs/headless_run.h: driving the whole application without a display: keys typed
// from a file, the main window's text and the printer's text written to files.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "platform/window_system.h"

struct HeadlessOptions {
    std::string input_path;
    std::string screen_path;
    std::string printer_path; // empty: no printer file
    std::string image_path;   // empty: no PNG of a window's image
    uint8_t image_window = 0; // the graphic window whose image image_path gets
    double timeout_seconds = 600;
};

// Exit status when the time limit ended the run.
constexpr int HEADLESS_TIMEOUT_STATUS = 3;
// Exit status when the image asked for cannot be written.
constexpr int HEADLESS_NO_IMAGE_STATUS = 2;

// The characters of a UTF-8 key file, one key each; nullopt when it cannot be read.
// A malformed byte stands for the character of the same number.
std::optional<std::u32string> read_key_file(const std::string& path);

// The text of a frame's character cells: each cell's code as that Unicode character,
// trailing blanks and trailing empty lines removed, lines joined by LF; empty without cells.
std::string ScreenText(const platform::Frame& frame);

// Carriage returns become line feeds.
std::string PrinterFileText(const std::string& printer_text);

// Starts the thread that types keys whenever the program waits for one, writes the files
// when all are typed (or the program ended, or time ran out) and ends the process with
// status 0 (3 after the time limit).
void start_headless_driver(std::u32string keys, HeadlessOptions options);
