#include "formats/rwn/rwn.hpp"

#include <array>
#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "formats/text/number.hpp"
#include "formats/text/quote.hpp"
#include "formats/text/lines.hpp"

namespace rillway::formats {

namespace {

using network::Node;
using network::Pipe;

// Field positions count from 1, the keyword being field 1.
constexpr std::size_t kNodeX = 4;           // then y, invert, rim
constexpr std::size_t kNodeArea = 8;        // then c
constexpr std::size_t kNodeTc = 10;
constexpr std::size_t kPipeLength = 5;      // then diameter, n
constexpr std::size_t kFirstArgument = 2;   // IDF a, b, c and the single-value keywords
// No keyword reads past field 10 (a node's tc), so later fields are counted but not kept.
constexpr std::size_t kKeptFields = kNodeTc;

// One non-blank line: its fields, and the trimmed text that the missing-value message quotes.
struct Line {
    const LineFields& fields;

    [[nodiscard]] std::size_t count() const noexcept { return fields.count; }
    [[nodiscard]] std::string_view trimmed() const noexcept { return fields.span; }
    // Field k, counting the keyword as field 1; k never exceeds kKeptFields.
    [[nodiscard]] std::string_view field(std::size_t k) const noexcept {
        return fields.leading[k - 1];
    }
};

// A failed line: the message without its "line N: " prefix.
using Failure = std::optional<std::string>;

std::string quoted(std::string_view text) {
    return '`' + shown(text) + '`';
}

// Reads the numbers of fields first, first + 1, ... into `values`, stopping at the first field
// that is missing or not a number.
Failure read_numbers(const Line& line, std::size_t first, std::span<double> values) {
    for (std::size_t i = 0; i < values.size(); ++i) {
        const std::size_t k = first + i;
        if (line.count() < k) {
            return "missing value #" + std::to_string(k) + " in " + quoted(line.trimmed());
        }
        const std::optional<double> value = parse_number(line.field(k));
        if (!value) {
            return quoted(line.field(k)) + " is not a number";
        }
        values[i] = *value;
    }
    return std::nullopt;
}

Failure read_number(const Line& line, std::size_t k, double& value) {
    return read_numbers(line, k, std::span<double>(&value, 1));
}

Failure read_node(const Line& line, network::Network& net) {
    if (line.count() < 2) {
        return "NODE needs an id";
    }
    if (line.count() == 2) {
        return "NODE needs a kind";
    }
    const std::string kind = ascii_lower(line.field(3));
    // x, y, invert and rim come before the kind is judged, so a short line with a bad kind
    // reports the missing number.
    std::array<double, 4> place{};
    if (auto failure = read_numbers(line, kNodeX, place)) {
        return failure;
    }
    const auto [x, y, invert, rim] = place;
    std::string id(line.field(2));

    Node node;
    if (kind == "inlet" || kind == "junction") {
        std::array<double, 2> runoff{};
        if (auto failure = read_numbers(line, kNodeArea, runoff)) {
            return failure;
        }
        const auto [area, c] = runoff;
        node = kind == "inlet" ? Node::inlet(std::move(id), invert, rim, area, c)
                               : Node::junction(std::move(id), invert, rim, area, c);
    } else if (kind == "outfall") {
        // Fields 8 and 9 are placeholders on an outfall line and are not looked at.
        node = Node::outfall(std::move(id), invert, rim);
    } else {
        return "unknown node kind " + quoted(kind);
    }
    node.x = x;
    node.y = y;
    if (line.count() >= kNodeTc) {
        if (auto failure = read_number(line, kNodeTc, node.tc)) {
            return failure;
        }
    }
    net.nodes.push_back(std::move(node));
    return std::nullopt;
}

Failure read_pipe(const Line& line, network::Network& net) {
    switch (line.count()) {
        case 1: return "PIPE needs an id";
        case 2: return "PIPE needs a from-node";
        case 3: return "PIPE needs a to-node";
        default: break;
    }
    std::array<double, 3> size{};
    if (auto failure = read_numbers(line, kPipeLength, size)) {
        return failure;
    }
    const auto [length, diameter, n] = size;
    net.pipes.push_back(Pipe::circular(std::string(line.field(2)), std::string(line.field(3)),
                                       std::string(line.field(4)), length, diameter, n));
    return std::nullopt;
}

Failure read_idf(const Line& line, network::IdfParams& idf) {
    std::array<double, 3> abc{};
    if (auto failure = read_numbers(line, kFirstArgument, abc)) {
        return failure;
    }
    idf.a = abc[0];
    idf.b = abc[1];
    idf.c = abc[2];
    return std::nullopt;
}

Failure read_optional(const Line& line, std::optional<double>& target) {
    double value = 0.0;
    if (auto failure = read_number(line, kFirstArgument, value)) {
        return failure;
    }
    target = value;
    return std::nullopt;
}

Failure read_loss_method(const Line& line, network::DesignOptions& options) {
    if (line.count() < kFirstArgument) {
        return "missing value #" + std::to_string(kFirstArgument) + " in " + quoted(line.trimmed());
    }
    const std::string word = ascii_lower(line.field(kFirstArgument));
    const auto method = network::loss_method_of_word(word);
    if (!method) {
        return "unknown loss method " + quoted(line.field(kFirstArgument)) +
               ", expected standard, hec22 or fhwa_energy";
    }
    options.loss_method = *method;
    return std::nullopt;
}

// An INFLOW line may come before the NODE line it names, so its flow is kept until the end.
struct PendingInflow {
    std::string node;
    double q = 0.0;
    std::size_t line = 0;
};

Failure read_inflow(const Line& line, std::size_t number, std::vector<PendingInflow>& inflows) {
    if (line.count() < kFirstArgument) {
        return "INFLOW needs a node id";
    }
    PendingInflow inflow{std::string(line.field(kFirstArgument)), 0.0, number};
    if (auto failure = read_number(line, kFirstArgument + 1, inflow.q)) {
        return failure;
    }
    inflows.push_back(std::move(inflow));
    return std::nullopt;
}

// Several lines for one node add up: each is a flow of its own entering there.
std::optional<std::string> apply_inflows(const std::vector<PendingInflow>& inflows,
                                         network::Network& net) {
    if (inflows.empty()) return std::nullopt;
    std::unordered_map<std::string_view, std::size_t> ids;
    for (std::size_t i = 0; i < net.nodes.size(); ++i) ids.try_emplace(net.nodes[i].id, i);
    for (const PendingInflow& inflow : inflows) {
        const auto found = ids.find(inflow.node);
        if (found == ids.end()) {
            return "line " + std::to_string(inflow.line) + ": INFLOW names unknown node " +
                   quoted(inflow.node);
        }
        net.nodes[found->second].inflow += inflow.q;
    }
    return std::nullopt;
}

Failure read_line(const Line& line, std::size_t number, RwnDocument& doc,
                  std::vector<PendingInflow>& inflows) {
    const std::string keyword = ascii_upper(line.field(1));
    if (keyword == "NODE") {
        return read_node(line, doc.network);
    }
    if (keyword == "PIPE") {
        return read_pipe(line, doc.network);
    }
    if (keyword == "IDF") {
        return read_idf(line, doc.idf);
    }
    if (keyword == "MINTC") {
        return read_number(line, kFirstArgument, doc.options.min_tc);
    }
    if (keyword == "MINSLOPE") {
        return read_number(line, kFirstArgument, doc.options.min_slope);
    }
    if (keyword == "JUNCTIONK") {
        return read_number(line, kFirstArgument, doc.options.junction_k);
    }
    if (keyword == "INTENSITY") {
        return read_optional(line, doc.options.intensity_override);
    }
    if (keyword == "TAILWATER") {
        return read_optional(line, doc.options.tailwater);
    }
    if (keyword == "LOSSMETHOD") {
        return read_loss_method(line, doc.options);
    }
    if (keyword == "INFLOW") {
        return read_inflow(line, number, inflows);
    }
    return "unknown keyword " + quoted(keyword);
}

// The document before any line is read. Every value is spelled out here, because these are
// the format's defaults whatever the network model's own initialisers may become.
RwnDocument default_document() {
    RwnDocument doc;
    doc.idf.a = 120.0;
    doc.idf.b = 10.0;
    doc.idf.c = 0.8;
    network::DesignOptions& options = doc.options;
    options.tailwater.reset();
    options.intensity_override.reset();
    options.min_tc = 10.0;
    options.junction_k = 0.5;
    options.min_slope = 0.001;
    options.bend_loss_coeff = 0.0;
    options.access_hole_diameter = 4.0;
    options.hec22_factor = 1.0;
    options.frequency_factor = 1.0;
    options.hec22_structure_loss = false;
    options.loss_method.reset();
    return doc;
}

}  // namespace

std::variant<RwnDocument, std::string> parse_rwn(std::string_view text) {
    RwnDocument doc = default_document();
    LineSplitter lines(text);
    LineFields fields;
    std::size_t number = 0;
    std::vector<PendingInflow> inflows;
    while (const std::optional<std::string_view> raw = lines.next()) {
        ++number;
        split_fields(strip_comment(*raw), kKeptFields, fields);
        if (fields.count == 0) {
            continue;
        }
        const Line line{fields};
        if (Failure failure = read_line(line, number, doc, inflows)) {
            return "line " + std::to_string(number) + ": " + *failure;
        }
    }
    if (auto failure = apply_inflows(inflows, doc.network)) return *failure;
    return doc;
}

}  // namespace rillway::formats
