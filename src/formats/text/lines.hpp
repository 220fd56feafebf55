#pragma once
// Line and field handling of the plain-text network format. Works on raw bytes: the only
// multi-byte sequences it recognises are the UTF-8 encodings of the whitespace characters, so
// malformed UTF-8 simply stays inside the field it appears in.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace rillway::formats {

// Hands out the lines of a text one by one. Lines end at LF; a CR right before the LF belongs to
// the line ending. A final line without LF is a line, but a text ending in LF has no empty line
// after it. A CR anywhere else is an ordinary character (which the field splitter treats as
// whitespace).
class LineSplitter {
public:
    explicit LineSplitter(std::string_view text) noexcept : rest_(text) {}

    // The next line without its ending, or nothing once the text is used up.
    [[nodiscard]] std::optional<std::string_view> next() noexcept;

private:
    std::string_view rest_;
};

// Byte length of the whitespace character that starts at text[pos], or 0 when none does.
// Whitespace is every character with the Unicode White_Space property.
[[nodiscard]] std::size_t whitespace_length(std::string_view text, std::size_t pos) noexcept;

// The line up to (not including) its first '#'.
[[nodiscard]] std::string_view strip_comment(std::string_view line) noexcept;

// The whitespace-separated fields of one line, as far as a reader looks at them. Only the
// first few are kept: a keyword line reads at most ten, and keeping every field of a long line
// would cost sixteen bytes of views per two bytes of text.
struct LineFields {
    std::vector<std::string_view> leading;  // the first fields, at most the limit asked for
    std::size_t count = 0;                  // fields on the line, kept or not
    std::string_view span;                  // first field to last, inner spacing as written
};

// Replaces `out` with the fields of `line`, keeping views of the first `keep`. The views point
// into `line`; the vector is reused so that a long run of lines allocates only once.
void split_fields(std::string_view line, std::size_t keep, LineFields& out);

// Case folding of the ASCII letters only; every other byte is copied unchanged.
[[nodiscard]] std::string ascii_upper(std::string_view text);
[[nodiscard]] std::string ascii_lower(std::string_view text);

}  // namespace rillway::formats
