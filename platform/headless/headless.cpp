// platform/headless/headless.cpp: the recorder and its place as the default backend.
#include "platform/headless/headless.h"

#include "platform/beep.h"
#include "platform/platform.h"

#include <algorithm>

namespace platform {

// The seam

void HeadlessWindowSystem::run_event_loop()
{
    loop_.run([this] { report_launch(Display{}); });
}

void HeadlessWindowSystem::quit_event_loop()
{
    loop_.quit([this] { report_termination(); });
}

void HeadlessWindowSystem::post_to_event_thread(std::function<void()> work)
{
    loop_.post(std::move(work));
}

RecordedWindow* HeadlessWindowSystem::find(uint8_t window)
{
    if (window >= WINDOW_NUMBER_COUNT || !windows_[window].exists)
        return nullptr;
    return &windows_[window];
}

void HeadlessWindowSystem::build_interface(const std::vector<WindowSpec>& windows)
{
    std::lock_guard lock(mutex_);
    for (const WindowSpec& plan : windows) {
        if (plan.number >= WINDOW_NUMBER_COUNT || windows_[plan.number].exists)
            continue;
        RecordedWindow& w = windows_[plan.number];
        w = RecordedWindow{};
        w.exists = true;
        w.kind = plan.kind;
        w.has_ruler = plan.has_ruler;
        w.state = plan.state;
    }
}

void HeadlessWindowSystem::set_menu_bar(const std::vector<Menu>& menus)
{
    std::lock_guard lock(mutex_);
    menus_ = menus;
}

void HeadlessWindowSystem::set_window_state(uint8_t window, const WindowState& state)
{
    std::lock_guard lock(mutex_);
    if (RecordedWindow* w = find(window)) {
        w->state = state;
        ++w->state_pushes;
        if (!state.visible && front_ == window)
            front_ = NO_WINDOW;
    }
}

void HeadlessWindowSystem::bring_to_front(uint8_t window)
{
    std::lock_guard lock(mutex_);
    if (RecordedWindow* w = find(window); w && w->state.visible)
        front_ = window;
}

void HeadlessWindowSystem::present_frame(uint8_t window, const Frame& frame)
{
    std::lock_guard lock(mutex_);
    if (RecordedWindow* w = find(window)) {
        ++w->frames_presented;
        w->last_frame = frame;
    }
}

void HeadlessWindowSystem::set_text(uint8_t window, std::string_view text)
{
    std::lock_guard lock(mutex_);
    if (RecordedWindow* w = find(window); w && w->kind == WindowKind::Text) {
        w->text = text;
        ++w->text_pushes;
    }
}

void HeadlessWindowSystem::append_text(uint8_t window, std::string_view text)
{
    std::lock_guard lock(mutex_);
    if (RecordedWindow* w = find(window); w && w->kind == WindowKind::Text) {
        w->text += text;
        ++w->text_pushes;
    }
}

void HeadlessWindowSystem::clear_text(uint8_t window)
{
    std::lock_guard lock(mutex_);
    if (RecordedWindow* w = find(window); w && w->kind == WindowKind::Text) {
        w->text.clear();
        ++w->text_pushes;
    }
}

void HeadlessWindowSystem::set_pasteboard_text(const std::string& text)
{
    std::lock_guard lock(mutex_);
    pasteboard_image_.reset();
    pasteboard_text_ = text;
}

void HeadlessWindowSystem::change_pasteboard(const std::string& text)
{
    set_pasteboard_text(text);
    report_pasteboard_changed();
}

void HeadlessWindowSystem::set_pasteboard_image(std::shared_ptr<const ArgbImage> image)
{
    std::lock_guard lock(mutex_);
    pasteboard_text_.reset();
    pasteboard_image_ = std::move(image);
}

std::optional<std::string> HeadlessWindowSystem::pasteboard_text()
{
    std::lock_guard lock(mutex_);
    return pasteboard_text_;
}

// Dialogs: nobody is there to answer, so they are cancelled unless a test scripted a path.

namespace {

std::string take_answer(std::deque<std::string>& answers)
{
    if (answers.empty())
        return {};
    std::string path = std::move(answers.front());
    answers.pop_front();
    return path;
}

} // namespace

std::string HeadlessWindowSystem::open_file_dialog(const OpenDialogOptions& options)
{
    std::lock_guard lock(mutex_);
    last_open_ = options;
    return take_answer(open_answers_);
}

std::string HeadlessWindowSystem::save_file_dialog(const SaveDialogOptions& options)
{
    std::lock_guard lock(mutex_);
    last_save_ = options;
    return take_answer(save_answers_);
}

std::optional<double> HeadlessWindowSystem::play_sound(const std::string& path)
{
    // Only a readable file counts as played, so callers fall back to the alert beep as they
    // would when a real player refuses the file.
    if (file_kind(path) != FileKind::File || !read_file(path))
        return std::nullopt;
    std::lock_guard lock(mutex_);
    sounds_played_.push_back(path);
    return SOUND_SECONDS;
}

void HeadlessWindowSystem::show_message(const std::string& title, const std::string& text)
{
    std::lock_guard lock(mutex_);
    last_message_ = title + "\n" + text;
}

void HeadlessWindowSystem::alert_beep()
{
    std::lock_guard lock(mutex_);
    ++beeps_;
}

// Inspection

RecordedWindow HeadlessWindowSystem::window(uint8_t window)
{
    std::lock_guard lock(mutex_);
    return window < WINDOW_NUMBER_COUNT ? windows_[window] : RecordedWindow{};
}

uint8_t HeadlessWindowSystem::front_window()
{
    std::lock_guard lock(mutex_);
    return front_;
}

std::vector<Menu> HeadlessWindowSystem::menu_bar()
{
    std::lock_guard lock(mutex_);
    return menus_;
}

std::shared_ptr<const ArgbImage> HeadlessWindowSystem::pasteboard_image()
{
    std::lock_guard lock(mutex_);
    return pasteboard_image_;
}

std::vector<std::string> HeadlessWindowSystem::sounds_played()
{
    std::lock_guard lock(mutex_);
    return sounds_played_;
}

std::string HeadlessWindowSystem::last_message()
{
    std::lock_guard lock(mutex_);
    return last_message_;
}

int64_t HeadlessWindowSystem::beeps()
{
    std::lock_guard lock(mutex_);
    return beeps_;
}

std::optional<OpenDialogOptions> HeadlessWindowSystem::last_open_dialog()
{
    std::lock_guard lock(mutex_);
    return last_open_;
}

std::optional<SaveDialogOptions> HeadlessWindowSystem::last_save_dialog()
{
    std::lock_guard lock(mutex_);
    return last_save_;
}

// Scripting

void HeadlessWindowSystem::answer_next_open_dialog(const std::string& path)
{
    std::lock_guard lock(mutex_);
    open_answers_.push_back(path);
}

void HeadlessWindowSystem::answer_next_save_dialog(const std::string& path)
{
    std::lock_guard lock(mutex_);
    save_answers_.push_back(path);
}

bool HeadlessWindowSystem::choose_menu_item(const std::string& menu_title, size_t index)
{
    std::optional<MenuItem> item;
    {
        std::lock_guard lock(mutex_);
        for (const Menu& menu : menus_) {
            if (menu.title == menu_title && index < menu.items.size())
                item = menu.items[index];
        }
    }
    if (!item || item->title.empty() || !item->enabled)
        return false;
    report_menu_choice({true, menu_title, *item});
    return true;
}

void HeadlessWindowSystem::drain_event_thread()
{
    run_on_event_thread([] {}, true);
}

void HeadlessWindowSystem::reset()
{
    // Reports already queued finish with the old callbacks first.
    drain_event_thread();
    set_events({});
    forget_playing_sound();
    std::lock_guard lock(mutex_);
    windows_ = {};
    front_ = NO_WINDOW;
    menus_.clear();
    pasteboard_text_.reset();
    pasteboard_image_.reset();
    sounds_played_.clear();
    beeps_ = 0;
    open_answers_.clear();
    save_answers_.clear();
    last_open_.reset();
    last_save_.reset();
    last_message_.clear();
}

HeadlessWindowSystem& headless()
{
    // Never destroyed: its event thread may still be serving while the process exits.
    static auto* instance = new HeadlessWindowSystem;
    return *instance;
}

void headless_reset()
{
    headless().reset();
}

namespace {

// Runs at start-up wherever this file is linked in, which is wherever headless() is used.
const bool installed_as_default = [] {
    set_default_window_system(&headless());
    return true;
}();

} // namespace

} // namespace platform
