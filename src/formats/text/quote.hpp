#pragma once
// Quoting input in messages, and the UTF-8 rules every reader shares. Messages quote what the
// user wrote, but a value longer than kQuoteLimit bytes is cut and marked with "...": a message
// is read by a person, and a 10 MB one helps nobody.

#include <cstddef>
#include <string>
#include <string_view>

namespace rillway::formats {

inline constexpr std::size_t kQuoteLimit = 256;

// The start of `text`, at most `limit` bytes long, cut before any UTF-8 character that would be
// split.
[[nodiscard]] std::string_view excerpt(std::string_view text,
                                       std::size_t limit = kQuoteLimit) noexcept;

// The excerpt of `text`, followed by "..." when it had to be cut.
[[nodiscard]] std::string shown(std::string_view text);

// Length of the well-formed UTF-8 character starting at text[pos], or 0 when the bytes there
// are not one (overlong forms, surrogates and code points past U+10FFFF are not).
[[nodiscard]] std::size_t utf8_length(std::string_view text, std::size_t pos) noexcept;

// True when the bytes form valid UTF-8.
[[nodiscard]] bool is_valid_utf8(std::string_view bytes) noexcept;

// The text with every byte that is not part of a well-formed character written as \xHH.
[[nodiscard]] std::string escape_invalid_utf8(std::string_view text);

}  // namespace rillway::formats
