#pragma once
// The project document (.rwproj) in memory, its reading and writing, and the bridge to the
// analysis: the network, its IDF parameters and its design options.
//
// Every field is named after its JSON key and declared in the order the keys are written. A
// field's default member value is the value a document gets when the key is absent, so a
// value-initialised record is what reading an object without its optional keys yields.
// Values are in the project's unit system; only the conversions to the analysis touch units.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "network/network.hpp"
#include "units/unit_system.hpp"

namespace rillway::formats::project {

// The document's words for node kinds ("inlet", "junction", "outfall") and pipe shapes
// ("circular", "box", "elliptical", "arch", "trapezoid", "rect_open", "triangle"). Inline: they
// are looked up for every record of a document, and a call each shows on large networks.
[[nodiscard]] constexpr std::string_view kind_word(network::NodeKind kind) noexcept {
    switch (kind) {
        case network::NodeKind::junction: return "junction";
        case network::NodeKind::outfall: return "outfall";
        default: return "inlet";
    }
}
[[nodiscard]] constexpr std::string_view shape_word(hydraulics::SectionKind kind) noexcept {
    switch (kind) {
        case hydraulics::SectionKind::rectangular: return "box";
        case hydraulics::SectionKind::elliptical: return "elliptical";
        case hydraulics::SectionKind::arch: return "arch";
        case hydraulics::SectionKind::trapezoid: return "trapezoid";
        case hydraulics::SectionKind::rect_open: return "rect_open";
        case hydraulics::SectionKind::triangle: return "triangle";
        default: return "circular";
    }
}

// The kind a word names, or none for a word the document does not know.
[[nodiscard]] constexpr std::optional<network::NodeKind> kind_of_word(
    std::string_view word) noexcept {
    for (const auto kind : {network::NodeKind::inlet, network::NodeKind::junction,
                            network::NodeKind::outfall}) {
        if (word == kind_word(kind)) return kind;
    }
    return std::nullopt;
}
[[nodiscard]] constexpr std::optional<hydraulics::SectionKind> shape_of_word(
    std::string_view word) noexcept {
    for (const auto kind : {hydraulics::SectionKind::circular, hydraulics::SectionKind::rectangular,
                            hydraulics::SectionKind::elliptical, hydraulics::SectionKind::arch,
                            hydraulics::SectionKind::trapezoid, hydraulics::SectionKind::rect_open,
                            hydraulics::SectionKind::triangle}) {
        if (word == shape_word(kind)) return kind;
    }
    return std::nullopt;
}

// Shape of a pipe built without one; callers get their own copy of the text.
[[nodiscard]] inline std::string default_pipe_shape() {
    return std::string(shape_word(hydraulics::SectionKind::circular));
}

// A structure's inlet on the street. The first five keys describe it; the optional rest (each
// written only when given) make it a street inlet that network/bypass.hpp computes with, once
// `type` is not "none". Lengths in the document's units (ft, or m in an SI project), as
// `length_ft` always was; absent keys take the project's `roadway` value, then the default.
struct InletOverrides {
    double length_ft = 0.0;
    double gutter_slope = 0.0;  // S_L, the gutter's longitudinal slope
    bool sag = false;
    double grate_width_ft = 0.0;
    double cross_slope = 0.0;   // S_x, the pavement's cross slope
    std::optional<hydraulics::InletType> type{};  // none: "none", no inlet hydraulics
    std::optional<hydraulics::GrateType> grate_type{};  // none: "p50"
    std::optional<double> splash_velocity_fps{};  // a custom grate's V_o (m/s in SI)
    std::optional<double> opening_ratio{};        // a custom grate's
    std::optional<double> curb_length_ft{};       // a combination's curb opening (a sweeper)
    std::optional<double> curb_height_ft{};       // h; none: the roadway's, else 0.5 ft
    std::optional<hydraulics::Throat> throat{};   // none: "horizontal"
    std::optional<double> slot_width_ft{};        // none: 0.146 ft (1.75 in)
    std::optional<double> gutter_width_ft{};      // W; none: the roadway's, else 2 ft
    std::optional<double> gutter_depression_ft{};  // a, continuous; none: the roadway's, else 0
    std::optional<double> local_depression_ft{};
    std::optional<double> local_depression_width_ft{};
    std::optional<double> gutter_n{};             // none: the roadway's, else 0.016
    std::optional<double> spread_allow_ft{};      // none: the roadway's, else no check
    std::optional<double> clogging{};             // none: 0.5 for a grate in a sag, else 0
    std::uint32_t grates = 1;  // a grate's: this many of length_ft end to end
    bool lock = false;         // design keeps the length

    friend bool operator==(const InletOverrides&, const InletOverrides&) = default;
};

// The optional "roadway" object: the street's defaults for every inlet, and what the pipes
// carry where inlets intercept part of the flow.
struct Roadway {
    std::optional<double> gutter_n{};
    std::optional<double> gutter_width_ft{};
    std::optional<double> gutter_depression_ft{};
    std::optional<double> spread_allow_ft{};
    std::optional<double> curb_height_ft{};
    std::optional<network::PipeFlows> pipe_flows{};  // none: "captured"

    friend bool operator==(const Roadway&, const Roadway&) = default;
};

struct ProjectNode {
    std::string id;
    std::string kind;  // "inlet", "junction", "outfall"; any other word is built as an inlet
    double x = 0.0;
    double y = 0.0;
    double invert = 0.0;
    double rim = 0.0;
    double area_ac = 0.0;
    double c = 0.0;
    double tc_inlet = 0.0;  // minutes; 0 or less keeps the node kind's own inlet time
    InletOverrides inlet;
    std::optional<std::string> bypass_to;
    // Absent: a 4 ft (1.2192 m) access hole, the common standard, in either unit system.
    std::optional<double> diameter_ft;
    network::Benching benching = network::Benching::flat;  // written only when not flat
    double inflow_cfs = 0.0;  // known inflow, cfs (m3/s in an SI project); written when not 0

    friend bool operator==(const ProjectNode&, const ProjectNode&) = default;
};

// An open channel's bank slopes, horizontal over vertical: one value for both banks, or
// [left, right] looking downstream.
using SideSlope = std::variant<double, std::array<double, 2>>;

struct ProjectPipe {
    std::string id;
    std::string from;
    std::string to;
    double length = 0.0;
    double diameter = 0.0;
    double n = 0.0;
    // "circular", "box", "elliptical", "arch", or an open "trapezoid", "rect_open", "triangle"
    std::string shape = default_pipe_shape();
    double rise_ft = 0.0;
    double span_ft = 0.0;
    std::optional<double> invert_up;  // none: the upstream node's invert
    std::optional<double> invert_dn;  // none: the downstream node's invert
    bool lock = false;  // design keeps the size and inverts; written only when true
    std::optional<SideSlope> side_slope;  // open channels; written only when given
    std::uint32_t barrels = 1;  // identical barrels sharing the flow; written only when not 1

    // A round pipe that takes both its inverts from its nodes.
    [[nodiscard]] static ProjectPipe create(std::string id, std::string from, std::string to,
                                            double length, double diameter, double n);

    friend bool operator==(const ProjectPipe&, const ProjectPipe&) = default;
};

struct ProjectCatchment {
    std::string id;
    std::vector<std::array<double, 2>> vertices;  // always feet, whatever the project's units
    double c = 0.0;
    double flow_length_ft = 0.0;
    double slope = 0.0;
    std::optional<std::string> inlet_node_id;  // none: the catchment drains nowhere

    friend bool operator==(const ProjectCatchment&, const ProjectCatchment&) = default;
};

struct IdfCurveEntry {
    std::uint32_t rp_years = 0;
    double a = 0.0;
    double b = 0.0;
    double c = 0.0;

    friend bool operator==(const IdfCurveEntry&, const IdfCurveEntry&) = default;
};

struct ReportInfo {
    std::string project_number;
    std::string engineer;
    std::string firm;
    std::string jurisdiction;

    friend bool operator==(const ReportInfo&, const ReportInfo&) = default;
};

struct BackgroundImage {
    std::string path;
    double origin_x = 0.0;
    double origin_y = 0.0;
    double width = 0.0;
    float opacity = 0.0F;

    friend bool operator==(const BackgroundImage&, const BackgroundImage&) = default;
};

struct BackgroundDxf {
    std::string path;
    double min_x = 0.0;
    double min_y = 0.0;
    double max_x = 0.0;
    double max_y = 0.0;
    float opacity = 0.45F;

    friend bool operator==(const BackgroundDxf&, const BackgroundDxf&) = default;
};

// The optional "design" object: the rules that design mode sizes pipes and lays inverts by.
// Each key is optional; absent keys take the defaults of design/rules.hpp. The keys carry
// their units in their names (inches, feet, ft/s) in either unit system.
struct ProjectDesignRules {
    std::optional<std::vector<double>> sizes_in;
    std::optional<double> min_diameter_in;
    std::optional<double> min_velocity_fps;
    std::optional<double> max_velocity_fps;
    std::optional<double> min_cover_ft;
    std::optional<double> max_pct_full;
    std::optional<std::string> match;  // "crowns" or "inverts"
    std::optional<double> min_drop_ft;
    std::optional<double> freeboard_ft;
    std::optional<std::vector<double>> inlet_lengths_ft;  // document units, like length_ft
    // The object as the document gave it, which a written project carries unchanged, and the
    // keys in it that are none of the above (ignored, and warned of). Not part of the rules'
    // value: two objects that set the same rules compare equal.
    struct AsGiven {
        std::optional<std::string> text;  // the JSON text of the object, when read from one
        std::vector<std::string> unknown_keys;
        friend bool operator==(const AsGiven&, const AsGiven&) noexcept { return true; }
    } given;

    friend bool operator==(const ProjectDesignRules&, const ProjectDesignRules&) = default;
};

struct Project {
    std::string name;
    double idf_a = 0.0;
    double idf_b = 0.0;
    double idf_c = 0.0;
    std::optional<double> tailwater;
    double min_tc = 0.0;
    double junction_k = 0.0;
    double bend_loss_coeff = 0.0;
    bool hec22_structure_loss = false;
    double access_hole_diam_ft = 0.0;  // 0 or less: the unit system's standard access hole
    double design_return_period_years = 10.0;
    double p2_rainfall_in = 3.0;  // kept for the user; no computation reads it
    double min_slope = 0.001;
    std::vector<ProjectNode> nodes;
    std::vector<ProjectPipe> pipes;
    std::vector<ProjectCatchment> catchments;
    std::optional<BackgroundImage> background;
    std::optional<BackgroundDxf> background_dxf;
    std::vector<IdfCurveEntry> idf_curves;
    units::UnitSystem units = units::UnitSystem::us_customary;
    ReportInfo report;
    std::uint32_t format_version = 1;
    std::optional<ProjectDesignRules> design;  // written only when present
    // Absent: hec22 when hec22_structure_loss, else standard. Written only when given; a
    // document that gives it with a contradicting hec22_structure_loss is refused.
    std::optional<network::LossMethod> loss_method;
    network::FlowSplit flow_split = network::FlowSplit::whole;  // written when not "whole"
    bool min_flow_from_upstream = false;                         // written when true
    std::optional<Roadway> roadway{};  // written only when present

    // The analysis network in US customary units, nodes and pipes in document order, with the
    // catchments folded into the nodes they drain to. Dangling references are left for the
    // analysis to report.
    [[nodiscard]] network::Network to_analysis_network() const;
    // The coefficients of the first curve for the rounded design return period, else the
    // project's own; a converted to inch units.
    [[nodiscard]] network::IdfParams idf() const;
    // The first of `idf_curves` for a rounded return period (see return_period_key), a
    // converted to inch units; none when the project has no curve for that period.
    [[nodiscard]] std::optional<network::IdfParams> idf_curve(std::uint32_t period_key) const;
    [[nodiscard]] network::DesignOptions design_options() const;
    // A node's inlet record as the analysis builds it, in feet, the roadway's defaults filled
    // in; none for an inlet without a type.
    [[nodiscard]] std::optional<network::StreetInlet> street_inlet(const InletOverrides& inlet) const;
    // One line per word the conversion falls back on: a node kind read as an inlet, a pipe
    // shape read as circular ("node 'N1': unknown kind 'manhole', read as an inlet").
    [[nodiscard]] std::vector<std::string> fallback_warnings() const;

    // A four-structure trunk line ready to analyse.
    [[nodiscard]] static Project demo();
    // A new project: one outfall and the standard parameters.
    [[nodiscard]] static Project empty();

    friend bool operator==(const Project&, const Project&) = default;
};

// A return period in years as the key of its IDF curve: rounded to whole years, at least 1.
[[nodiscard]] std::uint32_t return_period_key(double return_period_years) noexcept;

// The factor on every runoff coefficient for a return period: rarer storms are more intense
// than the coefficients assume. Whole years, truncated: 1.0 to 10, 1.1 to 25, 1.2 to 50, then
// 1.25.
[[nodiscard]] double frequency_factor(double return_period_years) noexcept;

// The whole document text to a project, or the complete error message ending in
// " at line L column C". Only std::bad_alloc escapes.
[[nodiscard]] std::variant<Project, std::string> read_project(std::string_view text);

// Two-space indented JSON without a final newline; never fails.
[[nodiscard]] std::string write_project(const Project& project);

// The schema as JSON: for each record ("project", "node", "pipe", ...) the list of its keys in
// document order, each {"key", "required", "default", "unit"}, the unit being "length",
// "area", "rainfall", "feet" (ft in both systems), "flow" (cfs or m³/s) or "none"; never
// fails.
[[nodiscard]] std::string write_schema();

// A US customary project that analyses exactly as the network with these parameters, or the
// message naming the first value a document cannot hold (a number that is not finite, an inlet
// time of 0 or less, which a document reads as the kind's default).
[[nodiscard]] std::variant<Project, std::string> project_from_network(
    std::string name, const network::Network& network, const network::IdfParams& idf,
    const network::DesignOptions& options);

}  // namespace rillway::formats::project
