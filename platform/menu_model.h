// platform/menu_model.h: the menus the shell built, as the backends keep them: the menus in
// the order they were added, each with its items. Not locked: its owner guards it.
#pragma once

#include "platform/window_system.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace platform {

struct StoredMenu {
    std::string title;
    std::vector<MenuItem> items;
};

// The menu operations of the window system, with their answers: a missing menu gives
// false, -1 (item count) or -2 (item index); a missing item false, -1 or nothing.
class MenuModel {
  public:
    bool exists(const std::string& menu_title) const;
    bool add(const std::string& menu_title);
    int64_t item_count(const std::string& menu_title) const;
    int64_t item_index(const std::string& menu_title, const std::string& item_title) const;
    std::optional<MenuItem> item(const std::string& menu_title, int64_t index) const;
    // Appends when index is not one of an item.
    bool add_item(const std::string& menu_title, const MenuItem& item, int64_t index);
    bool delete_item(const std::string& menu_title, int64_t index);
    bool set_item_title(const std::string& menu_title, int64_t index, const std::string& title);
    const std::vector<StoredMenu>& menus() const { return menus_; }

  private:
    const StoredMenu* find(const std::string& title) const;
    StoredMenu* find(const std::string& title);
    // The menu's items when index names one of them, else nullptr.
    std::vector<MenuItem>* items_at(const std::string& menu_title, int64_t index);

    std::vector<StoredMenu> menus_;
};

} // namespace platform
