// The C++ side of the benchmark suite: writes the benchmark networks, measures the analysis's
// peak heap, times the fast evaluation against the reference one, and gives callgrind a single
// analysis to count. bench/run.py drives it; every command prints one JSON object per line.
//
//   rillway_bench generate DIR               every network as DIR/<mix>_<pipes>.rwproj (+ .rwn)
//   rillway_bench memory FILE...             parse each file, analyse it, report the peak heap
//   rillway_bench compare MIX PIPES REPEATS  fast and reference side by side, results compared
//   rillway_bench analyze MIX PIPES [reference]   one analysis, for callgrind

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "formats/project/project.hpp"
#include "formats/text/file.hpp"
#include "network/analysis.hpp"
#include "network_generator.hpp"
#include "reference/analysis.hpp"
#include "formats/rwn/rwn.hpp"

// Heap accounting for the whole program: live bytes and their high-water mark. Every block
// carries its size in a header of one maximal alignment.
namespace {

std::size_t g_live = 0;
std::size_t g_peak = 0;
constexpr std::size_t kHeader = alignof(std::max_align_t);

void* counted_alloc(std::size_t size) {
    void* base = std::malloc(size + kHeader);
    if (base == nullptr) throw std::bad_alloc();
    *static_cast<std::size_t*>(base) = size;
    g_live += size;
    g_peak = std::max(g_peak, g_live);
    return static_cast<char*>(base) + kHeader;
}

void counted_free(void* block) noexcept {
    if (block == nullptr) return;
    void* base = static_cast<char*>(block) - kHeader;
    g_live -= *static_cast<std::size_t*>(base);
    std::free(base);
}

}  // namespace

void* operator new(std::size_t size) { return counted_alloc(size); }
void* operator new[](std::size_t size) { return counted_alloc(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return counted_alloc(size);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept {
    return operator new(size, tag);
}
void operator delete(void* block) noexcept { counted_free(block); }
void operator delete[](void* block) noexcept { counted_free(block); }
void operator delete(void* block, std::size_t) noexcept { counted_free(block); }
void operator delete[](void* block, std::size_t) noexcept { counted_free(block); }

namespace {

using namespace rillway;
using Clock = std::chrono::steady_clock;

struct Loaded {
    network::Network network;
    network::IdfParams idf;
    network::DesignOptions options;
};

// The network of a .rwn or .rwproj file, read the way the module's entry points read it.
std::variant<Loaded, std::string> load(const std::string& path) {
    auto contents = formats::read_utf8_file(path);
    if (const auto* error = std::get_if<formats::ReadError>(&contents)) return error->description;
    const std::string& text = std::get<std::string>(contents);
    if (path.ends_with(".rwn")) {
        auto parsed = formats::parse_rwn(text);
        if (const auto* message = std::get_if<std::string>(&parsed)) return *message;
        auto& document = std::get<formats::RwnDocument>(parsed);
        return Loaded{std::move(document.network), document.idf, document.options};
    }
    auto read = formats::project::read_project(text);
    if (const auto* message = std::get_if<std::string>(&read)) return *message;
    const auto& project = std::get<formats::project::Project>(read);
    return Loaded{project.to_analysis_network(), project.idf(), project.design_options()};
}

std::optional<bench::ShapeMix> mix_named(std::string_view name) {
    for (const bench::ShapeMix mix : bench::kShapeMixes) {
        if (bench::mix_name(mix) == name) return mix;
    }
    return std::nullopt;
}

bool write_file(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
    return static_cast<bool>(out);
}

int generate(const std::string& dir) {
    for (const bench::ShapeMix mix : bench::kShapeMixes) {
        for (const std::size_t pipes : bench::kBenchSizes) {
            const bench::GeneratedNetwork generated = bench::generate_network(pipes, mix);
            const std::string name = bench::bench_stem(mix, pipes);
            const std::string stem = dir + "/" + name;
            const bool round = mix == bench::ShapeMix::circular;
            const bool written =
                write_file(stem + ".rwproj", bench::to_rwproj(generated, name)) &&
                (!round || write_file(stem + ".rwn", bench::to_rwn(generated)));
            if (!written) {
                std::fprintf(stderr, "cannot write %s\n", stem.c_str());
                return 1;
            }
        }
    }
    std::printf("{\"generated\": \"%s\"}\n", dir.c_str());
    return 0;
}

int memory(const std::vector<std::string>& paths) {
    for (const std::string& path : paths) {
        auto loaded = load(path);
        if (const auto* message = std::get_if<std::string>(&loaded)) {
            std::fprintf(stderr, "%s: %s\n", path.c_str(), message->c_str());
            return 1;
        }
        const Loaded& input = std::get<Loaded>(loaded);
        const std::size_t before = g_live;
        g_peak = g_live;
        const auto start = Clock::now();
        const network::AnalysisOutcome outcome =
            network::analyze(input.network, input.idf, input.options);
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        if (!std::holds_alternative<network::Analysis>(outcome)) {
            std::fprintf(stderr, "%s: %s\n", path.c_str(),
                         network::display(std::get<network::NetworkError>(outcome)).c_str());
            return 1;
        }
        std::printf("{\"file\": \"%s\", \"pipes\": %zu, \"peak_bytes\": %zu, \"seconds\": %.6f}\n",
                    path.c_str(), input.network.pipes.size(), g_peak - before, seconds);
    }
    return 0;
}

bool same_bits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }
bool same_bits(const std::optional<double>& a, const std::optional<double>& b) {
    return a.has_value() == b.has_value() && (!a || same_bits(*a, *b));
}

// Counts the result fields that differ between two analyses.
std::size_t differences(const network::Analysis& a, const network::Analysis& b) {
    std::size_t count = 0;
    for (std::size_t p = 0; p < a.pipes.size(); ++p) {
        const network::PipeResult& x = a.pipes[p];
        const network::PipeResult& y = b.pipes[p];
        const bool same =
            same_bits(x.normal_depth, y.normal_depth) && same_bits(x.hgl_up, y.hgl_up) &&
            same_bits(x.hgl_dn, y.hgl_dn) && same_bits(x.tc, y.tc) &&
            same_bits(x.intensity, y.intensity) &&
            same_bits(x.travel_time, y.travel_time) && same_bits(x.design_q, y.design_q) &&
            same_bits(x.capacity, y.capacity) && same_bits(x.peak_capacity, y.peak_capacity) &&
            same_bits(x.critical_depth, y.critical_depth) && same_bits(x.velocity, y.velocity) &&
            same_bits(x.pct_full, y.pct_full) && x.surcharged == y.surcharged;
        count += same ? 0 : 1;
    }
    for (std::size_t v = 0; v < a.nodes.size(); ++v) {
        const bool same = same_bits(a.nodes[v].hgl, b.nodes[v].hgl) &&
                          same_bits(a.nodes[v].tc, b.nodes[v].tc) &&
                          a.nodes[v].floods == b.nodes[v].floods;
        count += same ? 0 : 1;
    }
    return count;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 == 1 ? values[n / 2] : 0.5 * (values[n / 2 - 1] + values[n / 2]);
}

// Alternates the two evaluations so that both see the same machine load.
int compare(bench::ShapeMix mix, std::size_t pipes, int repeats) {
    const bench::GeneratedNetwork g = bench::generate_network(pipes, mix);
    std::vector<double> fast_times;
    std::vector<double> reference_times;
    std::size_t differing = 0;
    for (int r = 0; r < repeats; ++r) {
        auto start = Clock::now();
        const auto fast = network::analyze(g.network, g.idf, g.options);
        fast_times.push_back(std::chrono::duration<double>(Clock::now() - start).count());
        start = Clock::now();
        const auto reference =
            network::reference::analyze(g.network, g.idf, g.options);
        reference_times.push_back(std::chrono::duration<double>(Clock::now() - start).count());
        differing += differences(std::get<network::Analysis>(fast),
                                 std::get<network::Analysis>(reference));
    }
    const double fast_median = median(fast_times);
    const double reference_median = median(reference_times);
    std::printf("{\"mix\": \"%s\", \"pipes\": %zu, \"repeats\": %d, \"fast_seconds\": %.6f, "
                "\"reference_seconds\": %.6f, \"ratio\": %.2f, \"differing\": %zu}\n",
                std::string(bench::mix_name(mix)).c_str(), pipes, repeats, fast_median,
                reference_median, reference_median / fast_median, differing);
    return differing == 0 ? 0 : 1;
}

// One analysis and nothing else worth counting: callgrind is told to count inside analyze().
int analyze_once(bench::ShapeMix mix, std::size_t pipes, bool reference) {
    const bench::GeneratedNetwork g = bench::generate_network(pipes, mix);
    const auto outcome = reference ? network::reference::analyze(g.network, g.idf, g.options)
                                   : network::analyze(g.network, g.idf, g.options);
    const auto& analysis = std::get<network::Analysis>(outcome);
    std::printf("{\"mix\": \"%s\", \"pipes\": %zu, \"reference\": %s}\n",
                std::string(bench::mix_name(mix)).c_str(), analysis.pipes.size(),
                reference ? "true" : "false");
    return 0;
}

int usage() {
    std::fprintf(stderr,
                 "usage: rillway_bench generate DIR\n"
                 "       rillway_bench memory FILE...\n"
                 "       rillway_bench compare MIX PIPES REPEATS\n"
                 "       rillway_bench analyze MIX PIPES [reference]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) return usage();
    const std::string& command = args[0];
    if (command == "generate" && args.size() == 2) return generate(args[1]);
    if (command == "memory" && args.size() >= 2) return memory({args.begin() + 1, args.end()});
    if ((command == "compare" && args.size() == 4) ||
        (command == "analyze" && (args.size() == 3 || args.size() == 4))) {
        const auto mix = mix_named(args[1]);
        const std::size_t pipes = std::strtoul(args[2].c_str(), nullptr, 10);
        if (!mix || pipes == 0) return usage();
        if (command == "compare") return compare(*mix, pipes, std::atoi(args[3].c_str()));
        const bool reference = args.size() == 4 && args[3] == "reference";
        return analyze_once(*mix, pipes, reference);
    }
    return usage();
}
