// Writing a project document: an insertion-ordered JSON tree walked from the field tables of
// schema.hpp, so the keys come in the records' order, dumped with a two-space indent.

#include <array>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <optional>
#include <string>
#include <type_traits>
#include <variant>

#include <nlohmann/json.hpp>

#include "formats/project/project.hpp"
#include "formats/project/schema.hpp"

namespace rillway::formats::project {
namespace {

using Json = nlohmann::ordered_json;

// JSON has no NaN or infinity: such a number is written as null.
Json value_json(double v) {
    if (!std::isfinite(v)) return nullptr;
    return v;
}

// The dump writes doubles in their shortest form, which for a widened float would show the
// widening noise (0.449999988079071). Going through the float's own shortest decimal gives the
// double that prints as that decimal and still rounds back to the same float.
Json value_json(float v) {
    if (!std::isfinite(v)) return nullptr;
    std::array<char, 32> buf{};
    const auto res = std::to_chars(buf.data(), buf.data() + buf.size() - 1, v);
    *res.ptr = '\0';
    return std::strtod(buf.data(), nullptr);
}

Json value_json(std::uint32_t v) { return v; }
Json value_json(bool v) { return v; }
Json value_json(const std::string& v) { return v; }
Json value_json(UnitSystem v) { return v == UnitSystem::si ? "si" : "us_customary"; }
Json value_json(const Point& v) { return Json::array({value_json(v[0]), value_json(v[1])}); }
Json value_json(network::LossMethod v) { return network::loss_method_word(v); }
Json value_json(network::Benching v) { return network::benching_word(v); }
Json value_json(network::FlowSplit v) { return network::flow_split_word(v); }
Json value_json(const SideSlope& v) {
    return std::visit([](const auto& slope) { return value_json(slope); }, v);
}
Json value_json(network::PipeFlows v) { return network::pipe_flows_word(v); }
Json value_json(hydraulics::InletType v) { return hydraulics::inlet_type_word(v); }
Json value_json(hydraulics::GrateType v) { return hydraulics::grate_type_word(v); }
Json value_json(hydraulics::Throat v) { return hydraulics::throat_word(v); }

template <Record R>
Json value_json(const R& record);

template <class T>
Json value_json(const std::vector<T>& items) {
    Json j = Json::array();
    for (const T& item : items) j.push_back(value_json(item));
    return j;
}

// An optional written always is null when empty.
template <class T>
Json value_json(const std::optional<T>& v) {
    if (!v) return nullptr;
    return value_json(*v);
}

template <Record R>
Json value_json(const R& record) {
    if constexpr (std::is_same_v<R, ProjectDesignRules>) {
        // The user's own object, unknown keys and all (the reader parsed it, so it parses).
        if (record.given.text) return Json::parse(*record.given.text, nullptr, false);
    }
    Json j = Json::object();
    // The slots are pointers into the record; writing only reads through them. A field written
    // when present is left out while it equals the value reading leaves when the key is absent,
    // which is the value-initialised record's.
    R& fields_of = const_cast<R&>(record);
    static const R kAbsent{};
    R& absent = const_cast<R&>(kAbsent);
    for (std::size_t i = 0; i < Schema<R>::fields.size(); ++i) {
        const FieldInfo& field = Schema<R>::fields[i];
        std::visit(
            [&](auto* value) {
                using Field = decltype(value);
                if (field.written == Written::when_present &&
                    *value == *std::get<Field>(Schema<R>::slot(absent, i))) {
                    return;
                }
                j[std::string(field.key)] = value_json(*value);
            },
            Schema<R>::slot(fields_of, i));
    }
    return j;
}

constexpr std::string_view unit_word(Unit unit) {
    switch (unit) {
        case Unit::length: return "length";
        case Unit::area: return "area";
        case Unit::rainfall: return "rainfall";
        case Unit::feet: return "feet";
        case Unit::flow: return "flow";
        default: return "none";
    }
}

// One record's table: each key with whether it is required, its default (the value a
// value-initialised record writes; null for a required key) and its unit kind.
template <Record R>
Json schema_json() {
    R defaults{};
    Json fields = Json::array();
    for (std::size_t i = 0; i < Schema<R>::fields.size(); ++i) {
        const FieldInfo& field = Schema<R>::fields[i];
        Json entry = Json::object();
        entry["key"] = std::string(field.key);
        entry["required"] = field.absent == Absent::required;
        entry["default"] = nullptr;
        if (field.absent != Absent::required) {
            std::visit([&](auto* value) { entry["default"] = value_json(*value); },
                       Schema<R>::slot(defaults, i));
        }
        entry["unit"] = std::string(unit_word(field.unit));
        fields.push_back(std::move(entry));
    }
    return fields;
}

}  // namespace

std::string write_schema() {
    Json j = Json::object();
    j["project"] = schema_json<Project>();
    j["node"] = schema_json<ProjectNode>();
    j["inlet"] = schema_json<InletOverrides>();
    j["pipe"] = schema_json<ProjectPipe>();
    j["design"] = schema_json<ProjectDesignRules>();
    j["catchment"] = schema_json<ProjectCatchment>();
    j["idf_curve"] = schema_json<IdfCurveEntry>();
    j["report"] = schema_json<ReportInfo>();
    j["background"] = schema_json<BackgroundImage>();
    j["background_dxf"] = schema_json<BackgroundDxf>();
    return j.dump(2);
}

std::string write_project(const Project& p) {
    // Texts built in memory need not be valid UTF-8; replacing bad bytes keeps writing total.
    return value_json(p).dump(2, ' ', false, Json::error_handler_t::replace);
}

}  // namespace rillway::formats::project
