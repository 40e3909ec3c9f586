// platform/menu_model.cpp: the menus the shell built.
#include "platform/menu_model.h"

#include <algorithm>
#include <utility>

namespace platform {

const StoredMenu* MenuModel::find(const std::string& title) const
{
    auto menu = std::find_if(menus_.begin(), menus_.end(),
                             [&](const StoredMenu& m) { return m.title == title; });
    return menu == menus_.end() ? nullptr : &*menu;
}

StoredMenu* MenuModel::find(const std::string& title)
{
    return const_cast<StoredMenu*>(std::as_const(*this).find(title));
}

std::vector<MenuItem>* MenuModel::items_at(const std::string& menu_title, int64_t index)
{
    StoredMenu* menu = find(menu_title);
    if (!menu || index < 0 || index >= static_cast<int64_t>(menu->items.size()))
        return nullptr;
    return &menu->items;
}

bool MenuModel::exists(const std::string& menu_title) const
{
    return find(menu_title) != nullptr;
}

bool MenuModel::add(const std::string& menu_title)
{
    if (exists(menu_title))
        return false;
    menus_.push_back({menu_title, {}});
    return true;
}

int64_t MenuModel::item_count(const std::string& menu_title) const
{
    const StoredMenu* menu = find(menu_title);
    return menu ? static_cast<int64_t>(menu->items.size()) : -1;
}

int64_t MenuModel::item_index(const std::string& menu_title, const std::string& item_title) const
{
    const StoredMenu* menu = find(menu_title);
    if (!menu)
        return -2;
    for (size_t i = 0; i < menu->items.size(); ++i) {
        if (menu->items[i].title == item_title)
            return static_cast<int64_t>(i);
    }
    return -1;
}

std::optional<MenuItem> MenuModel::item(const std::string& menu_title, int64_t index) const
{
    const StoredMenu* menu = find(menu_title);
    if (!menu || index < 0 || index >= static_cast<int64_t>(menu->items.size()))
        return std::nullopt;
    return menu->items[static_cast<size_t>(index)];
}

bool MenuModel::add_item(const std::string& menu_title, const MenuItem& item, int64_t index)
{
    StoredMenu* menu = find(menu_title);
    if (!menu)
        return false;
    if (index < 0 || index >= static_cast<int64_t>(menu->items.size()))
        menu->items.push_back(item);
    else
        menu->items.insert(menu->items.begin() + index, item);
    return true;
}

bool MenuModel::delete_item(const std::string& menu_title, int64_t index)
{
    std::vector<MenuItem>* items = items_at(menu_title, index);
    if (!items)
        return false;
    items->erase(items->begin() + index);
    return true;
}

bool MenuModel::set_item_title(const std::string& menu_title, int64_t index,
                               const std::string& title)
{
    std::vector<MenuItem>* items = items_at(menu_title, index);
    if (!items)
        return false;
    (*items)[static_cast<size_t>(index)].title = title;
    return true;
}

} // namespace platform
