// platform/qt/qt_text.cpp: the text windows' views: the whole text kept, a bounded tail
// shown, the ruler and the console's feed.
#include "platform/digits.h"
#include "platform/qt/qt_backend.h"

#include <QFontDatabase>
#include <QScrollBar>
#include <QTextCursor>
#include <algorithm>

namespace platform::qt {

namespace {

// A shown tail starts at a line start, so the view never opens with half a line.
size_t tail_start(const std::string& text, size_t limit)
{
    if (text.size() <= limit)
        return 0;
    size_t start = text.size() - limit;
    const size_t line = text.find_first_of("\r\n", start);
    return line == std::string::npos ? start : line + 1;
}

// The printer's lines end in carriage returns; the view wants line feeds. Other control
// characters (the listing separates its address with one) have no glyph and show as blanks.
QString view_text(const char* data, size_t bytes)
{
    QString text = QString::fromUtf8(data, static_cast<qsizetype>(bytes));
    for (QChar& c : text) {
        if (c == QLatin1Char('\r'))
            c = QLatin1Char('\n');
        else if (c.unicode() < 0x20 && c != QLatin1Char('\t') && c != QLatin1Char('\n'))
            c = QLatin1Char(' ');
    }
    return text;
}

std::string german_bytes(size_t bytes)
{
    return group_thousands(std::to_string(bytes));
}

} // namespace

// Text views

bool QtWindowSystem::has_text_view(uint8_t window)
{
    return on_gui([&] { return text_state(window) != nullptr; });
}

std::string QtWindowSystem::text(uint8_t window)
{
    return on_gui([&] {
        DesktopWindowState* w = text_state(window);
        if (!w)
            return std::string();
        // The pasteboard window is edited by the user; its view is the truth.
        if (window == PASTEBOARD_WINDOW)
            return to_utf8(w->edit->toPlainText());
        return w->text;
    });
}

void QtWindowSystem::set_text(uint8_t window, const std::string& text)
{
    on_gui([&] {
        DesktopWindowState* w = text_state(window);
        if (!w)
            return;
        if (window == PASTEBOARD_WINDOW) {
            w->text = text;
            w->edit->setPlainText(to_qstring(text));
            return;
        }
        // Publishing the printer replaces its whole text, almost always by a longer one
        // that starts with the old: then only the new end goes to the view.
        const bool extends =
            text.size() >= w->text.size() && text.compare(0, w->text.size(), w->text) == 0;
        if (!extends) {
            w->shown_bytes = 0;
            w->edit->clear();
        }
        w->text = text;
        refresh_text_view(*w);
    });
}

void QtWindowSystem::append_text(uint8_t window, const std::string& text)
{
    on_gui([&] {
        DesktopWindowState* w = text_state(window);
        if (!w)
            return;
        if (window == PASTEBOARD_WINDOW) {
            w->edit->moveCursor(QTextCursor::End);
            w->edit->insertPlainText(to_qstring(text));
            return;
        }
        w->text += text;
        refresh_text_view(*w);
    });
}

void QtWindowSystem::append_console(const std::string& text)
{
    DesktopWindowState* w = text_state(CONSOLE_WINDOW);
    if (!w)
        return;
    w->text += text;
    if (w->text.size() > CONSOLE_LIMIT_BYTES) {
        w->text.erase(0, tail_start(w->text, CONSOLE_LIMIT_BYTES / 2));
        w->shown_bytes = 0;
        w->edit->clear();
    }
    refresh_text_view(*w);
}

void QtWindowSystem::refresh_text_view(DesktopWindowState& w)
{
    // What the view lacks is text's end beyond what it shows; a view showing nothing of
    // a long text starts from a bounded tail.
    const size_t total = w.text.size();
    size_t missing_from = total - std::min(total, w.shown_bytes);
    if (w.shown_bytes == 0)
        missing_from = tail_start(w.text, TEXT_VIEW_LIMIT_BYTES);
    if (total - missing_from > TEXT_VIEW_LIMIT_BYTES) {
        w.edit->clear();
        missing_from = tail_start(w.text, TEXT_VIEW_LIMIT_BYTES);
        w.shown_bytes = 0;
    }
    if (missing_from < total) {
        QTextCursor cursor(w.edit->document());
        cursor.movePosition(QTextCursor::End);
        cursor.insertText(view_text(w.text.data() + missing_from, total - missing_from));
        w.shown_bytes += total - missing_from;
        // New output is what the reader of a listing or a log wants to see.
        w.edit->verticalScrollBar()->setValue(w.edit->verticalScrollBar()->maximum());
    }
    // A view holding far more than its limit starts again from the tail.
    if (w.shown_bytes > 2 * TEXT_VIEW_LIMIT_BYTES) {
        w.edit->clear();
        w.shown_bytes = 0;
        refresh_text_view(w);
        return;
    }
    const bool cut = w.shown_bytes < total;
    if (cut)
        w.tail_note->setText(QString::fromUtf8("Gezeigt werden die letzten ") +
                             to_qstring(german_bytes(w.shown_bytes)) + QString::fromUtf8(" von ") +
                             to_qstring(german_bytes(total)) + QString::fromUtf8(" Bytes."));
    if (cut == w.tail_note->isHidden()) {
        w.tail_note->setVisible(cut);
        layout_text(w);
    }
}

void QtWindowSystem::scroll_to_end(uint8_t window)
{
    on_gui([&] {
        if (DesktopWindowState* w = text_state(window)) {
            w->edit->moveCursor(QTextCursor::End);
            w->edit->ensureCursorVisible();
        }
    });
}

void QtWindowSystem::set_plain_text_editing(uint8_t window)
{
    // Qt's plain-text view substitutes and detects nothing; Tab stays a character there.
    on_gui([&] {
        if (DesktopWindowState* w = text_state(window))
            w->edit->setTabChangesFocus(false);
    });
}

void QtWindowSystem::set_text_font(uint8_t window, const std::string& family, double points)
{
    on_gui([&] {
        DesktopWindowState* w = text_state(window);
        if (!w)
            return;
        // "Menlo" is the fixed-pitch face the interface was drawn for; the desktop's own
        // fixed-pitch font stands in when it is not installed.
        QFont font(to_qstring(family));
        font.setStyleHint(QFont::Monospace);
        if (!QFontInfo(font).fixedPitch())
            font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
        font.setPointSizeF(points > 0 ? points : TEXT_POINTS);
        w->edit->setFont(font);
        if (w->ruler)
            w->ruler->setFont(font);
    });
}

void QtWindowSystem::mark_text_for_redraw(uint8_t window)
{
    on_gui([&] {
        if (DesktopWindowState* w = text_state(window))
            w->edit->viewport()->update();
    });
}

Rect QtWindowSystem::scroll_view_frame(uint8_t window)
{
    return on_gui([&] {
        DesktopWindowState* w = text_state(window);
        return w ? w->scroll_frame : Rect{};
    });
}

void QtWindowSystem::set_scroll_view_frame(uint8_t window, const Rect& frame)
{
    on_gui([&] {
        if (DesktopWindowState* w = text_state(window)) {
            w->scroll_frame = frame;
            layout_text(*w);
        }
    });
}

// Scroll view and ruler at their logical frames (y upwards from the content's bottom);
// the tail note, when shown, takes a line off the scroll view's top.
void QtWindowSystem::layout_text(DesktopWindowState& w)
{
    const double content = content_height(w);
    auto to_qt = [&](const Rect& r) {
        return QRect(static_cast<int>(r.x), static_cast<int>(content - r.y - r.height),
                     std::max(0, static_cast<int>(r.width)),
                     std::max(0, static_cast<int>(r.height)));
    };
    QRect scroll = to_qt(w.scroll_frame);
    if (!w.tail_note->isHidden()) {
        const int note = w.tail_note->sizeHint().height();
        w.tail_note->setGeometry(scroll.x(), scroll.y(), scroll.width(), note);
        scroll.setTop(scroll.top() + note);
    }
    w.edit->setGeometry(scroll);
    if (w.ruler)
        w.ruler->setGeometry(to_qt(w.ruler_frame));
}

bool QtWindowSystem::has_ruler(uint8_t window)
{
    return on_gui([&] {
        DesktopWindowState* w = state(window);
        return w && w->has_ruler;
    });
}

std::string QtWindowSystem::ruler_text(uint8_t window)
{
    return on_gui([&] {
        DesktopWindowState* w = state(window);
        return w && w->has_ruler ? w->ruler_text : std::string();
    });
}

void QtWindowSystem::set_ruler_text(uint8_t window, const std::string& text)
{
    on_gui([&] {
        DesktopWindowState* w = state(window);
        if (!w || !w->has_ruler)
            return;
        w->ruler_text = text;
        w->ruler->setText(to_qstring(text));
    });
}

Rect QtWindowSystem::ruler_frame(uint8_t window)
{
    return on_gui([&] {
        DesktopWindowState* w = state(window);
        return w && w->has_ruler ? w->ruler_frame : Rect{};
    });
}

void QtWindowSystem::set_ruler_frame(uint8_t window, const Rect& frame)
{
    on_gui([&] {
        DesktopWindowState* w = state(window);
        if (!w || !w->has_ruler)
            return;
        w->ruler_frame = frame;
        layout_text(*w);
    });
}

} // namespace platform::qt
