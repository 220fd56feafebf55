#pragma once
// Synthetic storm-sewer networks for the benchmarks and the exactness tests.
//
// A network is a forest of dendritic trees: inlets at the leaves, junctions where branches
// meet, trunks growing towards one outfall per tree. Plan lengths, slopes, areas, runoff
// coefficients and pipe sizes are drawn from ranges a design office would recognise; pipes are
// sized from the accumulated C*A with a random margin, so some come out undersized
// (surcharged), and a few per cent are laid flat or adverse on purpose.
//
// Everything is drawn from one seeded generator with integer arithmetic, so the same seed gives
// the same network on every machine that rounds IEEE doubles the same way.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "network/network.hpp"

namespace rillway::bench {

// Every pipe of a network has the section kind of its mix.
enum class ShapeMix { circular, box, elliptical, arch };

inline constexpr ShapeMix kShapeMixes[] = {ShapeMix::circular, ShapeMix::box,
                                           ShapeMix::elliptical, ShapeMix::arch};
inline constexpr std::size_t kBenchSizes[] = {100, 1000, 10000, 100000};
inline constexpr std::uint64_t kBenchSeed = 20240611;

[[nodiscard]] std::string_view mix_name(ShapeMix mix) noexcept;

struct GeneratedNetwork {
    network::Network network;
    network::IdfParams idf;
    network::DesignOptions options;  // what both text forms can express
};

// A network of exactly `pipes` pipes.
[[nodiscard]] GeneratedNetwork generate_network(std::size_t pipes, ShapeMix mix,
                                                std::uint64_t seed = kBenchSeed);

// The .rwn text of a network whose pipes are all circular and take their nodes' inverts.
[[nodiscard]] std::string to_rwn(const GeneratedNetwork& generated);

// The .rwproj text (US customary units) of any generated network.
[[nodiscard]] std::string to_rwproj(const GeneratedNetwork& generated, std::string_view name);

// File stem of a benchmark network, e.g. "circular_10000".
[[nodiscard]] std::string bench_stem(ShapeMix mix, std::size_t pipes);

}  // namespace rillway::bench
