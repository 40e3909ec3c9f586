// platform/qt/qt_text_view.h: the text windows' view: a line index over the text's bytes,
// of which only the lines on screen are laid out and painted.
#pragma once

#include "platform/text_lines.h"

#include <QAbstractScrollArea>
#include <QString>
#include <cstdint>
#include <string>
#include <string_view>

namespace platform::qt {

// A read-only view of a text of any size in a fixed-pitch font: a vertical scroll bar over
// lines, a horizontal one over columns (long lines are never wrapped), the optional ruler as
// a header row directly above the first text row that scrolls sideways with the text. It
// follows the end while the user is at the end and otherwise stays where the user left it.
// Keys work from the moment the window is shown: arrows, Page Up/Down, Home/End (first and
// last line, with or without Ctrl), Ctrl+A, Ctrl+C; the mouse selects by character.
class TextView : public QAbstractScrollArea {
  public:
    explicit TextView(QWidget* parent);

    // The text, UTF-8 with CR, LF or CR LF between lines.
    void set_text(std::string_view text);
    void append_text(std::string_view text);
    void clear_text();
    const TextLines& lines() const { return lines_; }

    // The ruler row; hidden when not shown.
    void set_ruler_shown(bool shown);
    void set_ruler(const QString& ruler);
    void set_text_font(const QFont& font);

    // A place in the text: line from 0, column from 0 as shown_columns() lays the line out.
    struct Spot {
        int64_t line = 0;
        int64_t column = 0;
        auto operator<=>(const Spot&) const = default;
    };
    void select(Spot anchor, Spot cursor);
    void select_all();
    // The selection as copied: clipboard_text() of its bytes.
    std::string selected_text() const;
    // Puts the selection on the clipboard; false when nothing is selected.
    bool copy_selection();

    // Where things are, for the tests: the first line and column shown, the rows of text the
    // viewport holds, and the rectangles (viewport pixels) of the ruler and of text row `row`
    // from 0.
    int64_t first_line() const;
    int64_t first_column() const;
    int64_t text_rows() const;
    QRect ruler_rect() const;
    QRect row_rect(int64_t row) const;
    // The spot under a viewport point.
    Spot spot_at(QPoint point) const;

  protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    bool focusNextPrevChild(bool) override { return false; }

  private:
    // Runs a change of the text and keeps the end in view when it was in view before.
    template <typename Change> void change_text(Change change);
    void update_scroll_bars();
    int header_height() const;
    int64_t visible_columns() const;
    size_t byte_offset(Spot spot) const;
    bool has_selection() const { return anchor_ != cursor_; }

    TextLines lines_;
    QString ruler_;
    bool ruler_shown_ = false;
    double char_width_ = 8;
    int row_height_ = 16;
    int ascent_ = 12;
    Spot anchor_;
    Spot cursor_;
};

} // namespace platform::qt
