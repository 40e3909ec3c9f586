// platform/qt/qt_text.cpp: the text windows' widgets: the line view of the printer and the
// console, and the pasteboard window's editor that follows the clipboard and feeds it.
#include "platform/digits.h"
#include "platform/qt/qt_backend.h"

#include <QApplication>
#include <QClipboard>
#include <QVBoxLayout>

namespace platform::qt {

namespace {

// Space around a text window's text, in pixels; the ruled windows keep more, as drawn.
constexpr int TEXT_MARGIN = 10;
constexpr int RULED_TEXT_MARGIN = 20;

} // namespace

void QtWindowSystem::create_text_widgets(DesktopWindowState& w, uint8_t window)
{
    // The note, the editor and the view, top to bottom, as wide as the window.
    auto* layout = new QVBoxLayout(w.canvas);
    const int margin = w.has_ruler ? RULED_TEXT_MARGIN : TEXT_MARGIN;
    layout->setContentsMargins(margin, margin, margin, margin);
    layout->setSpacing(2);
    w.view = new TextView(w.canvas);
    w.view->setObjectName(QStringLiteral("text%1").arg(window));
    w.view->set_ruler_shown(w.has_ruler);
    w.view->set_ruler(to_qstring(w.state.ruler));
    if (window == PASTEBOARD_WINDOW) {
        w.note = new QLabel(w.canvas);
        w.note->setTextFormat(Qt::PlainText);
        w.note->setWordWrap(true);
        w.note->setText(QString::fromUtf8("Dieser Text ist zu gro\xC3\x9F, um ihn hier zu "
                                          "bearbeiten (mehr als ") +
                        to_qstring(group_thousands(std::to_string(PASTEBOARD_EDIT_LIMIT_BYTES))) +
                        QString::fromUtf8(" Bytes); er wird nur gezeigt."));
        w.note->hide();
        layout->addWidget(w.note);
        w.edit = new QPlainTextEdit(w.canvas);
        w.edit->setLineWrapMode(QPlainTextEdit::NoWrap);
        w.edit->setTabChangesFocus(false); // Tab stays a character
        layout->addWidget(w.edit, 1);
        w.edit->setFocus();
        w.view->hide();
        w.edit_timer = new QTimer(w.canvas);
        w.edit_timer->setSingleShot(true);
        w.edit_timer->setInterval(PASTEBOARD_EDIT_PAUSE_MS);
        QObject::connect(w.edit, &QPlainTextEdit::textChanged, w.edit_timer, [&w] {
            if (!w.filling_edit)
                w.edit_timer->start();
        });
        // The clipboard's change report brings the text back as the window's text, which the
        // editor already shows: the cursor stays where the user types.
        QObject::connect(w.edit_timer, &QTimer::timeout, w.edit,
                         [&w] { QApplication::clipboard()->setText(w.edit->toPlainText()); });
    } else {
        w.view->setFocus();
    }
    layout->addWidget(w.view, 1);
    set_text_font(w);
}

void QtWindowSystem::set_text(uint8_t window, std::string_view text)
{
    DesktopWindowState* w = text_state(window);
    if (!w)
        return;
    w->view->set_text(text);
    if (w->edit)
        fill_pasteboard_editor(*w);
}

void QtWindowSystem::append_text(uint8_t window, std::string_view text)
{
    DesktopWindowState* w = text_state(window);
    if (!w)
        return;
    w->view->append_text(text);
    if (w->edit)
        fill_pasteboard_editor(*w);
}

void QtWindowSystem::clear_text(uint8_t window)
{
    DesktopWindowState* w = text_state(window);
    if (!w)
        return;
    w->view->clear_text();
    if (w->edit)
        fill_pasteboard_editor(*w);
}

void QtWindowSystem::fill_pasteboard_editor(DesktopWindowState& w)
{
    const std::string& bytes = w.view->lines().bytes();
    const bool large = bytes.size() > PASTEBOARD_EDIT_LIMIT_BYTES;
    w.note->setVisible(large);
    w.view->setVisible(large);
    w.edit->setVisible(!large);
    if (large) {
        w.edit_timer->stop();
        w.filling_edit = true;
        w.edit->clear();
        w.filling_edit = false;
        return;
    }
    // An edit not yet on the clipboard is newer than any text that comes back from it.
    if (w.edit_timer->isActive())
        return;
    const QString text = to_qstring(clipboard_text(bytes));
    if (text == w.edit->toPlainText())
        return;
    w.filling_edit = true;
    w.edit->setPlainText(text);
    w.filling_edit = false;
}

} // namespace platform::qt
