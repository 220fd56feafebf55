#include "network/network.hpp"

#include <algorithm>
#include <array>
#include <cstddef>
#include <optional>
#include <cmath>
#include <utility>

#include "hydraulics/constants.hpp"

namespace rillway::network {

using hydraulics::kPi;
using hydraulics::Section;

namespace {

constexpr std::array<std::string_view, 3> kLossMethodWords = {"standard", "hec22", "fhwa_energy"};
constexpr std::array<std::string_view, 5> kBenchingWords = {"flat", "depressed", "half", "full",
                                                            "improved"};
constexpr std::array<std::string_view, 2> kFlowSplitWords = {"whole", "capacity"};

template <class E, std::size_t N>
std::optional<E> of_word(const std::array<std::string_view, N>& words, std::string_view word) {
    for (std::size_t i = 0; i < N; ++i) {
        if (words[i] == word) return static_cast<E>(i);
    }
    return std::nullopt;
}

}  // namespace

std::string_view loss_method_word(LossMethod method) noexcept {
    return kLossMethodWords[static_cast<std::size_t>(method)];
}

std::optional<LossMethod> loss_method_of_word(std::string_view word) noexcept {
    return of_word<LossMethod>(kLossMethodWords, word);
}

std::string_view benching_word(Benching benching) noexcept {
    return kBenchingWords[static_cast<std::size_t>(benching)];
}

std::optional<Benching> benching_of_word(std::string_view word) noexcept {
    return of_word<Benching>(kBenchingWords, word);
}

std::string_view flow_split_word(FlowSplit split) noexcept {
    return kFlowSplitWords[static_cast<std::size_t>(split)];
}

std::optional<FlowSplit> flow_split_of_word(std::string_view word) noexcept {
    return of_word<FlowSplit>(kFlowSplitWords, word);
}

Node Node::inlet(std::string id, double invert, double rim, double area, double c) {
    return Node{std::move(id), invert, rim, area, c, 10.0, 0.0, 0.0, NodeKind::inlet};
}

Node Node::junction(std::string id, double invert, double rim, double area, double c) {
    Node node = inlet(std::move(id), invert, rim, area, c);
    node.kind = NodeKind::junction;
    return node;
}

Node Node::outfall(std::string id, double invert, double rim) {
    return Node{std::move(id), invert, rim, 0.0, 0.0, 0.0, 0.0, 0.0, NodeKind::outfall};
}

namespace {

Pipe make_pipe(std::string id, std::string from, std::string to, double length,
               Section section, double equivalent_diameter, double n) {
    Pipe pipe;
    pipe.section = section;
    pipe.id = std::move(id);
    pipe.from = std::move(from);
    pipe.to = std::move(to);
    pipe.length = length;
    pipe.equivalent_diameter = equivalent_diameter;
    pipe.n = n;
    return pipe;
}

}  // namespace

Pipe Pipe::circular(std::string id, std::string from, std::string to, double length,
                    double diameter, double n) {
    return make_pipe(std::move(id), std::move(from), std::move(to), length,
                     Section::circular(diameter), diameter, n);
}

Pipe Pipe::rectangular(std::string id, std::string from, std::string to, double length,
                       double rise, double span, double n) {
    return make_pipe(std::move(id), std::move(from), std::move(to), length,
                     Section::rectangular(rise, span), std::sqrt(4.0 * rise * span / kPi), n);
}

Pipe Pipe::elliptical(std::string id, std::string from, std::string to, double length,
                      double rise, double span, double n) {
    return make_pipe(std::move(id), std::move(from), std::move(to), length,
                     Section::elliptical(rise, span), std::sqrt(rise * span), n);
}

Pipe Pipe::arch(std::string id, std::string from, std::string to, double length, double rise,
                double span, double n) {
    const double half_span = span / 2.0;
    const double area = (kPi / 2.0) * (half_span * half_span) + std::max(rise - half_span, 0.0) * span;
    return make_pipe(std::move(id), std::move(from), std::move(to), length,
                     Section::arch(rise, span), std::sqrt(4.0 * area / kPi), n);
}

Pipe Pipe::open_channel(std::string id, std::string from, std::string to, double length,
                        const Section& section, double n) {
    return make_pipe(std::move(id), std::move(from), std::move(to), length, section,
                     std::sqrt(4.0 * section.full_area() / kPi), n);
}

std::optional<NetworkError> pipe_error(const Pipe& pipe) {
    const Section& s = pipe.section;
    bool valid = s.rise >= 0.0;
    if (s.kind != hydraulics::SectionKind::circular) valid = valid && s.span >= 0.0;
    if (s.open()) valid = valid && s.slope_left >= 0.0 && s.slope_right >= 0.0;
    if (!valid) return NetworkError{InvalidPipeSize{pipe.id}};
    if (pipe.barrels == 0) return NetworkError{NoBarrels{pipe.id}};
    return std::nullopt;
}

std::string display(const NetworkError& error) {
    struct Visitor {
        std::string operator()(const UnknownNode& e) const {
            return "pipe references unknown node '" + e.id + "'";
        }
        std::string operator()(const Cycle&) const { return "network contains a cycle"; }
        std::string operator()(const DuplicateNode& e) const {
            return "duplicate node id '" + e.id + "'";
        }
        std::string operator()(const InvalidPipeSize& e) const {
            return "pipe '" + e.pipe_id + "' has a negative or not-a-number size";
        }
        std::string operator()(const NoBarrels& e) const {
            return "pipe '" + e.pipe_id + "' has no barrels (barrels must be 1 or more)";
        }
    };
    return std::visit(Visitor{}, error);
}

}  // namespace rillway::network
