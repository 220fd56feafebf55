// Reading a project document: a typed SAX handler over nlohmann's event parser, walking the
// field tables of schema.hpp.
//
// The wording of the messages is a compatibility contract: callers that stored documents match
// on it ("invalid type: map, expected f64", "missing field `name`", "duplicate field `id`",
// "unknown variant", " at line L column C"), as they do on the file reader's "(os error 2)".
// Change none of it.
//
// The handler keeps an explicit stack of the containers being filled (a record given as an
// object or as an array, a list, a point), so nesting costs heap rather than stack, and values
// under unknown keys are skipped by counting their depth. nlohmann hands no positions to the
// value callbacks, so the text is fed through an iterator that publishes how many bytes the
// parser has consumed; a token's position is recovered from that count.

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <limits>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

#include <nlohmann/json.hpp>

#include "formats/project/project.hpp"
#include "formats/project/schema.hpp"
#include "formats/text/quote.hpp"

namespace rillway::formats::project {
namespace {

using Json = nlohmann::json;

template <class T>
struct IsVector : std::false_type {};
template <class T>
struct IsVector<std::vector<T>> : std::true_type {};

template <class T>
struct IsOptional : std::false_type {};
template <class T>
struct IsOptional<std::optional<T>> : std::true_type {};

// A container being filled.
using Target = std::variant<Project*, ProjectNode*, ProjectPipe*, ProjectCatchment*, IdfCurveEntry*,
                            InletOverrides*, ReportInfo*, BackgroundImage*, BackgroundDxf*,
                            std::vector<ProjectNode>*, std::vector<ProjectPipe>*,
                            std::vector<ProjectCatchment>*, std::vector<IdfCurveEntry>*,
                            std::vector<Point>*, Point*, ProjectDesignRules*,
                            std::vector<double>*, Roadway*>;

// The loss method may be chosen by either key; given both, they must agree.
constexpr std::size_t kHec22FlagField = field_index<Project>("hec22_structure_loss");
constexpr std::uint32_t kHec22FlagBit = 1U << kHec22FlagField;
constexpr const char* kContradiction =
    "`loss_method` contradicts `hec22_structure_loss`: give one of them, or both agreeing";

bool contradicts(const Project& p, bool flag_given) {
    if (!p.loss_method || !flag_given) return false;
    return p.hec22_structure_loss != (*p.loss_method == network::LossMethod::hec22);
}

constexpr int kNoKey = -1;
constexpr int kUnknownKey = -2;

struct Frame {
    Target target;
    bool array_form = false;    // a record written as the array of its values
    std::uint32_t seen = 0;     // object form: one bit per field already given
    std::size_t count = 0;      // values taken so far (array form, list, point)
    int pending = kNoKey;       // object form: field index of the key awaiting its value
    std::size_t start = 0;      // offset of the opening bracket in the text
};

struct ObjectStart {};
struct ArrayStart {};
// One JSON value as the parser announces it: a scalar, or the start of an object or array.
using Value = std::variant<std::nullptr_t, bool, std::int64_t, std::uint64_t, double, std::string,
                           ObjectStart, ArrayStart>;

// A 64-bit number as Rust-like text: shortest round-trip form, whole values keep ".0".
std::string float_text(double v) {
    std::array<char, 64> buf{};
    const auto res = std::to_chars(buf.data(), buf.data() + buf.size(), v);
    std::string out(buf.data(), res.ptr);
    if (std::isfinite(v) && out.find_first_of(".e") == std::string::npos) out += ".0";
    return out;
}

std::string cut_marker(std::string_view full, std::string_view shown) {
    return shown.size() < full.size() ? "..." : "";
}

std::string json_quoted(std::string_view full) {
    const std::string_view s = excerpt(full);
    std::string out = "\"";
    for (const char ch : s) {
        switch (ch) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (static_cast<unsigned char>(ch) < 0x20) {
                    static constexpr std::string_view kHex = "0123456789abcdef";
                    out += "\\u{";
                    out += kHex[static_cast<unsigned char>(ch) >> 4U];
                    out += kHex[static_cast<unsigned char>(ch) & 0xFU];
                    out += '}';
                } else {
                    out += ch;
                }
        }
    }
    return out + cut_marker(full, s) + "\"";
}

// The "found" half of a type or value error.
std::string describe(const Value& v) {
    struct Describe {
        std::string operator()(std::nullptr_t) const { return "null"; }
        std::string operator()(bool b) const { return b ? "boolean `true`" : "boolean `false`"; }
        std::string operator()(std::int64_t i) const { return "integer `" + std::to_string(i) + "`"; }
        std::string operator()(std::uint64_t u) const { return "integer `" + std::to_string(u) + "`"; }
        std::string operator()(double d) const { return "floating point `" + float_text(d) + "`"; }
        std::string operator()(const std::string& s) const { return "string " + json_quoted(s); }
        std::string operator()(ObjectStart) const { return "map"; }
        std::string operator()(ArrayStart) const { return "sequence"; }
    };
    return std::visit(Describe{}, v);
}

std::optional<double> as_number(const Value& v) {
    if (const auto* d = std::get_if<double>(&v)) return *d;
    if (const auto* i = std::get_if<std::int64_t>(&v)) return static_cast<double>(*i);
    if (const auto* u = std::get_if<std::uint64_t>(&v)) return static_cast<double>(*u);
    return std::nullopt;
}

bool is_json_space(char ch) { return ch == ' ' || ch == '\t' || ch == '\n' || ch == '\r'; }

bool is_digit(char ch) { return ch >= '0' && ch <= '9'; }

// Line and column (both from 1) of the byte at `index`; an index at the end of the text names
// the place just after its last byte.
std::string position_text(std::string_view text, std::size_t index) {
    index = std::min(index, text.size());
    const std::string_view before = text.substr(0, index);
    const auto line = 1 + std::count(before.begin(), before.end(), '\n');
    const std::size_t last_newline = before.rfind('\n');
    const std::size_t line_start = last_newline == std::string_view::npos ? 0 : last_newline + 1;
    return " at line " + std::to_string(line) + " column " + std::to_string(index - line_start + 1);
}

// nlohmann's messages open with "[json.exception.parse_error.101] parse error at line 1,
// column 1: "; the reader appends its own position, so only the description is kept.
std::string describe_parse_failure(std::string_view what) {
    if (what.starts_with("[json.exception.")) {
        const std::size_t close = what.find("] ");
        if (close != std::string_view::npos) what.remove_prefix(close + 2);
    }
    if (what.starts_with("parse error")) {
        const std::size_t colon = what.find(": ");
        if (colon != std::string_view::npos) what.remove_prefix(colon + 2);
    }
    // The library quotes the token it failed on ("last read: '...'", "number overflow parsing
    // '...'"), which may be a whole megabyte-long string or number.
    const std::size_t open = what.find('\'');
    const std::size_t close = what.rfind('\'');
    if (open != std::string_view::npos && close > open + 1) {
        const std::string_view token = what.substr(open + 1, close - open - 1);
        const std::string_view part = excerpt(token);
        if (part.size() < token.size()) {
            return escape_invalid_utf8(what.substr(0, open + 1)) + escape_invalid_utf8(part) + "..." +
                   escape_invalid_utf8(what.substr(close));
        }
    }
    return escape_invalid_utf8(what);
}

// An input iterator over the text that publishes how far the parser has read.
class CountingIterator {
public:
    using iterator_category = std::input_iterator_tag;
    using value_type = char;
    using difference_type = std::ptrdiff_t;
    using pointer = const char*;
    using reference = const char&;

    CountingIterator(const char* base, const char* at, std::size_t* consumed)
        : base_(base), at_(at), consumed_(consumed) {}

    reference operator*() const { return *at_; }
    CountingIterator& operator++() {
        ++at_;
        *consumed_ = static_cast<std::size_t>(at_ - base_);
        return *this;
    }
    CountingIterator operator++(int) {
        CountingIterator before = *this;
        ++*this;
        return before;
    }
    friend bool operator==(const CountingIterator& a, const CountingIterator& b) {
        return a.at_ == b.at_;
    }

private:
    const char* base_;
    const char* at_;
    std::size_t* consumed_;
};

// Every shape but the round pipe takes its size from rise_ft and span_ft: a box, ellipse, arch
// or open rectangle needs both, a triangle only its depth, a trapezoid its depth and a bottom
// width or banks. One without them would fall back on a round pipe of its diameter, which is
// not what the document drew.
}  // namespace
std::optional<std::string> impossible_section(const ProjectPipe& pipe) {
    using hydraulics::SectionKind;
    const auto shortest = [](double v) {
        std::array<char, 32> buf{};
        const auto res = std::to_chars(buf.data(), buf.data() + buf.size(), v);
        return std::string(buf.data(), res.ptr);
    };
    const auto shape = shape_of_word(pipe.shape);
    if (!shape || *shape == SectionKind::circular) return std::nullopt;
    // The texts are built only for a refusal: a large network of boxes has none.
    const auto what = [&] {
        return "pipe '" + shown(pipe.id) + "' is " + std::string(shape_word(*shape)) +
               " with rise_ft " + shortest(pipe.rise_ft);
    };
    const auto both = [&] { return what() + " and span_ft " + shortest(pipe.span_ft); };
    if (*shape == SectionKind::triangle) {
        if (!(pipe.rise_ft > 0.0)) return what() + ": it must be above 0";
        if (!pipe.side_slope) return what() + " and no side_slope: a triangle needs its banks";
        return std::nullopt;
    }
    if (*shape == SectionKind::trapezoid) {
        if (!(pipe.rise_ft > 0.0) || !(pipe.span_ft >= 0.0)) {
            return both() + ": the depth must be above 0, the bottom width 0 or more";
        }
        if (pipe.span_ft == 0.0 && !pipe.side_slope) {
            return both() + " and no side_slope: a channel needs a bottom or banks";
        }
        return std::nullopt;
    }
    if (!(pipe.rise_ft > 0.0 && pipe.span_ft > 0.0)) return both() + ": both must be above 0";
    return std::nullopt;
}

class ProjectHandler {
public:
    using number_integer_t = Json::number_integer_t;
    using number_unsigned_t = Json::number_unsigned_t;
    using number_float_t = Json::number_float_t;
    using string_t = Json::string_t;
    using binary_t = Json::binary_t;

    ProjectHandler(std::string_view text, const std::size_t* consumed)
        : text_(text), consumed_(consumed) {
        // nlohmann skips a byte order mark before the first token.
        if (text.starts_with("\xEF\xBB\xBF")) previous_end_ = 3;
    }

    bool null() { return finish(take(nullptr, last_consumed_byte())); }
    bool boolean(bool v) { return finish(take(v, last_consumed_byte())); }
    bool number_integer(number_integer_t v) { return finish(take(std::int64_t{v}, number_end())); }
    bool number_unsigned(number_unsigned_t v) { return finish(take(std::uint64_t{v}, number_end())); }
    bool number_float(number_float_t v, const string_t& /*text*/) {
        return finish(take(double{v}, number_end()));
    }
    bool string(string_t& v) { return finish(take(std::move(v), last_consumed_byte())); }
    bool binary(binary_t& /*v*/) { return fail("invalid type: byte array", last_consumed_byte()); }
    bool start_object(std::size_t /*elements*/) {
        return finish(take(ObjectStart{}, last_consumed_byte()));
    }
    bool start_array(std::size_t /*elements*/) {
        return finish(take(ArrayStart{}, last_consumed_byte()));
    }
    bool key(string_t& k) { return finish(on_key(k)); }
    bool end_object() { return finish(on_end(last_consumed_byte())); }
    bool end_array() { return finish(on_end(last_consumed_byte())); }

    bool parse_error(std::size_t position, const std::string& /*last_token*/,
                     const nlohmann::detail::exception& ex) {
        if (document_end_) {
            // The project itself was complete; whatever follows is surplus text.
            std::size_t at = *document_end_;
            while (at < text_.size() && is_json_space(text_[at])) ++at;
            return fail("trailing characters", at);
        }
        // nlohmann counts the bytes it has read, the failing one included.
        return fail(describe_parse_failure(ex.what()), position == 0 ? 0 : position - 1);
    }

    // The message of the first failure, if any.
    [[nodiscard]] const std::optional<std::string>& error() const { return error_; }
    [[nodiscard]] bool complete() const { return document_end_.has_value(); }
    Project& project() { return project_; }

    bool fail(std::string message, std::size_t at) {
        if (!error_) error_ = std::move(message) + position_text(text_, at);
        return false;
    }

private:
    bool finish(bool ok) {
        previous_end_ = *consumed_;
        return ok;
    }

    // Strings, literals and brackets end with the last byte the parser consumed.
    [[nodiscard]] std::size_t last_consumed_byte() const {
        return *consumed_ == 0 ? 0 : *consumed_ - 1;
    }

    // A number is only known to end once the parser has read the byte after it, so its last
    // byte is found by scanning the number from its start, which follows the previous event
    // after any whitespace, commas and colons.
    [[nodiscard]] std::size_t number_end() const {
        std::size_t at = previous_end_;
        while (at < text_.size() && (is_json_space(text_[at]) || text_[at] == ',' || text_[at] == ':')) {
            ++at;
        }
        auto digits = [&] {
            while (at < text_.size() && is_digit(text_[at])) ++at;
        };
        if (at < text_.size() && text_[at] == '-') ++at;
        if (at < text_.size() && text_[at] == '0') {
            ++at;
        } else {
            digits();
        }
        if (at + 1 < text_.size() && text_[at] == '.' && is_digit(text_[at + 1])) {
            ++at;
            digits();
        }
        if (at < text_.size() && (text_[at] == 'e' || text_[at] == 'E')) {
            ++at;
            if (at < text_.size() && (text_[at] == '+' || text_[at] == '-')) ++at;
            digits();
        }
        return at == 0 ? 0 : at - 1;
    }

    bool on_key(const std::string& k) {
        if (skip_depth_ > 0) return true;
        // nlohmann announces keys only inside objects, and every object is a record.
        Frame& top = stack_.back();
        return std::visit(
            [&](auto* target) {
                using T = std::remove_pointer_t<decltype(target)>;
                if constexpr (Record<T>) {
                    const auto& fields = Schema<T>::fields;
                    for (std::size_t i = 0; i < fields.size(); ++i) {
                        if (fields[i].key != k) continue;
                        const std::uint32_t bit = 1U << i;
                        if ((top.seen & bit) != 0U) {
                            return fail("duplicate field `" + k + "`", last_consumed_byte());
                        }
                        top.seen |= bit;
                        top.pending = static_cast<int>(i);
                        return true;
                    }
                    top.pending = kUnknownKey;
                    if constexpr (std::is_same_v<T, ProjectDesignRules>) {
                        target->given.unknown_keys.push_back(k);
                    }
                    return true;
                } else {
                    return fail("invalid type: map", last_consumed_byte());
                }
            },
            top.target);
    }

    bool on_end(std::size_t at) {
        if (skip_depth_ > 0) {
            --skip_depth_;
            return true;
        }
        const Frame top = stack_.back();
        stack_.pop_back();
        if (stack_.empty()) document_end_ = *consumed_;
        return std::visit(
            [&](auto* target) {
                using T = std::remove_pointer_t<decltype(target)>;
                if constexpr (Record<T>) {
                    // A whole pipe record: its section must have the sizes its shape needs.
                    const auto sized = [&] {
                        if constexpr (std::is_same_v<T, ProjectPipe>) {
                            if (auto problem = impossible_section(*target)) {
                                return fail(std::move(*problem), at);
                            }
                        }
                        return true;
                    };
                    if (top.array_form) {
                        if (top.count < shortest_array<T>()) return short_array<T>(top.count, at);
                        if (!sized()) return false;
                        if constexpr (std::is_same_v<T, Project>) {
                            if (contradicts(*target, top.count > kHec22FlagField)) {
                                return fail(kContradiction, at);
                            }
                        }
                        return true;
                    }
                    const auto& fields = Schema<T>::fields;
                    for (std::size_t i = 0; i < fields.size(); ++i) {
                        if (fields[i].absent == Absent::required && (top.seen & (1U << i)) == 0U) {
                            return fail("missing field `" + std::string(fields[i].key) + "`", at);
                        }
                    }
                    if constexpr (std::is_same_v<T, Project>) {
                        if (contradicts(*target, (top.seen & kHec22FlagBit) != 0U)) {
                            return fail(kContradiction, at);
                        }
                    }
                    if constexpr (std::is_same_v<T, ProjectDesignRules>) {
                        target->given.text = std::string(text_.substr(top.start, at + 1 - top.start));
                    }
                    return sized();
                } else if constexpr (std::is_same_v<T, Point>) {
                    if (top.count < 2) {
                        return fail("invalid length " + std::to_string(top.count) +
                                        ", expected a tuple of size 2",
                                    at);
                    }
                    return true;
                } else {
                    return true;
                }
            },
            top.target);
    }

    template <Record R>
    bool short_array(std::size_t given, std::size_t at) {
        return fail("invalid length " + std::to_string(given) + ", expected struct " +
                        std::string(Schema<R>::name) + " with " +
                        std::to_string(Schema<R>::fields.size()) + " elements",
                    at);
    }

    // Routes one value to the field, element or coordinate it fills.
    bool take(Value v, std::size_t at) {
        const bool opens = std::holds_alternative<ObjectStart>(v) || std::holds_alternative<ArrayStart>(v);
        if (skip_depth_ > 0) {
            if (opens) ++skip_depth_;
            return true;
        }
        if (stack_.empty()) return store(&project_, v, at);
        Frame& top = stack_.back();
        std::optional<Slot> slot = std::visit(
            [&](auto* target) -> std::optional<Slot> {
                using T = std::remove_pointer_t<decltype(target)>;
                if constexpr (Record<T>) {
                    if (top.array_form) {
                        if (top.count >= Schema<T>::fields.size()) return std::nullopt;
                        return Schema<T>::slot(*target, top.count++);
                    }
                    const int field = std::exchange(top.pending, kNoKey);
                    if (field < 0) return std::nullopt;
                    return Schema<T>::slot(*target, static_cast<std::size_t>(field));
                } else if constexpr (std::is_same_v<T, Point>) {
                    if (top.count >= target->size()) return std::nullopt;
                    return &(*target)[top.count++];
                } else {
                    ++top.count;
                    target->emplace_back();
                    return &target->back();
                }
            },
            top.target);
        if (!slot) {
            if (top.array_form || std::holds_alternative<Point*>(top.target)) {
                return fail("trailing characters", at);
            }
            // The value of an unknown key: parsed, then dropped.
            if (opens) skip_depth_ = 1;
            return true;
        }
        return std::visit([&](auto* s) { return store(s, v, at); }, *slot);
    }

    bool type_error(const Value& v, std::string_view expected, std::size_t at) {
        return fail("invalid type: " + describe(v) + ", expected " + std::string(expected), at);
    }

    bool store(double* out, Value& v, std::size_t at) {
        const auto number = as_number(v);
        if (!number) return type_error(v, "f64", at);
        *out = *number;
        return true;
    }

    bool store(float* out, Value& v, std::size_t at) {
        const auto number = as_number(v);
        if (!number) return type_error(v, "f32", at);
        *out = static_cast<float>(*number);
        return true;
    }

    bool store(std::uint32_t* out, Value& v, std::size_t at) {
        constexpr auto kMax = std::numeric_limits<std::uint32_t>::max();
        if (const auto* u = std::get_if<std::uint64_t>(&v); u && *u <= kMax) {
            *out = static_cast<std::uint32_t>(*u);
            return true;
        }
        if (const auto* i = std::get_if<std::int64_t>(&v); i && *i >= 0 && *i <= kMax) {
            *out = static_cast<std::uint32_t>(*i);
            return true;
        }
        if (std::holds_alternative<std::uint64_t>(v) || std::holds_alternative<std::int64_t>(v)) {
            return fail("invalid value: " + describe(v) + ", expected u32", at);
        }
        return type_error(v, "u32", at);
    }

    bool store(bool* out, Value& v, std::size_t at) {
        if (const auto* b = std::get_if<bool>(&v)) {
            *out = *b;
            return true;
        }
        return type_error(v, "a boolean", at);
    }

    bool store(std::string* out, Value& v, std::size_t at) {
        if (auto* s = std::get_if<std::string>(&v)) {
            *out = std::move(*s);
            return true;
        }
        return type_error(v, "a string", at);
    }

    bool store(std::optional<double>* out, Value& v, std::size_t at) {
        if (std::holds_alternative<std::nullptr_t>(v)) {
            out->reset();
            return true;
        }
        return store(&out->emplace(), v, at);
    }

    bool store(std::optional<std::string>* out, Value& v, std::size_t at) {
        if (std::holds_alternative<std::nullptr_t>(v)) {
            out->reset();
            return true;
        }
        return store(&out->emplace(), v, at);
    }

    bool store(std::optional<std::vector<double>>* out, Value& v, std::size_t at) {
        if (std::holds_alternative<std::nullptr_t>(v)) {
            out->reset();
            return true;
        }
        return store(&out->emplace(), v, at);
    }

    bool store(std::optional<SideSlope>* out, Value& v, std::size_t at) {
        if (std::holds_alternative<std::nullptr_t>(v)) {
            out->reset();
            return true;
        }
        if (std::holds_alternative<ArrayStart>(v)) return store(&out->emplace().emplace<Point>(), v, at);
        const auto number = as_number(v);
        if (!number) return type_error(v, "a number or [left, right]", at);
        out->emplace(*number);
        return true;
    }

    bool store(UnitSystem* out, Value& v, std::size_t at) {
        const auto* s = std::get_if<std::string>(&v);
        if (s == nullptr) return type_error(v, "`us_customary` or `si`", at);
        if (*s == "us_customary") {
            *out = UnitSystem::us_customary;
        } else if (*s == "si") {
            *out = UnitSystem::si;
        } else {
            return fail("unknown variant `" + shown(*s) +
                            "`, expected `us_customary` or `si`",
                        at);
        }
        return true;
    }

    bool store(std::optional<network::LossMethod>* out, Value& v, std::size_t at) {
        constexpr std::string_view kWords = "`standard`, `hec22` or `fhwa_energy`";
        if (std::holds_alternative<std::nullptr_t>(v)) {
            out->reset();
            return true;
        }
        const auto* s = std::get_if<std::string>(&v);
        if (s == nullptr) return type_error(v, kWords, at);
        *out = network::loss_method_of_word(*s);
        if (!*out) return fail("unknown variant `" + shown(*s) + "`, expected " + std::string(kWords), at);
        return true;
    }

    bool store(network::Benching* out, Value& v, std::size_t at) {
        constexpr std::string_view kWords = "`flat`, `depressed`, `half`, `full` or `improved`";
        const auto* s = std::get_if<std::string>(&v);
        if (s == nullptr) return type_error(v, kWords, at);
        const auto benching = network::benching_of_word(*s);
        if (!benching) return fail("unknown variant `" + shown(*s) + "`, expected " + std::string(kWords), at);
        *out = *benching;
        return true;
    }

    // A word of a closed list, null for absent: "unknown variant `x`, expected `a`, `b` or `c`".
    template <class E, class OfWord>
    bool store_word(std::optional<E>* out, Value& v, std::size_t at, OfWord of_word,
                    std::string_view words) {
        if (std::holds_alternative<std::nullptr_t>(v)) {
            out->reset();
            return true;
        }
        const auto* s = std::get_if<std::string>(&v);
        if (s == nullptr) return type_error(v, words, at);
        *out = of_word(*s);
        if (!*out) return fail("unknown variant `" + shown(*s) + "`, expected " + std::string(words), at);
        return true;
    }

    bool store(std::optional<hydraulics::InletType>* out, Value& v, std::size_t at) {
        return store_word(out, v, at, hydraulics::inlet_type_of_word,
                          "`none`, `grate`, `curb`, `combination` or `slotted`");
    }

    bool store(std::optional<hydraulics::GrateType>* out, Value& v, std::size_t at) {
        return store_word(out, v, at, hydraulics::grate_type_of_word,
                          "`p50`, `p50x100`, `p30`, `curved_vane`, `tilt_bar_45`, `tilt_bar_30`, "
                          "`reticuline` or `custom`");
    }

    bool store(std::optional<hydraulics::Throat>* out, Value& v, std::size_t at) {
        return store_word(out, v, at, hydraulics::throat_of_word,
                          "`horizontal`, `inclined` or `vertical`");
    }

    bool store(std::optional<network::PipeFlows>* out, Value& v, std::size_t at) {
        return store_word(out, v, at, network::pipe_flows_of_word, "`captured` or `total_area`");
    }

    bool store(network::FlowSplit* out, Value& v, std::size_t at) {
        constexpr std::string_view kWords = "`whole` or `capacity`";
        const auto* s = std::get_if<std::string>(&v);
        if (s == nullptr) return type_error(v, kWords, at);
        const auto split = network::flow_split_of_word(*s);
        if (!split) return fail("unknown variant `" + shown(*s) + "`, expected " + std::string(kWords), at);
        *out = *split;
        return true;
    }

    template <Record R>
    bool store(R* out, Value& v, std::size_t at) {
        const bool as_array = std::holds_alternative<ArrayStart>(v);
        if (!as_array && !std::holds_alternative<ObjectStart>(v)) {
            return type_error(v, "struct " + std::string(Schema<R>::name), at);
        }
        *out = R{};
        stack_.push_back(Frame{out, as_array});
        stack_.back().start = at;
        return true;
    }

    template <Record R>
    bool store(std::optional<R>* out, Value& v, std::size_t at) {
        if (std::holds_alternative<std::nullptr_t>(v)) {
            out->reset();
            return true;
        }
        return store(&out->emplace(), v, at);
    }

    template <class T>
    bool store(std::vector<T>* out, Value& v, std::size_t at) {
        if (!std::holds_alternative<ArrayStart>(v)) return type_error(v, "a sequence", at);
        out->clear();
        if constexpr (Record<T>) {
            // As many records as the rest of the text could hold, capped: a vector of large
            // records grown by doubling copies and returns its memory at every step, and on a
            // large network those pages are faulted in anew on every call. Reserving touches
            // nothing; only the records read are.
            constexpr std::size_t kSmallestRecord = 64;  // bytes of text, about
            constexpr std::size_t kMostReserved = std::size_t{1} << 20;
            out->reserve(std::min(kMostReserved, (text_.size() - std::min(at, text_.size())) /
                                                     kSmallestRecord));
        }
        stack_.push_back(Frame{out});
        return true;
    }

    bool store(Point* out, Value& v, std::size_t at) {
        if (!std::holds_alternative<ArrayStart>(v)) return type_error(v, "a tuple of size 2", at);
        *out = Point{};
        stack_.push_back(Frame{out});
        return true;
    }

    std::string_view text_;
    const std::size_t* consumed_;
    std::size_t previous_end_ = 0;  // bytes consumed when the previous event was handled
    Project project_;
    std::vector<Frame> stack_;
    std::size_t skip_depth_ = 0;  // open containers inside the value of an unknown key
    std::optional<std::size_t> document_end_;
    std::optional<std::string> error_;
};

std::variant<Project, std::string> read_project(std::string_view text) {
    std::size_t consumed = 0;
    ProjectHandler handler(text, &consumed);
    try {
        const CountingIterator first(text.data(), text.data(), &consumed);
        const CountingIterator last(text.data(), text.data() + text.size(), &consumed);
        Json::sax_parse(first, last, &handler);
    } catch (const std::bad_alloc&) {
        throw;
    } catch (const std::exception& e) {
        handler.fail(describe_parse_failure(e.what()), consumed);
    }
    if (handler.error()) return *handler.error();
    if (!handler.complete()) return "unexpected end of input" + position_text(text, text.size());
    return std::move(handler.project());
}

}  // namespace rillway::formats::project
