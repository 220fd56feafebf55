// Writing project documents: layout, key order, number forms, and round trips through the reader.

#include <cmath>
#include <limits>
#include <string>
#include <variant>
#include <vector>

#include <gtest/gtest.h>

#include "formats/project/project.hpp"

namespace rillway::formats::project {
namespace {

Project read_back(const std::string& text) {
    auto result = read_project(text);
    if (auto* message = std::get_if<std::string>(&result)) {
        ADD_FAILURE() << "written text does not read back: " << *message;
        return {};
    }
    return std::get<Project>(std::move(result));
}

// A project that uses every record and every optional value.
Project everything() {
    Project p = Project::demo();
    p.units = units::UnitSystem::si;
    p.format_version = 7;
    p.tailwater.reset();
    p.hec22_structure_loss = true;
    p.nodes[0].inlet = InletOverrides{2.5, 0.02, true, 1.75, 0.015};
    p.nodes[1].bypass_to = "N3";
    p.pipes[0].shape = "box";
    p.pipes[0].rise_ft = 2.0;
    p.pipes[0].span_ft = 3.0;
    p.pipes[0].invert_up = 104.25;
    p.pipes[1].invert_dn = 101.3;
    p.catchments[0].inlet_node_id.reset();
    p.background = BackgroundImage{"site \"plan\".png", -10.5, 20.0, 500.0, 0.3F};
    p.background_dxf = BackgroundDxf{"base.dxf", 0.0, 0.0, 1e6, 2.5e-7, 1.0F};
    p.idf_curves = {{2, 40.0, 8.0, 0.75}, {4294967295U, 1.0, 2.0, 3.0}};
    p.report = ReportInfo{"24-117", "R. Engineer", "Firm & Co", "Caf\xC3\xA9 County"};
    return p;
}

TEST(ProjectWrite, BuiltInAndFullProjectsReadBackEqual) {
    EXPECT_EQ(read_back(write_project(Project::demo())), Project::demo());
    EXPECT_EQ(read_back(write_project(Project::empty())), Project::empty());
    const Project full = everything();
    const Project again = read_back(write_project(full));
    EXPECT_EQ(again, full);
    EXPECT_EQ(again.format_version, 7U);
    EXPECT_EQ(write_project(again), write_project(full));
}

TEST(ProjectWrite, DemoTextLayout) {
    const std::string text = write_project(Project::demo());
    EXPECT_TRUE(text.starts_with("{\n  \"name\": \"Demo Trunk Line\",\n  \"idf_a\": 60.0,\n")) << text.substr(0, 80);
    EXPECT_EQ(text.back(), '}');
    EXPECT_NE(text.find("\n  \"tailwater\": 100.5,\n"), std::string::npos);
    EXPECT_NE(text.find("\n      \"bypass_to\": null,\n"), std::string::npos);
    EXPECT_NE(text.find("\n      \"inlet_node_id\": \"N1\"\n"), std::string::npos);
    EXPECT_NE(text.find("\n  \"background\": null,\n  \"background_dxf\": null,\n  \"idf_curves\": [],\n"
                        "  \"units\": \"us_customary\",\n"),
              std::string::npos);
    EXPECT_TRUE(text.ends_with("\n  \"format_version\": 1\n}"));
    EXPECT_EQ(text.find("invert_up"), std::string::npos);
    EXPECT_EQ(text.find("invert_dn"), std::string::npos);
    // A point is an array of its own, one number per line.
    EXPECT_NE(text.find("\"vertices\": [\n        [\n          -40.0,\n          80.0\n        ],\n"),
              std::string::npos);
    EXPECT_NE(text.find("\"n\": 0.013,"), std::string::npos);
}

TEST(ProjectWrite, TopLevelKeysInRecordOrder) {
    const std::vector<std::string> keys = {
        "name", "idf_a", "idf_b", "idf_c", "tailwater", "min_tc", "junction_k", "bend_loss_coeff",
        "hec22_structure_loss", "access_hole_diam_ft", "design_return_period_years", "p2_rainfall_in",
        "min_slope", "nodes", "pipes", "catchments", "background", "background_dxf", "idf_curves",
        "units", "report", "format_version"};
    const std::string text = write_project(everything());
    std::size_t previous = 0;
    for (const std::string& key : keys) {
        const std::size_t at = text.find("\n  \"" + key + "\": ");
        ASSERT_NE(at, std::string::npos) << key;
        EXPECT_GT(at, previous) << key;
        previous = at;
    }
    EXPECT_LT(text.find("\"invert_dn\": 101.3"), text.find("\"id\": \"P3\""));
}

TEST(ProjectWrite, NumberForms) {
    const std::string text = write_project(everything());
    EXPECT_NE(text.find("\"invert_up\": 104.25"), std::string::npos);
    EXPECT_NE(text.find("\"tailwater\": null"), std::string::npos);
    EXPECT_NE(text.find("\"format_version\": 7"), std::string::npos);
    EXPECT_NE(text.find("\"rp_years\": 4294967295,"), std::string::npos);
    EXPECT_NE(text.find("\"units\": \"si\""), std::string::npos);
    // 32-bit values in their own shortest form, not the widened double's.
    EXPECT_NE(text.find("\"opacity\": 0.3\n"), std::string::npos);
    EXPECT_NE(text.find("\"opacity\": 1.0\n"), std::string::npos);
    EXPECT_NE(text.find("\"origin_x\": -10.5,"), std::string::npos);

    Project p = Project::empty();
    p.background_dxf = BackgroundDxf{};
    EXPECT_NE(write_project(p).find("\"opacity\": 0.45\n"), std::string::npos);
}

TEST(ProjectWrite, NonFiniteValuesBecomeNullAndDoNotReadBack) {
    Project p = Project::empty();
    p.idf_a = std::numeric_limits<double>::infinity();
    p.nodes[0].rim = std::nan("");
    p.background = BackgroundImage{"i.png", 0.0, 0.0, 1.0, std::numeric_limits<float>::infinity()};
    const std::string text = write_project(p);
    EXPECT_NE(text.find("\"idf_a\": null,"), std::string::npos);
    EXPECT_NE(text.find("\"rim\": null,"), std::string::npos);
    EXPECT_NE(text.find("\"opacity\": null\n"), std::string::npos);
    const auto result = read_project(text);
    ASSERT_TRUE(std::holds_alternative<std::string>(result));
    EXPECT_TRUE(std::get<std::string>(result).starts_with("invalid type: null, expected f64 at line 3 "))
        << std::get<std::string>(result);
}

TEST(ProjectWrite, TextsAreEscapedAndInvalidBytesReplaced) {
    Project p = Project::empty();
    p.name = "tab\there \"quoted\" \\";
    EXPECT_NE(write_project(p).find(R"("name": "tab\there \"quoted\" \\",)"), std::string::npos);
    EXPECT_EQ(read_back(write_project(p)).name, p.name);

    p.name = "bad\xFF";
    const std::string text = write_project(p);
    EXPECT_NE(text.find("\"name\": \"bad\xEF\xBF\xBD\""), std::string::npos);
}

}  // namespace
}  // namespace rillway::formats::project
