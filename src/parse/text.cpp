#include "parse/text.hpp"

namespace rillway::parse {

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

void split_fields(std::string_view line, std::vector<std::string_view>& fields) {
    fields.clear();
    std::size_t pos = 0;
    std::size_t field_start = 0;
    bool in_field = false;
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
        if (in_field) {
            fields.push_back(line.substr(field_start, pos - field_start));
            in_field = false;
        }
        pos += space;
    }
    if (in_field) {
        fields.push_back(line.substr(field_start));
    }
}

std::string_view fields_span(const std::vector<std::string_view>& fields) noexcept {
    if (fields.empty()) {
        return {};
    }
    const char* first = fields.front().data();
    const char* last = fields.back().data() + fields.back().size();
    return {first, static_cast<std::size_t>(last - first)};
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

}  // namespace rillway::parse
