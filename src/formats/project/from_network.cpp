// From an analysis network (as the plain-text format describes one) to a project document that
// analyses to the same bits.

#include <array>
#include <cmath>
#include <optional>
#include <string>
#include <utility>

#include "formats/project/project.hpp"

namespace rillway::formats::project {
namespace {

using network::NodeKind;
using hydraulics::SectionKind;

// The first value that a document cannot carry, as a message.
class Checker {
public:
    // JSON has no NaN or infinity.
    void finite(double value, std::string_view what, std::string_view record) {
        if (error_ || std::isfinite(value)) return;
        error_ = std::string(record) + ": " + std::string(what) + " " + text(value) +
                 " cannot be written to a project document (JSON numbers are finite)";
    }
    void positive_tc(double value, std::string_view record) {
        finite(value, "inlet time", record);
        if (error_ || value > 0.0) return;
        error_ = std::string(record) + ": inlet time " + text(value) +
                 " cannot be written to a project document (0 or less means the default there)";
    }
    std::optional<std::string>& error() { return error_; }

private:
    static std::string text(double value) {
        if (std::isnan(value)) return "nan";
        if (std::isinf(value)) return value > 0 ? "inf" : "-inf";
        std::string s = std::to_string(value);
        return s;
    }
    std::optional<std::string> error_;
};

}  // namespace

std::variant<Project, std::string> project_from_network(std::string name,
                                                        const network::Network& network,
                                                        const network::IdfParams& idf,
                                                        const network::DesignOptions& options) {
    Checker check;
    Project p;
    p.name = std::move(name);
    // A project has no intensity override; the curve a / (tc + b)^0 gives a for every tc,
    // since pow(x, 0) is exactly 1 for every x.
    if (options.intensity_override) {
        p.idf_a = *options.intensity_override;
        p.idf_b = 0.0;
        p.idf_c = 0.0;
    } else {
        p.idf_a = idf.a;
        p.idf_b = idf.b;
        p.idf_c = idf.c;
    }
    p.tailwater = options.tailwater;
    p.min_tc = options.min_tc;
    p.junction_k = options.junction_k;
    p.bend_loss_coeff = options.bend_loss_coeff;
    // The flag follows the method, so the document never contradicts itself.
    p.loss_method = options.loss_method;
    p.hec22_structure_loss = options.method() == network::LossMethod::hec22;
    p.access_hole_diam_ft = options.access_hole_diameter;
    p.min_slope = options.min_slope;
    p.flow_split = options.flow_split;
    p.min_flow_from_upstream = options.min_flow_from_upstream;
    const char* settings = "settings";
    for (const double v : {p.idf_a, p.idf_b, p.idf_c, p.min_tc, p.junction_k, p.bend_loss_coeff,
                           p.access_hole_diam_ft, p.min_slope}) {
        check.finite(v, "a value", settings);
    }
    if (p.tailwater) check.finite(*p.tailwater, "tailwater", settings);
    // The document derives these two from its return period and unit system.
    if (options.frequency_factor != 1.0 || !(options.access_hole_diameter > 0.0)) {
        if (!check.error()) check.error() = "settings: frequency factor and access-hole diameter must be 1 and positive";
    }

    p.nodes.reserve(network.nodes.size());
    for (const network::Node& n : network.nodes) {
        const std::string record = "node '" + n.id + "'";
        ProjectNode node;
        node.id = n.id;
        node.kind = std::string(kind_word(n.kind));
        node.x = n.x;
        node.y = n.y;
        node.invert = n.invert;
        node.rim = n.rim;
        node.diameter_ft = n.diameter;
        node.benching = n.benching;
        node.inflow_cfs = n.inflow;
        for (const double v : {n.x, n.y, n.invert, n.rim, n.diameter, n.inflow}) check.finite(v, "a value", record);
        if (n.kind == NodeKind::outfall) {
            // An outfall carries no area, and its inlet time plays no part in the analysis.
            node.tc_inlet = std::isfinite(n.tc) && n.tc > 0.0 ? n.tc : 0.0;
        } else {
            node.area_ac = n.area;
            node.c = n.c;
            node.tc_inlet = n.tc;
            check.finite(n.area, "area", record);
            check.finite(n.c, "runoff coefficient", record);
            check.positive_tc(n.tc, record);
        }
        p.nodes.push_back(std::move(node));
    }

    p.pipes.reserve(network.pipes.size());
    for (const network::Pipe& q : network.pipes) {
        const std::string record = "pipe '" + q.id + "'";
        ProjectPipe pipe = ProjectPipe::create(q.id, q.from, q.to, q.length, q.section.rise, q.n);
        if (q.section.kind != SectionKind::circular) {
            pipe.shape = std::string(shape_word(q.section.kind));
            pipe.rise_ft = q.section.rise;
            pipe.span_ft = q.section.span;
            if (q.section.open() && q.section.kind != SectionKind::rect_open) {
                const double left = q.section.slope_left;
                const double right = q.section.slope_right;
                pipe.side_slope = left == right ? SideSlope{left} : SideSlope{std::array{left, right}};
                check.finite(left, "a side slope", record);
                check.finite(right, "a side slope", record);
            }
            const bool spanned = pipe.span_ft > 0.0 || (q.section.open() && pipe.side_slope);
            if (!(pipe.rise_ft > 0.0 && spanned) && !check.error()) {
                check.error() = record + ": a shaped pipe needs a positive rise and span in a project document";
            }
        }
        pipe.barrels = q.barrels;
        pipe.invert_up = q.invert_up;
        pipe.invert_dn = q.invert_dn;
        for (const double v : {q.length, q.section.rise, q.section.span, q.n}) check.finite(v, "a value", record);
        if (q.invert_up) check.finite(*q.invert_up, "upstream invert", record);
        if (q.invert_dn) check.finite(*q.invert_dn, "downstream invert", record);
        p.pipes.push_back(std::move(pipe));
    }
    if (check.error()) return *check.error();
    return p;
}

}  // namespace rillway::formats::project
