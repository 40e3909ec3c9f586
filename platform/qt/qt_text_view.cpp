// platform/qt/qt_text_view.cpp: the text windows' view: paints the lines on screen from the
// line index, scrolls, selects and copies.
#include "platform/qt/qt_text_view.h"

#include "platform/qt/qt_backend.h"

#include <QApplication>
#include <QClipboard>
#include <QFontMetricsF>
#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace platform::qt {

namespace {

// Space left of the text and the ruler, in pixels, so the first column is not glued to the
// window's edge.
constexpr int TEXT_INDENT = 4;

// With ORBIKON_FRAME_LOG naming a file, every paint appends one line to it: the monotonic
// clock in nanoseconds after the frame was drawn, the view's name and the first line shown
// (from 1). The desktop benchmark compares it with the moment it sent a key.
void log_frame(const QString& name, int64_t first_line)
{
    static FILE* log = [] {
        const char* path = std::getenv("ORBIKON_FRAME_LOG");
        return path && *path ? std::fopen(path, "a") : nullptr;
    }();
    if (!log)
        return;
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(
                        std::chrono::steady_clock::now().time_since_epoch())
                        .count();
    std::fprintf(log, "%lld %s %lld\n", static_cast<long long>(ns), name.toUtf8().constData(),
                 static_cast<long long>(first_line + 1));
    std::fflush(log);
}

QString to_qstring(std::u32string_view text)
{
    return QString::fromUcs4(text.data(), static_cast<qsizetype>(text.size()));
}

bool copy_chord(const QKeyEvent& event)
{
    const Qt::KeyboardModifiers mods = event.modifiers() & ~Qt::KeypadModifier;
    return event.key() == Qt::Key_C &&
           (mods == Qt::ControlModifier || mods == (Qt::ControlModifier | Qt::ShiftModifier));
}

} // namespace

TextView::TextView(QWidget* parent) : QAbstractScrollArea(parent)
{
    setFocusPolicy(Qt::StrongFocus);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    viewport()->setCursor(Qt::IBeamCursor);
    viewport()->setBackgroundRole(QPalette::Base);
    set_text_font(font());
}

// Text

template <typename Change> void TextView::change_text(Change change)
{
    // New output is what the reader of a listing or a log wants to see, unless the reader
    // went elsewhere.
    const bool at_end = verticalScrollBar()->value() >= verticalScrollBar()->maximum();
    change();
    const Spot end{lines_.line_count(), 0};
    anchor_ = std::min(anchor_, end);
    cursor_ = std::min(cursor_, end);
    update_scroll_bars();
    if (at_end)
        verticalScrollBar()->setValue(verticalScrollBar()->maximum());
    viewport()->update();
}

void TextView::set_text(std::string_view text)
{
    change_text([&] { lines_.set(text); });
}

void TextView::append_text(std::string_view text)
{
    change_text([&] { lines_.append(text); });
}

void TextView::clear_text()
{
    change_text([&] { lines_.clear(); });
}

void TextView::set_ruler_shown(bool shown)
{
    ruler_shown_ = shown;
    update_scroll_bars();
    viewport()->update();
}

void TextView::set_ruler(const QString& ruler)
{
    ruler_ = ruler;
    update_scroll_bars();
    viewport()->update();
}

void TextView::set_text_font(const QFont& font)
{
    setFont(font);
    viewport()->setFont(font);
    const QFontMetricsF metrics(font);
    char_width_ = std::max(1.0, metrics.horizontalAdvance(QLatin1Char('M')));
    row_height_ = std::max(1, static_cast<int>(std::ceil(metrics.lineSpacing())));
    ascent_ = static_cast<int>(std::ceil(metrics.ascent()));
    update_scroll_bars();
    viewport()->update();
}

// Geometry

int TextView::header_height() const
{
    return ruler_shown_ ? row_height_ : 0;
}

int64_t TextView::text_rows() const
{
    return std::max(1, (viewport()->height() - header_height()) / row_height_);
}

int64_t TextView::visible_columns() const
{
    return std::max<int64_t>(
        1, static_cast<int64_t>((viewport()->width() - TEXT_INDENT) / char_width_));
}

int64_t TextView::first_line() const
{
    return verticalScrollBar()->value();
}

int64_t TextView::first_column() const
{
    return horizontalScrollBar()->value();
}

QRect TextView::ruler_rect() const
{
    return ruler_shown_ ? QRect(0, 0, viewport()->width(), row_height_) : QRect();
}

QRect TextView::row_rect(int64_t row) const
{
    return QRect(0, header_height() + static_cast<int>(row) * row_height_, viewport()->width(),
                 row_height_);
}

void TextView::update_scroll_bars()
{
    const int64_t rows = text_rows();
    const int64_t columns = visible_columns();
    const int64_t widest =
        std::max<int64_t>(lines_.widest_columns(), ruler_shown_ ? ruler_.size() : 0);
    // Scroll bars count in int; a text of more than 2^31 lines is beyond any window anyway.
    auto clamp_int = [](int64_t v) {
        return static_cast<int>(std::clamp<int64_t>(v, 0, INT32_MAX));
    };
    QScrollBar* v = verticalScrollBar();
    v->setRange(0, clamp_int(lines_.line_count() - rows));
    v->setPageStep(clamp_int(rows));
    v->setSingleStep(1);
    QScrollBar* h = horizontalScrollBar();
    h->setRange(0, clamp_int(widest - columns));
    h->setPageStep(clamp_int(columns));
    h->setSingleStep(1);
}

void TextView::resizeEvent(QResizeEvent* event)
{
    const bool at_end = verticalScrollBar()->value() >= verticalScrollBar()->maximum();
    QAbstractScrollArea::resizeEvent(event);
    update_scroll_bars();
    if (at_end)
        verticalScrollBar()->setValue(verticalScrollBar()->maximum());
}

void TextView::scrollContentsBy(int, int)
{
    viewport()->update();
}

// Painting

void TextView::paintEvent(QPaintEvent*)
{
    QPainter painter(viewport());
    painter.setFont(font());
    const QPalette& colours = palette();
    const int64_t shift = first_column();
    const int64_t columns = visible_columns() + 1;
    auto x_of = [&](int64_t column) {
        return TEXT_INDENT + static_cast<int>(std::lround((column - shift) * char_width_));
    };

    // Pass: the ruler, in the window's colours, sideways with the text.
    if (ruler_shown_) {
        const QRect r = ruler_rect();
        painter.fillRect(r, colours.window());
        painter.setPen(colours.windowText().color());
        painter.drawText(x_of(shift), r.top() + ascent_, ruler_.mid(shift, columns));
    }

    // Pass: the text rows on screen, the selected part of each in the highlight colours.
    const Spot from = std::min(anchor_, cursor_);
    const Spot to = std::max(anchor_, cursor_);
    const int64_t first = first_line();
    const int64_t count = lines_.line_count();
    for (int64_t row = 0; row <= text_rows() && first + row < count; ++row) {
        const int64_t line = first + row;
        const std::u32string shown = shown_columns(lines_.line(line));
        const QRect r = row_rect(row);
        const int baseline = r.top() + ascent_;
        auto draw = [&](int64_t begin, int64_t end, bool selected) {
            begin = std::max(begin, shift);
            end = std::min(end, shift + columns);
            if (begin >= end)
                return;
            const int64_t size = static_cast<int64_t>(shown.size());
            if (selected)
                painter.fillRect(QRect(x_of(begin), r.top(), x_of(end) - x_of(begin), r.height()),
                                 colours.highlight());
            if (begin < size) {
                painter.setPen(selected ? colours.highlightedText().color()
                                        : colours.text().color());
                painter.drawText(x_of(begin), baseline,
                                 to_qstring(std::u32string_view(shown).substr(
                                     static_cast<size_t>(begin),
                                     static_cast<size_t>(std::min(end, size) - begin))));
            }
        };
        const int64_t line_end = static_cast<int64_t>(shown.size());
        if (line < from.line || line > to.line || from == to) {
            draw(0, line_end, false);
            continue;
        }
        // A selection that goes on past this line shows one column for its line end.
        const int64_t sel_begin = line == from.line ? from.column : 0;
        const int64_t sel_end = line == to.line ? to.column : std::max(line_end, sel_begin) + 1;
        draw(0, sel_begin, false);
        draw(sel_begin, sel_end, true);
        draw(sel_end, line_end, false);
    }
    log_frame(objectName(), first);
}

// Selection

TextView::Spot TextView::spot_at(QPoint point) const
{
    const int64_t count = lines_.line_count();
    const int64_t row = static_cast<int64_t>(
        std::floor(static_cast<double>(point.y() - header_height()) / row_height_));
    const int64_t line = first_line() + row;
    if (line >= count)
        return {count, 0}; // below the last line: the end of the text
    const int64_t column =
        first_column() + static_cast<int64_t>(std::lround((point.x() - TEXT_INDENT) / char_width_));
    return {std::max<int64_t>(0, line), std::max<int64_t>(0, column)};
}

void TextView::select(Spot anchor, Spot cursor)
{
    anchor_ = anchor;
    cursor_ = cursor;
    viewport()->update();
}

void TextView::select_all()
{
    select({0, 0}, {lines_.line_count(), 0});
}

size_t TextView::byte_offset(Spot spot) const
{
    if (spot.line >= lines_.line_count())
        return lines_.bytes().size();
    return lines_.line_offset(spot.line) + column_offset(lines_.line(spot.line), spot.column);
}

std::string TextView::selected_text() const
{
    const size_t from = byte_offset(std::min(anchor_, cursor_));
    const size_t to = byte_offset(std::max(anchor_, cursor_));
    return clipboard_text(std::string_view(lines_.bytes()).substr(from, to - from));
}

bool TextView::copy_selection()
{
    if (!has_selection())
        return false;
    QApplication::clipboard()->setText(platform::qt::to_qstring(selected_text()));
    return true;
}

// Keys and mouse

bool TextView::event(QEvent* event)
{
    // Ctrl+Shift+C is also the menu's "Text kopieren", which copies the whole window: with a
    // selection the view takes the chord for itself.
    if (event->type() == QEvent::ShortcutOverride && copy_chord(*static_cast<QKeyEvent*>(event)) &&
        has_selection()) {
        event->accept();
        return true;
    }
    return QAbstractScrollArea::event(event);
}

void TextView::keyPressEvent(QKeyEvent* event)
{
    QScrollBar* v = verticalScrollBar();
    QScrollBar* h = horizontalScrollBar();
    const Qt::KeyboardModifiers mods = event->modifiers() & ~Qt::KeypadModifier;
    if (copy_chord(*event)) {
        copy_selection();
        return;
    }
    if (event->key() == Qt::Key_A && mods == Qt::ControlModifier) {
        select_all();
        return;
    }
    switch (event->key()) {
    case Qt::Key_Up:
        v->setValue(v->value() - 1);
        break;
    case Qt::Key_Down:
        v->setValue(v->value() + 1);
        break;
    case Qt::Key_PageUp:
        v->setValue(v->value() - v->pageStep());
        break;
    case Qt::Key_PageDown:
        v->setValue(v->value() + v->pageStep());
        break;
    case Qt::Key_Home:
        v->setValue(0);
        h->setValue(0);
        break;
    case Qt::Key_End:
        v->setValue(v->maximum());
        h->setValue(0);
        break;
    case Qt::Key_Left:
        h->setValue(h->value() - 1);
        break;
    case Qt::Key_Right:
        h->setValue(h->value() + 1);
        break;
    default:
        QAbstractScrollArea::keyPressEvent(event);
    }
}

void TextView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QAbstractScrollArea::mousePressEvent(event);
        return;
    }
    const Spot spot = spot_at(event->position().toPoint());
    if (event->modifiers() & Qt::ShiftModifier)
        select(anchor_, spot);
    else
        select(spot, spot);
}

void TextView::mouseMoveEvent(QMouseEvent* event)
{
    if (!(event->buttons() & Qt::LeftButton))
        return;
    // Dragging past the top or the bottom scrolls a line per move.
    const QPoint at = event->position().toPoint();
    QScrollBar* v = verticalScrollBar();
    if (at.y() < header_height())
        v->setValue(v->value() - 1);
    else if (at.y() >= viewport()->height())
        v->setValue(v->value() + 1);
    select(anchor_, spot_at(at));
}

} // namespace platform::qt
