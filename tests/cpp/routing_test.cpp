// Routing order, unknown-node and cycle errors, accumulated C*A, known inflows and splits.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <variant>
#include <vector>

#include "network/loads.hpp"
#include "network/routing.hpp"

namespace rillway::network {
namespace {

Node inlet(const std::string& id, double area = 0.0, double c = 0.0) {
    return Node::inlet(id, 100.0, 105.0, area, c);
}

Pipe pipe(const std::string& id, const std::string& from, const std::string& to) {
    return Pipe::circular(id, from, to, 100.0, 1.5, 0.013);
}

// Numbered id such as "N12" (appending avoids a false -Wrestrict from GCC 12 on "N" + text).
std::string numbered(char prefix, std::size_t i) {
    std::string id(1, prefix);
    id.append(std::to_string(i));
    return id;
}

Links links_of(const Network& net) {
    auto resolved = resolve(net);
    EXPECT_TRUE(std::holds_alternative<Links>(resolved));
    if (!std::holds_alternative<Links>(resolved)) return {};
    return std::get<Links>(resolved);
}

std::vector<double> accumulate_ca(const Network& net, const Links& links,
                                  const std::vector<std::size_t>& order, double frequency_factor) {
    DesignOptions options;
    options.frequency_factor = frequency_factor;
    return route_loads(net, links, order, options).ca;
}

std::variant<std::vector<std::size_t>, NetworkError> route(const Network& net) {
    auto resolved = resolve(net);
    if (auto* error = std::get_if<NetworkError>(&resolved)) return *error;
    return topo_order(std::get<Links>(resolved));
}

std::vector<std::size_t> order_of(const Network& net) {
    auto result = route(net);
    EXPECT_TRUE(std::holds_alternative<std::vector<std::size_t>>(result))
        << display(std::get<NetworkError>(result));
    if (!std::holds_alternative<std::vector<std::size_t>>(result)) return {};
    return std::get<std::vector<std::size_t>>(result);
}

std::string error_of(const Network& net) {
    auto result = route(net);
    if (!std::holds_alternative<NetworkError>(result)) return "no error";
    return display(std::get<NetworkError>(result));
}

using Order = std::vector<std::size_t>;

TEST(TopoOrder, LifoStackDecidesTheOrder) {
    // Sources seeded ascending and popped from the top: the highest-indexed source goes first.
    Network two_into_one{{inlet("A"), inlet("B"), inlet("C")}, {pipe("P1", "A", "C"), pipe("P2", "B", "C")}};
    EXPECT_EQ(order_of(two_into_one), (Order{1, 0, 2}));  // B, A, C

    Network isolated{{inlet("A"), inlet("B"), inlet("C")}, {}};
    EXPECT_EQ(order_of(isolated), (Order{2, 1, 0}));

    // A node whose last inflow has just been routed is routed next, before older stack entries.
    Network branches{{inlet("A"), inlet("B"), inlet("C"), inlet("D")},
                     {pipe("P1", "A", "D"), pipe("P2", "B", "C")}};
    EXPECT_EQ(order_of(branches), (Order{1, 2, 0, 3}));  // B, C, A, D

    EXPECT_TRUE(order_of(Network{}).empty());
}

TEST(TopoOrder, SuccessorsFollowPipeOrder) {
    // A feeds C then B; both become sources after A, B is pushed last and so routed first.
    Network net{{inlet("A"), inlet("B"), inlet("C")}, {pipe("P1", "A", "C"), pipe("P2", "A", "B")}};
    EXPECT_EQ(order_of(net), (Order{0, 1, 2}));
    Network swapped{{inlet("A"), inlet("B"), inlet("C")}, {pipe("P1", "A", "B"), pipe("P2", "A", "C")}};
    EXPECT_EQ(order_of(swapped), (Order{0, 2, 1}));
}

TEST(TopoOrder, UnknownNodePrecedence) {
    Network both_unknown{{inlet("A")}, {pipe("P1", "X9", "Y9")}};
    EXPECT_EQ(error_of(both_unknown), "pipe references unknown node 'X9'");

    // The first pipe with a broken end decides, even if only its downstream end is broken.
    Network first_pipe_decides{{inlet("A"), inlet("B")},
                               {pipe("P1", "A", "Q1"), pipe("P2", "Q2", "B")}};
    EXPECT_EQ(error_of(first_pipe_decides), "pipe references unknown node 'Q1'");

    // Unknown ends win over a loop further down the list.
    Network loop_and_unknown{{inlet("A")}, {pipe("P1", "A", "A"), pipe("P2", "A", "Z")}};
    EXPECT_EQ(error_of(loop_and_unknown), "pipe references unknown node 'Z'");
}

TEST(TopoOrder, Cycles) {
    Network self_loop{{inlet("A")}, {pipe("P1", "A", "A")}};
    EXPECT_EQ(error_of(self_loop), "network contains a cycle");
    EXPECT_TRUE(std::holds_alternative<Cycle>(std::get<NetworkError>(route(self_loop))));

    // A loop hanging below an otherwise valid tree.
    Network loop{{inlet("S"), inlet("A"), inlet("B"), inlet("C")},
                 {pipe("P0", "S", "A"), pipe("P1", "A", "B"), pipe("P2", "B", "C"), pipe("P3", "C", "A")}};
    EXPECT_EQ(error_of(loop), "network contains a cycle");
}

TEST(TopoOrder, LongSeriesRunsWithoutRecursion) {
    constexpr std::size_t kCount = 100000;
    Network net;
    net.nodes.reserve(kCount);
    for (std::size_t i = 0; i < kCount; ++i) net.nodes.push_back(inlet(numbered('N', i), 0.5, 0.5));
    for (std::size_t i = 0; i + 1 < kCount; ++i) {
        net.pipes.push_back(pipe(numbered('P', i), net.nodes[i].id, net.nodes[i + 1].id));
    }
    const Order order = order_of(net);
    ASSERT_EQ(order.size(), kCount);
    for (std::size_t i = 0; i < kCount; ++i) ASSERT_EQ(order[i], i);
    const std::vector<double> totals = accumulate_ca(net, links_of(net), order, 1.0);
    EXPECT_DOUBLE_EQ(totals.back(), 0.25 * kCount);
}

TEST(Resolve, DuplicateNodeIdIsRefusedBeforeUnknownNodes) {
    // The second A's area would vanish from B's flow; the unknown C comes later in the check.
    Network net{{inlet("A", 1.0, 0.5), inlet("B"), inlet("A", 3.0, 0.5)},
                {pipe("P1", "C", "B"), pipe("P2", "A", "B"), pipe("P2", "A", "B")}};
    EXPECT_EQ(error_of(net), "duplicate node id 'A'");
    net.nodes[2].id = "C";  // duplicate pipe ids lose nothing and stay accepted
    EXPECT_EQ(error_of(net), "no error");
}

TEST(AccumulateCa, TotalsAndParallelPipes) {
    // A (0.6 ac at 0.5) and B (1.0 ac at 0.9) both drain to C (0.2 ac at 0.5); A drains twice.
    Network net{{inlet("A", 0.6, 0.5), inlet("B", 1.0, 0.9), inlet("C", 0.2, 0.5)},
                {pipe("P1", "A", "C"), pipe("P2", "B", "C"), pipe("P3", "A", "C")}};
    const std::vector<double> totals = accumulate_ca(net, links_of(net), order_of(net), 1.0);
    ASSERT_EQ(totals.size(), 3u);
    EXPECT_DOUBLE_EQ(totals[0], 0.3);
    EXPECT_DOUBLE_EQ(totals[1], 0.9);
    EXPECT_DOUBLE_EQ(totals[2], 0.1 + 0.3 + 0.9 + 0.3);

    EXPECT_TRUE(accumulate_ca(Network{}, links_of(Network{}), {}, 1.0).empty());
}

TEST(AccumulateCa, FrequencyFactorCapsEachNodesCoefficient) {
    // 0.8 * 1.25 = 1.0 exactly; 0.9 * 1.25 = 1.125 is capped at 1.0; 0.4 * 1.25 = 0.5 is not.
    Network net{{inlet("A", 2.0, 0.8), inlet("B", 2.0, 0.9), inlet("C", 2.0, 0.4)},
                {pipe("P1", "A", "C"), pipe("P2", "B", "C")}};
    const std::vector<double> totals = accumulate_ca(net, links_of(net), order_of(net), 1.25);
    EXPECT_DOUBLE_EQ(totals[0], 2.0);
    EXPECT_DOUBLE_EQ(totals[1], 2.0);
    EXPECT_DOUBLE_EQ(totals[2], 1.0 + 2.0 + 2.0);  // the accumulated total itself is not capped
}

TEST(Loads, CapacitySplitCountsEveryAcreOnceAndCarriesInflows) {
    // A (10 ac at 0.5, 2 cfs known inflow) splits into an 18-in and a 24-in pipe on the same
    // slope (all inverts equal: min_slope), which rejoin at C. Manning at one slope and n:
    // Q_full ~ D^(8/3), so the 18-in pipe takes 1.5^(8/3) / (1.5^(8/3) + 2^(8/3)).
    Network net{{inlet("A", 10.0, 0.5), inlet("B"), inlet("C")},
                {Pipe::circular("S", "A", "C", 100.0, 1.5, 0.013),
                 Pipe::circular("L", "A", "B", 100.0, 2.0, 0.013), pipe("T", "B", "C")}};
    net.nodes[0].inflow = 2.0;
    const Links links = links_of(net);
    DesignOptions options;
    const Loads whole = route_loads(net, links, order_of(net), options);
    EXPECT_DOUBLE_EQ(whole.ca[2], 10.0);  // counted once per route
    EXPECT_DOUBLE_EQ(whole.inflow[2], 4.0);
    EXPECT_EQ(split_notes(net, links, options).size(), 1u);

    options.flow_split = FlowSplit::capacity;
    const Loads split = route_loads(net, links, order_of(net), options);
    const double small = std::pow(1.5, 8.0 / 3.0) / (std::pow(1.5, 8.0 / 3.0) + std::pow(2.0, 8.0 / 3.0));
    EXPECT_NEAR(split.share_of(0), small, 1e-12);
    EXPECT_NEAR(split.pipe_ca(links, 0), 5.0 * small, 1e-12);
    EXPECT_NEAR(split.pipe_inflow(links, 1), 2.0 * (1.0 - small), 1e-12);
    EXPECT_DOUBLE_EQ(split.share_of(2), 1.0);
    EXPECT_NEAR(split.ca[2], 5.0, 1e-12);
    EXPECT_NEAR(split.inflow[2], 2.0, 1e-12);
    EXPECT_TRUE(split_notes(net, links, options).empty());
}

TEST(LinkPipes, InflowAndOutflowListsKeepPipeOrder) {
    Network net{{inlet("A"), inlet("B"), inlet("C")},
                {pipe("P0", "B", "C"), pipe("P1", "A", "C"), pipe("P2", "A", "B"), pipe("P3", "A", "C")}};
    const Links links = links_of(net);
    EXPECT_EQ(links.from, (Order{1, 0, 0, 0}));
    EXPECT_EQ(links.to, (Order{2, 2, 1, 2}));
    const Order into_c(links.in_pipes.begin() + static_cast<long>(links.in_begin[2]),
                       links.in_pipes.begin() + static_cast<long>(links.in_begin[3]));
    EXPECT_EQ(into_c, (Order{0, 1, 3}));
    const Order out_of_a(links.out_pipes.begin() + static_cast<long>(links.out_begin[0]),
                         links.out_pipes.begin() + static_cast<long>(links.out_begin[1]));
    EXPECT_EQ(out_of_a, (Order{1, 2, 3}));
    EXPECT_EQ(links.inflow_count(0), 0u);
    EXPECT_EQ(links.outflow_count(2), 0u);
}

}  // namespace
}  // namespace rillway::network
