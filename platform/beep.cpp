// platform/beep.cpp: the beep, on the event thread where the window system plays sounds.
#include "platform/beep.h"

#include "platform/platform.h"
#include "platform/window_system.h"

namespace platform {

namespace {

constexpr const char* BEEP_SOUND = "sysbeep.aif";

} // namespace

void beep()
{
    const std::string path = resource_folder() + BEEP_SOUND;
    run_on_event_thread(
        [&] {
            WindowSystem& ws = window_system();
            if (ws.sound_playing())
                return;
            if (!ws.play_sound(path))
                ws.alert_beep();
        },
        true);
}

} // namespace platform
