// The fast evaluation against the reference evaluation: random sections of every kind (design
// sizes, extreme sizes and degenerate values), random backwater profiles, and the benchmark
// networks, compared bit for bit.
//
// The everyday run checks 100,000 random sections of the circular, box and arch kinds and the
// benchmark networks of those mixes up to 10,000 pipes; elliptical sections, whose reference scan integrates 2000
// arc lengths each (about 7 ms a section), get 2,000. RILLWAY_EXHAUSTIVE=1 runs 100,000
// random sections and profiles of every kind and every benchmark network up to 100,000 pipes
// (about an hour and a quarter, most of it in the elliptical reference scans).
//
// The random cases are split into shards, each a test of its own, so CTest spreads them over the
// cores.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <optional>
#include <string>
#include <unordered_map>
#include <variant>
#include <vector>

#include "network_generator.hpp"
#include "hydraulics/constants.hpp"
#include "hydraulics/depth_solvers.hpp"
#include "hydraulics/manning.hpp"
#include "hydraulics/peak_search.hpp"
#include "reference/hydraulics.hpp"
#include "network/analysis.hpp"
#include "network/design_pass.hpp"
#include "network/grade_line.hpp"
#include "network/profile.hpp"
#include "network/routing.hpp"
#include "reference/analysis.hpp"

namespace rillway {
namespace {

namespace hy = hydraulics;
using hy::Section;
using hy::SectionKind;

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

bool exhaustive() {
    const char* value = std::getenv("RILLWAY_EXHAUSTIVE");
    return value != nullptr && std::string(value) != "" && std::string(value) != "0";
}

// Under the sanitizers the point is memory and undefined behaviour, not coverage of values, and
// everything runs several times slower: a tenth of the cases.
#if defined(__SANITIZE_ADDRESS__)
constexpr int kShare = 10;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr int kShare = 10;
#else
constexpr int kShare = 1;
#endif
#else
constexpr int kShare = 1;
#endif

// Random cases per kind, over all shards: {sections, profiles}.
struct Counts {
    int sections;
    int profiles;
};
Counts counts(SectionKind kind) {
    if (exhaustive()) return {100000, 100000};
    if (kind == SectionKind::elliptical) return {2000 / kShare, 1000 / kShare};
    // Open channels share the closed kinds' profile code; only their peak is a path of its own.
    if (Section{kind, 1.0, 1.0, 0.0, 0.0}.open()) return {20000 / kShare, 10000 / kShare};
    return {100000 / kShare, 100000 / kShare};
}

constexpr int kShards = 4;

struct Shard {
    SectionKind kind;
    int index;
};

// The cases of one shard: its share of the kind's total, from a stream of its own.
int share(int total, int shard) { return total / kShards + (shard < total % kShards ? 1 : 0); }
std::uint64_t shard_seed(std::uint64_t base, const Shard& shard) {
    return base + 0x100 * static_cast<std::uint64_t>(shard.kind) +
           static_cast<std::uint64_t>(shard.index);
}

class Random {
public:
    explicit Random(std::uint64_t seed) : state_(seed) {}
    std::uint64_t next() {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }
    double unit() { return static_cast<double>(next() >> 11) * 0x1.0p-53; }
    double uniform(double lo, double hi) { return lo + (hi - lo) * unit(); }
    double log_uniform(double lo_exp10, double hi_exp10) {
        return std::pow(10.0, uniform(lo_exp10, hi_exp10));
    }
    template <std::size_t N>
    double pick(const double (&values)[N]) {
        return values[next() % N];
    }

private:
    std::uint64_t state_;
};

// Values that break naive arithmetic: zeros of both signs, subnormals, extremes, infinities,
// NaN and negatives.
constexpr double kOddValues[] = {0.0, -0.0, 5e-324, 1e-310, 1e-300, 1e-30, 1e-8, 1.0, 1e8, 1e30,
                                 1e300, std::numeric_limits<double>::max(), kInf, -kInf, kNaN,
                                 -1.0, -1e-9, 0x1p-60, 0x1p60};

bool same_bits(double a, double b) {
    return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
}

bool same_bits(const std::optional<double>& a, const std::optional<double>& b) {
    return a.has_value() == b.has_value() && (!a || same_bits(*a, *b));
}

std::string show(double v) {
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%.17g", v);
    return buffer;
}

std::string show(const std::optional<double>& v) { return v ? show(*v) : "none"; }

std::string kind_name(SectionKind kind) {
    switch (kind) {
        case SectionKind::circular: return "circular";
        case SectionKind::rectangular: return "rectangular";
        case SectionKind::elliptical: return "elliptical";
        case SectionKind::arch: return "arch";
        case SectionKind::trapezoid: return "trapezoid";
        case SectionKind::rect_open: return "rect_open";
        case SectionKind::triangle: return "triangle";
    }
    return "";
}

struct Case {
    Section section;
    double n = 0.0;
    double slope = 0.0;
    double k = 0.0;
};

std::string describe(const Case& c) {
    return kind_name(c.section.kind) + " rise " + show(c.section.rise) + " span " +
           show(c.section.span) + " sides " + show(c.section.slope_left) + " " +
           show(c.section.slope_right) + " n " + show(c.n) + " S " + show(c.slope) + " K " +
           show(c.k);
}

Section make_section(SectionKind kind, double rise, double span) {
    if (kind == SectionKind::circular) return Section::circular(rise);
    if (kind == SectionKind::triangle) return Section::triangle(rise, 0.0, 0.0);
    return Section{kind, rise, span, 0.0, 0.0};
}

// Most cases are pipes a designer might draw; a quarter spread over every finite magnitude; the
// rest put odd values into one or more parameters.
Case random_case(Random& r, SectionKind kind) {
    Case c;
    double rise = 0.0;
    double span = 0.0;
    const double roll = r.unit();
    if (roll < 0.6) {
        rise = r.log_uniform(-1.5, 1.5);
        span = rise * r.log_uniform(-1.5, 1.5);
        c.n = r.uniform(0.008, 0.035);
        c.slope = r.log_uniform(-6.0, -0.3);
    } else if (roll < 0.85) {
        rise = r.log_uniform(-100.0, 100.0);
        span = r.unit() < 0.5 ? rise * r.log_uniform(-6.0, 6.0) : r.log_uniform(-100.0, 100.0);
        c.n = r.log_uniform(-40.0, 40.0);
        c.slope = r.log_uniform(-200.0, 200.0);
    } else {
        rise = r.unit() < 0.5 ? r.pick(kOddValues) : r.log_uniform(-2.0, 2.0);
        span = r.unit() < 0.5 ? r.pick(kOddValues) : r.log_uniform(-2.0, 2.0);
        c.n = r.unit() < 0.5 ? r.pick(kOddValues) : 0.013;
        c.slope = r.unit() < 0.5 ? r.pick(kOddValues) : r.log_uniform(-5.0, -1.0);
    }
    if (r.unit() < 0.05) c.n = -c.n;
    if (r.unit() < 0.05) c.slope = -c.slope;
    c.k = r.unit() < 0.02 ? r.pick(kOddValues) : (r.unit() < 0.5 ? hy::kManningUs : hy::kManningSi);
    c.section = make_section(kind, rise, span);
    // Side slopes are drawn last, so the closed kinds keep their stream of cases.
    if (c.section.open() && kind != SectionKind::rect_open) {
        for (double* side : {&c.section.slope_left, &c.section.slope_right}) {
            const double pick = r.unit();
            *side = pick < 0.1 ? r.pick(kOddValues) : pick < 0.3 ? 0.0 : r.log_uniform(-1.0, 1.0);
        }
    }
    return c;
}

// A call that either returns or throws the section invariant error.
template <typename F>
auto attempt(F f) -> std::optional<decltype(f())> {
    try {
        return f();
    } catch (const hy::SectionInvariantError&) {
        return std::nullopt;
    }
}

// Flows to ask a section for: around its peak, at its edges, and odd ones.
std::vector<double> flows_to_try(Random& r, double peak) {
    std::vector<double> flows{peak, std::nextafter(peak, 0.0), std::nextafter(peak, kInf),
                              peak * r.unit(), peak * r.uniform(0.9, 1.0)};
    flows.push_back(r.unit() < 0.5 ? r.pick(kOddValues) : r.log_uniform(-3.0, 3.0));
    return flows;
}

// Banks a designer might draw: vertical, or between 1:1000 and 1000:1.
bool ordinary_sides(const Section& s) {
    const auto ordinary = [](double z) { return z == 0.0 || (z >= 1e-3 && z <= 1e3); };
    return ordinary(s.slope_left) && ordinary(s.slope_right);
}

class Exactness : public ::testing::TestWithParam<Shard> {};

// Peak scan, normal depth, critical depth, flow and geometry of random sections.
TEST_P(Exactness, SectionsMatchTheReferenceToTheBit) {
    const SectionKind kind = GetParam().kind;
    Random r(shard_seed(0x5EC7, GetParam()));
    const int total = share(counts(kind).sections, GetParam().index);
    int mismatches = 0;
    int windowed = 0;
    int design = 0;
    for (int i = 0; i < total && mismatches < 10; ++i) {
        const Case c = random_case(r, kind);
        const auto fast = attempt([&] { return hy::peak_flow_scan(c.section, c.n, c.slope, c.k); });
        const auto ref =
            attempt([&] { return hy::reference::peak_flow_scan(c.section, c.n, c.slope, c.k); });
        if (fast.has_value() != ref.has_value() ||
            (fast && (!same_bits(fast->flow, ref->flow) || !same_bits(fast->depth, ref->depth)))) {
            ADD_FAILURE() << "peak scan of " << describe(c) << ": fast "
                          << (fast ? show(fast->flow) + " at " + show(fast->depth) : "throws")
                          << ", reference "
                          << (ref ? show(ref->flow) + " at " + show(ref->depth) : "throws");
            ++mismatches;
            continue;
        }
        if (!ref) continue;  // a rise the invariant refuses; both refused it

        // Ordinary pipes must take the window, not fall back to the full scan.
        const bool ordinary = c.section.rise >= 0.01 && c.section.rise <= 100.0 && c.n >= 1e-3 &&
                              c.n <= 1.0 && c.slope > 1e-9 && c.slope < 10.0 &&
                              c.section.span / c.section.rise >= 0.1 &&
                              c.section.span / c.section.rise <= 10.0 &&
                              (c.k == hy::kManningUs || c.k == hy::kManningSi) &&
                              ordinary_sides(c.section);
        if (ordinary) {
            ++design;
            const auto window = hy::windowed_peak(c.section, c.n, c.slope, c.k);
            windowed += window.has_value() ? 1 : 0;
        }

        for (const double q : flows_to_try(r, ref->flow)) {
            const auto nd_fast = hy::normal_depth(q, c.n, c.slope, c.section, c.k, *fast);
            const auto nd_ref = hy::reference::normal_depth(q, c.n, c.slope, c.section, c.k, *ref);
            if (!same_bits(nd_fast, nd_ref)) {
                ADD_FAILURE() << "normal depth of " << show(q) << " in " << describe(c) << ": "
                              << show(nd_fast) << " vs " << show(nd_ref);
                ++mismatches;
            }
            const double g = r.unit() < 0.5 ? hy::kGravityUs : hy::kGravitySi;
            const double yc_fast = hy::critical_depth(q, c.section, g);
            const double yc_ref = hy::reference::critical_depth(q, c.section, g);
            if (!same_bits(yc_fast, yc_ref)) {
                ADD_FAILURE() << "critical depth of " << show(q) << " in " << describe(c) << ": "
                              << show(yc_fast) << " vs " << show(yc_ref);
                ++mismatches;
            }
        }

        const double depth =
            r.unit() < 0.2 ? r.pick(kOddValues) : c.section.rise * r.uniform(-0.1, 1.1);
        if (!same_bits(hy::manning_flow(c.section, c.n, c.slope, depth, c.k),
                       hy::reference::manning_flow(c.section, c.n, c.slope, depth, c.k))) {
            ADD_FAILURE() << "flow at " << show(depth) << " in " << describe(c);
            ++mismatches;
        }
        const hy::SectionGeometry full = c.section.geometry(depth);
        for (const hy::GeometryParts parts :
             {hy::GeometryParts::area, hy::GeometryParts::conveyance, hy::GeometryParts::surface}) {
            const hy::SectionGeometry part = c.section.geometry(depth, parts);
            const bool perimeter = parts == hy::GeometryParts::conveyance;
            const bool top = parts == hy::GeometryParts::surface;
            if (!same_bits(part.area, full.area) ||
                (perimeter && (!same_bits(part.wetted_perimeter, full.wetted_perimeter) ||
                               !same_bits(part.hydraulic_radius, full.hydraulic_radius))) ||
                (top && !same_bits(part.top_width, full.top_width))) {
                ADD_FAILURE() << "geometry parts at " << show(depth) << " in " << describe(c);
                ++mismatches;
            }
        }
    }
    EXPECT_EQ(mismatches, 0);
    // The point of the window is speed: it must serve every ordinary pipe.
    EXPECT_EQ(windowed, design) << "ordinary sections scanned in full";
}

// Backwater profiles through pipes of every state: random flows, lengths, slopes and outlet
// levels, including the odd values the design pass can hand over.
TEST_P(Exactness, BackwaterProfilesMatchTheReferenceToTheBit) {
    const SectionKind kind = GetParam().kind;
    Random r(shard_seed(0xBAC4, GetParam()));
    const int total = share(counts(kind).profiles, GetParam().index);
    int mismatches = 0;
    for (int i = 0; i < total && mismatches < 10; ++i) {
        const Case c = random_case(r, kind);
        if (!(c.section.rise >= 0.0)) continue;  // the design pass refuses such pipes
        network::Conduit conduit;
        conduit.section = c.section;
        conduit.n = r.unit() < 0.9 ? r.uniform(0.01, 0.03) : c.n;
        conduit.length = r.unit() < 0.9 ? r.uniform(20.0, 500.0) : r.pick(kOddValues);
        conduit.z_dn = r.uniform(90.0, 110.0);
        const double slope = r.unit() < 0.9 ? r.uniform(-0.001, 0.05) : r.pick(kOddValues);
        const double run = std::isfinite(conduit.length) ? conduit.length : 100.0;
        conduit.z_up = conduit.z_dn + slope * run;
        const auto capacity = attempt([&] {
            return hy::peak_flow_scan(c.section, conduit.n, std::fmax(slope, 0.001),
                                      hy::kManningUs);
        });
        const double peak = capacity ? capacity->flow : 1.0;
        conduit.q = r.unit() < 0.9 ? peak * r.uniform(0.01, 1.2) : r.pick(kOddValues);
        const auto y_n = attempt([&] {
            return hy::normal_depth(conduit.q, conduit.n, std::fmax(slope, 0.001), c.section,
                                    hy::kManningUs);
        });
        conduit.y_n = y_n && *y_n ? **y_n : c.section.rise;
        conduit.y_c = attempt([&] {
                          return hy::critical_depth(conduit.q, c.section, hy::kGravityUs);
                      }).value_or(0.0);
        const double h_v = r.unit() < 0.9
                               ? conduit.z_dn + c.section.rise * r.uniform(-0.5, 2.5)
                               : conduit.z_dn + r.pick(kOddValues);
        const auto fast = attempt([&] { return network::backwater_surface(conduit, h_v); });
        const auto ref =
            attempt([&] { return network::reference::backwater_surface(conduit, h_v); });
        if (fast.has_value() != ref.has_value() || (fast && !same_bits(*fast, *ref))) {
            ADD_FAILURE() << "profile of q " << show(conduit.q) << ", L " << show(conduit.length)
                          << ", S " << show(slope) << ", H_v " << show(h_v) << " in "
                          << describe(c) << ": " << (fast ? show(*fast) : "throws") << " vs "
                          << (ref ? show(*ref) : "throws");
            ++mismatches;
        }
    }
    EXPECT_EQ(mismatches, 0);
}

// Random sections almost never put two samples within rounding of each other at the top, so
// build such ties: for a sample pair (j, j + 1), bisect the span until the two flows cross, then
// run every span within rounding reach of the crossing. Whatever order rounding gives the two,
// the scan keeps the first of the largest and so must the fast path.
TEST(ExactnessAtTies, SamplesTiedAtThePeakKeepTheFirst) {
    struct Setting {
        SectionKind kind;
        double rise;
        double low_span;   // a span that puts the peak above sample j + 1
        double high_span;  // and one that puts it below sample j
        int j;
    };
    const Setting settings[] = {
        {SectionKind::elliptical, 2.0, 0.2, 30.0, 1830},
        {SectionKind::elliptical, 3.7, 0.3, 20.0, 1875},
        {SectionKind::elliptical, 1.3, 0.2, 25.0, 1910},
        {SectionKind::arch, 2.0, 0.04, 4.0, 1870},
        {SectionKind::arch, 5.5, 0.1, 11.0, 1930},
        {SectionKind::arch, 1.1, 0.02, 2.2, 1985},
    };
    const double n = 0.013;
    const double slope = 0.004;
    int ties = 0;
    for (const Setting& setting : settings) {
        const auto gap = [&](double span) {
            const Section s = make_section(setting.kind, setting.rise, span);
            const auto q = [&](int i) {
                return hy::reference::manning_flow(s, n, slope, i * setting.rise / hy::kScanPoints,
                                                   hy::kManningUs);
            };
            return q(setting.j) - q(setting.j + 1);
        };
        double a = setting.low_span;
        double b = setting.high_span;
        ASSERT_LT(gap(a), 0.0) << kind_name(setting.kind) << " j " << setting.j;
        ASSERT_GT(gap(b), 0.0) << kind_name(setting.kind) << " j " << setting.j;
        for (int step = 0; step < 200 && std::nextafter(a, b) != b; ++step) {
            const double mid = 0.5 * (a + b);
            (gap(mid) < 0.0 ? a : b) = mid;
        }
        // Rounding noise in the two flows spans a few 1e-12 of the span around the crossing.
        for (int k = -40; k <= 40; ++k) {
            const Section s = make_section(setting.kind, setting.rise, a * (1.0 + k * 5e-14));
            const hy::PeakFlow fast = hy::peak_flow_scan(s, n, slope, hy::kManningUs);
            const hy::PeakFlow ref = hy::reference::peak_flow_scan(s, n, slope, hy::kManningUs);
            EXPECT_TRUE(same_bits(fast.flow, ref.flow) && same_bits(fast.depth, ref.depth))
                << kind_name(setting.kind) << " rise " << show(s.rise) << " span " << show(s.span)
                << ": fast " << show(fast.flow) << " at " << show(fast.depth) << ", reference "
                << show(ref.flow) << " at " << show(ref.depth);
            const auto sample = [&](int i) {
                return hy::manning_flow(s, n, slope, i * s.rise / hy::kScanPoints, hy::kManningUs);
            };
            ties += sample(setting.j) == sample(setting.j + 1) ? 1 : 0;
        }
    }
    // The spans must really have produced exact ties for the test to mean anything.
    EXPECT_GT(ties, 20) << ties;
}

std::vector<Shard> every_shard() {
    std::vector<Shard> shards;
    for (const SectionKind kind : {SectionKind::circular, SectionKind::rectangular,
                                   SectionKind::elliptical, SectionKind::arch,
                                   SectionKind::trapezoid, SectionKind::rect_open,
                                   SectionKind::triangle}) {
        for (int i = 0; i < kShards; ++i) shards.push_back({kind, i});
    }
    return shards;
}

INSTANTIATE_TEST_SUITE_P(EveryKind, Exactness, ::testing::ValuesIn(every_shard()),
                         [](const ::testing::TestParamInfo<Shard>& shard) {
                             return kind_name(shard.param.kind) + "_shard" +
                                    std::to_string(shard.param.index);
                         });

bool same_pipe(const network::PipeResult& a, const network::PipeResult& b) {
    return same_bits(a.normal_depth, b.normal_depth) && same_bits(a.hgl_up, b.hgl_up) &&
           same_bits(a.hgl_dn, b.hgl_dn) && same_bits(a.slope, b.slope) &&
           same_bits(a.design_slope, b.design_slope) && same_bits(a.total_ca, b.total_ca) &&
           same_bits(a.intensity, b.intensity) && same_bits(a.tc, b.tc) &&
           same_bits(a.travel_time, b.travel_time) && same_bits(a.design_q, b.design_q) &&
           same_bits(a.capacity, b.capacity) && same_bits(a.peak_capacity, b.peak_capacity) &&
           same_bits(a.critical_depth, b.critical_depth) && same_bits(a.velocity, b.velocity) &&
           same_bits(a.full_flow_velocity, b.full_flow_velocity) &&
           same_bits(a.pct_full, b.pct_full) && a.over_peak == b.over_peak && a.surcharged == b.surcharged && a.id == b.id;
}

bool same_node(const network::NodeResult& a, const network::NodeResult& b) {
    return a.id == b.id && same_bits(a.tc, b.tc) && same_bits(a.hgl, b.hgl) &&
           same_bits(a.rim, b.rim) && a.floods == b.floods && a.kind == b.kind;
}

// The benchmark networks themselves: reproducible, of the promised size and shape, dendritic,
// and with the odd pipes the suite promises.
TEST(BenchmarkNetworks, SameSeedSameNetworkOtherSeedAnother) {
    const bench::GeneratedNetwork a = bench::generate_network(1000, bench::ShapeMix::circular, 7);
    const bench::GeneratedNetwork b = bench::generate_network(1000, bench::ShapeMix::circular, 7);
    const bench::GeneratedNetwork c = bench::generate_network(1000, bench::ShapeMix::circular, 8);
    EXPECT_EQ(bench::to_rwn(a), bench::to_rwn(b));
    EXPECT_EQ(bench::to_rwproj(a, "x"), bench::to_rwproj(b, "x"));
    EXPECT_NE(bench::to_rwn(a), bench::to_rwn(c));
}

TEST(BenchmarkNetworks, DendriticWithFlatAdverseAndSurchargedPipes) {
    for (const bench::ShapeMix mix : bench::kShapeMixes) {
        const bench::GeneratedNetwork g = bench::generate_network(2000, mix);
        const std::string name(bench::mix_name(mix));
        ASSERT_EQ(g.network.pipes.size(), 2000u) << name;
        std::unordered_map<std::string, std::size_t> ids;
        for (std::size_t i = 0; i < g.network.nodes.size(); ++i) ids.emplace(g.network.nodes[i].id, i);
        ASSERT_EQ(ids.size(), g.network.nodes.size()) << name << ": ids are unique";
        std::vector<int> outflows(g.network.nodes.size(), 0);
        const SectionKind kind = mix == bench::ShapeMix::box          ? SectionKind::rectangular
                                 : mix == bench::ShapeMix::elliptical ? SectionKind::elliptical
                                 : mix == bench::ShapeMix::arch       ? SectionKind::arch
                                                                      : SectionKind::circular;
        for (const network::Pipe& pipe : g.network.pipes) {
            ++outflows[ids.at(pipe.from)];
            EXPECT_EQ(pipe.section.kind, kind) << name;
            EXPECT_GT(pipe.section.rise, 0.0) << name;
        }
        int outfalls = 0;
        for (std::size_t v = 0; v < g.network.nodes.size(); ++v) {
            const bool outfall = g.network.nodes[v].kind == network::NodeKind::outfall;
            outfalls += outfall ? 1 : 0;
            // A tree: every structure drains through exactly one pipe, outfalls through none.
            EXPECT_EQ(outflows[v], outfall ? 0 : 1) << name << " " << g.network.nodes[v].id;
        }
        EXPECT_GT(outfalls, 1) << name;

        const auto outcome = network::analyze(g.network, g.idf, g.options);
        ASSERT_TRUE(std::holds_alternative<network::Analysis>(outcome)) << name;
        int flat = 0;
        int adverse = 0;
        int surcharged = 0;
        int part_full = 0;
        for (const network::PipeResult& p : std::get<network::Analysis>(outcome).pipes) {
            flat += std::fabs(p.slope) < 1e-6 ? 1 : 0;
            adverse += p.slope < -1e-6 ? 1 : 0;
            surcharged += p.over_peak && p.slope > 0.0 ? 1 : 0;
            part_full += p.normal_depth && *p.normal_depth > 0.0 ? 1 : 0;
        }
        EXPECT_GT(flat, 20) << name;
        EXPECT_GT(adverse, 20) << name;
        EXPECT_GT(part_full, 1500) << name;
        if (mix != bench::ShapeMix::box) {  // a box's peak sits far above its full-flow chart
            EXPECT_GT(surcharged, 0) << name;
        }
    }
}

struct BenchNetwork {
    bench::ShapeMix mix;
    std::size_t size;
};

class NetworkExactness : public ::testing::TestWithParam<BenchNetwork> {};

// Each benchmark network; the everyday run leaves out those above 10,000 pipes, and the
// elliptical ones above 1,000 (the reference analysis of the 10,000-pipe one alone takes about a
// minute).
TEST_P(NetworkExactness, MatchesTheReferenceToTheBit) {
    const auto [mix, size] = GetParam();
    const std::size_t limit = (mix == bench::ShapeMix::elliptical ? 1000 : 10000) / kShare;
    if (size > limit && !exhaustive()) GTEST_SKIP() << "RILLWAY_EXHAUSTIVE=1 runs this one";
    const bench::GeneratedNetwork generated = bench::generate_network(size, mix);
    const auto fast = network::analyze(generated.network, generated.idf, generated.options);
    const auto ref = network::reference::analyze(generated.network, generated.idf, generated.options);
    ASSERT_TRUE(std::holds_alternative<network::Analysis>(fast));
    ASSERT_TRUE(std::holds_alternative<network::Analysis>(ref));
    const auto& a = std::get<network::Analysis>(fast);
    const auto& b = std::get<network::Analysis>(ref);
    ASSERT_EQ(a.pipes.size(), size);
    ASSERT_EQ(b.pipes.size(), size);
    ASSERT_EQ(a.nodes.size(), b.nodes.size());
    int differing = 0;
    for (std::size_t p = 0; p < size; ++p) {
        if (!same_pipe(a.pipes[p], b.pipes[p]) && differing++ < 5) {
            ADD_FAILURE() << bench::bench_stem(mix, size) << " pipe " << a.pipes[p].id;
        }
    }
    for (std::size_t v = 0; v < a.nodes.size(); ++v) {
        if (!same_node(a.nodes[v], b.nodes[v]) && differing++ < 5) {
            ADD_FAILURE() << bench::bench_stem(mix, size) << " node " << a.nodes[v].id;
        }
    }
    EXPECT_EQ(differing, 0) << bench::bench_stem(mix, size);
}

std::vector<BenchNetwork> every_bench_network() {
    std::vector<BenchNetwork> networks;
    for (const bench::ShapeMix mix : bench::kShapeMixes) {
        for (const std::size_t size : bench::kBenchSizes) networks.push_back({mix, size});
    }
    return networks;
}

INSTANTIATE_TEST_SUITE_P(EveryBenchNetwork, NetworkExactness,
                         ::testing::ValuesIn(every_bench_network()),
                         [](const ::testing::TestParamInfo<BenchNetwork>& network) {
                             return bench::bench_stem(network.param.mix, network.param.size);
                         });

}  // namespace
}  // namespace rillway
