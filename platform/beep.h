// platform/beep.h: the one beep of the system, for a user command that cannot be carried
// out and for a printed BEL alike.
#pragma once

namespace platform {

// Plays the sound "sysbeep.aif" from the resource folder, or the window system's alert
// beep when the sound cannot be played (a terminal rings its bell); nothing while the sound
// still plays. Any thread; returns once the event thread has started it.
void beep();

// For test fixtures: the next beep starts the sound however recently the last one did.
void forget_playing_sound();

} // namespace platform
