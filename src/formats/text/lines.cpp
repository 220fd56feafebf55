#include "formats/text/lines.hpp"

namespace rillway::formats {

std::optional<std::string_view> LineSplitter::next() noexcept {
    if (rest_.empty()) {
        return std::nullopt;
    }
    const std::size_t lf = rest_.find('\n');
    std::string_view line = rest_.substr(0, lf);
    if (lf == std::string_view::npos) {
        rest_ = {};
        return line;
    }
    rest_.remove_prefix(lf + 1);
    if (!line.empty() && line.back() == '\r') {
        line.remove_suffix(1);
    }
    return line;
}

std::size_t whitespace_length(std::string_view text, std::size_t pos) noexcept {
    const auto byte = [&](std::size_t i) -> unsigned {
        return pos + i < text.size() ? static_cast<unsigned char>(text[pos + i]) : 0x100U;
    };
    const unsigned b0 = byte(0);
    if ((b0 >= 0x09 && b0 <= 0x0D) || b0 == 0x20) {
        return 1;
    }
    switch (b0) {
        case 0xC2:  // U+0085 next line, U+00A0 no-break space
            return byte(1) == 0x85 || byte(1) == 0xA0 ? 2 : 0;
        case 0xE1:  // U+1680 ogham space mark
            return byte(1) == 0x9A && byte(2) == 0x80 ? 3 : 0;
        case 0xE2: {
            const unsigned b1 = byte(1);
            const unsigned b2 = byte(2);
            if (b1 == 0x80) {
                // U+2000..U+200A en quad to hair space, U+2028 line separator,
                // U+2029 paragraph separator, U+202F narrow no-break space
                const bool space = (b2 >= 0x80 && b2 <= 0x8A) || b2 == 0xA8 || b2 == 0xA9 ||
                                   b2 == 0xAF;
                return space ? 3 : 0;
            }
            return b1 == 0x81 && b2 == 0x9F ? 3 : 0;  // U+205F medium mathematical space
        }
        case 0xE3:  // U+3000 ideographic space
            return byte(1) == 0x80 && byte(2) == 0x80 ? 3 : 0;
        default:
            return 0;
    }
}

std::string_view strip_comment(std::string_view line) noexcept {
    return line.substr(0, line.find('#'));
}

void split_fields(std::string_view line, std::size_t keep, LineFields& out) {
    out.leading.clear();
    out.count = 0;
    out.span = {};
    std::size_t first_start = 0;
    std::size_t last_end = 0;
    std::size_t pos = 0;
    std::size_t field_start = 0;
    bool in_field = false;
    const auto close_field = [&](std::size_t end) {
        if (out.count == 0) first_start = field_start;
        if (out.count < keep) out.leading.push_back(line.substr(field_start, end - field_start));
        ++out.count;
        last_end = end;
        in_field = false;
    };
    while (pos < line.size()) {
        const std::size_t space = whitespace_length(line, pos);
        if (space == 0) {
            if (!in_field) {
                field_start = pos;
                in_field = true;
            }
            ++pos;
            continue;
        }
        if (in_field) close_field(pos);
        pos += space;
    }
    if (in_field) close_field(line.size());
    if (out.count > 0) out.span = line.substr(first_start, last_end - first_start);
}

std::string ascii_upper(std::string_view text) {
    std::string out(text);
    for (char& ch : out) {
        if (ch >= 'a' && ch <= 'z') {
            ch = static_cast<char>(ch - 'a' + 'A');
        }
    }
    return out;
}

std::string ascii_lower(std::string_view text) {
    std::string out(text);
    for (char& ch : out) {
        if (ch >= 'A' && ch <= 'Z') {
            ch = static_cast<char>(ch - 'A' + 'a');
        }
    }
    return out;
}

}  // namespace rillway::formats
