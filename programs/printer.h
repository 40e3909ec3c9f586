// programs/printer.h: the virtual printer, a scrolling text window that collects printed output.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Every p_ operation may be called from any thread; the view work runs on the event thread and
// the caller returns only after it is done. Without the printer's text view each operation
// prints its "... is nil, resource undefined." line and does nothing else.

// Sets the ruler, plain editing and the font, empties the printer and its buffer, and starts
// the update thread unless it runs.
void p_InitPrinter();
// Replaces the whole content by text and marks the view for redrawing.
void p_SetPrinter(const std::string& text);
// The whole content; "" when the printer does not exist.
std::string p_GetPrinter();
// Appends text to the content; the layers below get only the new text. False, after the
// p_SetPrinter line, when the printer does not exist.
bool printer_append(std::string_view text);
// Sets the one-line ruler above the text.
void p_SetRuler(const std::string& text);
// The update thread's body: publishes the buffer at most every 101 ms while the active flag
// is set; prints its start and end lines.
void p_PrinterAutoUpdateProcess();

// The bytes as text: decoded as UTF-8 when they are valid UTF-8, else through BytesToText.
std::string printer_text_of(std::string_view bytes);
std::string printer_text_of(const std::vector<uint8_t>& bytes);

// Shared with the update thread
// 1 when VirtualPrinterBuffer holds text the update thread should publish.
extern std::atomic<uint8_t> VirtualPrinterUpdatePending;
// 1 while the update thread runs; clearing it ends the thread.
extern std::atomic<uint8_t> VirtualPrinterAutoUpdateActive;
// Milliseconds of the last publication.
extern std::atomic<int64_t> VirtualPrinterLastUpdate;

// VirtualPrinterBuffer, the UTF-8 bytes waiting to be published, sits behind a lock.
// Appends bytes, then marks the buffer for publication.
void printer_buffer_append(std::string_view bytes);
// Empties the buffer (the pending flag stays as it is).
void printer_buffer_clear();
// A copy of the buffer.
std::vector<uint8_t> printer_buffer_contents();
