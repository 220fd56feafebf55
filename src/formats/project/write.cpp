// Writing a project document: an insertion-ordered JSON tree in the key order of the records,
// dumped with a two-space indent.

#include <array>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "formats/project/project.hpp"

namespace rillway::formats::project {
namespace {

using Json = nlohmann::ordered_json;

Json number(double v) {
    if (!std::isfinite(v)) return nullptr;
    return v;
}

// The dump writes doubles in their shortest form, which for a widened float would show the
// widening noise (0.449999988079071). Going through the float's own shortest decimal gives the
// double that prints as that decimal and still rounds back to the same float.
Json number32(float v) {
    if (!std::isfinite(v)) return nullptr;
    std::array<char, 32> buf{};
    const auto res = std::to_chars(buf.data(), buf.data() + buf.size() - 1, v);
    *res.ptr = '\0';
    return std::strtod(buf.data(), nullptr);
}

Json text_or_null(const std::optional<std::string>& s) {
    if (!s) return nullptr;
    return *s;
}

Json inlet_json(const InletOverrides& o) {
    Json j = Json::object();
    j["length_ft"] = number(o.length_ft);
    j["gutter_slope"] = number(o.gutter_slope);
    j["sag"] = o.sag;
    j["grate_width_ft"] = number(o.grate_width_ft);
    j["cross_slope"] = number(o.cross_slope);
    return j;
}

Json node_json(const ProjectNode& n) {
    Json j = Json::object();
    j["id"] = n.id;
    j["kind"] = n.kind;
    j["x"] = number(n.x);
    j["y"] = number(n.y);
    j["invert"] = number(n.invert);
    j["rim"] = number(n.rim);
    j["area_ac"] = number(n.area_ac);
    j["c"] = number(n.c);
    j["tc_inlet"] = number(n.tc_inlet);
    j["inlet"] = inlet_json(n.inlet);
    j["bypass_to"] = text_or_null(n.bypass_to);
    j["diameter_ft"] = number(n.diameter_ft);
    return j;
}

Json pipe_json(const ProjectPipe& p) {
    Json j = Json::object();
    j["id"] = p.id;
    j["from"] = p.from;
    j["to"] = p.to;
    j["length"] = number(p.length);
    j["diameter"] = number(p.diameter);
    j["n"] = number(p.n);
    j["shape"] = p.shape;
    j["rise_ft"] = number(p.rise_ft);
    j["span_ft"] = number(p.span_ft);
    // Absent inverts are left out rather than written null: the pipe follows its nodes.
    if (p.invert_up) j["invert_up"] = number(*p.invert_up);
    if (p.invert_dn) j["invert_dn"] = number(*p.invert_dn);
    return j;
}

Json catchment_json(const ProjectCatchment& k) {
    Json vertices = Json::array();
    for (const auto& [x, y] : k.vertices) vertices.push_back(Json::array({number(x), number(y)}));
    Json j = Json::object();
    j["id"] = k.id;
    j["vertices"] = std::move(vertices);
    j["c"] = number(k.c);
    j["flow_length_ft"] = number(k.flow_length_ft);
    j["slope"] = number(k.slope);
    j["inlet_node_id"] = text_or_null(k.inlet_node_id);
    return j;
}

Json curve_json(const IdfCurveEntry& e) {
    Json j = Json::object();
    j["rp_years"] = e.rp_years;
    j["a"] = number(e.a);
    j["b"] = number(e.b);
    j["c"] = number(e.c);
    return j;
}

Json image_json(const BackgroundImage& b) {
    Json j = Json::object();
    j["path"] = b.path;
    j["origin_x"] = number(b.origin_x);
    j["origin_y"] = number(b.origin_y);
    j["width"] = number(b.width);
    j["opacity"] = number32(b.opacity);
    return j;
}

Json dxf_json(const BackgroundDxf& b) {
    Json j = Json::object();
    j["path"] = b.path;
    j["min_x"] = number(b.min_x);
    j["min_y"] = number(b.min_y);
    j["max_x"] = number(b.max_x);
    j["max_y"] = number(b.max_y);
    j["opacity"] = number32(b.opacity);
    return j;
}

Json report_json(const ReportInfo& r) {
    Json j = Json::object();
    j["project_number"] = r.project_number;
    j["engineer"] = r.engineer;
    j["firm"] = r.firm;
    j["jurisdiction"] = r.jurisdiction;
    return j;
}

template <class T, class F>
Json list_json(const std::vector<T>& items, F to_json) {
    Json j = Json::array();
    for (const T& item : items) j.push_back(to_json(item));
    return j;
}

}  // namespace

std::string write_project(const Project& p) {
    Json j = Json::object();
    j["name"] = p.name;
    j["idf_a"] = number(p.idf_a);
    j["idf_b"] = number(p.idf_b);
    j["idf_c"] = number(p.idf_c);
    j["tailwater"] = p.tailwater ? number(*p.tailwater) : Json(nullptr);
    j["min_tc"] = number(p.min_tc);
    j["junction_k"] = number(p.junction_k);
    j["bend_loss_coeff"] = number(p.bend_loss_coeff);
    j["hec22_structure_loss"] = p.hec22_structure_loss;
    j["access_hole_diam_ft"] = number(p.access_hole_diam_ft);
    j["design_return_period_years"] = number(p.design_return_period_years);
    j["p2_rainfall_in"] = number(p.p2_rainfall_in);
    j["min_slope"] = number(p.min_slope);
    j["nodes"] = list_json(p.nodes, node_json);
    j["pipes"] = list_json(p.pipes, pipe_json);
    j["catchments"] = list_json(p.catchments, catchment_json);
    j["background"] = p.background ? image_json(*p.background) : Json(nullptr);
    j["background_dxf"] = p.background_dxf ? dxf_json(*p.background_dxf) : Json(nullptr);
    j["idf_curves"] = list_json(p.idf_curves, curve_json);
    j["units"] = p.units == units::UnitSystem::si ? "si" : "us_customary";
    j["report"] = report_json(p.report);
    j["format_version"] = p.format_version;
    // Texts built in memory need not be valid UTF-8; replacing bad bytes keeps writing total.
    return j.dump(2, ' ', false, Json::error_handler_t::replace);
}

}  // namespace rillway::formats::project
