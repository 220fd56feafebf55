#include "formats/text/quote.hpp"

namespace rillway::formats {

std::string_view excerpt(std::string_view text, std::size_t limit) noexcept {
    if (text.size() <= limit) {
        return text;
    }
    std::size_t end = limit;
    // Back off over continuation bytes (10xxxxxx) to the lead byte of the split character.
    for (int step = 0; step < 3 && end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0U) == 0x80U;
         ++step) {
        --end;
    }
    return text.substr(0, end);
}

std::string shown(std::string_view text) {
    const std::string_view part = excerpt(text);
    std::string out(part);
    if (part.size() < text.size()) out += "...";
    return out;
}

std::size_t utf8_length(std::string_view text, std::size_t pos) noexcept {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[pos + k]); };
    const unsigned char c = byte(0);
    if (c < 0x80) return 1;
    std::size_t length = 0;
    unsigned char lo = 0x80;  // allowed range of the second byte
    unsigned char hi = 0xBF;
    if (c >= 0xC2 && c <= 0xDF) {
        length = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
        length = 3;
        if (c == 0xE0) lo = 0xA0;  // no overlongs
        if (c == 0xED) hi = 0x9F;  // no surrogates
    } else if (c >= 0xF0 && c <= 0xF4) {
        length = 4;
        if (c == 0xF0) lo = 0x90;
        if (c == 0xF4) hi = 0x8F;  // nothing above U+10FFFF
    } else {
        return 0;
    }
    if (pos + length > text.size()) return 0;
    if (byte(1) < lo || byte(1) > hi) return 0;
    for (std::size_t k = 2; k < length; ++k) {
        if (byte(k) < 0x80 || byte(k) > 0xBF) return 0;
    }
    return length;
}

bool is_valid_utf8(std::string_view bytes) noexcept {
    for (std::size_t i = 0; i < bytes.size();) {
        const std::size_t length = utf8_length(bytes, i);
        if (length == 0) return false;
        i += length;
    }
    return true;
}

std::string escape_invalid_utf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t length = utf8_length(text, i);
        if (length > 0) {
            out.append(text.substr(i, length));
            i += length;
        } else {
            static constexpr std::string_view kHex = "0123456789ABCDEF";
            const auto b = static_cast<unsigned char>(text[i]);
            out += "\\x";
            out += kHex[b >> 4U];
            out += kHex[b & 0xFU];
            ++i;
        }
    }
    return out;
}

}  // namespace rillway::formats
