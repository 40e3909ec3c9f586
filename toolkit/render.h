// toolkit/render.h: screen images of the windows, forced redraws and the auto-update thread.
#pragma once

#include "platform/window_system.h"
#include "toolkit/window.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

// Image of the window's graphic block, opaque ARGB; none for a hidden or unready window.
// Sets UpdateDuration and UpdateFinished.
std::shared_ptr<const platform::ArgbImage> t_WindowImage(uint8_t win);

// The finished frame handed to the window system: that image, and the character cells with
// their colours when the window has text (the cursor's cell marked while it shows).
// No image: an empty frame.
platform::Frame t_WindowFrame(uint8_t win);

// Asks the window's view to redraw: at once (deferred false) or in the next drawing cycle.
void t_WindowUpdate(uint8_t win, bool deferred);

// Body of the auto-update thread: requests redraws of the due windows until the memory is
// no longer ready or AutoUpdateRunning is cleared.
void t_WindowAutoUpdateProcess();

// The window's character plane, line after line, each line followed by separator. With a
// non-empty separator, trailing blanks and trailing empty lines are removed at every CR.
std::string t_GetScreen(uint8_t win, std::string_view separator);

namespace toolkit {

// What text stands in for a cell code: the code itself, or for the toolkit's own drawing
// glyphs (127 to 160, which are no printable characters) an ASCII lookalike.
char32_t shown_character(uint8_t code);

// The image of an initialised window's canvas whether it is shown or not (for image files);
// none for an unready window, without a diagnostic.
std::shared_ptr<const platform::ArgbImage> canvas_image(uint8_t win);

// Starts the auto-update thread unless it runs already (called by every t_InitWindow).
void start_auto_update();
// Clears AutoUpdateRunning and waits (bounded) until the thread has ended; for the shell's
// shutdown and test fixtures. false when the thread did not end in time.
bool stop_auto_update();
// Whether window n is due for an automatic refresh at the time now_ms.
bool auto_update_due(const t_Window& w, int64_t now_ms);

} // namespace toolkit
