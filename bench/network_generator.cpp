#include "network_generator.hpp"

#include <array>
#include <charconv>
#include <cmath>
#include <span>
#include <utility>
#include <vector>

#include "hydraulics/section.hpp"

namespace rillway::bench {

namespace {

using hydraulics::Section;
using network::Node;
using network::NodeKind;
using network::Pipe;

// splitmix64: tiny, fast and the same on every platform.
class Random {
public:
    explicit Random(std::uint64_t seed) : state_(seed) {}

    std::uint64_t next() noexcept {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }
    // Uniform in [0, 1) from the top 53 bits.
    double unit() noexcept { return static_cast<double>(next() >> 11) * 0x1.0p-53; }
    double uniform(double lo, double hi) noexcept { return lo + (hi - lo) * unit(); }
    std::size_t below(std::size_t bound) noexcept {
        return static_cast<std::size_t>(next() % bound);
    }

private:
    std::uint64_t state_;
};

double round_to(double value, double step) { return std::round(value / step) * step; }

// Sixteen plan headings as fixed unit vectors, so no trigonometry enters the layout.
constexpr double kCos22 = 0.9238795325112867;  // cos 22.5 degrees
constexpr double kSin22 = 0.3826834323650898;
constexpr double kCos45 = 0.7071067811865476;
constexpr std::array<std::array<double, 2>, 16> kHeadings{{
    {1.0, 0.0}, {kCos22, kSin22}, {kCos45, kCos45}, {kSin22, kCos22},
    {0.0, 1.0}, {-kSin22, kCos22}, {-kCos45, kCos45}, {-kCos22, kSin22},
    {-1.0, 0.0}, {-kCos22, -kSin22}, {-kCos45, -kCos45}, {-kSin22, -kCos22},
    {0.0, -1.0}, {kSin22, -kCos22}, {kCos45, -kCos45}, {kCos22, -kSin22},
}};

struct SizeChoice {
    double rise;
    double span;
};

// Standard catalogue sizes in feet, smallest first: reinforced-concrete round pipe, precast
// box culverts (rise x span), horizontal elliptical pipe and corrugated-metal pipe-arch.
constexpr double kInch = 1.0 / 12.0;
constexpr std::array<double, 23> kRoundDiameters{
    1.0, 1.25, 1.5, 1.75, 2.0, 2.25, 2.5, 2.75, 3.0, 3.5, 4.0, 4.5,
    5.0, 5.5, 6.0, 6.5, 7.0, 7.5, 8.0, 9.0, 10.0, 11.0, 12.0};
constexpr std::array<SizeChoice, 19> kBoxSizes{{
    {2, 2}, {2, 3}, {3, 3}, {3, 4}, {4, 4}, {4, 5}, {5, 5}, {4, 6}, {5, 6}, {6, 6},
    {5, 7}, {6, 8}, {8, 8}, {6, 10}, {8, 10}, {10, 10}, {8, 12}, {10, 12}, {12, 12}}};
constexpr std::array<SizeChoice, 22> kEllipseSizes{{
    {14 * kInch, 23 * kInch}, {19 * kInch, 30 * kInch}, {22 * kInch, 34 * kInch},
    {24 * kInch, 38 * kInch}, {27 * kInch, 42 * kInch}, {29 * kInch, 45 * kInch},
    {32 * kInch, 49 * kInch}, {34 * kInch, 53 * kInch}, {38 * kInch, 60 * kInch},
    {43 * kInch, 68 * kInch}, {48 * kInch, 76 * kInch}, {53 * kInch, 83 * kInch},
    {58 * kInch, 91 * kInch}, {63 * kInch, 98 * kInch}, {68 * kInch, 106 * kInch},
    {72 * kInch, 113 * kInch}, {77 * kInch, 121 * kInch}, {82 * kInch, 128 * kInch},
    {87 * kInch, 136 * kInch}, {92 * kInch, 143 * kInch}, {106 * kInch, 166 * kInch},
    {116 * kInch, 180 * kInch}}};
constexpr std::array<SizeChoice, 18> kArchSizes{{
    {13 * kInch, 17 * kInch}, {15 * kInch, 21 * kInch}, {18 * kInch, 24 * kInch},
    {20 * kInch, 28 * kInch}, {24 * kInch, 35 * kInch}, {29 * kInch, 42 * kInch},
    {33 * kInch, 49 * kInch}, {38 * kInch, 57 * kInch}, {43 * kInch, 64 * kInch},
    {47 * kInch, 71 * kInch}, {52 * kInch, 77 * kInch}, {57 * kInch, 83 * kInch},
    {64 * kInch, 95 * kInch}, {71 * kInch, 103 * kInch}, {77 * kInch, 112 * kInch},
    {83 * kInch, 117 * kInch}, {91 * kInch, 128 * kInch}, {101 * kInch, 142 * kInch}}};

Section section_of(ShapeMix mix, SizeChoice size) {
    switch (mix) {
        case ShapeMix::circular: return Section::circular(size.rise);
        case ShapeMix::box: return Section::rectangular(size.rise, size.span);
        case ShapeMix::elliptical: return Section::elliptical(size.rise, size.span);
        case ShapeMix::arch: return Section::arch(size.rise, size.span);
    }
    return {};
}

std::vector<SizeChoice> catalogue(ShapeMix mix) {
    std::vector<SizeChoice> sizes;
    switch (mix) {
        case ShapeMix::circular:
            for (const double d : kRoundDiameters) sizes.push_back({d, d});
            break;
        case ShapeMix::box: sizes.assign(kBoxSizes.begin(), kBoxSizes.end()); break;
        case ShapeMix::elliptical: sizes.assign(kEllipseSizes.begin(), kEllipseSizes.end()); break;
        case ShapeMix::arch: sizes.assign(kArchSizes.begin(), kArchSizes.end()); break;
    }
    return sizes;
}

// Just-full Manning capacity (cfs) of a section at a slope, as a designer's chart gives it.
double full_capacity(const Section& section, double n, double slope) {
    return 1.486 / n * section.full_area() *
           std::pow(section.full_hydraulic_radius(), 2.0 / 3.0) * std::sqrt(slope);
}

double roughness(ShapeMix mix, Random& random) {
    switch (mix) {
        case ShapeMix::arch: return 0.024;  // corrugated metal
        case ShapeMix::box: return 0.013;
        default: return random.unit() < 0.8 ? 0.013 : 0.012;
    }
}

Pipe make_pipe(ShapeMix mix, std::string id, std::string from, std::string to, double length,
               SizeChoice size, double n) {
    switch (mix) {
        case ShapeMix::circular:
            return Pipe::circular(std::move(id), std::move(from), std::move(to), length,
                                  size.rise, n);
        case ShapeMix::box:
            return Pipe::rectangular(std::move(id), std::move(from), std::move(to), length,
                                     size.rise, size.span, n);
        case ShapeMix::elliptical:
            return Pipe::elliptical(std::move(id), std::move(from), std::move(to), length,
                                    size.rise, size.span, n);
        case ShapeMix::arch:
            return Pipe::arch(std::move(id), std::move(from), std::move(to), length, size.rise,
                              size.span, n);
    }
    return {};
}

// The tree before it becomes a Network: one record per node, the pipe of a non-outfall node
// being the one that leaves it towards `down`.
struct Draft {
    std::size_t down = 0;  // downstream node; unused for outfalls
    std::size_t inflows = 0;
    int heading = 0;
    double x = 0.0;
    double y = 0.0;
    double invert = 0.0;
    double length = 0.0;  // of the pipe leaving the node
    bool outfall = false;
};

// Geometric slope of a pipe: trunks carrying large areas are laid flatter than laterals, and a
// few laterals are flat, adverse or steep.
double draw_slope(Random& random, double ca) {
    if (ca > 40.0) return random.uniform(0.0015, 0.005);
    if (ca > 8.0) return random.uniform(0.003, 0.01);
    const double r = random.unit();
    if (r < 0.05) return 0.0;
    if (r < 0.09) return -random.uniform(0.0005, 0.003);
    if (r < 0.15) return random.uniform(0.03, 0.06);
    return random.uniform(0.005, 0.02);
}

// The shortest text that reads back to the same double.
std::string number(double value) {
    std::array<char, 32> buffer{};
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
    return std::string(buffer.data(), result.ptr);
}

std::string label(std::string_view prefix, std::size_t number) {
    std::string text(prefix);
    text += std::to_string(number);
    return text;
}

template <typename... Pieces>
void put(std::string& out, const Pieces&... pieces) {
    (out.append(pieces), ...);
}

const char* kind_word(NodeKind kind) {
    switch (kind) {
        case NodeKind::outfall: return "outfall";
        case NodeKind::junction: return "junction";
        case NodeKind::inlet: return "inlet";
    }
    return "inlet";
}

}  // namespace

std::string_view mix_name(ShapeMix mix) noexcept {
    switch (mix) {
        case ShapeMix::circular: return "circular";
        case ShapeMix::box: return "box";
        case ShapeMix::elliptical: return "elliptical";
        case ShapeMix::arch: return "arch";
    }
    return "";
}

std::string bench_stem(ShapeMix mix, std::size_t pipes) {
    std::string stem(mix_name(mix));
    stem += '_';
    stem += std::to_string(pipes);
    return stem;
}

GeneratedNetwork generate_network(std::size_t pipes, ShapeMix mix, std::uint64_t seed) {
    Random random(seed ^ (static_cast<std::uint64_t>(mix) << 56) ^ pipes);
    const std::size_t outfalls = 1 + pipes / 400;

    // Grow the forest: chains of 1 to 12 pipes hung from any structure with fewer than three
    // inflows, which gives long trunks with laterals of every length. The trees take chains in
    // turn, so each outfall drains about the same number of pipes.
    std::vector<Draft> drafts;
    drafts.reserve(outfalls + pipes);
    std::vector<std::vector<std::size_t>> open(outfalls);  // per tree: structures with room
    for (std::size_t k = 0; k < outfalls; ++k) {
        Draft outfall;
        outfall.outfall = true;
        outfall.x = round_to(static_cast<double>(k) * 5000.0 + random.uniform(0.0, 500.0), 0.01);
        outfall.y = round_to(random.uniform(0.0, 500.0), 0.01);
        outfall.invert = round_to(random.uniform(95.0, 105.0), 0.01);
        outfall.heading = static_cast<int>(random.below(16));
        open[k].push_back(drafts.size());
        drafts.push_back(outfall);
    }
    std::size_t made = 0;
    for (std::size_t chains = 0; made < pipes; ++chains) {
        std::vector<std::size_t>& tree = open[chains % outfalls];
        std::size_t current = tree[random.below(tree.size())];
        const std::size_t chain = 1 + random.below(12);
        for (std::size_t c = 0; c < chain && made < pipes; ++c) {
            Draft& parent = drafts[current];
            if (++parent.inflows == 3) {
                for (std::size_t& slot : tree) {  // full: swap-remove it
                    if (slot == current) {
                        slot = tree.back();
                        tree.pop_back();
                        break;
                    }
                }
            }
            Draft node;
            node.down = current;
            node.heading = (parent.heading + 16 + static_cast<int>(random.below(5)) - 2) % 16;
            node.length = round_to(random.uniform(80.0, 400.0), 0.1);
            const auto& unit = kHeadings[static_cast<std::size_t>(node.heading)];
            node.x = round_to(parent.x + node.length * unit[0], 0.01);
            node.y = round_to(parent.y + node.length * unit[1], 0.01);
            tree.push_back(drafts.size());
            drafts.push_back(node);
            current = drafts.size() - 1;
            ++made;
        }
    }

    // Areas and inlet times: every leaf is an inlet; structures with inflow are inlets with a
    // smaller area of their own or junctions without one.
    const std::size_t count = drafts.size();
    std::vector<double> area(count, 0.0);
    std::vector<double> c(count, 0.0);
    std::vector<double> tc(count, 0.0);
    std::vector<bool> junction(count, false);
    for (std::size_t v = 0; v < count; ++v) {
        if (drafts[v].outfall) continue;
        if (drafts[v].inflows == 0) {
            area[v] = round_to(random.uniform(0.15, 1.2), 0.01);
            c[v] = round_to(random.uniform(0.4, 0.9), 0.01);
            tc[v] = round_to(random.uniform(5.0, 15.0), 0.1);
        } else if (random.unit() < 0.6) {
            area[v] = round_to(random.uniform(0.1, 0.8), 0.01);
            c[v] = round_to(random.uniform(0.4, 0.9), 0.01);
            tc[v] = round_to(random.uniform(5.0, 12.0), 0.1);
        } else {
            junction[v] = true;
            tc[v] = 10.0;
        }
    }

    // C*A and an estimate of tc per structure. Drafts are created after their downstream
    // structure, so a reverse walk visits every node after all of its inflows.
    std::vector<double> ca(count, 0.0);
    std::vector<double> tc_estimate(count, 0.0);
    for (std::size_t v = 0; v < count; ++v) tc_estimate[v] = std::fmax(tc[v], 10.0);
    for (std::size_t v = count; v-- > 0;) {
        ca[v] += c[v] * area[v];
        if (drafts[v].outfall) continue;
        ca[drafts[v].down] += ca[v];
        // About 5 ft/s in the pipe on the way down.
        tc_estimate[drafts[v].down] =
            std::fmax(tc_estimate[drafts[v].down], tc_estimate[v] + drafts[v].length / 300.0);
    }
    // Inverts from the outfalls upstream, then a catalogue size for every pipe.
    for (std::size_t v = 0; v < count; ++v) {
        if (drafts[v].outfall) continue;
        const Draft& down = drafts[drafts[v].down];
        const double slope = draw_slope(random, ca[v]);
        drafts[v].invert = round_to(down.invert + slope * drafts[v].length, 0.01);
    }
    const network::IdfParams idf{60.0, 10.0, 0.8};
    std::vector<SizeChoice> size(count, SizeChoice{0.0, 0.0});
    std::vector<double> n(count, 0.0);
    const std::vector<SizeChoice> sizes = catalogue(mix);
    for (std::size_t v = 0; v < count; ++v) {
        if (drafts[v].outfall) continue;
        const double intensity = idf.a / std::pow(tc_estimate[v] + idf.b, idf.c);
        // Designers size with some margin, more on trunks whose losses add up downstream; the
        // estimate misses short inlet times, so a few pipes still come out undersized.
        const double margin = ca[v] > 40.0 ? random.uniform(1.2, 1.7) : random.uniform(0.85, 1.5);
        const double design_q = ca[v] * intensity * margin;
        const double slope = (drafts[v].invert - drafts[drafts[v].down].invert) / drafts[v].length;
        n[v] = roughness(mix, random);
        size[v] = sizes.back();
        for (const SizeChoice candidate : sizes) {
            const Section section = section_of(mix, candidate);
            if (full_capacity(section, n[v], std::fmax(slope, 0.001)) >= design_q) {
                size[v] = candidate;
                break;
            }
        }
    }

    GeneratedNetwork generated;
    generated.idf = idf;
    generated.options.min_tc = 10.0;
    generated.options.junction_k = 0.5;
    generated.options.min_slope = 0.001;
    network::Network& net = generated.network;
    net.nodes.reserve(count);
    net.pipes.reserve(pipes);
    std::vector<std::string> ids(count);
    std::size_t outfall_number = 0;
    std::size_t node_number = 0;
    for (std::size_t v = 0; v < count; ++v) {
        ids[v] = drafts[v].outfall ? label("OF", ++outfall_number) : label("S", ++node_number);
    }
    for (std::size_t v = 0; v < count; ++v) {
        const Draft& d = drafts[v];
        const double crown = d.outfall ? 4.0 : size[v].rise;
        const double rim = round_to(d.invert + crown + random.uniform(3.0, 8.0), 0.01);
        Node node = d.outfall   ? Node::outfall(ids[v], d.invert, rim)
                    : junction[v] ? Node::junction(ids[v], d.invert, rim, area[v], c[v])
                                  : Node::inlet(ids[v], d.invert, rim, area[v], c[v]);
        if (!d.outfall) node.tc = tc[v];
        node.x = d.x;
        node.y = d.y;
        net.nodes.push_back(std::move(node));
    }
    std::size_t pipe_number = 0;
    for (std::size_t v = 0; v < count; ++v) {
        if (drafts[v].outfall) continue;
        net.pipes.push_back(make_pipe(mix, label("P", ++pipe_number), ids[v],
                                      ids[drafts[v].down], drafts[v].length, size[v], n[v]));
    }
    return generated;
}

std::string to_rwn(const GeneratedNetwork& generated) {
    const network::Network& net = generated.network;
    const network::DesignOptions& o = generated.options;
    std::string text = "# rillway benchmark network\n";
    put(text, "IDF ", number(generated.idf.a), " ", number(generated.idf.b), " ",
        number(generated.idf.c), "\nMINTC ", number(o.min_tc), "\nMINSLOPE ", number(o.min_slope),
        "\nJUNCTIONK ", number(o.junction_k), "\n");
    for (const Node& node : net.nodes) {
        put(text, "NODE ", node.id, " ", kind_word(node.kind), " ", number(node.x), " ",
            number(node.y), " ", number(node.invert), " ", number(node.rim));
        if (node.kind != NodeKind::outfall) {
            put(text, " ", number(node.area), " ", number(node.c), " ", number(node.tc));
        }
        text += '\n';
    }
    for (const Pipe& pipe : net.pipes) {
        put(text, "PIPE ", pipe.id, " ", pipe.from, " ", pipe.to, " ", number(pipe.length), " ",
            number(pipe.section.rise), " ", number(pipe.n), "\n");
    }
    return text;
}

std::string to_rwproj(const GeneratedNetwork& generated, std::string_view name) {
    const network::Network& net = generated.network;
    const network::DesignOptions& o = generated.options;
    std::string text = "{\n";
    put(text, "  \"name\": \"", name, "\",\n  \"idf_a\": ", number(generated.idf.a),
        ",\n  \"idf_b\": ", number(generated.idf.b), ",\n  \"idf_c\": ", number(generated.idf.c),
        ",\n  \"tailwater\": null,\n  \"min_tc\": ", number(o.min_tc), ",\n  \"junction_k\": ",
        number(o.junction_k), ",\n  \"bend_loss_coeff\": ", number(o.bend_loss_coeff),
        ",\n  \"hec22_structure_loss\": false,\n  \"access_hole_diam_ft\": ",
        number(o.access_hole_diameter), ",\n  \"design_return_period_years\": 10.0,\n",
        "  \"min_slope\": ", number(o.min_slope), ",\n  \"nodes\": [");
    for (std::size_t v = 0; v < net.nodes.size(); ++v) {
        const Node& node = net.nodes[v];
        // A junction's 10-minute inlet time is the kind's default, written as 0.
        const double tc_inlet = node.kind == NodeKind::inlet ? node.tc : 0.0;
        put(text, v == 0 ? "\n" : ",\n", "    {\"id\": \"", node.id, "\", \"kind\": \"",
            kind_word(node.kind), "\", \"x\": ", number(node.x), ", \"y\": ", number(node.y),
            ", \"invert\": ", number(node.invert), ", \"rim\": ", number(node.rim),
            ", \"area_ac\": ", number(node.area), ", \"c\": ", number(node.c),
            ", \"tc_inlet\": ", number(tc_inlet), "}");
    }
    text += "\n  ],\n  \"pipes\": [";
    for (std::size_t p = 0; p < net.pipes.size(); ++p) {
        const Pipe& pipe = net.pipes[p];
        const hydraulics::Section& s = pipe.section;
        const char* shape = s.kind == hydraulics::SectionKind::rectangular ? "box"
                            : s.kind == hydraulics::SectionKind::elliptical ? "elliptical"
                            : s.kind == hydraulics::SectionKind::arch       ? "arch"
                                                                            : "circular";
        const bool round = s.kind == hydraulics::SectionKind::circular;
        put(text, p == 0 ? "\n" : ",\n", "    {\"id\": \"", pipe.id, "\", \"from\": \"", pipe.from,
            "\", \"to\": \"", pipe.to, "\", \"length\": ", number(pipe.length),
            ", \"diameter\": ", number(round ? s.rise : pipe.equivalent_diameter),
            ", \"n\": ", number(pipe.n), ", \"shape\": \"", shape, "\", \"rise_ft\": ",
            number(round ? 0.0 : s.rise), ", \"span_ft\": ", number(round ? 0.0 : s.span), "}");
    }
    text += "\n  ]\n}\n";
    return text;
}

}  // namespace rillway::bench
