// Scenario application: the identity scenario reproduces the plain analysis bit for bit, a
// return period picks its own curve and frequency factor, and each bad scenario is an error
// of its own that leaves the runner usable.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <variant>

#include "scenario/scenario.hpp"

namespace rillway::scenario {
namespace {

namespace net = rillway::network;

formats::project::Project demo_with_curves() {
    formats::project::Project p = formats::project::Project::demo();
    p.idf_curves = {{100, 100.0, 12.0, 0.78}, {2, 40.0, 9.0, 0.8}};
    return p;
}

const net::Analysis& analysis_of(const ScenarioOutcome& outcome) {
    EXPECT_TRUE(std::holds_alternative<net::Analysis>(outcome))
        << display(std::get<ScenarioError>(outcome));
    static const net::Analysis empty;
    return std::holds_alternative<net::Analysis>(outcome) ? std::get<net::Analysis>(outcome) : empty;
}

std::string error_of(const ScenarioOutcome& outcome) {
    if (!std::holds_alternative<ScenarioError>(outcome)) return "no error";
    return display(std::get<ScenarioError>(outcome));
}

TEST(Scenario, UnitScenarioAfterOthersIsThePlainAnalysisBitForBit) {
    const formats::project::Project project = demo_with_curves();
    const Base base = from_project(project);
    Runner runner(base);
    // A scaled scenario first, so the working copy must be restored, not reused.
    (void)runner.analyze(Scenario{100.0, 101.0, 1.3, 1.2, 0.9});
    const ScenarioOutcome outcome = runner.analyze(Scenario{});
    const net::AnalysisOutcome plain = net::analyze(project.to_analysis_network(), project.idf(),
                                                    project.design_options());
    const net::Analysis& a = analysis_of(outcome);
    const net::Analysis& b = std::get<net::Analysis>(plain);
    ASSERT_EQ(a.pipes.size(), b.pipes.size());
    ASSERT_EQ(a.nodes.size(), b.nodes.size());
    for (std::size_t i = 0; i < a.pipes.size(); ++i) {
        EXPECT_EQ(a.pipes[i].design_q, b.pipes[i].design_q);
        EXPECT_EQ(a.pipes[i].capacity, b.pipes[i].capacity);
        EXPECT_EQ(a.pipes[i].hgl_up, b.pipes[i].hgl_up);
    }
    for (std::size_t i = 0; i < a.nodes.size(); ++i) EXPECT_EQ(a.nodes[i].hgl, b.nodes[i].hgl);
}

// P1 drains N1 alone: C*A = 0.7 * (1 ac + the 2,400 ft² catchment) at tc = 12 min (its inlet
// time; the catchment's Kirpich time is 1.6 min). The 100-year curve gives i = 100 / 24^0.78
// and the 100-year frequency factor 1.25 raises C to 0.875.
TEST(Scenario, ReturnPeriodPicksItsCurveAndFrequencyFactor) {
    const Base base = from_project(demo_with_curves());
    Runner runner(base);
    const double area = 1.0 + 2400.0 / 43560.0;
    const double i100 = 100.0 / std::pow(24.0, 0.78);
    const ScenarioOutcome rare = runner.analyze(Scenario{99.6, {}, 1.0, 1.0, 1.0});
    EXPECT_NEAR(analysis_of(rare).pipes.at(0).design_q, 0.875 * area * i100, 1e-12);
    // The design period (10 years) without an entry of its own keeps the project's curve.
    const ScenarioOutcome design = runner.analyze(Scenario{10.2, {}, 1.0, 1.0, 1.0});
    EXPECT_NEAR(analysis_of(design).pipes.at(0).design_q, 0.7 * area * 60.0 / std::pow(22.0, 0.8),
                1e-12);
}

TEST(Scenario, EachBadScenarioFailsAlone) {
    const Base base = from_project(demo_with_curves());
    Runner runner(base);
    EXPECT_EQ(error_of(runner.analyze(Scenario{25.0, {}, 1.0, 1.0, 1.0})),
              "no rainfall curve for the 25-year return period (25 years) in the project's "
              "idf_curves");
    EXPECT_EQ(error_of(runner.analyze(Scenario{{}, {}, 1.0, -2.0, 1.0})),
              "c_factor must be a finite number above zero, not -2");
    EXPECT_EQ(error_of(runner.analyze(Scenario{{}, NAN, 1.0, 1.0, 1.0})),
              "tailwater must be a finite number, not nan");
    EXPECT_EQ(error_of(runner.analyze(Scenario{{}, {}, 1.0, 1.0, 1.0})), "no error");

    formats::RwnDocument rwn;
    rwn.network.nodes = {net::Node::inlet("A", 10.0, 15.0, 1.0, 0.5),
                         net::Node::outfall("O", 9.0, 14.0)};
    rwn.network.pipes = {net::Pipe::circular("P", "A", "O", 100.0, 1.0, 0.013)};
    const Base single = from_rwn(rwn);
    Runner rwn_runner(single);
    EXPECT_EQ(error_of(rwn_runner.analyze(Scenario{10.0, {}, 1.0, 1.0, 1.0})),
              "a .rwn network has a single rainfall curve: the 10-year return period needs a "
              "project with idf_curves");
    rwn.network.pipes[0].to = "NOWHERE";
    const Base broken = from_rwn(rwn);
    Runner broken_runner(broken);
    EXPECT_EQ(error_of(broken_runner.analyze(Scenario{})),
              "analysis failed: pipe references unknown node 'NOWHERE'");
}

}  // namespace
}  // namespace rillway::scenario
