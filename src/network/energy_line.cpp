#include "network/energy_line.hpp"

#include <cmath>
#include <limits>
#include <optional>

#include "hydraulics/constants.hpp"
#include "hydraulics/momentum.hpp"
#include "network/energy_loss.hpp"
#include "network/grade_line.hpp"
#include "network/profile.hpp"
#include "network/solvers.hpp"

namespace rillway::network {

namespace {

constexpr double kAdverseSlope = -1e-6;       // as in the hydraulic grade line
constexpr double kSupercriticalRatio = 0.98;  // as in the hydraulic grade line
constexpr double kOutfallExitLoss = 1.0;      // into still receiving water
constexpr int kEnergyDepthHalvings = 200;     // the depth solvers' budget

// A pipe's upstream end as the structure above it sees it.
struct Entrance {
    double egl = 0.0;
    double velocity = 0.0;  // ft/s
    bool supercritical = false;
};

// What the structure upstream needs of a pipe: its entrance and, for a steep pipe drowned to its
// entrance, the free jet's reading as well, which the structure never stands below (raising the
// water below a pipe never lowers the water above it).
struct UpstreamEnd {
    Entrance entrance;
    std::optional<Entrance> jet;
};

// A pipe's two ends on both lines.
struct PipeEnds {
    double hgl_dn = 0.0;
    double egl_dn = 0.0;
    double hgl_up = 0.0;
    double egl_up = 0.0;
    UpstreamEnd up;
};

// Where a pipe's outlet meets the water below it.
struct Outlet {
    double level = 0.0;     // ft: the structure's still water, or the outfall's tailwater
    bool plunging = false;  // the pipe falls into the structure above its water
    bool outfall = false;
};

double velocity_at(const Conduit& c, double depth) {
    const double y = std::fmin(std::fmax(depth, kMinProfileDepth), c.section.rise);
    const double area = c.section.geometry(y).area;
    return area > 0.0 ? c.q / area : 0.0;
}

double velocity_head(const Conduit& c, double depth) {
    return depth_terms(c.section, c.n, c.q, depth).velocity_head;
}

// The subcritical depth y >= y_c whose specific energy y + hv(y) is e (ft above the invert),
// or y_c when e is below the critical energy. Above y_c the specific energy of a closed
// conduit rises with depth (the Froude number falls as the top width closes), and above the
// rise hv is that of the full pipe, so bisection on [y_c, e] brackets the one root.
double depth_for_energy(const Conduit& c, double e) {
    const double y_c = std::fmax(c.y_c, kMinProfileDepth);
    if (!(e > y_c + velocity_head(c, y_c))) return y_c;
    // At or above the crown the velocity head is the full pipe's whatever the depth, so the
    // depth follows without search (and a drowned outlet keeps the level it is given).
    const double full_depth = e - velocity_head(c, c.section.rise);
    if (full_depth >= c.section.rise) return full_depth;
    double lo = y_c;
    double hi = e;
    for (int k = 0; k < kEnergyDepthHalvings && hi - lo > hydraulics::kBisectTolerance; ++k) {
        const double mid = (lo + hi) / 2.0;
        if (mid + velocity_head(c, mid) < e) {
            lo = mid;
        } else {
            hi = mid;
        }
    }
    return (lo + hi) / 2.0;
}

// The energy a pipe's outlet holds when the water below it sets its start. A pipe that plunges
// leaves at its own normal depth with no exit loss (HEC-22 3rd ed. section 7.1.6, step 7,
// case A), unless the structure's final level still stands higher. Into an outfall the water
// stands at least at (y_c + D) / 2 (section 7.1.5) and the whole velocity head is lost; into a
// structure an exit loss of 0.4 hv.
double outlet_energy(const Conduit& c, const Outlet& outlet) {
    if (outlet.plunging) {
        const double y = c.surcharged ? c.section.rise : c.y_n;
        return std::fmax(outlet.level, c.z_dn + y + velocity_head(c, y));
    }
    const double y_c = std::fmax(c.y_c, kMinProfileDepth);
    const double level = outlet.outfall
                             ? std::fmax(outlet.level, c.z_dn + (y_c + c.section.rise) / 2.0)
                             : outlet.level;
    const double hv = c.surcharged ? velocity_head(c, c.section.rise)
                                   : velocity_head(c, std::fmax(level - c.z_dn, y_c));
    return level + (outlet.outfall ? kOutfallExitLoss : kInflowExitLoss) * hv;
}

// A part-full pipe in subcritical flow from its outlet depth: the backwater profile balances
// energy reach by reach, so it carries the energy line to the upstream end.
PipeEnds subcritical_ends(const Conduit& c, double y_dn, const PipeSolvers& solvers) {
    PipeEnds ends;
    ends.hgl_dn = c.z_dn + y_dn;
    ends.egl_dn = ends.hgl_dn + velocity_head(c, y_dn);
    ends.hgl_up = solvers.backwater_surface(c, ends.hgl_dn);
    const double y_up = ends.hgl_up - c.z_up;
    ends.egl_up = ends.hgl_up + velocity_head(c, y_up);
    ends.up.entrance = {ends.egl_up, velocity_at(c, y_up), false};
    return ends;
}

// The pipe from its outlet end, where the water below it is as `outlet` says, to its upstream
// end.
PipeEnds pipe_ends(const Conduit& c, const Outlet& outlet, const PipeSolvers& solvers) {
    const hydraulics::Section& s = c.section;
    if (c.surcharged) {
        // Full flow: the energy line falls by the full-pipe friction slope, the grade line a
        // velocity head below it.
        PipeEnds ends;
        const double full_area = s.full_area();
        const double v = full_area > 0.0 ? c.q / full_area : 0.0;
        const double hv = v * v / kTwoG;
        const double sf = friction_slope(c.q, c.n, full_area, s.full_hydraulic_radius());
        ends.egl_dn = std::fmax(outlet_energy(c, outlet), c.z_dn + s.rise + hv);
        ends.egl_up = ends.egl_dn + c.length * sf;
        ends.hgl_dn = ends.egl_dn - hv;
        ends.hgl_up = ends.egl_up - hv;
        ends.up.entrance = {ends.egl_up, v, false};
        return ends;
    }
    if (c.y_n < kSupercriticalRatio * c.y_c) {
        // A steep pipe runs at normal depth from its entrance. The water below drowns its
        // outlet face only when it stands deeper over the outlet invert than the jet's sequent
        // depth (the jump's momentum balance); the subcritical profile from the drowned face
        // then meets the jet in a jump inside the barrel, unless at the upstream end it still
        // stands above the sequent depth, which drowns the entrance too.
        const double hv_n = velocity_head(c, c.y_n);
        const Entrance jet{c.z_up + c.y_n + hv_n, velocity_at(c, c.y_n), true};
        const double sequent =
            hydraulics::sequent_depth(c.q, s, c.y_n, c.y_c, kEnergyGravity);
        PipeEnds ends;
        if (outlet.level - c.z_dn > sequent) {
            ends = subcritical_ends(c, depth_for_energy(c, outlet_energy(c, outlet) - c.z_dn),
                                    solvers);
            if (ends.hgl_up - c.z_up > sequent) {
                ends.up.jet = jet;
                return ends;
            }
        } else {
            ends.hgl_dn = c.z_dn + c.y_n;
            ends.egl_dn = ends.hgl_dn + hv_n;
        }
        ends.hgl_up = c.z_up + c.y_n;
        ends.egl_up = jet.egl;
        ends.up = {jet, std::nullopt};
        return ends;
    }
    if (outlet.plunging && !(outlet.level > c.z_dn + c.y_n + velocity_head(c, c.y_n))) {
        return subcritical_ends(c, c.y_n, solvers);
    }
    return subcritical_ends(c, depth_for_energy(c, outlet_energy(c, outlet) - c.z_dn), solvers);
}

// The angle between an inflow (w -> v) and the outlet (v -> x), 180 degrees for a straight run.
double inflow_angle(const Node& w, const Node& v, const Node& x) {
    const double cos_turn = turn_cosine(v.x - w.x, v.y - w.y, x.x - v.x, x.y - v.y);
    return 180.0 - std::acos(cos_turn) * 180.0 / hydraulics::kPi;
}

// The structure's energy level as set by one outlet pipe, and its E_ai above that outlet's
// invert for telling which inflows plunge.
struct StructureLevel {
    double egl = 0.0;
    double e_ai = 0.0;
    double z_out = 0.0;
};

StructureLevel structure_level(const Network& network, const Links& links,
                               const std::vector<PipeResult>& pipes, std::size_t v,
                               std::size_t o, const Entrance& up,
                               std::vector<StructureInflow>& inflows) {
    const PipeResult& out = pipes[o];
    const hydraulics::Section& section = network.pipes[o].section;
    // The structure feeds each barrel of its outlet alike: every flow is taken per barrel.
    const Pipe& outlet = network.pipes[o];
    const Node& node = network.nodes[v];
    inflows.clear();
    double q_pipes = 0.0;
    for (std::size_t s = links.in_begin[v]; s < links.in_begin[v + 1]; ++s) {
        const std::size_t p = links.in_pipes[s];
        StructureInflow inflow;
        inflow.q = outlet.barrel_flow(pipes[p].design_q);
        inflow.angle_deg = inflow_angle(network.nodes[links.from[p]], node,
                                        network.nodes[links.to[o]]);
        inflow.invert_height = pipes[p].z_dn - out.z_up;
        inflows.push_back(inflow);
        q_pipes += inflow.q;
    }
    const double q_out = outlet.barrel_flow(out.design_q);
    if (node.kind == NodeKind::inlet && q_out > q_pipes) {
        StructureInflow surface;
        surface.q = q_out - q_pipes;
        surface.invert_height = node.rim - out.z_up;
        surface.surface = true;
        inflows.push_back(surface);
    }
    AccessHoleInput in;
    in.e_i = up.egl - out.z_up;
    in.q_out = q_out;
    in.d_out = section.rise;
    in.a_out = section.full_area();
    in.v_out = up.velocity;
    in.supercritical = up.supercritical;
    in.benching = node.benching;
    in.inflows = inflows;
    const AccessHoleEnergy e = access_hole_energy(in);
    return {out.z_up + e.e_a, e.e_ai, out.z_up};
}

}  // namespace

NodeLines energy_grade_line(const Network& network, const Links& links,
                            const std::vector<std::size_t>& order,
                            std::vector<PipeResult>& pipes, const DesignOptions& options,
                            const PipeSolvers& solvers) {
    constexpr double kUnset = std::numeric_limits<double>::quiet_NaN();
    NodeLines lines{std::vector<double>(network.nodes.size(), kUnset),
                    std::vector<double>(network.nodes.size(), kUnset)};
    std::vector<UpstreamEnd> upstream(network.pipes.size());
    std::vector<StructureInflow> inflows;

    for (auto it = order.rbegin(); it != order.rend(); ++it) {
        const std::size_t v = *it;
        const Node& node = network.nodes[v];
        // The highest level any outlet sets, and which inflows plunge below it.
        std::optional<StructureLevel> level;
        for (std::size_t s = links.out_begin[v]; s < links.out_begin[v + 1]; ++s) {
            const std::size_t o = links.out_pipes[s];
            if (!pipes[o].egl_up) continue;  // adverse: the upstream end is unknown
            const UpstreamEnd& up = upstream[o];
            StructureLevel candidate =
                structure_level(network, links, pipes, v, o, up.entrance, inflows);
            if (up.jet) {
                const StructureLevel free =
                    structure_level(network, links, pipes, v, o, *up.jet, inflows);
                if (free.egl > candidate.egl) candidate = free;
            }
            if (!level || candidate.egl > level->egl) level = candidate;
        }
        double egl = level ? level->egl : kUnset;
        if (!level && node.kind == NodeKind::outfall) {
            egl = options.tailwater ? *options.tailwater : node.invert;
        }
        if (std::isnan(egl)) egl = node.invert;  // reached by no pipe
        lines.hgl[v] = egl;
        lines.egl[v] = egl;

        const bool outfall = !level && node.kind == NodeKind::outfall;
        for (std::size_t s = links.in_begin[v]; s < links.in_begin[v + 1]; ++s) {
            const std::size_t p = links.in_pipes[s];
            PipeResult& flow = pipes[p];
            if (flow.slope < kAdverseSlope) {
                flow.hgl_dn = egl;
                flow.egl_dn = egl;
                continue;  // the upstream end stays unknown
            }
            const Conduit c = conduit_of(network.pipes[p], flow);
            const Outlet outlet{egl, level && flow.z_dn - level->z_out > level->e_ai, outfall};
            const PipeEnds ends = pipe_ends(c, outlet, solvers);
            flow.hgl_dn = ends.hgl_dn;
            flow.egl_dn = ends.egl_dn;
            flow.hgl_up = ends.hgl_up;
            flow.egl_up = ends.egl_up;
            upstream[p] = ends.up;
        }
    }
    return lines;
}

NodeLines method_grade_lines(const Network& network, const Links& links,
                              const std::vector<std::size_t>& order,
                              std::vector<PipeResult>& pipes, const DesignOptions& options,
                              const PipeSolvers& solvers) {
    if (options.method() == LossMethod::fhwa_energy) {
        return energy_grade_line(network, links, order, pipes, options, solvers);
    }
    NodeLines lines;
    lines.hgl = grade_line(network, links, order, pipes, options, solvers);
    return lines;
}

}  // namespace rillway::network
