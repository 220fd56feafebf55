#include "formats/text/number.hpp"

#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <system_error>

namespace rillway::formats {

namespace {

// Exponents are accumulated up to this size only; beyond it the exponent alone decides whether
// a value overflows or underflows, since no text has this many digits.
constexpr std::int64_t kExponentCap = 1'000'000'000'000'000;

bool is_digit(char ch) noexcept { return ch >= '0' && ch <= '9'; }

bool equals_ascii_nocase(std::string_view text, std::string_view lower_word) noexcept {
    if (text.size() != lower_word.size()) {
        return false;
    }
    for (std::size_t i = 0; i < text.size(); ++i) {
        char ch = text[i];
        if (ch >= 'A' && ch <= 'Z') {
            ch = static_cast<char>(ch - 'A' + 'a');
        }
        if (ch != lower_word[i]) {
            return false;
        }
    }
    return true;
}

// The validated shape of a decimal number: its significand digits and its exponent.
struct Decimal {
    std::string_view integer_digits;
    std::string_view fraction_digits;
    std::int64_t exponent = 0;  // saturated at +-kExponentCap
};

std::optional<Decimal> scan_decimal(std::string_view body) noexcept {
    Decimal decimal;
    std::size_t pos = 0;
    while (pos < body.size() && is_digit(body[pos])) {
        ++pos;
    }
    decimal.integer_digits = body.substr(0, pos);
    if (pos < body.size() && body[pos] == '.') {
        const std::size_t start = ++pos;
        while (pos < body.size() && is_digit(body[pos])) {
            ++pos;
        }
        decimal.fraction_digits = body.substr(start, pos - start);
    }
    if (decimal.integer_digits.empty() && decimal.fraction_digits.empty()) {
        return std::nullopt;
    }
    if (pos < body.size() && (body[pos] == 'e' || body[pos] == 'E')) {
        ++pos;
        bool negative = false;
        if (pos < body.size() && (body[pos] == '+' || body[pos] == '-')) {
            negative = body[pos] == '-';
            ++pos;
        }
        const std::size_t start = pos;
        std::int64_t magnitude = 0;
        while (pos < body.size() && is_digit(body[pos])) {
            if (magnitude < kExponentCap) {
                magnitude = magnitude * 10 + (body[pos] - '0');
            }
            ++pos;
        }
        if (pos == start) {
            return std::nullopt;
        }
        decimal.exponent = negative ? -magnitude : magnitude;
    }
    if (pos != body.size()) {
        return std::nullopt;
    }
    return decimal;
}

// The power of ten of the leading nonzero digit (d.ddd x 10^k), or nothing for a zero value.
std::optional<std::int64_t> decimal_order(const Decimal& decimal) noexcept {
    const auto& whole = decimal.integer_digits;
    const std::size_t first_whole = whole.find_first_not_of('0');
    if (first_whole != std::string_view::npos) {
        return static_cast<std::int64_t>(whole.size() - first_whole - 1) + decimal.exponent;
    }
    const std::size_t first_fraction = decimal.fraction_digits.find_first_not_of('0');
    if (first_fraction != std::string_view::npos) {
        return -static_cast<std::int64_t>(first_fraction + 1) + decimal.exponent;
    }
    return std::nullopt;
}

}  // namespace

std::optional<double> parse_number(std::string_view field) noexcept {
    bool negative = false;
    std::string_view body = field;
    if (!body.empty() && (body.front() == '+' || body.front() == '-')) {
        negative = body.front() == '-';
        body.remove_prefix(1);
    }
    const double sign = negative ? -1.0 : 1.0;
    if (equals_ascii_nocase(body, "inf") || equals_ascii_nocase(body, "infinity")) {
        return sign * std::numeric_limits<double>::infinity();
    }
    if (equals_ascii_nocase(body, "nan")) {
        return std::copysign(std::numeric_limits<double>::quiet_NaN(), sign);
    }
    const std::optional<Decimal> decimal = scan_decimal(body);
    if (!decimal) {
        return std::nullopt;
    }

    // from_chars takes a '-' but no '+', so it is given the digits and the sign is applied here.
    double magnitude = 0.0;
    const auto [end, error] =
        std::from_chars(body.data(), body.data() + body.size(), magnitude, std::chars_format::general);
    if (error == std::errc::result_out_of_range) {
        // The value is left unset in this case; its order of magnitude says which way it fell.
        const std::optional<std::int64_t> order = decimal_order(*decimal);
        magnitude = order && *order >= 0 ? std::numeric_limits<double>::infinity() : 0.0;
    } else if (error != std::errc{} || end != body.data() + body.size()) {
        // Unreachable for text that passed the grammar; never guess a value.
        return std::nullopt;
    }
    return sign * magnitude;
}

}  // namespace rillway::formats
