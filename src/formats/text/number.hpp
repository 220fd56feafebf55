#pragma once
// The number grammar of the plain-text network format.
//
// A number is, in full: an optional '+' or '-', then either a decimal significand (digits with at
// most one '.', at least one digit in all) with an optional exponent ('e' or 'E', an optional
// sign, at least one digit), or one of the words "inf", "infinity", "nan" in any letter case.
// Hexadecimal, digit separators, decimal commas and "nan(...)" are not numbers.

#include <optional>
#include <string_view>

namespace rillway::formats {

// The value of `field` rounded to the nearest double (ties to even), or nothing when the field
// is not a number. Magnitudes beyond the double range give infinity, those below it zero.
[[nodiscard]] std::optional<double> parse_number(std::string_view field) noexcept;

}  // namespace rillway::formats
