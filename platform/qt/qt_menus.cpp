// platform/qt/qt_menus.cpp: the menu model and every window's menu bar, the clipboard and
// the file dialogs.
#include "platform/qt/qt_backend.h"

#include <QApplication>
#include <QClipboard>
#include <QFileDialog>
#include <QGridLayout>
#include <QMenuBar>
#include <QMimeData>

namespace platform::qt {

// Menus: one model, shown as a menu bar in every window and rebuilt there when it changed.

void QtWindowSystem::refresh_menu_bar(DesktopWindowState& w)
{
    const auto n = static_cast<size_t>(&w - windows_.data());
    if (menu_bar_generation_[n] == menu_generation_ && !w.widget->menuBar()->actions().isEmpty())
        return;
    menu_bar_generation_[n] = menu_generation_;
    QMenuBar* bar = w.widget->menuBar();
    bar->clear();
    for (const StoredMenu& menu : menus_.menus()) {
        QMenu* shown = bar->addMenu(to_qstring(menu.title));
        for (const MenuItem& item : menu.items) {
            if (item.title.empty()) {
                shown->addSeparator();
                continue;
            }
            QAction* action = shown->addAction(to_qstring(item.title));
            action->setShortcut(menu_shortcut(item));
            action->setShortcutContext(Qt::WindowShortcut);
            const std::string menu_title = menu.title;
            QObject::connect(action, &QAction::triggered, action,
                             [this, menu_title, item] { choose(menu_title, item); });
        }
    }
}

void QtWindowSystem::choose(const std::string& menu_title, const MenuItem& item)
{
    if (auto chosen = events().menu_chosen)
        chosen({true, menu_title, item});
}

bool QtWindowSystem::menu_exists(const std::string& menu_title)
{
    return on_gui([&] { return menus_.exists(menu_title); });
}

bool QtWindowSystem::add_menu(const std::string& menu_title)
{
    return on_gui([&] { return menus_changed(menus_.add(menu_title)); });
}

int64_t QtWindowSystem::menu_item_count(const std::string& menu_title)
{
    return on_gui([&] { return menus_.item_count(menu_title); });
}

int64_t QtWindowSystem::menu_item_index(const std::string& menu_title,
                                        const std::string& item_title)
{
    return on_gui([&] { return menus_.item_index(menu_title, item_title); });
}

std::optional<MenuItem> QtWindowSystem::menu_item(const std::string& menu_title, int64_t index)
{
    return on_gui([&] { return menus_.item(menu_title, index); });
}

bool QtWindowSystem::add_menu_item(const std::string& menu_title, const MenuItem& item,
                                   int64_t index)
{
    return on_gui([&] { return menus_changed(menus_.add_item(menu_title, item, index)); });
}

bool QtWindowSystem::delete_menu_item(const std::string& menu_title, int64_t index)
{
    return on_gui([&] { return menus_changed(menus_.delete_item(menu_title, index)); });
}

bool QtWindowSystem::set_menu_item_title(const std::string& menu_title, int64_t index,
                                         const std::string& title)
{
    return on_gui(
        [&] { return menus_changed(menus_.set_item_title(menu_title, index, title)); });
}

bool QtWindowSystem::menus_changed(bool changed)
{
    if (!changed)
        return false;
    ++menu_generation_;
    for (auto& w : windows_)
        if (w.exists)
            refresh_menu_bar(w);
    return true;
}

// Pasteboard

void QtWindowSystem::pasteboard_clear()
{
    on_gui([] { QGuiApplication::clipboard()->clear(); });
}

void QtWindowSystem::pasteboard_set_text(const std::string& text)
{
    on_gui([&] { QGuiApplication::clipboard()->setText(to_qstring(text)); });
}

std::optional<std::string> QtWindowSystem::pasteboard_text()
{
    return on_gui([]() -> std::optional<std::string> {
        const QMimeData* data = QGuiApplication::clipboard()->mimeData();
        if (!data || !data->hasText())
            return std::nullopt;
        return to_utf8(data->text());
    });
}

void QtWindowSystem::pasteboard_set_image(std::shared_ptr<const ArgbImage> image)
{
    on_gui([&] {
        if (!image || image->width <= 0 || image->height <= 0)
            return;
        const QImage view(reinterpret_cast<const uchar*>(image->pixels.data()),
                          static_cast<int>(image->width), static_cast<int>(image->height),
                          static_cast<qsizetype>(image->width * 4), QImage::Format_ARGB32);
        QGuiApplication::clipboard()->setImage(view.copy());
    });
}

std::shared_ptr<const ArgbImage> QtWindowSystem::pasteboard_image()
{
    return on_gui([]() -> std::shared_ptr<const ArgbImage> {
        const QImage image =
            QGuiApplication::clipboard()->image().convertToFormat(QImage::Format_ARGB32);
        if (image.isNull())
            return nullptr;
        auto out = std::make_shared<ArgbImage>();
        out->width = image.width();
        out->height = image.height();
        out->pixels.resize(static_cast<size_t>(out->width * out->height));
        for (int y = 0; y < image.height(); ++y) {
            const auto* row = reinterpret_cast<const uint32_t*>(image.constScanLine(y));
            std::copy(row, row + image.width(), out->pixels.begin() + y * image.width());
        }
        return out;
    });
}

// Dialogs: Qt's own file dialog, so the titles and button texts are ours on every desktop.

namespace {

QStringList name_filters(const std::vector<std::string>& types)
{
    QStringList patterns;
    for (const std::string& t : types)
        patterns << QStringLiteral("*.") + to_qstring(t);
    return patterns.isEmpty() ? QStringList() : QStringList{patterns.join(QLatin1Char(' '))};
}

void add_message(QFileDialog& dialog, const std::string& message)
{
    if (message.empty())
        return;
    auto* grid = qobject_cast<QGridLayout*>(dialog.layout());
    if (!grid)
        return;
    grid->addWidget(new QLabel(to_qstring(message), &dialog), grid->rowCount(), 0, 1,
                    grid->columnCount());
}

std::string chosen_path(QFileDialog& dialog)
{
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return to_utf8(dialog.selectedFiles().front());
}

} // namespace

std::string QtWindowSystem::open_file_dialog(const OpenDialogOptions& options)
{
    return on_gui([&] {
        QFileDialog dialog(QApplication::activeWindow(), to_qstring(options.title));
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(options.choose_directories && !options.choose_files
                               ? QFileDialog::Directory
                               : QFileDialog::ExistingFile);
        dialog.setLabelText(QFileDialog::Accept, to_qstring(options.confirm_title));
        dialog.setNameFilters(name_filters(options.file_types));
        add_message(dialog, options.message);
        return chosen_path(dialog);
    });
}

std::string QtWindowSystem::save_file_dialog(const SaveDialogOptions& options)
{
    return on_gui([&] {
        QFileDialog dialog(QApplication::activeWindow(), to_qstring(options.title));
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setLabelText(QFileDialog::Accept, to_qstring(options.confirm_title));
        dialog.setLabelText(QFileDialog::FileName, to_qstring(options.name_label));
        // Other types stay allowed: the listed ones come first, then everything.
        QStringList filters = name_filters(options.file_types);
        if (!filters.isEmpty())
            filters << QStringLiteral("*");
        dialog.setNameFilters(filters);
        dialog.selectFile(to_qstring(options.proposed_name));
        add_message(dialog, options.message);
        return chosen_path(dialog);
    });
}

} // namespace platform::qt
