// platform/qt/qt_text.cpp: the text windows' views: a bounded tail of the text shown, as it
// is set, appended and cleared.
#include "platform/digits.h"
#include "platform/qt/qt_backend.h"

#include <QScrollBar>
#include <QTextCursor>
#include <algorithm>

namespace platform::qt {

namespace {

// A shown tail starts at a line start, so the view never opens with half a line.
size_t tail_start(std::string_view text, size_t limit)
{
    if (text.size() <= limit)
        return 0;
    const size_t start = text.size() - limit;
    const size_t line = text.find_first_of("\r\n", start);
    return line == std::string_view::npos ? start : line + 1;
}

// How many bytes at the end of text belong to a UTF-8 sequence that is not complete yet.
size_t cut_sequence_bytes(std::string_view text)
{
    for (size_t back = 1; back <= std::min<size_t>(3, text.size()); ++back) {
        const auto byte = static_cast<unsigned char>(text[text.size() - back]);
        if ((byte & 0xC0) == 0x80)
            continue; // a continuation byte: its start lies further back
        const size_t length = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC0 ? 2 : 1;
        return length > back ? back : 0;
    }
    return 0;
}

// The printer's lines end in carriage returns; the view wants line feeds. Other control
// characters (the listing separates its address with one) have no glyph and show as blanks.
QString view_text(std::string_view bytes)
{
    QString text = to_qstring(bytes);
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

void QtWindowSystem::set_text(uint8_t window, std::string_view text)
{
    DesktopWindowState* w = text_state(window);
    if (!w)
        return;
    w->total_bytes = text.size();
    w->tail = std::string(text.substr(tail_start(text, TEXT_VIEW_LIMIT_BYTES)));
    w->shown_bytes = 0;
    refresh_text_view(*w);
}

void QtWindowSystem::append_text(uint8_t window, std::string_view text)
{
    DesktopWindowState* w = text_state(window);
    if (!w)
        return;
    w->total_bytes += text.size();
    w->tail += text;
    // A view holding far more than its limit starts again from the tail.
    if (w->tail.size() > 2 * TEXT_VIEW_LIMIT_BYTES) {
        w->tail.erase(0, tail_start(w->tail, TEXT_VIEW_LIMIT_BYTES));
        w->shown_bytes = 0;
    }
    refresh_text_view(*w);
}

void QtWindowSystem::clear_text(uint8_t window)
{
    set_text(window, {});
}

void QtWindowSystem::refresh_text_view(DesktopWindowState& w)
{
    // The part of tail the view lacks, without a sequence the next append completes.
    std::string_view missing = std::string_view(w.tail).substr(w.shown_bytes);
    missing.remove_suffix(cut_sequence_bytes(missing));
    if (w.shown_bytes == 0)
        w.edit->clear();
    if (!missing.empty()) {
        QTextCursor cursor(w.edit->document());
        cursor.movePosition(QTextCursor::End);
        cursor.insertText(view_text(missing));
        w.shown_bytes += missing.size();
        // New output is what the reader of a listing or a log wants to see.
        w.edit->verticalScrollBar()->setValue(w.edit->verticalScrollBar()->maximum());
    }
    const bool cut = w.tail.size() < w.total_bytes;
    if (cut)
        w.tail_note->setText(QString::fromUtf8("Gezeigt werden die letzten ") +
                             to_qstring(german_bytes(w.tail.size())) + QString::fromUtf8(" von ") +
                             to_qstring(german_bytes(w.total_bytes)) +
                             QString::fromUtf8(" Bytes."));
    w.tail_note->setVisible(cut);
}

} // namespace platform::qt
