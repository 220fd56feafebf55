#pragma once
// The project document's schema, stated once: for every record its keys in document order,
// what reading does when a key is absent, what writing does with it, and where its value lives
// in the record. The reader, the writer and the array form all walk these tables.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "formats/project/project.hpp"

namespace rillway::formats::project {

using units::UnitSystem;
using Point = std::array<double, 2>;

// What reading does with a key the text leaves out.
enum class Absent : std::uint8_t {
    required,  // the read fails naming the key
    keep,      // the record's default stays; trailing values of the array form may be left off
    none,      // none in the object form, but the array form must still hold the value
};

// What writing does with a field.
enum class Written : std::uint8_t {
    always,        // every document carries the key (an empty optional as null)
    when_present,  // left out while it holds the default (an empty optional, a false flag, ...)
};

// What a field's number measures, and so how it changes with the document's unit system.
enum class Unit : std::uint8_t {
    none,      // no unit, or one the key names and both systems share (min, in, ft/s)
    length,    // ft in a US document, m in an SI one
    area,      // acres, or hectares
    rainfall,  // the IDF coefficient a: in/hr, or mm/h
    feet,      // ft in both systems (catchment geometry)
    flow,      // cfs, or m³/s
};

struct FieldInfo {
    std::string_view key;
    Absent absent;
    Written written = Written::always;
    Unit unit = Unit::none;
};

// Where the next value goes: one alternative per field type of the records.
using Slot = std::variant<double*, float*, std::uint32_t*, bool*, std::string*,
                          std::optional<double>*, std::optional<std::string>*, UnitSystem*,
                          std::optional<network::LossMethod>*, network::Benching*,
                          network::FlowSplit*,
                          Project*, ProjectNode*, ProjectPipe*, ProjectCatchment*, IdfCurveEntry*,
                          InletOverrides*, ReportInfo*, std::optional<BackgroundImage>*,
                          std::optional<BackgroundDxf>*, std::vector<ProjectNode>*,
                          std::vector<ProjectPipe>*, std::vector<ProjectCatchment>*,
                          std::vector<IdfCurveEntry>*, std::vector<Point>*, Point*,
                          std::optional<ProjectDesignRules>*, std::optional<std::vector<double>>*,
                          std::optional<SideSlope>*, std::optional<hydraulics::InletType>*,
                          std::optional<hydraulics::GrateType>*, std::optional<hydraulics::Throat>*,
                          std::optional<network::PipeFlows>*, std::optional<Roadway>*>;

template <class R>
struct Schema;

template <>
struct Schema<Project> {
    static constexpr std::string_view name = "Project";
    static constexpr std::array<FieldInfo, 27> fields{{
        {"name", Absent::required},
        {"idf_a", Absent::required, Written::always, Unit::rainfall},
        {"idf_b", Absent::required},
        {"idf_c", Absent::required},
        {"tailwater", Absent::none, Written::always, Unit::length},
        {"min_tc", Absent::required},
        {"junction_k", Absent::required},
        {"bend_loss_coeff", Absent::keep},
        {"hec22_structure_loss", Absent::keep},
        {"access_hole_diam_ft", Absent::keep, Written::always, Unit::length},
        {"design_return_period_years", Absent::keep},
        {"p2_rainfall_in", Absent::keep},
        {"min_slope", Absent::keep},
        {"nodes", Absent::required},
        {"pipes", Absent::required},
        {"catchments", Absent::keep},
        {"background", Absent::keep},
        {"background_dxf", Absent::keep},
        {"idf_curves", Absent::keep},
        {"units", Absent::keep},
        {"report", Absent::keep},
        {"format_version", Absent::keep},
        {"design", Absent::keep, Written::when_present},
        {"loss_method", Absent::keep, Written::when_present},
        {"flow_split", Absent::keep, Written::when_present},
        {"min_flow_from_upstream", Absent::keep, Written::when_present},
        {"roadway", Absent::keep, Written::when_present},
    }};
    static Slot slot(Project& p, std::size_t i) {
        switch (i) {
            case 0: return &p.name;
            case 1: return &p.idf_a;
            case 2: return &p.idf_b;
            case 3: return &p.idf_c;
            case 4: return &p.tailwater;
            case 5: return &p.min_tc;
            case 6: return &p.junction_k;
            case 7: return &p.bend_loss_coeff;
            case 8: return &p.hec22_structure_loss;
            case 9: return &p.access_hole_diam_ft;
            case 10: return &p.design_return_period_years;
            case 11: return &p.p2_rainfall_in;
            case 12: return &p.min_slope;
            case 13: return &p.nodes;
            case 14: return &p.pipes;
            case 15: return &p.catchments;
            case 16: return &p.background;
            case 17: return &p.background_dxf;
            case 18: return &p.idf_curves;
            case 19: return &p.units;
            case 20: return &p.report;
            case 21: return &p.format_version;
            case 22: return &p.design;
            case 23: return &p.loss_method;
            case 24: return &p.flow_split;
            case 25: return &p.min_flow_from_upstream;
            default: return &p.roadway;
        }
    }
};

template <>
struct Schema<ProjectNode> {
    static constexpr std::string_view name = "ProjectNode";
    static constexpr std::array<FieldInfo, 14> fields{{
        {"id", Absent::required},
        {"kind", Absent::required},
        {"x", Absent::required, Written::always, Unit::length},
        {"y", Absent::required, Written::always, Unit::length},
        {"invert", Absent::required, Written::always, Unit::length},
        {"rim", Absent::required, Written::always, Unit::length},
        {"area_ac", Absent::required, Written::always, Unit::area},
        {"c", Absent::required},
        {"tc_inlet", Absent::required},
        {"inlet", Absent::keep},
        {"bypass_to", Absent::keep},
        {"diameter_ft", Absent::keep, Written::when_present, Unit::length},
        {"benching", Absent::keep, Written::when_present},
        {"inflow_cfs", Absent::keep, Written::when_present, Unit::flow},
    }};
    static Slot slot(ProjectNode& n, std::size_t i) {
        switch (i) {
            case 0: return &n.id;
            case 1: return &n.kind;
            case 2: return &n.x;
            case 3: return &n.y;
            case 4: return &n.invert;
            case 5: return &n.rim;
            case 6: return &n.area_ac;
            case 7: return &n.c;
            case 8: return &n.tc_inlet;
            case 9: return &n.inlet;
            case 10: return &n.bypass_to;
            case 11: return &n.diameter_ft;
            case 12: return &n.benching;
            default: return &n.inflow_cfs;
        }
    }
};

template <>
struct Schema<InletOverrides> {
    static constexpr std::string_view name = "InletOverrides";
    static constexpr std::array<FieldInfo, 22> fields{{
        {"length_ft", Absent::required},
        {"gutter_slope", Absent::required},
        {"sag", Absent::required},
        {"grate_width_ft", Absent::keep},
        {"cross_slope", Absent::keep},
        {"type", Absent::keep, Written::when_present},
        {"grate_type", Absent::keep, Written::when_present},
        {"splash_velocity_fps", Absent::keep, Written::when_present},
        {"opening_ratio", Absent::keep, Written::when_present},
        {"curb_length_ft", Absent::keep, Written::when_present},
        {"curb_height_ft", Absent::keep, Written::when_present},
        {"throat", Absent::keep, Written::when_present},
        {"slot_width_ft", Absent::keep, Written::when_present},
        {"gutter_width_ft", Absent::keep, Written::when_present},
        {"gutter_depression_ft", Absent::keep, Written::when_present},
        {"local_depression_ft", Absent::keep, Written::when_present},
        {"local_depression_width_ft", Absent::keep, Written::when_present},
        {"gutter_n", Absent::keep, Written::when_present},
        {"spread_allow_ft", Absent::keep, Written::when_present},
        {"clogging", Absent::keep, Written::when_present},
        {"grates", Absent::keep, Written::when_present},
        {"lock", Absent::keep, Written::when_present},
    }};
    static Slot slot(InletOverrides& o, std::size_t i) {
        switch (i) {
            case 0: return &o.length_ft;
            case 1: return &o.gutter_slope;
            case 2: return &o.sag;
            case 3: return &o.grate_width_ft;
            case 4: return &o.cross_slope;
            case 5: return &o.type;
            case 6: return &o.grate_type;
            case 7: return &o.splash_velocity_fps;
            case 8: return &o.opening_ratio;
            case 9: return &o.curb_length_ft;
            case 10: return &o.curb_height_ft;
            case 11: return &o.throat;
            case 12: return &o.slot_width_ft;
            case 13: return &o.gutter_width_ft;
            case 14: return &o.gutter_depression_ft;
            case 15: return &o.local_depression_ft;
            case 16: return &o.local_depression_width_ft;
            case 17: return &o.gutter_n;
            case 18: return &o.spread_allow_ft;
            case 19: return &o.clogging;
            case 20: return &o.grates;
            default: return &o.lock;
        }
    }
};

template <>
struct Schema<Roadway> {
    static constexpr std::string_view name = "Roadway";
    static constexpr std::array<FieldInfo, 6> fields{{
        {"gutter_n", Absent::keep, Written::when_present},
        {"gutter_width_ft", Absent::keep, Written::when_present},
        {"gutter_depression_ft", Absent::keep, Written::when_present},
        {"spread_allow_ft", Absent::keep, Written::when_present},
        {"curb_height_ft", Absent::keep, Written::when_present},
        {"pipe_flows", Absent::keep, Written::when_present},
    }};
    static Slot slot(Roadway& r, std::size_t i) {
        switch (i) {
            case 0: return &r.gutter_n;
            case 1: return &r.gutter_width_ft;
            case 2: return &r.gutter_depression_ft;
            case 3: return &r.spread_allow_ft;
            case 4: return &r.curb_height_ft;
            default: return &r.pipe_flows;
        }
    }
};

template <>
struct Schema<ProjectPipe> {
    static constexpr std::string_view name = "ProjectPipe";
    static constexpr std::array<FieldInfo, 14> fields{{
        {"id", Absent::required},
        {"from", Absent::required},
        {"to", Absent::required},
        {"length", Absent::required, Written::always, Unit::length},
        {"diameter", Absent::required, Written::always, Unit::length},
        {"n", Absent::required},
        {"shape", Absent::keep},
        {"rise_ft", Absent::keep, Written::always, Unit::length},
        {"span_ft", Absent::keep, Written::always, Unit::length},
        {"invert_up", Absent::keep, Written::when_present, Unit::length},
        {"invert_dn", Absent::keep, Written::when_present, Unit::length},
        {"lock", Absent::keep, Written::when_present},
        {"side_slope", Absent::keep, Written::when_present},
        {"barrels", Absent::keep, Written::when_present},
    }};
    static Slot slot(ProjectPipe& p, std::size_t i) {
        switch (i) {
            case 0: return &p.id;
            case 1: return &p.from;
            case 2: return &p.to;
            case 3: return &p.length;
            case 4: return &p.diameter;
            case 5: return &p.n;
            case 6: return &p.shape;
            case 7: return &p.rise_ft;
            case 8: return &p.span_ft;
            case 9: return &p.invert_up;
            case 10: return &p.invert_dn;
            case 11: return &p.lock;
            case 12: return &p.side_slope;
            default: return &p.barrels;
        }
    }
};

template <>
struct Schema<ProjectDesignRules> {
    static constexpr std::string_view name = "ProjectDesignRules";
    static constexpr std::array<FieldInfo, 10> fields{{
        {"sizes_in", Absent::keep, Written::when_present},
        {"min_diameter_in", Absent::keep, Written::when_present},
        {"min_velocity_fps", Absent::keep, Written::when_present},
        {"max_velocity_fps", Absent::keep, Written::when_present},
        {"min_cover_ft", Absent::keep, Written::when_present},
        {"max_pct_full", Absent::keep, Written::when_present},
        {"match", Absent::keep, Written::when_present},
        {"min_drop_ft", Absent::keep, Written::when_present},
        {"freeboard_ft", Absent::keep, Written::when_present},
        {"inlet_lengths_ft", Absent::keep, Written::when_present},
    }};
    static Slot slot(ProjectDesignRules& d, std::size_t i) {
        switch (i) {
            case 0: return &d.sizes_in;
            case 1: return &d.min_diameter_in;
            case 2: return &d.min_velocity_fps;
            case 3: return &d.max_velocity_fps;
            case 4: return &d.min_cover_ft;
            case 5: return &d.max_pct_full;
            case 6: return &d.match;
            case 7: return &d.min_drop_ft;
            case 8: return &d.freeboard_ft;
            default: return &d.inlet_lengths_ft;
        }
    }
};

template <>
struct Schema<ProjectCatchment> {
    static constexpr std::string_view name = "ProjectCatchment";
    static constexpr std::array<FieldInfo, 6> fields{{
        {"id", Absent::required},
        {"vertices", Absent::required, Written::always, Unit::feet},
        {"c", Absent::required},
        {"flow_length_ft", Absent::required, Written::always, Unit::feet},
        {"slope", Absent::required},
        {"inlet_node_id", Absent::none},
    }};
    static Slot slot(ProjectCatchment& k, std::size_t i) {
        switch (i) {
            case 0: return &k.id;
            case 1: return &k.vertices;
            case 2: return &k.c;
            case 3: return &k.flow_length_ft;
            case 4: return &k.slope;
            default: return &k.inlet_node_id;
        }
    }
};

template <>
struct Schema<IdfCurveEntry> {
    static constexpr std::string_view name = "IdfCurveEntry";
    static constexpr std::array<FieldInfo, 4> fields{{
        {"rp_years", Absent::required},
        {"a", Absent::required, Written::always, Unit::rainfall},
        {"b", Absent::required},
        {"c", Absent::required},
    }};
    static Slot slot(IdfCurveEntry& e, std::size_t i) {
        switch (i) {
            case 0: return &e.rp_years;
            case 1: return &e.a;
            case 2: return &e.b;
            default: return &e.c;
        }
    }
};

template <>
struct Schema<ReportInfo> {
    static constexpr std::string_view name = "ReportInfo";
    static constexpr std::array<FieldInfo, 4> fields{{
        {"project_number", Absent::keep},
        {"engineer", Absent::keep},
        {"firm", Absent::keep},
        {"jurisdiction", Absent::keep},
    }};
    static Slot slot(ReportInfo& r, std::size_t i) {
        switch (i) {
            case 0: return &r.project_number;
            case 1: return &r.engineer;
            case 2: return &r.firm;
            default: return &r.jurisdiction;
        }
    }
};

template <>
struct Schema<BackgroundImage> {
    static constexpr std::string_view name = "BackgroundImage";
    static constexpr std::array<FieldInfo, 5> fields{{
        {"path", Absent::required},
        {"origin_x", Absent::required},
        {"origin_y", Absent::required},
        {"width", Absent::required},
        {"opacity", Absent::required},
    }};
    static Slot slot(BackgroundImage& b, std::size_t i) {
        switch (i) {
            case 0: return &b.path;
            case 1: return &b.origin_x;
            case 2: return &b.origin_y;
            case 3: return &b.width;
            default: return &b.opacity;
        }
    }
};

template <>
struct Schema<BackgroundDxf> {
    static constexpr std::string_view name = "BackgroundDxf";
    static constexpr std::array<FieldInfo, 6> fields{{
        {"path", Absent::required},
        {"min_x", Absent::required},
        {"min_y", Absent::required},
        {"max_x", Absent::required},
        {"max_y", Absent::required},
        {"opacity", Absent::keep},
    }};
    static Slot slot(BackgroundDxf& b, std::size_t i) {
        switch (i) {
            case 0: return &b.path;
            case 1: return &b.min_x;
            case 2: return &b.min_y;
            case 3: return &b.max_x;
            case 4: return &b.max_y;
            default: return &b.opacity;
        }
    }
};

template <class R>
concept Record = requires { Schema<R>::fields; };

// The seen-keys mask of an object holds one bit per field.
static_assert(Schema<Project>::fields.size() <= 32);

// Position of a key in a record's table (the table's size when absent).
template <Record R>
constexpr std::size_t field_index(std::string_view key) {
    for (std::size_t i = 0; i < Schema<R>::fields.size(); ++i) {
        if (Schema<R>::fields[i].key == key) return i;
    }
    return Schema<R>::fields.size();
}

// The array form may stop after the last value it cannot do without.
template <Record R>
constexpr std::size_t shortest_array() {
    std::size_t shortest = 0;
    for (std::size_t i = 0; i < Schema<R>::fields.size(); ++i) {
        if (Schema<R>::fields[i].absent != Absent::keep) shortest = i + 1;
    }
    return shortest;
}

}  // namespace rillway::formats::project
