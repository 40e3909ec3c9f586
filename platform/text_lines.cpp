// platform/text_lines.cpp: the line index of a text window's text, and how its lines are shown
// and copied.
#include "platform/text_lines.h"

#include "platform/utf8.h"

#include <algorithm>

namespace platform {

namespace {

bool control_code(char32_t c)
{
    return c < 0x20 || c == 0x7F;
}

int64_t next_tab_stop(int64_t column)
{
    return (column / TAB_COLUMNS + 1) * TAB_COLUMNS;
}

} // namespace

void TextLines::set(std::string_view text)
{
    clear();
    append(text);
}

void TextLines::append(std::string_view text)
{
    const size_t from = bytes_.size();
    bytes_ += text;
    index_from(from);
}

void TextLines::clear()
{
    bytes_.clear();
    bytes_.shrink_to_fit();
    starts_.assign(1, 0);
    starts_.shrink_to_fit();
    widest_ = 0;
    open_columns_ = 0;
}

void TextLines::index_from(size_t from)
{
    // One pass over the new bytes: line ends, and the columns of each line (a scalar's lead
    // byte counts one, a Tab up to its stop).
    for (size_t at = from; at < bytes_.size(); ++at) {
        const auto byte = static_cast<unsigned char>(bytes_[at]);
        if (byte == '\n' && at > 0 && bytes_[at - 1] == '\r') {
            starts_.back() = at + 1; // the CR ended the line already
        } else if (byte == '\r' || byte == '\n') {
            widest_ = std::max(widest_, open_columns_);
            open_columns_ = 0;
            starts_.push_back(at + 1);
        } else if (byte == '\t') {
            open_columns_ = next_tab_stop(open_columns_);
        } else if ((byte & 0xC0) != 0x80) {
            ++open_columns_;
        }
    }
}

int64_t TextLines::line_count() const
{
    if (bytes_.empty())
        return 0;
    const auto starts = static_cast<int64_t>(starts_.size());
    return starts > 1 && starts_.back() == bytes_.size() ? starts - 1 : starts;
}

std::string_view TextLines::line(int64_t index) const
{
    if (index < 0 || index >= line_count())
        return {};
    const auto i = static_cast<size_t>(index);
    const size_t start = starts_[i];
    size_t end = i + 1 < starts_.size() ? starts_[i + 1] - 1 : bytes_.size();
    if (end > start && bytes_[end] == '\n' && bytes_[end - 1] == '\r')
        --end;
    return std::string_view(bytes_).substr(start, end - start);
}

size_t TextLines::line_offset(int64_t index) const
{
    if (index < 0)
        return 0;
    if (index >= line_count())
        return bytes_.size();
    return starts_[static_cast<size_t>(index)];
}

int64_t TextLines::widest_columns() const
{
    return std::max(widest_, open_columns_);
}

std::u32string shown_columns(std::string_view line)
{
    std::u32string shown;
    shown.reserve(line.size());
    for (size_t at = 0; at < line.size();) {
        const size_t lead = at;
        const char32_t c = next_utf8(line, at).value_or(static_cast<unsigned char>(line[lead]));
        if (c == U'\t')
            shown.append(static_cast<size_t>(next_tab_stop(static_cast<int64_t>(shown.size())) -
                                             static_cast<int64_t>(shown.size())),
                         U' ');
        else
            shown.push_back(control_code(c) ? U' ' : c);
    }
    return shown;
}

size_t column_offset(std::string_view line, int64_t column)
{
    int64_t at_column = 0;
    for (size_t at = 0; at < line.size();) {
        const size_t lead = at;
        const bool tab = line[at] == '\t';
        next_utf8(line, at);
        const int64_t next = tab ? next_tab_stop(at_column) : at_column + 1;
        if (column < next)
            return lead;
        at_column = next;
    }
    return line.size();
}

std::string clipboard_text(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == '\r') {
            out.push_back('\n');
            if (i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
        } else if (c != '\n' && c != '\t' && control_code(c)) {
            out.push_back(' ');
        } else {
            out.push_back(static_cast<char>(c));
        }
    }
    return out;
}

} // namespace platform
