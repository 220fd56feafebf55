// From a project to the analysis network and IDF parameters: kinds, shapes, SI factors,
// catchment folding and curve selection. Expected values are worked by hand.

#include <cmath>
#include <limits>
#include <string>

#include <gtest/gtest.h>

#include "formats/project/project.hpp"

namespace rillway::formats::project {
namespace {

using hydraulics::SectionKind;
using network::NodeKind;

constexpr double kFt = 3.280839895013123;

ProjectNode make_node(std::string id, std::string kind, double area_ac, double c, double tc_inlet) {
    ProjectNode n;
    n.id = std::move(id);
    n.kind = std::move(kind);
    n.invert = 100.0;
    n.rim = 106.0;
    n.area_ac = area_ac;
    n.c = c;
    n.tc_inlet = tc_inlet;
    return n;
}

ProjectCatchment make_catchment(std::vector<std::array<double, 2>> vertices, double c, double length,
                                double slope, std::optional<std::string> node) {
    return ProjectCatchment{"K", std::move(vertices), c, length, slope, std::move(node)};
}

// 43560 square feet: exactly one acre.
const std::vector<std::array<double, 2>> kAcre = {{0.0, 0.0}, {435.6, 0.0}, {435.6, 100.0}, {0.0, 100.0}};

TEST(ProjectConvert, DemoNetwork) {
    const network::Network net = Project::demo().to_analysis_network();
    ASSERT_EQ(net.nodes.size(), 4U);
    ASSERT_EQ(net.pipes.size(), 3U);
    EXPECT_EQ(net.nodes[0].id, "N1");
    EXPECT_EQ(net.nodes[3].id, "OUT");
    EXPECT_EQ(net.pipes[2].id, "P3");

    // Triangle (-40,80), (40,80), (0,140): base 80, height 60.
    const double catchment_ac = 80.0 * 60.0 / 2.0 / 43560.0;
    EXPECT_NEAR(net.nodes[0].area, 1.0 + catchment_ac, 1e-12);
    EXPECT_NEAR(net.nodes[0].c, 0.7, 1e-12);
    EXPECT_EQ(net.nodes[0].tc, 12.0);  // Kirpich gives about 1.59 min, below the inlet time

    EXPECT_EQ(net.nodes[2].kind, NodeKind::junction);
    EXPECT_EQ(net.nodes[2].area, 0.5);
    EXPECT_EQ(net.nodes[2].c, 0.8);
    EXPECT_EQ(net.nodes[2].tc, 8.0);
    EXPECT_EQ(net.nodes[2].x, 550.0);
    EXPECT_EQ(net.nodes[3].kind, NodeKind::outfall);
    EXPECT_EQ(net.nodes[3].tc, 0.0);

    const network::Pipe& p1 = net.pipes[0];
    EXPECT_EQ(p1.from, "N1");
    EXPECT_EQ(p1.to, "N2");
    EXPECT_EQ(p1.length, 300.0);
    EXPECT_EQ(p1.section.kind, SectionKind::circular);
    EXPECT_EQ(p1.section.rise, 1.25);
    EXPECT_FALSE(p1.invert_up.has_value());
    EXPECT_FALSE(p1.invert_dn.has_value());

    const network::IdfParams idf = Project::demo().idf();
    EXPECT_EQ(idf.a, 60.0);
    EXPECT_EQ(idf.b, 10.0);
    EXPECT_EQ(idf.c, 0.8);

    const network::Network empty = Project::empty().to_analysis_network();
    ASSERT_EQ(empty.nodes.size(), 1U);
    EXPECT_EQ(empty.nodes[0].kind, NodeKind::outfall);
    EXPECT_TRUE(empty.pipes.empty());
}

TEST(ProjectConvert, NodeKindsAndInletTimes) {
    Project p = Project::empty();
    p.nodes = {make_node("a", "Junction", 1.0, 0.5, 0.0), make_node("b", "junction", 1.0, 0.5, 0.0),
               make_node("c", "outfall", 2.0, 0.9, 0.0),  make_node("d", "inlet", 1.0, 0.5, 5.0),
               make_node("e", "junction", 1.0, 0.5, 5.0), make_node("f", "outfall", 0.0, 0.0, 5.0),
               make_node("g", "manhole", 1.0, 0.5, -3.0), make_node("h", "inlet", 1.0, 0.5, std::nan(""))};
    const network::Network net = p.to_analysis_network();
    EXPECT_EQ(net.nodes[0].kind, NodeKind::inlet);
    EXPECT_EQ(net.nodes[0].tc, 10.0);
    EXPECT_EQ(net.nodes[1].kind, NodeKind::junction);
    EXPECT_EQ(net.nodes[1].tc, 10.0);
    EXPECT_EQ(net.nodes[2].kind, NodeKind::outfall);
    EXPECT_EQ(net.nodes[2].area, 0.0);
    EXPECT_EQ(net.nodes[2].c, 0.0);
    EXPECT_EQ(net.nodes[2].tc, 0.0);
    EXPECT_EQ(net.nodes[3].tc, 5.0);
    EXPECT_EQ(net.nodes[4].tc, 5.0);
    EXPECT_EQ(net.nodes[5].tc, 5.0);
    EXPECT_EQ(net.nodes[6].kind, NodeKind::inlet);
    EXPECT_EQ(net.nodes[6].tc, 10.0);
    EXPECT_EQ(net.nodes[7].tc, 10.0);
}

TEST(ProjectConvert, SiValuesBecomeFeetAndAcres) {
    Project p = Project::empty();
    p.units = units::UnitSystem::si;
    p.nodes = {make_node("a", "inlet", 1.0, 0.5, 0.0), make_node("b", "outfall", 0.0, 0.0, 0.0)};
    p.nodes[0].invert = 30.0;
    p.nodes[0].x = 10.0;
    p.nodes[0].y = -2.0;
    p.pipes = {ProjectPipe::create("p", "a", "b", 100.0, 0.6, 0.013)};
    p.pipes[0].invert_up = 29.5;
    p.catchments = {make_catchment(kAcre, 0.5, 0.0, 0.0, "a")};
    p.nodes[1].diameter_ft = 1.5;
    const network::Network net = p.to_analysis_network();
    // A structure's own diameter is in metres; without one it is the 4 ft access hole.
    EXPECT_EQ(net.nodes[0].diameter, 4.0);
    EXPECT_DOUBLE_EQ(net.nodes[1].diameter, 1.5 * kFt);
    EXPECT_DOUBLE_EQ(net.nodes[0].invert, 30.0 * kFt);
    EXPECT_DOUBLE_EQ(net.nodes[0].rim, 106.0 * kFt);
    EXPECT_DOUBLE_EQ(net.nodes[0].x, 10.0 * kFt);
    EXPECT_DOUBLE_EQ(net.nodes[0].y, -2.0 * kFt);
    // 1 ha = 2.4710516301527603 ac, plus the catchment's acre measured in feet.
    EXPECT_NEAR(net.nodes[0].area, 2.4710516301527603 + 1.0, 1e-9);
    EXPECT_EQ(net.nodes[0].c, 0.5);
    EXPECT_DOUBLE_EQ(net.pipes[0].length, 100.0 * kFt);
    EXPECT_DOUBLE_EQ(net.pipes[0].section.rise, 0.6 * kFt);
    ASSERT_TRUE(net.pipes[0].invert_up.has_value());
    EXPECT_DOUBLE_EQ(*net.pipes[0].invert_up, 29.5 * kFt);
    EXPECT_FALSE(net.pipes[0].invert_dn.has_value());
    EXPECT_EQ(net.pipes[0].n, 0.013);
}

TEST(ProjectConvert, ShapeWordsAndDimensions) {
    struct Case {
        const char* shape;
        double rise;
        double span;
        SectionKind kind;
        double expected_rise;
    };
    const Case cases[] = {
        {"box", 4.0, 3.0, SectionKind::rectangular, 4.0},
        {"box", 4.0, 0.0, SectionKind::circular, 1.5},
        {"elliptical", 2.0, 3.0, SectionKind::elliptical, 2.0},
        {"elliptical", 0.0, 3.0, SectionKind::circular, 1.5},
        {"arch", 2.0, 3.0, SectionKind::arch, 2.0},
        {"arch", 2.0, -1.0, SectionKind::circular, 1.5},
        {"Box", 4.0, 3.0, SectionKind::circular, 1.5},
        {"rectangular", 4.0, 3.0, SectionKind::circular, 1.5},
        {"circular", 4.0, 3.0, SectionKind::circular, 1.5},
    };
    for (const Case& c : cases) {
        Project p = Project::empty();
        p.pipes = {ProjectPipe::create("p", "x", "OUT", 50.0, 1.5, 0.015)};
        p.pipes[0].shape = c.shape;
        p.pipes[0].rise_ft = c.rise;
        p.pipes[0].span_ft = c.span;
        const network::Pipe pipe = p.to_analysis_network().pipes.at(0);
        EXPECT_EQ(pipe.section.kind, c.kind) << c.shape << " " << c.rise << "x" << c.span;
        EXPECT_EQ(pipe.section.rise, c.expected_rise) << c.shape;
        EXPECT_EQ(pipe.id, "p");
        EXPECT_EQ(pipe.from, "x");
        EXPECT_EQ(pipe.n, 0.015);
    }
}

TEST(ProjectConvert, CatchmentsFoldIntoTheirNodes) {
    Project p = Project::empty();
    p.nodes = {make_node("a", "inlet", 1.0, 0.5, 0.0), make_node("a", "inlet", 7.0, 0.1, 0.0),
               make_node("out", "outfall", 0.0, 0.0, 0.0)};
    p.catchments = {
        make_catchment(kAcre, 0.9, 0.0, 0.0, "a"),                                  // 1 ac of 0.9
        make_catchment({{0, 0}, {871.2, 0}, {871.2, 100}, {0, 100}}, 0.1, 0, 0, "a"),  // 2 ac of 0.1
        make_catchment({{0, 0}, {1000, 0}}, 0.9, 1000.0, 0.001, "a"),               // two vertices
        make_catchment({{0, 0}, {10, 10}, {20, 20}}, 0.9, 1000.0, 0.001, "a"),     // on one line
        make_catchment(kAcre, 0.9, 1000.0, 0.001, std::nullopt),                   // drains nowhere
        make_catchment(kAcre, 0.9, 1000.0, 0.001, "missing"),
        make_catchment(kAcre, 0.6, 0.0, 0.0, "out"),
    };
    const network::Network net = p.to_analysis_network();
    // First 1 ac of 0.9 onto 1 ac of 0.5 gives 2 ac of 0.7; then 2 ac of 0.1 gives 4 ac of 0.4.
    EXPECT_NEAR(net.nodes[0].area, 4.0, 1e-12);
    EXPECT_NEAR(net.nodes[0].c, 0.4, 1e-12);
    EXPECT_EQ(net.nodes[0].tc, 10.0);
    // Only the first node of a repeated id takes the area.
    EXPECT_EQ(net.nodes[1].area, 7.0);
    // An outfall may collect a catchment; its time stays at zero.
    EXPECT_NEAR(net.nodes[2].area, 1.0, 1e-12);
    EXPECT_NEAR(net.nodes[2].c, 0.6, 1e-12);
    EXPECT_EQ(net.nodes[2].tc, 0.0);
}

TEST(ProjectConvert, KirpichTimeRaisesTheNodeTime) {
    Project p = Project::empty();
    p.nodes = {make_node("a", "inlet", 0.0, 0.0, 0.0)};
    p.catchments = {make_catchment(kAcre, 0.5, 1000.0, 0.001, "a")};
    // 0.0078 * 1000^0.77 * 0.001^-0.385 = 0.0078 * 204.17 * 14.289 = 22.756 min.
    network::Network net = p.to_analysis_network();
    EXPECT_NEAR(net.nodes[0].tc, 22.756, 1e-3);
    EXPECT_NEAR(net.nodes[0].area, 1.0, 1e-12);
    EXPECT_EQ(net.nodes[0].c, 0.5);

    p.catchments[0].slope = 0.0;
    net = p.to_analysis_network();
    EXPECT_EQ(net.nodes[0].tc, 10.0);
    EXPECT_NEAR(net.nodes[0].area, 1.0, 1e-12);

    // An infinite length over an infinite slope makes the Kirpich time NaN; the node's own
    // time is then kept.
    p.catchments[0].flow_length_ft = std::numeric_limits<double>::infinity();
    p.catchments[0].slope = std::numeric_limits<double>::infinity();
    net = p.to_analysis_network();
    EXPECT_EQ(net.nodes[0].tc, 10.0);
}

TEST(ProjectConvert, IdfCurveForTheRoundedReturnPeriod) {
    Project p = Project::empty();
    p.idf_a = 25.4;
    p.idf_curves = {{10, 10.0, 1.0, 0.1}, {25, 25.0, 2.0, 0.2}, {25, 99.0, 3.0, 0.3},
                    {1, 1.0, 4.0, 0.4},   {11, 11.0, 5.0, 0.5}, {4294967295U, 7.0, 6.0, 0.6}};
    struct Case {
        double years;
        double a;
    };
    const Case cases[] = {{24.6, 25.0}, {25.4, 25.0}, {0.2, 1.0},  {-8.0, 1.0},
                          {10.5, 11.0}, {10.49, 10.0}, {17.0, 25.4}, {1e12, 7.0},
                          {std::nan(""), 1.0}, {std::numeric_limits<double>::infinity(), 7.0}};
    for (const Case& c : cases) {
        p.design_return_period_years = c.years;
        EXPECT_EQ(p.idf().a, c.a) << c.years;
    }
    // Without a matching curve all three coefficients are the project's own.
    p.design_return_period_years = 17.0;
    EXPECT_EQ(p.idf().b, Project::empty().idf_b);
    EXPECT_EQ(p.idf().c, Project::empty().idf_c);

    p.idf_b = 12.0;
    p.idf_c = 0.7;
    p.units = units::UnitSystem::si;
    const network::IdfParams si = p.idf();
    EXPECT_NEAR(si.a, 1.0, 1e-15);
    EXPECT_EQ(si.b, 12.0);
    EXPECT_EQ(si.c, 0.7);
    p.design_return_period_years = 25.0;
    EXPECT_NEAR(p.idf().a, 25.0 / 25.4, 1e-15);
}

}  // namespace
}  // namespace rillway::formats::project
