// platform/beep.cpp: the beep, on the event thread where the window system plays sounds.
#include "platform/beep.h"

#include "platform/platform.h"
#include "platform/window_system.h"

#include <atomic>

namespace platform {

namespace {

constexpr const char* BEEP_SOUND = "sysbeep.aif";

// time_seconds() when the sound last started ends.
std::atomic<double> sound_ends{0};

} // namespace

void beep()
{
    const std::string path = resource_folder() + BEEP_SOUND;
    run_on_event_thread(
        [&] {
            if (time_seconds() < sound_ends)
                return;
            WindowSystem& ws = window_system();
            if (const std::optional<double> seconds = ws.play_sound(path))
                sound_ends = time_seconds() + *seconds;
            else
                ws.alert_beep();
        },
        true);
}

void forget_playing_sound()
{
    sound_ends = 0;
}

} // namespace platform
