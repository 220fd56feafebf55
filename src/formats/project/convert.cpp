// From the document's terms (words for kinds and shapes, polygons, per-period IDF curves,
// either unit system) to the analysis network and its IDF coefficients in US customary units.

#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <variant>

#include "formats/project/project.hpp"
#include "formats/text/quote.hpp"

namespace rillway::formats::project {
namespace {

using network::Node;
using network::Pipe;
using hydraulics::SectionKind;

// The gutter of a street inlet whose document and roadway give none (HEC-22's usual gutter:
// 2 ft wide, rough asphalt or broom-finished concrete).
constexpr double kGutterN = 0.016;
constexpr double kGutterWidthFt = 2.0;

// Kirpich: tc = 0.0078 * L^0.77 * S^-0.385, L in feet, tc in minutes.
constexpr double kKirpichCoefficient = 0.0078;
constexpr double kKirpichLengthExponent = 0.77;
constexpr double kKirpichSlopeExponent = -0.385;
// A structure without a diameter: the 4 ft (48 in, 1.2192 m) access hole of common practice.
constexpr double kStandardStructureDiameterFt = 4.0;

// Polygon area by the shoelace formula, the ring closed from the last vertex to the first.
double shoelace_area(const std::vector<std::array<double, 2>>& v) {
    if (v.size() < 3) return 0.0;
    double twice = 0.0;
    for (std::size_t i = 0; i < v.size(); ++i) {
        const auto& a = v[i];
        const auto& b = v[(i + 1) % v.size()];
        twice += a[0] * b[1] - b[0] * a[1];
    }
    return std::abs(twice) / 2.0;
}

double kirpich_tc(double flow_length_ft, double slope) {
    if (!(flow_length_ft > 0.0) || !(slope > 0.0)) return 0.0;
    return std::pow(flow_length_ft, kKirpichLengthExponent) * kKirpichCoefficient *
           std::pow(slope, kKirpichSlopeExponent);
}

// A typed inlet as the analysis computes it, in feet: given keys converted, absent ones from
// the roadway's, then the defaults (which are in feet whatever the document's units).
std::optional<network::StreetInlet> build_street(const InletOverrides& o,
                                                 const std::optional<Roadway>& roadway,
                                                 double length_factor) {
    if (!o.type || *o.type == hydraulics::InletType::none) return std::nullopt;
    const Roadway street_defaults = roadway.value_or(Roadway{});
    auto length = [&](const std::optional<double>& own, const std::optional<double>& shared,
                      double fallback_ft) {
        if (own) return *own * length_factor;
        if (shared) return *shared * length_factor;
        return fallback_ft;
    };
    network::StreetInlet s;
    s.sag = o.sag;
    s.gutter.cross_slope = o.cross_slope;
    s.gutter.long_slope = o.gutter_slope;
    s.gutter.n = o.gutter_n.value_or(street_defaults.gutter_n.value_or(kGutterN));
    s.gutter.width = length(o.gutter_width_ft, street_defaults.gutter_width_ft, kGutterWidthFt);
    s.gutter.depression = length(o.gutter_depression_ft, street_defaults.gutter_depression_ft, 0.0);
    hydraulics::Inlet& i = s.inlet;
    i.type = *o.type;
    i.grate = o.grate_type.value_or(hydraulics::GrateType::p50);
    i.splash_velocity = o.splash_velocity_fps.value_or(0.0) * length_factor;
    i.opening_ratio = o.opening_ratio.value_or(0.0);
    i.length = o.length_ft * length_factor * o.grates;
    i.grates = o.grates;
    i.grate_width = o.grate_width_ft * length_factor;
    i.curb_length = o.curb_length_ft.value_or(0.0) * length_factor;
    i.curb_height = length(o.curb_height_ft, street_defaults.curb_height_ft, hydraulics::kCurbHeightFt);
    i.throat = o.throat.value_or(hydraulics::Throat::horizontal);
    i.slot_width = length(o.slot_width_ft, std::nullopt, hydraulics::kSlotWidthFt);
    i.local_depression = o.local_depression_ft.value_or(0.0) * length_factor;
    i.local_depression_width = o.local_depression_width_ft.value_or(0.0) * length_factor;
    const bool sag_grate = o.sag && i.type == hydraulics::InletType::grate;
    i.clogging = o.clogging.value_or(sag_grate ? hydraulics::kSagGrateClogging : 0.0);
    if (o.spread_allow_ft) {
        s.spread_allow = *o.spread_allow_ft * length_factor;
    } else if (street_defaults.spread_allow_ft) {
        s.spread_allow = *street_defaults.spread_allow_ft * length_factor;
    }
    return s;
}

Node build_node(const ProjectNode& n, const std::optional<Roadway>& roadway, double length_factor,
                double area_factor, double flow_factor) {
    const double invert = n.invert * length_factor;
    const double rim = n.rim * length_factor;
    const double area = n.area_ac * area_factor;
    // An unknown word is read as an inlet.
    const network::NodeKind kind = kind_of_word(n.kind).value_or(network::NodeKind::inlet);
    Node node = kind == network::NodeKind::junction ? Node::junction(n.id, invert, rim, area, n.c)
                : kind == network::NodeKind::outfall ? Node::outfall(n.id, invert, rim)
                                                     : Node::inlet(n.id, invert, rim, area, n.c);
    if (n.tc_inlet > 0.0) node.tc = n.tc_inlet;
    node.x = n.x * length_factor;
    node.y = n.y * length_factor;
    node.diameter = n.diameter_ft ? *n.diameter_ft * length_factor : kStandardStructureDiameterFt;
    node.benching = n.benching;
    node.inflow = n.inflow_cfs * flow_factor;
    node.street = build_street(n.inlet, roadway, length_factor);
    if (node.street) node.bypass_to = n.bypass_to;
    return node;
}

// An open channel's banks, H:V; vertical (0) when the document gives none.
std::array<double, 2> bank_slopes(const ProjectPipe& p) {
    if (!p.side_slope) return {0.0, 0.0};
    if (const auto* both = std::get_if<double>(&*p.side_slope)) return {*both, *both};
    return std::get<std::array<double, 2>>(*p.side_slope);
}

// The shape a pipe is built with: its word's when it has the dimensions that shape needs (a
// rise, and a span but for the triangle), else circular.
SectionKind built_shape(const ProjectPipe& p) {
    const auto shape = shape_of_word(p.shape).value_or(SectionKind::circular);
    if (!(p.rise_ft > 0.0)) return SectionKind::circular;
    const bool spanned = p.span_ft > 0.0 || shape == SectionKind::triangle ||
                         (shape == SectionKind::trapezoid && p.side_slope);
    return spanned ? shape : SectionKind::circular;
}

Pipe build_pipe(const ProjectPipe& p, double length_factor) {
    const double length = p.length * length_factor;
    const double rise = p.rise_ft * length_factor;
    const double span = p.span_ft * length_factor;
    const auto [left, right] = bank_slopes(p);
    // Without the dimensions of its shape, or with an unknown word, the pipe is read as round.
    const SectionKind shape = built_shape(p);
    Pipe pipe = shape == SectionKind::elliptical ? Pipe::elliptical(p.id, p.from, p.to, length, rise, span, p.n)
                : shape == SectionKind::arch     ? Pipe::arch(p.id, p.from, p.to, length, rise, span, p.n)
                : shape == SectionKind::rectangular ? Pipe::rectangular(p.id, p.from, p.to, length, rise, span, p.n)
                : shape == SectionKind::trapezoid
                    ? Pipe::open_channel(p.id, p.from, p.to, length,
                                         hydraulics::Section::trapezoid(rise, span, left, right), p.n)
                : shape == SectionKind::rect_open
                    ? Pipe::open_channel(p.id, p.from, p.to, length,
                                         hydraulics::Section::rect_open(rise, span), p.n)
                : shape == SectionKind::triangle
                    ? Pipe::open_channel(p.id, p.from, p.to, length,
                                         hydraulics::Section::triangle(rise, left, right), p.n)
                    : Pipe::circular(p.id, p.from, p.to, length, p.diameter * length_factor, p.n);
    if (p.invert_up) pipe.invert_up = *p.invert_up * length_factor;
    if (p.invert_dn) pipe.invert_dn = *p.invert_dn * length_factor;
    pipe.barrels = p.barrels;
    return pipe;
}

// Node positions by id, the first node of an id winning, so that folding every catchment
// costs one lookup each rather than a scan of the node list.
using NodePositions = std::unordered_map<std::string_view, std::size_t>;

NodePositions node_positions(const std::vector<Node>& nodes) {
    NodePositions positions;
    positions.reserve(nodes.size());
    for (std::size_t i = 0; i < nodes.size(); ++i) positions.try_emplace(nodes[i].id, i);
    return positions;
}

void fold_catchment(const ProjectCatchment& k, const NodePositions& positions,
                    std::vector<Node>& nodes) {
    if (!k.inlet_node_id) return;
    const double area_ac = shoelace_area(k.vertices) / units::kSquareFeetPerAcre;
    if (!(area_ac > 0.0)) return;
    const double tc = kirpich_tc(k.flow_length_ft, k.slope);
    const auto found = positions.find(*k.inlet_node_id);
    if (found == positions.end()) return;
    Node& node = nodes[found->second];
    const double total = area_ac + node.area;
    if (total > 0.0) {
        node.c = (area_ac * k.c + node.area * node.c) / total;
        node.area = total;
    }
    node.tc = std::fmax(node.tc, tc);
}

}  // namespace

network::Network Project::to_analysis_network() const {
    const bool si = units == units::UnitSystem::si;
    const double length_factor = si ? units::kFeetPerMetre : 1.0;
    const double area_factor = si ? units::kAcresPerHectare : 1.0;
    const double flow_factor = si ? units::kCubicFeetPerCubicMetre : 1.0;

    network::Network net;
    net.nodes.reserve(nodes.size());
    for (const ProjectNode& n : nodes) {
        net.nodes.push_back(build_node(n, roadway, length_factor, area_factor, flow_factor));
    }
    net.pipes.reserve(pipes.size());
    for (const ProjectPipe& p : pipes) net.pipes.push_back(build_pipe(p, length_factor));
    // Catchment geometry is drawn in feet in both unit systems, so it is never converted.
    if (!catchments.empty()) {
        const NodePositions positions = node_positions(net.nodes);
        for (const ProjectCatchment& k : catchments) fold_catchment(k, positions, net.nodes);
    }
    return net;
}

std::optional<network::StreetInlet> Project::street_inlet(const InletOverrides& inlet) const {
    return build_street(inlet, roadway, units == units::UnitSystem::si ? units::kFeetPerMetre : 1.0);
}

std::vector<std::string> Project::fallback_warnings() const {
    std::vector<std::string> warnings;
    for (const ProjectNode& n : nodes) {
        if (!kind_of_word(n.kind)) {
            warnings.push_back("node '" + shown(n.id) + "': unknown kind '" + shown(n.kind) +
                               "', read as an inlet");
        }
    }
    for (const ProjectPipe& p : pipes) {
        const auto shape = shape_of_word(p.shape);
        // Built only for a warning: most pipes have none, and a text per pipe shows in the
        // analysis time of a large network.
        const auto record = [&p] { return "pipe '" + shown(p.id) + "': "; };
        if (!shape) {
            warnings.push_back(record() + "unknown shape '" + shown(p.shape) + "', read as circular");
        } else if (*shape == SectionKind::trapezoid && !p.side_slope) {
            // Sections without their sizes are refused when the document is read.
            warnings.push_back(record() + "no side_slope, the banks read as vertical");
        }
    }
    if (design) {
        for (const std::string& key : design->given.unknown_keys) {
            warnings.push_back("design: unknown key '" + shown(key) + "', ignored");
        }
    }
    return warnings;
}

std::uint32_t return_period_key(double return_period_years) noexcept {
    double rounded = std::round(return_period_years);
    if (std::isnan(rounded) || rounded < 1.0) rounded = 1.0;
    rounded = std::fmin(rounded, 4294967295.0);
    return static_cast<std::uint32_t>(rounded);
}

std::optional<network::IdfParams> Project::idf_curve(std::uint32_t period_key) const {
    for (const IdfCurveEntry& curve : idf_curves) {
        if (curve.rp_years == period_key) {
            network::IdfParams params{curve.a, curve.b, curve.c};
            if (units == units::UnitSystem::si) params.a *= units::kInchesPerMillimetre;
            return params;
        }
    }
    return std::nullopt;
}

network::IdfParams Project::idf() const {
    if (auto curve = idf_curve(return_period_key(design_return_period_years))) return *curve;
    network::IdfParams params{idf_a, idf_b, idf_c};
    if (units == units::UnitSystem::si) params.a *= units::kInchesPerMillimetre;
    return params;
}

}  // namespace rillway::formats::project
