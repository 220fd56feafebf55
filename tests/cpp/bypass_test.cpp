// Street inlets in a network: the load balance, the carry-over chain, the two pipe-flow
// conventions, known inflows and capacity splits beside them, and the refusals of bad bypass
// links.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <variant>

#include "network/analysis.hpp"
#include "network/bypass.hpp"

namespace net = rillway::network;
namespace hy = rillway::hydraulics;

namespace {

net::StreetInlet curb(double length, bool sag = false) {
    net::StreetInlet s;
    s.inlet.type = sag ? hy::InletType::grate : hy::InletType::curb;
    s.inlet.length = length;
    s.inlet.grate_width = 2.0;
    s.gutter = hy::Gutter{0.02, 0.02, 0.016, 2.0, 0.0};
    s.sag = sag;
    return s;
}

net::Node street_node(const std::string& id, double invert, double area,
                      std::optional<net::StreetInlet> street, std::optional<std::string> to) {
    net::Node n = net::Node::inlet(id, invert, invert + 6.0, area, 0.8);
    n.street = std::move(street);
    n.bypass_to = std::move(to);
    return n;
}

// Two branches into one junction: A -> B -> J on the first, C -> J on the second.
net::Network two_branches(std::optional<std::string> a_to, std::optional<std::string> b_to) {
    net::Network network;
    network.nodes = {street_node("A", 104.0, 2.0, curb(5.0), std::move(a_to)),
                     street_node("B", 103.0, 1.0, curb(5.0), std::move(b_to)),
                     street_node("C", 103.5, 1.5, curb(10.0), std::nullopt),
                     net::Node::junction("J", 102.0, 108.0, 0.0, 0.0),
                     net::Node::outfall("O", 100.0, 105.0)};
    network.pipes = {net::Pipe::circular("P1", "A", "B", 200.0, 1.5, 0.013),
                     net::Pipe::circular("P2", "B", "J", 200.0, 1.5, 0.013),
                     net::Pipe::circular("P3", "C", "J", 150.0, 1.5, 0.013),
                     net::Pipe::circular("P4", "J", "O", 200.0, 2.0, 0.013)};
    return network;
}

// Built by appending: GCC 12 warns falsely (-Wrestrict) on "N" + std::to_string(i).
std::string numbered(int i) {
    std::string id = "N";
    id += std::to_string(i);
    return id;
}

net::Analysis analyse(const net::Network& network, net::PipeFlows flows = net::PipeFlows::captured) {
    net::DesignOptions options;
    options.pipe_flows = flows;
    auto outcome = net::analyze(network, net::IdfParams{}, options);
    EXPECT_TRUE(std::holds_alternative<net::Analysis>(outcome))
        << net::display(std::get<net::NetworkError>(outcome));
    return std::get<net::Analysis>(std::move(outcome));
}

std::string refusal(const net::Network& network) {
    auto outcome = net::analyze(network, net::IdfParams{}, net::DesignOptions{});
    if (!std::holds_alternative<net::NetworkError>(outcome)) return "";
    return net::display(std::get<net::NetworkError>(outcome));
}

TEST(Bypass, LoadIsConservedAndEachInletTakesItsCarryOver) {
    const net::Analysis a = analyse(two_branches("B", "C"));
    ASSERT_EQ(a.inlets.size(), 3U);
    double own = 0.0;
    double captured = 0.0;
    double lost = 0.0;
    for (const net::InletResult& r : a.inlets) {
        EXPECT_NEAR(r.q_intercepted + r.q_bypass, r.q_approach, 1e-12);
        EXPECT_GT(r.efficiency, 0.0);
        EXPECT_LT(r.efficiency, 1.0);
        captured += r.ca_captured;
        if (!r.bypass_to) lost += r.ca_approach - r.ca_captured;
    }
    for (const net::Node& n : two_branches("B", "C").nodes) own += n.c * n.area;
    EXPECT_NEAR(own, captured + lost, 1e-12);
    // B takes A's bypass, C takes B's; C's own bypass is lost.
    EXPECT_DOUBLE_EQ(a.inlets[1].q_carryover, a.inlets[0].q_bypass);
    EXPECT_DOUBLE_EQ(a.inlets[2].q_carryover, a.inlets[1].q_bypass);
    EXPECT_FALSE(a.inlets[2].bypass_to.has_value());
    // The outfall pipe carries only what the inlets caught.
    EXPECT_NEAR(a.pipes[3].total_ca, captured, 1e-12);
}

TEST(Bypass, BypassToAnotherBranchMovesLoadOnlyUnderCaptured) {
    const net::Analysis to_c = analyse(two_branches(std::nullopt, "C"));
    const net::Analysis kept = analyse(two_branches(std::nullopt, std::nullopt));
    const double moved = to_c.inlets[1].ca_approach - to_c.inlets[1].ca_captured;
    ASSERT_GT(moved, 0.0);
    // B's bypass load arrives at C on the other branch and enters the pipe below C in C's
    // proportion, where it was lost before; B's own pipe carries what B caught either way.
    EXPECT_NEAR(to_c.inlets[2].ca_approach - kept.inlets[2].ca_approach, moved, 1e-12);
    EXPECT_DOUBLE_EQ(to_c.pipes[2].total_ca, to_c.inlets[2].ca_captured);
    EXPECT_GT(to_c.pipes[2].total_ca, kept.pipes[2].total_ca);
    EXPECT_DOUBLE_EQ(to_c.pipes[1].total_ca, kept.pipes[1].total_ca);
    const net::Analysis total = analyse(two_branches(std::nullopt, "C"), net::PipeFlows::total_area);
    const net::Analysis plain = [] {
        net::Network n = two_branches(std::nullopt, std::nullopt);
        for (net::Node& node : n.nodes) node.street.reset();
        return analyse(n);
    }();
    for (std::size_t p = 0; p < plain.pipes.size(); ++p) {
        EXPECT_EQ(total.pipes[p].total_ca, plain.pipes[p].total_ca);
        EXPECT_EQ(total.pipes[p].design_q, plain.pipes[p].design_q);
    }
}

TEST(Bypass, KnownInflowEntersWholeAndACapacitySplitDividesTheCapturedLoad) {
    net::Network network = two_branches("B", "C");
    network.nodes[0].inflow = 3.0;
    network.nodes.push_back(net::Node::outfall("O2", 100.5, 105.0));
    network.pipes.push_back(net::Pipe::circular("P5", "J", "O2", 200.0, 1.25, 0.013));
    net::DesignOptions options;
    options.flow_split = net::FlowSplit::capacity;
    const auto outcome = net::analyze(network, net::IdfParams{}, options);
    ASSERT_TRUE(std::holds_alternative<net::Analysis>(outcome));
    const net::Analysis& a = std::get<net::Analysis>(outcome);
    const net::Analysis plain = analyse(two_branches("B", "C"));
    double captured = 0.0;
    for (std::size_t i = 0; i < a.inlets.size(); ++i) {
        // The inflow is piped: the gutter never sees it.
        EXPECT_EQ(a.inlets[i].q_approach, plain.inlets[i].q_approach);
        EXPECT_EQ(a.inlets[i].efficiency, plain.inlets[i].efficiency);
        captured += a.inlets[i].ca_captured;
    }
    // Q = C*A i + the inflow in every pipe below A, its share of it below the split.
    const double share = a.pipes[3].total_ca / captured;
    const double inflow[] = {3.0, 3.0, 0.0, 3.0 * share, 3.0 * (1.0 - share)};
    for (std::size_t p = 0; p < a.pipes.size(); ++p) {
        const net::PipeResult& r = a.pipes[p];
        EXPECT_NEAR(r.design_q, r.total_ca * r.intensity + inflow[p], 1e-9) << r.id;
    }
    // The outfalls receive what the inlets caught, once.
    EXPECT_GT(share, 0.5);
    EXPECT_LT(share, 1.0);
    EXPECT_NEAR(a.pipes[3].total_ca + a.pipes[4].total_ca, captured, 1e-12);
}

TEST(Bypass, UntypedInletsLeaveTheAnalysisToTheBit) {
    net::Network typed_none = two_branches("B", "C");
    for (net::Node& node : typed_none.nodes) {
        if (node.street) node.street->inlet.type = hy::InletType::none;
    }
    net::Network bare = two_branches(std::nullopt, std::nullopt);
    for (net::Node& node : bare.nodes) node.street.reset();
    const net::Analysis a = analyse(typed_none);
    const net::Analysis b = analyse(bare);
    EXPECT_TRUE(a.inlets.empty());
    for (std::size_t p = 0; p < a.pipes.size(); ++p) {
        EXPECT_EQ(a.pipes[p].design_q, b.pipes[p].design_q);
        EXPECT_EQ(a.pipes[p].hgl_up, b.pipes[p].hgl_up);
    }
}

TEST(Bypass, AChainOfIdenticalInletsSettlesToAPeriodicState) {
    // Each inlet gets the same own runoff plus the bypass of the one above: the approach flow
    // converges on Q* = q_own / E(Q*), the fixed point of the inlet-spacing sheet.
    net::Network network;
    constexpr int kInlets = 120;
    for (int i = 0; i < kInlets; ++i) {
        std::optional<std::string> to;
        if (i + 1 < kInlets) to = numbered(i + 1);
        network.nodes.push_back(street_node(numbered(i), 100.0 - i, 0.2, curb(10.0), to));
    }
    network.nodes.push_back(net::Node::outfall("O", 100.0 - kInlets - 1.0, 100.0));
    for (int i = 0; i < kInlets; ++i) {
        const std::string to = i + 1 < kInlets ? numbered(i + 1) : "O";
        network.pipes.push_back(net::Pipe::circular(numbered(i) + "P", numbered(i), to, 100.0, 2.0, 0.013));
    }
    const net::Analysis a = analyse(network);
    const net::InletResult& last = a.inlets.back();
    EXPECT_NEAR(last.q_approach * last.efficiency, last.q_own, 1e-6 * last.q_own);
    EXPECT_NEAR(a.inlets[kInlets - 2].q_approach, last.q_approach, 1e-6 * last.q_approach);
    for (int i = 1; i < kInlets; ++i) EXPECT_GT(a.inlets[i].q_approach, a.inlets[i - 1].q_approach);
}

TEST(Bypass, BadLinksAreRefusedNamingTheStructures) {
    EXPECT_EQ(refusal(two_branches("B", "A")), "bypass_to forms a loop: A -> B -> A");
    EXPECT_EQ(refusal(two_branches("A", std::nullopt)), "bypass_to forms a loop: A -> A");
    EXPECT_EQ(refusal(two_branches("X", std::nullopt)), "node 'A': bypass_to names no structure ('X')");
    EXPECT_EQ(refusal(two_branches("O", std::nullopt)),
              "node 'A': bypass_to names the outfall 'O'; leave it out for a bypass that is lost");
    net::Network sag = two_branches(std::nullopt, "C");
    sag.nodes[1].street = curb(2.0, true);
    EXPECT_EQ(refusal(sag), "node 'B': an inlet in a sag takes all that reaches it, so it cannot "
                            "have a bypass_to ('C')");
    net::Network bad = two_branches(std::nullopt, std::nullopt);
    bad.nodes[2].street->inlet.clogging = 1.0;
    EXPECT_EQ(refusal(bad), "node 'C': inlet `clogging` must be a fraction of at least 0 and below 1");
}

}  // namespace
