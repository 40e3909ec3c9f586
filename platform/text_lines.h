// platform/text_lines.h: a text window's text as its bytes plus an index of where each line
// starts, for front ends that lay out only the lines they show.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// Columns from one tab stop to the next, where a front end expands a Tab.
constexpr int64_t TAB_COLUMNS = 8;

// The bytes as they were set and appended (UTF-8, or anything), and the line starts kept as
// the text grows, so a page of a 70 MB listing costs what the page shows. A line ends at CR,
// LF or CR LF; a CR LF split across two appends is still one line end. A final line end
// opens no line of its own; the empty text has no lines.
class TextLines {
  public:
    void set(std::string_view text);
    void append(std::string_view text);
    void clear();

    const std::string& bytes() const { return bytes_; }
    int64_t line_count() const;
    // Line `index` (from 0, below line_count()) without its line end.
    std::string_view line(int64_t index) const;
    // Where line `index` starts in bytes(); bytes().size() for index line_count() and above.
    size_t line_offset(int64_t index) const;
    // Columns of the widest line as shown_columns() lays it out: the horizontal scroll range.
    int64_t widest_columns() const;

  private:
    void index_from(size_t from);

    std::string bytes_;
    std::vector<size_t> starts_{0};
    int64_t widest_ = 0;       // of the lines that have ended
    int64_t open_columns_ = 0; // of the last line, still open
};

// A line as a front end shows it in a fixed-pitch font: UTF-8 decoded (a stray byte stands
// for its code), Tab expanded to the next stop, other control codes as blanks (the listing
// keeps a 25 after each address).
std::u32string shown_columns(std::string_view line);
// The byte offset in `line` of column `column` (from 0) of shown_columns(line); the line's
// size at or past its end. A column inside an expanded Tab belongs to the Tab.
size_t column_offset(std::string_view line, int64_t column);

// Text as other programs expect it on a clipboard: a line feed ends each line (CR LF and a
// bare CR become LF), and control codes other than LF and Tab become blanks.
std::string clipboard_text(std::string_view text);

} // namespace platform
