// platform/qt/qt_menus.cpp: every window's menu bar, the clipboard, the file dialogs and
// the message box.
#include "platform/qt/qt_backend.h"

#include <QApplication>
#include <QClipboard>
#include <QFileDialog>
#include <QGridLayout>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>

namespace platform::qt {

namespace {

// Names the actions that only carry a disabled item's shortcut.
const QString KEY_ONLY = QStringLiteral("key-only");

} // namespace

// Menus: one bar as the layers above gave it, shown in every window and rebuilt there when
// it changed.

void QtWindowSystem::refresh_menu_bar(DesktopWindowState& w)
{
    const auto n = static_cast<size_t>(&w - windows_.data());
    if (menu_bar_generation_[n] == menu_generation_ && !w.widget->menuBar()->actions().isEmpty())
        return;
    menu_bar_generation_[n] = menu_generation_;
    QMenuBar* bar = w.widget->menuBar();
    // The old bar's menus go, and with them the key-only actions of its disabled items, or
    // an item enabled since would share its shortcut with one of them.
    for (QMenu* old : bar->findChildren<QMenu*>(Qt::FindDirectChildrenOnly)) {
        for (QAction* key : old->findChildren<QAction*>(KEY_ONLY, Qt::FindDirectChildrenOnly))
            w.widget->removeAction(key);
        old->deleteLater(); // a choice in it may still be running
    }
    bar->clear();
    for (const Menu& menu : menus_) {
        QMenu* shown = bar->addMenu(to_qstring(menu.title));
        for (const MenuItem& item : menu.items) {
            if (item.title.empty()) {
                shown->addSeparator();
                continue;
            }
            QAction* action = shown->addAction(to_qstring(item.title));
            action->setShortcut(menu_shortcut(item));
            action->setShortcutContext(Qt::WindowShortcut);
            action->setEnabled(item.enabled);
            const std::string menu_title = menu.title;
            QObject::connect(action, &QAction::triggered, action,
                             [this, menu_title, item] { choose(menu_title, item); });
            // A disabled action takes no shortcut; its key equivalent still reaches the
            // layers above, which answer it (with a beep when the window is not there).
            if (!item.enabled && !action->shortcut().isEmpty()) {
                auto* key = new QAction(shown);
                key->setObjectName(KEY_ONLY);
                key->setShortcut(action->shortcut());
                key->setShortcutContext(Qt::WindowShortcut);
                QObject::connect(key, &QAction::triggered, key,
                                 [this, menu_title, item] { choose(menu_title, item); });
                w.widget->addAction(key);
            }
        }
    }
}

void QtWindowSystem::choose(const std::string& menu_title, const MenuItem& item)
{
    report_menu_choice({true, menu_title, item});
}

void QtWindowSystem::set_menu_bar(const std::vector<Menu>& menus)
{
    if (menus == menus_)
        return;
    menus_ = menus;
    ++menu_generation_;
    for (auto& w : windows_)
        if (w.exists)
            refresh_menu_bar(w);
}

// Pasteboard

void QtWindowSystem::set_pasteboard_text(const std::string& text)
{
    QGuiApplication::clipboard()->setText(to_qstring(text));
}

std::optional<std::string> QtWindowSystem::pasteboard_text()
{
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    if (!data || !data->hasText())
        return std::nullopt;
    return to_utf8(data->text());
}

void QtWindowSystem::set_pasteboard_image(std::shared_ptr<const ArgbImage> image)
{
    if (!image || image->width <= 0 || image->height <= 0)
        return;
    const QImage view(reinterpret_cast<const uchar*>(image->pixels.data()),
                      static_cast<int>(image->width), static_cast<int>(image->height),
                      static_cast<qsizetype>(image->width * 4), QImage::Format_ARGB32);
    QGuiApplication::clipboard()->setImage(view.copy());
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
}

std::string QtWindowSystem::save_file_dialog(const SaveDialogOptions& options)
{
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
}

void QtWindowSystem::show_message(const std::string& title, const std::string& text)
{
    // Not modal: the programs and the other windows go on while it is read.
    auto* box = new QMessageBox(QMessageBox::Information, to_qstring(title),
                                to_qstring(text + "\nOberfl\xC3\xA4" "che: Desktop"),
                                QMessageBox::Ok, QApplication::activeWindow());
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setObjectName(QStringLiteral("message"));
    box->setTextInteractionFlags(Qt::TextSelectableByMouse);
    box->open();
}

} // namespace platform::qt
