// platform/window_store.cpp: in-memory windows and a real event thread.
#include "platform/window_store.h"

#include <algorithm>

#include "platform/event_thread.h"
#include "platform/platform.h"

namespace platform {

namespace {

constexpr int64_t EVENT_THREAD_STACK_BYTES = 8 * 1024 * 1024;

// Text windows keep their scroll view inset as the shell's layout rules expect, so the title
// bar height can be measured back from the frames.
constexpr double TEXT_INSET = 10;
constexpr double RULER_HEIGHT = 19;

} // namespace

// Event loop

void WindowStore::ensure_event_thread()
{
    if (serving_)
        return;
    serving_ = true;
    start_event_thread(EVENT_THREAD_STACK_BYTES, [this] { serve_queue(); });
}

void WindowStore::serve_queue()
{
    for (;;) {
        std::function<void()> task;
        {
            std::unique_lock lock(queue_mutex_);
            queue_cv_.wait(lock, [&] { return !tasks_.empty() || quit_requested_; });
            if (tasks_.empty()) {
                serving_ = false;
                quit_requested_ = false;
                leave_event_thread();
                queue_cv_.notify_all();
                return;
            }
            task = std::move(tasks_.front());
            tasks_.pop_front();
        }
        task();
    }
}

void WindowStore::run_event_loop()
{
    bool own_loop = false;
    {
        std::lock_guard lock(queue_mutex_);
        if (!serving_) {
            serving_ = true;
            own_loop = true;
        }
    }
    auto launch = [this] {
        deliver([](const WindowEvents& e) {
            if (e.will_finish_launching)
                e.will_finish_launching();
        });
        deliver([](const WindowEvents& e) {
            if (e.did_finish_launching)
                e.did_finish_launching();
        });
        deliver([](const WindowEvents& e) {
            if (e.active_changed)
                e.active_changed(true);
        });
    };
    if (own_loop) {
        become_event_thread();
        launch();
        serve_queue();
    } else {
        // A background event thread already serves the queue; it runs the launch and the
        // caller waits for the quit like a desktop main thread would.
        post_to_event_thread(launch);
        std::unique_lock lock(queue_mutex_);
        queue_cv_.wait(lock, [&] { return !serving_; });
    }
}

void WindowStore::quit_event_loop()
{
    std::lock_guard lock(queue_mutex_);
    // The termination report is the last task; whatever was queued before still runs.
    tasks_.push_back([this] {
        if (auto will_terminate = events().will_terminate)
            will_terminate();
    });
    ensure_event_thread();
    quit_requested_ = true;
    queue_cv_.notify_all();
}

void WindowStore::post_to_event_thread(std::function<void()> work)
{
    std::lock_guard lock(queue_mutex_);
    tasks_.push_back(std::move(work));
    ensure_event_thread();
    queue_cv_.notify_all();
}

void WindowStore::deliver(std::function<void(const WindowEvents&)> call)
{
    run_on_event_thread([this, &call] { call(events()); }, true);
}

void WindowStore::drain_event_thread()
{
    run_on_event_thread([] {}, true);
}

// Windows

StoredWindow* WindowStore::find(uint8_t window)
{
    if (window >= WINDOW_NUMBER_COUNT || !windows_[window].exists)
        return nullptr;
    return &windows_[window];
}

bool WindowStore::create_window(uint8_t window, const WindowSpec& layout)
{
    std::lock_guard lock(state_mutex_);
    if (window >= WINDOW_NUMBER_COUNT || windows_[window].exists)
        return false;
    StoredWindow w;
    w.exists = true;
    w.kind = layout.kind;
    w.frame = layout.frame;
    w.title = layout.title;
    w.visible = layout.visible;
    const double width = layout.frame.width;
    const double height = layout.frame.height;
    if (layout.kind == WindowKind::Graphic) {
        w.view_frame = {0, 0, width, std::max(0.0, height - TITLE_BAR_HEIGHT)};
    } else if (layout.kind == WindowKind::Text) {
        w.has_text_view = true;
        w.has_ruler = layout.has_ruler;
        if (layout.has_ruler) {
            double inset = 2 * TEXT_INSET;
            w.scroll_view_frame = {inset, 0, width - 2 * inset,
                                   height - 2 * inset - TITLE_BAR_HEIGHT - 15};
            w.ruler_frame = {inset, w.scroll_view_frame.height + 4, width - 48, RULER_HEIGHT};
        } else {
            w.scroll_view_frame = {TEXT_INSET, 0, width - 2 * TEXT_INSET,
                                   height - 2 * TEXT_INSET - TITLE_BAR_HEIGHT};
        }
    }
    windows_[window] = std::move(w);
    return true;
}

bool WindowStore::window_exists(uint8_t window)
{
    std::lock_guard lock(state_mutex_);
    return find(window) != nullptr;
}

WindowKind WindowStore::window_kind(uint8_t window)
{
    std::lock_guard lock(state_mutex_);
    StoredWindow* w = find(window);
    return w ? w->kind : WindowKind::Plain;
}

Rect WindowStore::window_frame(uint8_t window)
{
    std::lock_guard lock(state_mutex_);
    StoredWindow* w = find(window);
    return w ? w->frame : Rect{};
}

void WindowStore::set_window_frame(uint8_t window, const Rect& frame, bool)
{
    std::lock_guard lock(state_mutex_);
    if (StoredWindow* w = find(window))
        w->frame = frame;
}

Rect WindowStore::view_frame(uint8_t window)
{
    std::lock_guard lock(state_mutex_);
    StoredWindow* w = find(window);
    return w ? w->view_frame : Rect{};
}

void WindowStore::set_view_frame(uint8_t window, const Rect& frame)
{
    std::lock_guard lock(state_mutex_);
    if (StoredWindow* w = find(window))
        w->view_frame = frame;
}

void WindowStore::show_window(uint8_t window)
{
    std::lock_guard lock(state_mutex_);
    if (StoredWindow* w = find(window))
        w->visible = true;
}

void WindowStore::hide_window(uint8_t window)
{
    std::lock_guard lock(state_mutex_);
    if (StoredWindow* w = find(window)) {
        w->visible = false;
        if (main_window_ == window)
            main_window_ = NO_WINDOW;
    }
}

void WindowStore::bring_to_front(uint8_t window)
{
    std::lock_guard lock(state_mutex_);
    if (StoredWindow* w = find(window)) {
        w->visible = true;
        main_window_ = window;
    }
}

void WindowStore::center_window(uint8_t window)
{
    std::lock_guard lock(state_mutex_);
    if (StoredWindow* w = find(window)) {
        w->frame.x = (screen_.width - w->frame.width) / 2;
        w->frame.y = (screen_.height - w->frame.height) / 2;
    }
}

bool WindowStore::window_visible(uint8_t window)
{
    std::lock_guard lock(state_mutex_);
    StoredWindow* w = find(window);
    return w && w->visible;
}

std::string WindowStore::window_title(uint8_t window)
{
    std::lock_guard lock(state_mutex_);
    StoredWindow* w = find(window);
    return w ? w->title : std::string();
}

void WindowStore::set_window_title(uint8_t window, const std::string& title)
{
    std::lock_guard lock(state_mutex_);
    if (StoredWindow* w = find(window))
        w->title = title;
}

bool WindowStore::title_bar_visible(uint8_t window)
{
    std::lock_guard lock(state_mutex_);
    StoredWindow* w = find(window);
    return w && w->title_bar_visible;
}

void WindowStore::set_title_bar_visible(uint8_t window, bool visible)
{
    std::lock_guard lock(state_mutex_);
    if (StoredWindow* w = find(window))
        w->title_bar_visible = visible;
}

void WindowStore::set_background_color(uint8_t window, const Color& color)
{
    std::lock_guard lock(state_mutex_);
    if (StoredWindow* w = find(window))
        w->background = color;
}

uint8_t WindowStore::main_window()
{
    std::lock_guard lock(state_mutex_);
    return main_window_;
}

double WindowStore::title_bar_height() { return TITLE_BAR_HEIGHT; }

double WindowStore::backing_scale(uint8_t) { return 1; }

Size WindowStore::screen_size()
{
    std::lock_guard lock(state_mutex_);
    return screen_;
}

// Graphic views

void WindowStore::request_redraw(uint8_t window, bool deferred)
{
    {
        std::lock_guard lock(state_mutex_);
        StoredWindow* w = find(window);
        if (!w)
            return;
        ++w->redraw_requests;
        // Deferred requests coalesce until the next cycle, as on a desktop.
        if (deferred) {
            if (draw_pending_[window])
                return;
            draw_pending_[window] = true;
        }
    }
    auto draw = [this, window] {
        {
            std::lock_guard lock(state_mutex_);
            draw_pending_[window] = false;
            StoredWindow* w = find(window);
            if (!w)
                return;
            ++w->draws;
        }
        if (auto draw_view = events().draw_view)
            draw_view(window);
    };
    if (deferred)
        post_to_event_thread(draw);
    else
        run_on_event_thread(draw, true);
}

void WindowStore::present_frame(uint8_t window, const Frame& frame)
{
    std::lock_guard lock(state_mutex_);
    if (StoredWindow* w = find(window)) {
        ++w->frames_presented;
        w->last_frame = frame;
    }
}

// Text views

bool WindowStore::has_text_view(uint8_t window)
{
    std::lock_guard lock(state_mutex_);
    StoredWindow* w = find(window);
    return w && w->has_text_view;
}

std::string WindowStore::text(uint8_t window)
{
    std::lock_guard lock(state_mutex_);
    StoredWindow* w = find(window);
    return w && w->has_text_view ? w->text : std::string();
}

void WindowStore::set_text(uint8_t window, const std::string& text)
{
    std::lock_guard lock(state_mutex_);
    if (StoredWindow* w = find(window); w && w->has_text_view)
        w->text = text;
}

void WindowStore::append_text(uint8_t window, const std::string& text)
{
    std::lock_guard lock(state_mutex_);
    if (StoredWindow* w = find(window); w && w->has_text_view)
        w->text += text;
}

void WindowStore::scroll_to_end(uint8_t window)
{
    std::lock_guard lock(state_mutex_);
    if (StoredWindow* w = find(window); w && w->has_text_view)
        ++w->scrolls_to_end;
}

void WindowStore::set_plain_text_editing(uint8_t window)
{
    std::lock_guard lock(state_mutex_);
    if (StoredWindow* w = find(window); w && w->has_text_view)
        w->plain_text_editing = true;
}

void WindowStore::set_text_font(uint8_t window, const std::string& family, double points)
{
    std::lock_guard lock(state_mutex_);
    if (StoredWindow* w = find(window); w && w->has_text_view) {
        w->font_family = family;
        w->font_points = points;
    }
}

void WindowStore::mark_text_for_redraw(uint8_t window)
{
    std::lock_guard lock(state_mutex_);
    if (StoredWindow* w = find(window); w && w->has_text_view)
        ++w->text_redraws;
}

Rect WindowStore::scroll_view_frame(uint8_t window)
{
    std::lock_guard lock(state_mutex_);
    StoredWindow* w = find(window);
    return w && w->has_text_view ? w->scroll_view_frame : Rect{};
}

void WindowStore::set_scroll_view_frame(uint8_t window, const Rect& frame)
{
    std::lock_guard lock(state_mutex_);
    if (StoredWindow* w = find(window); w && w->has_text_view)
        w->scroll_view_frame = frame;
}

bool WindowStore::has_ruler(uint8_t window)
{
    std::lock_guard lock(state_mutex_);
    StoredWindow* w = find(window);
    return w && w->has_ruler;
}

std::string WindowStore::ruler_text(uint8_t window)
{
    std::lock_guard lock(state_mutex_);
    StoredWindow* w = find(window);
    return w && w->has_ruler ? w->ruler_text : std::string();
}

void WindowStore::set_ruler_text(uint8_t window, const std::string& text)
{
    std::lock_guard lock(state_mutex_);
    if (StoredWindow* w = find(window); w && w->has_ruler)
        w->ruler_text = text;
}

Rect WindowStore::ruler_frame(uint8_t window)
{
    std::lock_guard lock(state_mutex_);
    StoredWindow* w = find(window);
    return w && w->has_ruler ? w->ruler_frame : Rect{};
}

void WindowStore::set_ruler_frame(uint8_t window, const Rect& frame)
{
    std::lock_guard lock(state_mutex_);
    if (StoredWindow* w = find(window); w && w->has_ruler)
        w->ruler_frame = frame;
}

// Menus

bool WindowStore::menu_exists(const std::string& menu_title)
{
    std::lock_guard lock(state_mutex_);
    return menus_.exists(menu_title);
}

bool WindowStore::add_menu(const std::string& menu_title)
{
    std::lock_guard lock(state_mutex_);
    return menus_.add(menu_title);
}

int64_t WindowStore::menu_item_count(const std::string& menu_title)
{
    std::lock_guard lock(state_mutex_);
    return menus_.item_count(menu_title);
}

int64_t WindowStore::menu_item_index(const std::string& menu_title, const std::string& item_title)
{
    std::lock_guard lock(state_mutex_);
    return menus_.item_index(menu_title, item_title);
}

std::optional<MenuItem> WindowStore::menu_item(const std::string& menu_title, int64_t index)
{
    std::lock_guard lock(state_mutex_);
    return menus_.item(menu_title, index);
}

bool WindowStore::add_menu_item(const std::string& menu_title, const MenuItem& item,
                                int64_t index)
{
    std::lock_guard lock(state_mutex_);
    return menus_.add_item(menu_title, item, index);
}

bool WindowStore::delete_menu_item(const std::string& menu_title, int64_t index)
{
    std::lock_guard lock(state_mutex_);
    return menus_.delete_item(menu_title, index);
}

bool WindowStore::set_menu_item_title(const std::string& menu_title, int64_t index,
                                      const std::string& title)
{
    std::lock_guard lock(state_mutex_);
    return menus_.set_item_title(menu_title, index, title);
}

// Pasteboard

void WindowStore::pasteboard_clear()
{
    std::lock_guard lock(state_mutex_);
    ++pasteboard_clears_;
    pasteboard_text_.reset();
    pasteboard_image_.reset();
}

void WindowStore::pasteboard_set_text(const std::string& text)
{
    std::lock_guard lock(state_mutex_);
    pasteboard_image_.reset();
    pasteboard_text_ = text;
}

std::optional<std::string> WindowStore::pasteboard_text()
{
    std::lock_guard lock(state_mutex_);
    return pasteboard_text_;
}

void WindowStore::pasteboard_set_image(std::shared_ptr<const ArgbImage> image)
{
    std::lock_guard lock(state_mutex_);
    pasteboard_text_.reset();
    pasteboard_image_ = std::move(image);
}

std::shared_ptr<const ArgbImage> WindowStore::pasteboard_image()
{
    std::lock_guard lock(state_mutex_);
    return pasteboard_image_;
}

// Dialogs: nobody is there to answer, so they are cancelled unless a test scripted a path.

std::string WindowStore::open_file_dialog(const OpenDialogOptions& options)
{
    std::lock_guard lock(state_mutex_);
    last_open_ = options;
    if (open_answers_.empty())
        return {};
    std::string path = open_answers_.front();
    open_answers_.pop_front();
    return path;
}

std::string WindowStore::save_file_dialog(const SaveDialogOptions& options)
{
    std::lock_guard lock(state_mutex_);
    last_save_ = options;
    if (save_answers_.empty())
        return {};
    std::string path = save_answers_.front();
    save_answers_.pop_front();
    return path;
}

// Sounds

bool WindowStore::play_sound(const std::string& path)
{
    // Only a readable file counts as played, so callers fall back to the alert beep as they
    // would when a real player refuses the file.
    if (file_kind(path) != FileKind::File || !read_file(path))
        return false;
    std::lock_guard lock(state_mutex_);
    sounds_played_.push_back(path);
    sound_ends_ = time_seconds() + static_cast<double>(SOUND_MS) / 1000;
    return true;
}

bool WindowStore::sound_playing()
{
    std::lock_guard lock(state_mutex_);
    return time_seconds() < sound_ends_;
}

void WindowStore::alert_beep()
{
    std::lock_guard lock(state_mutex_);
    ++beeps_;
}

// Inspection

StoredWindow WindowStore::window(uint8_t window)
{
    std::lock_guard lock(state_mutex_);
    return window < WINDOW_NUMBER_COUNT ? windows_[window] : StoredWindow{};
}

std::vector<StoredMenu> WindowStore::menus()
{
    std::lock_guard lock(state_mutex_);
    return menus_.menus();
}

std::vector<std::string> WindowStore::sounds_played()
{
    std::lock_guard lock(state_mutex_);
    return sounds_played_;
}

int64_t WindowStore::beeps()
{
    std::lock_guard lock(state_mutex_);
    return beeps_;
}

int64_t WindowStore::pasteboard_clears()
{
    std::lock_guard lock(state_mutex_);
    return pasteboard_clears_;
}

std::optional<OpenDialogOptions> WindowStore::last_open_dialog()
{
    std::lock_guard lock(state_mutex_);
    return last_open_;
}

std::optional<SaveDialogOptions> WindowStore::last_save_dialog()
{
    std::lock_guard lock(state_mutex_);
    return last_save_;
}

// Scripting

void WindowStore::answer_next_open_dialog(const std::string& path)
{
    std::lock_guard lock(state_mutex_);
    open_answers_.push_back(path);
}

void WindowStore::answer_next_save_dialog(const std::string& path)
{
    std::lock_guard lock(state_mutex_);
    save_answers_.push_back(path);
}

void WindowStore::set_screen_size(Size size)
{
    std::lock_guard lock(state_mutex_);
    screen_ = size;
}

void WindowStore::simulate_key_down(const KeyReport& report)
{
    deliver([&](const WindowEvents& e) {
        if (e.key_down)
            e.key_down(report);
    });
}

void WindowStore::simulate_key_up(const KeyReport& report)
{
    deliver([&](const WindowEvents& e) {
        if (e.key_up)
            e.key_up(report);
    });
}

void WindowStore::simulate_modifiers(uint64_t modifiers)
{
    deliver([&](const WindowEvents& e) {
        if (e.modifiers_changed)
            e.modifiers_changed(modifiers);
    });
}

void WindowStore::simulate_mouse_down(const MouseReport& report)
{
    deliver([&](const WindowEvents& e) {
        if (e.mouse_down)
            e.mouse_down(report);
    });
}

void WindowStore::simulate_mouse_up(const MouseReport& report)
{
    deliver([&](const WindowEvents& e) {
        if (e.mouse_up)
            e.mouse_up(report);
    });
}

void WindowStore::simulate_mouse_dragged(const MouseReport& report)
{
    deliver([&](const WindowEvents& e) {
        if (e.mouse_dragged)
            e.mouse_dragged(report);
    });
}

void WindowStore::simulate_menu(const MenuChoice& choice)
{
    deliver([&](const WindowEvents& e) {
        if (e.menu_chosen)
            e.menu_chosen(choice);
    });
}

bool WindowStore::choose_menu_item(const std::string& menu_title, int64_t index)
{
    std::optional<MenuItem> item = menu_item(menu_title, index);
    if (!item)
        return false;
    simulate_menu({true, menu_title, *item});
    return true;
}

void WindowStore::simulate_close_box(uint8_t window)
{
    deliver([&](const WindowEvents& e) {
        if (e.close_box)
            e.close_box(window);
    });
}

void WindowStore::simulate_resize(uint8_t window, const Rect& frame)
{
    set_window_frame(window, frame, true);
    deliver([&](const WindowEvents& e) {
        if (e.window_resized)
            e.window_resized(window);
    });
}

void WindowStore::reset()
{
    // Reports already queued finish with the old callbacks first.
    drain_event_thread();
    set_events({});
    std::lock_guard lock(state_mutex_);
    windows_ = {};
    draw_pending_ = {};
    main_window_ = NO_WINDOW;
    menus_ = MenuModel{};
    pasteboard_text_.reset();
    pasteboard_image_.reset();
    pasteboard_clears_ = 0;
    sounds_played_.clear();
    sound_ends_ = 0;
    beeps_ = 0;
    open_answers_.clear();
    save_answers_.clear();
    last_open_.reset();
    last_save_.reset();
    screen_ = DEFAULT_SCREEN;
}

} // namespace platform
