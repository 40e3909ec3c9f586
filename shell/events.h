// shell/events.h: the key event queue, key translation and the three ways to read keys.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

#include "platform/keys.h"
#include "platform/window_system.h"

// One key or mouse event; a fresh record is the all-zero event.
struct t_Event {
    int64_t Kind = 0;  // 1 key, 2 mouse
    int64_t Index = 0; // platform key code; 0 for events made from text
    std::string Description;
    int64_t Value = 0; // translated 8-bit key code
    int64_t WindowX = 0;
    int64_t WindowY = 0;
    int64_t ClickX = 0;
    int64_t ClickY = 0;
    int64_t Mods = 0; // bits 16 to 31 of the platform modifier word
    uint8_t Window = 0;
    int64_t Time = 0; // milliseconds
    bool CloseBox = false;
    bool CapsLockPressed = false;
    bool ShiftPressed = false;
    bool ControlPressed = false;
    bool OptionPressed = false;
    bool CommandPressed = false;
    bool NumericPadPressed = false;
    bool HelpPressed = false;
    bool FnPressed = false;
    bool CursorKeyPressed = false;
    bool FunctionKeyPressed = false;
};

// The report of the key that types character c on a US layout, for window 0: LF and CR
// give Return, U+001B Escape, TAB Tab, U+007F Delete (backspace); shifted characters hold
// Shift; characters no key types report platform::KEY_UNMAPPED.
platform::KeyReport KeyReportFor(char32_t c);

// Shared state, readable from any thread
// True when the queue is believed non-empty; readers test it before they look.
extern std::atomic<bool> EventPending;
extern std::atomic<bool> CapsLockDown;
extern std::atomic<bool> ShiftDown;
extern std::atomic<bool> ControlDown;
extern std::atomic<bool> OptionDown;
extern std::atomic<bool> CommandDown;
extern std::atomic<bool> FnDown;
// Set by every key-down report of a graphic window view, cleared by every key-up.
extern std::atomic<bool> KeyIsDown;

// A copy of the event that WaitKey or NextEvent took last.
t_Event CurrentEvent();

// Event thread side
// A key-down report of the view of `window`; queues at most one event (or redirects output).
void PostKeyDown(uint8_t window, uint16_t key_code, std::string_view characters,
                 uint64_t modifiers);
// A report in which only the modifier keys changed.
void PostModifiers(uint64_t modifiers);
// A key-up report.
void PostKeyUp();

// Program thread side
// Queues one key event per character of text, as if typed (used by paste).
void PostText(std::string_view text);
// Blocks until a key with a non-negative value is taken; shows the cursor only while waiting.
std::string WaitKey(uint8_t window);
// Takes the head event without blocking; its value, or -1 when there is none.
int64_t NextEvent();
// The stop-key check of text output: when the last queued key is `code`, flushes the queue
// and, with wait, pauses until the next key or menu command. Returns (paused, next key).
std::pair<bool, int64_t> PauseOnKey(int64_t code, bool wait);

// Lets text output run the Ctrl-S check through the toolkit's shell hook.
void InstallEventHooks();

// For drivers and tests
// Number of events now queued.
int64_t EventQueueLength();
// True while WaitKey sleeps on an empty queue, i.e. the program wants the next key.
bool WaitingForKey();
// Empties the queue and clears CurrentEvent and the flags (test fixtures only).
void ResetEvents();
