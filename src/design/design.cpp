#include "design/design.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>
#include <optional>
#include <utility>

#include "design/checks.hpp"
#include "design/layout.hpp"
#include "hydraulics/constants.hpp"
#include "network/design_pass.hpp"
#include "network/energy_line.hpp"
#include "network/grade_line.hpp"
#include "network/solvers.hpp"
#include "network/routing.hpp"

namespace rillway::design {

using network::Links;
using network::Network;
using network::NodeKind;

std::string_view name(Governing governing) noexcept {
    switch (governing) {
        case Governing::capacity: return "capacity";
        case Governing::min_size: return "min_size";
        case Governing::no_decrease: return "no_decrease";
        case Governing::min_velocity: return "min_velocity";
        case Governing::max_velocity: return "max_velocity";
        case Governing::cover: return "cover";
        case Governing::grade_line: return "grade_line";
        case Governing::locked: return "locked";
    }
    return "locked";
}

std::string display(const DesignError& error) {
    if (const auto* rules = std::get_if<InvalidRules>(&error)) return rules->message;
    return network::display(std::get<network::NetworkError>(error));
}

double catalog_feet(double inches, const LevelGrid& grid) noexcept {
    return inches / 12.0 / grid.unit_ft * grid.unit_ft;
}

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
// A size within this of a limit meets it (catalog sizes in feet carry rounding noise).
constexpr double kSizeSlack = 1e-9;  // ft
// A grade line that enlarging the pipes below did not lower by this much is left as it is.
constexpr double kUsefulLowering = 1e-4;  // ft
// A placement must stand lower than another by this much to be preferred to it (well below
// the 0.01 ft or 1 mm grid of the inverts, well above rounding noise).
constexpr double kLevelStep = 1e-6;  // ft
// Largest ratio of the velocity at normal depth to the full-flow velocity in a round pipe
// (1.139 at 81% depth, from Manning's equation on the circular segment), rounded up.
constexpr double kPeakVelocityRatio = 1.15;

enum class Role { sized, shaped, locked };

// The routing helpers, in one place: ids, the order from sources to outfalls, the pipe links
// and the accumulated C*A.
struct Routing {
    std::vector<std::size_t> order;
    Links links;
    std::vector<double> total_ca;
};

std::variant<Routing, network::NetworkError> route(const Network& net, double frequency_factor) {
    auto resolved = network::resolve(net);
    if (auto* error = std::get_if<network::NetworkError>(&resolved)) return std::move(*error);
    Routing routing;
    routing.links = std::get<Links>(std::move(resolved));
    auto ordered = network::topo_order(routing.links);
    if (auto* error = std::get_if<network::NetworkError>(&ordered)) return std::move(*error);
    routing.order = std::move(std::get<std::vector<std::size_t>>(ordered));
    routing.total_ca = network::accumulate_ca(net, routing.links, routing.order, frequency_factor);
    return routing;
}

// Per node, one node of its part (the nodes that pipes join, directions aside), the same for
// every node of the part: union-find with path halving.
std::vector<std::size_t> parts(const Links& links) {
    std::vector<std::size_t> root(links.node_count());
    for (std::size_t v = 0; v < root.size(); ++v) root[v] = v;
    const auto find = [&root](std::size_t v) {
        while (root[v] != v) v = root[v] = root[root[v]];
        return v;
    };
    for (std::size_t p = 0; p < links.from.size(); ++p) root[find(links.from[p])] = find(links.to[p]);
    for (std::size_t v = 0; v < root.size(); ++v) root[v] = find(v);
    return root;
}

class Designer {
public:
    Designer(const Network& input, const network::IdfParams& idf,
             const network::DesignOptions& options, const Rules& rules,
             const std::vector<bool>& locked, const LevelGrid& grid, Routing routing)
        : net_(input), idf_(idf), options_(options), rules_(rules), grid_(grid),
          routing_(std::move(routing)), links_(routing_.links) {
        // Catalog sizes in feet as the document will hold them (see LevelGrid).
        catalog_in_ = rules.sizes_in;
        std::sort(catalog_in_.begin(), catalog_in_.end());
        catalog_in_.erase(std::unique(catalog_in_.begin(), catalog_in_.end()), catalog_in_.end());
        for (const double size : catalog_in_) catalog_.push_back(catalog_feet(size, grid));

        const std::size_t pipes = net_.pipes.size();
        role_.resize(pipes);
        for (std::size_t p = 0; p < pipes; ++p) {
            const network::Pipe& pipe = net_.pipes[p];
            const bool is_locked = p < locked.size() && locked[p];
            role_[p] = is_locked ? Role::locked
                       : pipe.section.kind == hydraulics::SectionKind::circular ? Role::sized
                                                                                : Role::shaped;
            if (is_locked) {
                // A locked pipe keeps the inverts it resolves to now, whatever its structures'
                // inverts become.
                net_.pipes[p].invert_up =
                    pipe.invert_up ? *pipe.invert_up : input.nodes[links_.from[p]].invert;
                net_.pipes[p].invert_dn =
                    pipe.invert_dn ? *pipe.invert_dn : input.nodes[links_.to[p]].invert;
            }
        }
        size_index_.assign(pipes, 0);
        grade_floor_.assign(pipes, 0);
        placement_.resize(pipes);
        governing_.assign(pipes, Governing::locked);
        flows_.resize(pipes);
        tc_.assign(net_.nodes.size(), 0.0);
        part_ = parts(links_);
    }

    Design run() {
        std::vector<bool> hopeless(net_.nodes.size(), false);
        std::vector<double> enlarged_at(net_.nodes.size(), kInf);
        // Each round redoes only the parts of the network (sets of structures joined by pipes,
        // such as the tree of one outfall) in which the last round enlarged a pipe; the others
        // would come out of it unchanged, to the bit:
        //  - a part's sizes and inverts after steps 1-4 are a function of its own pipes' grade
        //    floors alone: the forward pass reads only the part's structures, its pipes' floors
        //    and what it laid earlier in the same pass, and the raising reads only that;
        //  - its grade line is a function of those sizes and inverts (the sweep goes from the
        //    part's outfalls up its own pipes);
        //  - its structures would enlarge nothing: last round each of them with a high grade
        //    line either was marked hopeless (which lasts) or enlarged a pipe of the part.
        // So the design is the one a loop over the whole network gives, round by round.
        std::vector<std::size_t> active = routing_.order;  // round one lays every part
        while (!active.empty()) {
            forward(active);
            raise_to_fit(active);
            active = parts_of(enlarge_below_high_grade_lines(active, hopeless, enlarged_at));
        }
        set_structure_inverts();
        return finish();
    }

private:
    [[nodiscard]] double z_up(std::size_t p) const { return *net_.pipes[p].invert_up; }
    [[nodiscard]] double z_dn(std::size_t p) const { return *net_.pipes[p].invert_dn; }
    [[nodiscard]] double rise(std::size_t p) const { return net_.pipes[p].section.rise; }

    void set_size(std::size_t p, std::size_t index) {
        size_index_[p] = index;
        network::Pipe& pipe = net_.pipes[p];
        pipe.section = hydraulics::Section::circular(catalog_[index]);
        pipe.equivalent_diameter = catalog_[index];
    }

    void place(std::size_t p, const Placement& placement) {
        placement_[p] = placement;
        net_.pipes[p].invert_up = grid_.feet(placement.steps_up);
        net_.pipes[p].invert_dn = grid_.feet(placement.steps_dn);
    }

    [[nodiscard]] bool carries(const hydraulics::Section& section, double n, double q,
                               double slope) const {
        return q <= rules_.max_pct_full * full_capacity(section, n, slope);
    }

    // The time of concentration at u, exactly as the analysis's design pass forms it.
    double time_of_concentration(std::size_t u) {
        const network::Node& node = net_.nodes[u];
        double tc = node.kind == NodeKind::outfall ? 0.0 : node.tc;
        for (std::size_t s = links_.in_begin[u]; s < links_.in_begin[u + 1]; ++s) {
            const std::size_t p = links_.in_pipes[s];
            tc = std::fmax(tc, tc_[links_.from[p]] + flows_[p].travel_time);
        }
        return std::fmax(tc, options_.min_tc);
    }

    // The routing order of the structures in the parts that hold any of `pipes`.
    [[nodiscard]] std::vector<std::size_t> parts_of(const std::vector<std::size_t>& pipes) const {
        std::vector<bool> wanted(net_.nodes.size(), false);
        for (const std::size_t p : pipes) wanted[part_[links_.from[p]]] = true;
        std::vector<std::size_t> order;
        if (pipes.empty()) return order;
        for (const std::size_t v : routing_.order) {
            if (wanted[part_[v]]) order.push_back(v);
        }
        return order;
    }

    // Steps 1-3 of the method for every pipe leaving the structures of `order`, sources first.
    void forward(const std::vector<std::size_t>& order) {
        for (const std::size_t u : order) {
            const double tc = time_of_concentration(u);
            tc_[u] = tc;
            if (links_.outflow_count(u) == 0) continue;
            const double intensity =
                network::design_intensity(tc, idf_, options_.intensity_override);
            const double q = routing_.total_ca[u] * intensity;

            const network::Node& node = net_.nodes[u];
            double lowest_invert = kInf;
            double lowest_crown = kInf;
            double largest = 0.0;
            for (std::size_t s = links_.in_begin[u]; s < links_.in_begin[u + 1]; ++s) {
                const std::size_t e = links_.in_pipes[s];
                lowest_invert = std::fmin(lowest_invert, z_dn(e));
                lowest_crown = std::fmin(lowest_crown, z_dn(e) + rise(e));
                largest = std::fmax(largest, net_.pipes[e].equivalent_diameter);
            }
            for (std::size_t s = links_.out_begin[u]; s < links_.out_begin[u + 1]; ++s) {
                const std::size_t p = links_.out_pipes[s];
                const network::Node& down = net_.nodes[links_.to[p]];
                EndLimits limits{};
                limits.crown_up = node.kind == NodeKind::outfall ? kInf : node.rim - rules_.min_cover_ft;
                if (rules_.match == Match::crowns) limits.crown_up = std::fmin(limits.crown_up, lowest_crown);
                limits.invert_up = lowest_invert - rules_.min_drop_ft;
                limits.crown_dn = down.kind == NodeKind::outfall ? kInf : down.rim - rules_.min_cover_ft;
                limits.outfall_dn = down.kind == NodeKind::outfall ? down.invert : kInf;
                limits.fallback_up = node.invert;
                limits.length = net_.pipes[p].length;
                // One barrel is sized for its share; the count is the user's.
                const double q_barrel = net_.pipes[p].barrel_flow(q);
                if (role_[p] == Role::sized) {
                    choose_size(p, q_barrel, limits, largest);
                    if (std::isfinite(limits.outfall_dn)) reach_outfall(p, q_barrel, limits, largest);
                }
                if (role_[p] == Role::shaped) lay_fixed_size(p, q_barrel, limits);
                flows_[p] = network::design_barrels(net_.pipes[p], z_up(p), z_dn(p), q, intensity,
                                                    options_.min_slope);
            }
        }
    }

    // The highest placement of the section no flatter than self-cleansing, flattened by a drop
    // where the ground is so steep that Q would run faster than the largest velocity. Returns
    // whether the velocity rule could be kept.
    bool lay_section(std::size_t p, const hydraulics::Section& section, double q,
                     const EndLimits& limits, double s_low, Placement& out) const {
        const double n = net_.pipes[p].n;
        out = lay(limits, section.rise, s_low, grid_);
        const double slope = slope_of(out, limits.length, grid_);
        // Why the shortcut holds: below the peak of a round pipe's flow curve the velocity at
        // normal depth never exceeds 1.14 times the full-flow velocity (its largest value, at
        // about 81% depth), and a flow above the peak fills the pipe and runs at Q / A, which
        // the capacity rule keeps below the full-flow velocity times max_pct_full. So a pipe
        // whose bound is within the limit needs no normal depth here.
        const double full_velocity = full_capacity(section, n, slope) / section.full_area();
        const double bound = full_velocity * std::fmax(kPeakVelocityRatio, rules_.max_pct_full);
        if (section.kind == hydraulics::SectionKind::circular && bound <= rules_.max_velocity_fps) {
            return true;
        }
        if (design_velocity(section, n, q, slope) <= rules_.max_velocity_fps) return true;
        const SteepestSlope steepest =
            steepest_slope(section, n, q, s_low, slope, rules_.max_velocity_fps);
        if (!steepest.found) return false;
        out = flatten(out, limits, steepest.slope, grid_);
        return true;
    }

    void lay_fixed_size(std::size_t p, double q, const EndLimits& limits) {
        const network::Pipe& pipe = net_.pipes[p];
        Placement placement;
        lay_section(p, pipe.section, q, limits,
                    self_cleansing_slope(pipe.section, pipe.n, rules_.min_velocity_fps), placement);
        place(p, placement);
        governing_[p] = Governing::locked;
    }

    // The catalog indices a pipe's size may not go below: `natural` from the minimum size and
    // the pipes entering its upstream structure, `start` that or the grade line's floor.
    struct SizeFloor {
        std::size_t natural = 0;
        std::size_t start = 0;
    };
    [[nodiscard]] SizeFloor size_floor(std::size_t p, double largest_entering) const {
        const double floor_ft = std::fmax(rules_.min_diameter_in / 12.0, largest_entering);
        const std::size_t last = catalog_.size() - 1;
        SizeFloor floor;
        while (floor.natural < last && catalog_[floor.natural] < floor_ft - kSizeSlack) ++floor.natural;
        floor.start = std::max(floor.natural, std::min(grade_floor_[p], last));
        return floor;
    }

    // The rule that fixed a size at its floor, or the capacity when the size below it would
    // not carry Q on the designed slope either.
    [[nodiscard]] Governing floor_governing(std::size_t p, double q, const SizeFloor& floor,
                                            double largest_entering) const {
        const std::size_t index = size_index_[p];
        const double slope = slope_of(placement_[p], net_.pipes[p].length, grid_);
        const bool below_would_carry =
            index == 0 ||
            carries(hydraulics::Section::circular(catalog_[index - 1]), net_.pipes[p].n, q, slope);
        if (!below_would_carry) return Governing::capacity;
        if (index > floor.natural) return Governing::grade_line;
        if (largest_entering > rules_.min_diameter_in / 12.0 + kSizeSlack) return Governing::no_decrease;
        return Governing::min_size;
    }

    void choose_size(std::size_t p, double q, const EndLimits& limits, double largest_entering) {
        const double n = net_.pipes[p].n;
        const std::size_t last = catalog_.size() - 1;
        const SizeFloor floor = size_floor(p, largest_entering);
        const std::size_t start = floor.start;

        // Step 3: the first size that carries Q on the slope it is laid at.
        std::optional<std::size_t> chosen;
        Placement placement;
        Governing rejected_for = Governing::capacity;
        for (std::size_t i = start; i <= last && !chosen; ++i) {
            const auto section = hydraulics::Section::circular(catalog_[i]);
            const double s_low = self_cleansing_slope(section, n, rules_.min_velocity_fps);
            // Capacity first: it is a closed form, the velocity needs the normal depth.
            if (!carries(section, n, q, slope_of(lay(limits, section.rise, s_low, grid_), limits.length, grid_))) {
                rejected_for = Governing::capacity;
                continue;
            }
            Placement trial;
            const bool steady = lay_section(p, section, q, limits, s_low, trial);
            if (steady && carries(section, n, q, slope_of(trial, limits.length, grid_))) {
                chosen = i;
                placement = trial;
            } else {
                rejected_for = Governing::max_velocity;
            }
        }
        if (!chosen) {
            // Past the catalog: the largest size, laid steep enough to carry Q where the
            // velocity allows; the check reports what still fails.
            const auto section = hydraulics::Section::circular(catalog_[last]);
            const double s_low = std::fmax(self_cleansing_slope(section, n, rules_.min_velocity_fps),
                                           capacity_slope(section, n, q / rules_.max_pct_full));
            if (!lay_section(p, section, q, limits, s_low, placement)) {
                placement = lay(limits, section.rise, s_low, grid_);
            }
            set_size(p, last);
            place(p, placement);
            governing_[p] = rejected_for;
            return;
        }

        // A smaller size on a steeper slope, no deeper than the chosen one lies, is the better
        // pipe; this happens where the drop below the entering pipes, not the cover, fixes the
        // upstream invert, so a smaller pipe gains no height there but loses it downstream.
        std::size_t index = *chosen;
        bool descended = false;
        while (index > start) {
            const auto smaller = hydraulics::Section::circular(catalog_[index - 1]);
            if (!carries(smaller, n, q, slope_of(placement, limits.length, grid_))) break;
            const double s_low = std::fmax(self_cleansing_slope(smaller, n, rules_.min_velocity_fps),
                                           capacity_slope(smaller, n, q / rules_.max_pct_full));
            const Placement trial = lay(limits, smaller.rise, s_low, grid_);
            const double slope = slope_of(trial, limits.length, grid_);
            if (!carries(smaller, n, q, slope) ||
                !(design_velocity(smaller, n, q, slope) <= rules_.max_velocity_fps)) {
                break;
            }
            --index;
            placement = trial;
            descended = true;
        }
        set_size(p, index);
        place(p, placement);

        if (descended || index > start) {
            governing_[p] = descended ? Governing::capacity : rejected_for;
            return;
        }
        // At the floor: the floor governs unless the size below it would not carry Q either.
        governing_[p] = floor_governing(p, q, floor, largest_entering);
    }

    // A pipe into an outfall that ends below the outfall's invert is raised in step 4, and the
    // pipes above it with it, losing cover. Its size was chosen for the slope of the placement
    // it will leave; once it must end at the outfall invert anyway, the size that asks least of
    // the structure above is the better pipe: each size laid up from the outfall invert on the
    // flattest slope that carries Q (and keeps it self-cleansing and within the largest
    // velocity) stands to a different height there, and the least of these, where it is below
    // the raised pipe's, is taken. A smaller, steeper pipe often wins where the crowns are
    // matched, since the crown, not the invert, decides how far the pipes above must rise.
    void reach_outfall(std::size_t p, double q, const EndLimits& limits, double largest_entering) {
        const double outfall_steps = grid_.steps_above(limits.outfall_dn);
        const Placement laid = placement_[p];
        if (!(laid.steps_dn < outfall_steps)) return;
        // How far the upstream end stands above where the structure would have it.
        const auto excess = [&](const Placement& placement, double d) {
            const double z = grid_.feet(placement.steps_up);
            return std::fmax(z + d - limits.crown_up, z - limits.invert_up);
        };
        const double lift = outfall_steps - laid.steps_dn;
        double best = excess({laid.steps_up + lift, laid.steps_dn + lift}, rise(p));
        const double n = net_.pipes[p].n;
        const SizeFloor floor = size_floor(p, largest_entering);
        std::optional<std::size_t> better;
        Placement better_placement;
        for (std::size_t i = floor.start; i < catalog_.size(); ++i) {
            const auto section = hydraulics::Section::circular(catalog_[i]);
            const double s = std::fmax(self_cleansing_slope(section, n, rules_.min_velocity_fps),
                                       capacity_slope(section, n, q / rules_.max_pct_full));
            // Rounding the upper end up keeps the slope at least s.
            const Placement trial{
                grid_.steps_above(grid_.feet(outfall_steps) + s * std::fmax(limits.length, 0.0)),
                outfall_steps};
            const double slope = slope_of(trial, limits.length, grid_);
            if (!carries(section, n, q, slope) ||
                !(design_velocity(section, n, q, slope) <= rules_.max_velocity_fps)) {
                continue;
            }
            const double e = excess(trial, section.rise);
            if (e < best - kLevelStep) {
                best = e;
                better = i;
                better_placement = trial;
            }
        }
        if (!better) return;
        set_size(p, *better);
        place(p, better_placement);
        governing_[p] = *better > floor.start ? Governing::cover
                                              : floor_governing(p, q, floor, largest_entering);
    }

    // Step 4: from the outfalls up, every pipe that ends below the outfall invert, or below what
    // a pipe leaving its downstream structure needs (that pipe's invert plus the drop, its crown
    // when crowns are matched), is raised by whole grid steps, slope kept.
    void raise_to_fit(const std::vector<std::size_t>& order) {
        for (auto it = order.rbegin(); it != order.rend(); ++it) {
            const std::size_t v = *it;
            const network::Node& node = net_.nodes[v];
            double invert_floor = node.kind == NodeKind::outfall ? node.invert : -kInf;
            double crown_floor = -kInf;
            for (std::size_t s = links_.out_begin[v]; s < links_.out_begin[v + 1]; ++s) {
                const std::size_t q = links_.out_pipes[s];
                invert_floor = std::fmax(invert_floor, z_up(q) + rules_.min_drop_ft);
                if (rules_.match == Match::crowns) crown_floor = std::fmax(crown_floor, z_up(q) + rise(q));
            }
            for (std::size_t s = links_.in_begin[v]; s < links_.in_begin[v + 1]; ++s) {
                const std::size_t p = links_.in_pipes[s];
                if (role_[p] == Role::locked) continue;
                const double needed = std::fmax(invert_floor, crown_floor - rise(p));
                if (!(z_dn(p) < needed)) continue;
                const double steps = grid_.steps_above(needed) - placement_[p].steps_dn;
                if (!(steps > 0.0)) continue;
                Placement raised = placement_[p];
                raised.steps_up += steps;
                raised.steps_dn += steps;
                place(p, raised);
                flows_[p] = network::design_barrels(net_.pipes[p], z_up(p), z_dn(p), flows_[p].design_q,
                                                    flows_[p].intensity, options_.min_slope);
            }
        }
    }

    // HEC-22's full-flow friction loss h_f = L (Q n / (1.486 A R^(2/3)))^2, the loss a larger
    // pipe reduces most where it is largest.
    [[nodiscard]] double friction_loss(std::size_t p) const {
        const network::Pipe& pipe = net_.pipes[p];
        const double unit = full_capacity(pipe.section, pipe.n, 1.0);
        const double ratio = pipe.barrel_flow(flows_[p].design_q) / unit;
        return pipe.length * ratio * ratio;
    }

    // Step 5 for the structures of `order`, whole parts of the network. Returns the pipes
    // enlarged, whose parts must be laid again.
    std::vector<std::size_t> enlarge_below_high_grade_lines(const std::vector<std::size_t>& order,
                                                            std::vector<bool>& hopeless,
                                                            std::vector<double>& enlarged_at) {
        std::vector<network::PipeResult> pipes = flows_;
        // The grade line the analysis checks the freeboard on, as network::analyze chooses it.
        // Either sweep of a part reads and writes only the part's own structures and pipes, so
        // sweeping some parts alone gives them the line a sweep of the whole gives.
        const network::PipeSolvers& solvers = network::production_solvers();
        const std::vector<double> node_hgl =
            network::method_grade_lines(net_, links_, order, pipes, options_, solvers).hgl;
        std::vector<std::size_t> enlarge;
        for (const std::size_t v : order) {
            const network::Node& node = net_.nodes[v];
            const double hgl = node_hgl[v];
            if (node.kind == NodeKind::outfall || hopeless[v]) continue;
            if (!(node.rim - hgl < rules_.freeboard_ft)) continue;
            // Enlarging below this structure last time did not lower its grade line: the
            // outfall's water or the pipes above hold it, not the pipes below.
            if (!(hgl < enlarged_at[v] - kUsefulLowering)) {
                hopeless[v] = true;
                continue;
            }
            std::optional<std::size_t> worst;
            double worst_loss = -kInf;
            std::size_t w = v;
            for (std::size_t guard = 0; guard < net_.nodes.size() && links_.outflow_count(w) > 0; ++guard) {
                const std::size_t p = links_.out_pipes[links_.out_begin[w]];
                if (role_[p] == Role::sized && size_index_[p] + 1 < catalog_.size()) {
                    const double loss = friction_loss(p);
                    if (!worst || loss > worst_loss) {
                        worst = p;
                        worst_loss = loss;
                    }
                }
                w = links_.to[p];
            }
            if (!worst) {
                hopeless[v] = true;
                continue;
            }
            enlarged_at[v] = hgl;
            enlarge.push_back(*worst);
        }
        for (const std::size_t p : enlarge) {
            grade_floor_[p] = std::max(grade_floor_[p], size_index_[p] + 1);
        }
        return enlarge;
    }

    void set_structure_inverts() {
        for (std::size_t v = 0; v < net_.nodes.size(); ++v) {
            network::Node& node = net_.nodes[v];
            if (node.kind == NodeKind::outfall || links_.outflow_count(v) == 0) continue;
            double lowest = kInf;
            for (std::size_t s = links_.out_begin[v]; s < links_.out_begin[v + 1]; ++s) {
                lowest = std::fmin(lowest, z_up(links_.out_pipes[s]));
            }
            node.invert = lowest;
        }
    }

    Design finish() {
        Design design;
        auto analysed = network::analyze(net_, idf_, options_);
        design.analysis = std::move(std::get<network::Analysis>(analysed));
        design.pipes.resize(net_.pipes.size());
        std::vector<bool> sized(net_.pipes.size());
        for (std::size_t p = 0; p < net_.pipes.size(); ++p) {
            PipeDesign& d = design.pipes[p];
            d.diameter = rise(p);
            d.invert_up = z_up(p);
            d.invert_dn = z_dn(p);
            d.slope = design.analysis.pipes[p].slope;
            d.governing = role_[p] == Role::sized ? governing_[p] : Governing::locked;
            if (role_[p] != Role::locked) {
                d.steps_up = placement_[p].steps_up;
                d.steps_dn = placement_[p].steps_dn;
            }
            sized[p] = role_[p] == Role::sized;
            if (sized[p]) d.catalog_in = catalog_in_[size_index_[p]];
        }
        check_design(net_, links_, design.analysis, rules_, sized, design.pipes, design.unmet);
        design.network = std::move(net_);
        return design;
    }

    Network net_;
    const network::IdfParams& idf_;
    const network::DesignOptions& options_;
    const Rules& rules_;
    const LevelGrid& grid_;
    Routing routing_;
    const Links& links_;
    std::vector<double> catalog_in_;  // inches, ascending
    std::vector<double> catalog_;     // the same in ft
    std::vector<Role> role_;
    std::vector<std::size_t> size_index_;
    std::vector<std::size_t> grade_floor_;  // catalog index a pipe was enlarged to
    std::vector<Placement> placement_;
    std::vector<Governing> governing_;
    std::vector<network::PipeResult> flows_;
    std::vector<double> tc_;
    std::vector<std::size_t> part_;  // per structure: its part's representative structure
};

}  // namespace

DesignOutcome design(const Network& network, const network::IdfParams& idf,
                     const network::DesignOptions& options, const Rules& rules,
                     const std::vector<bool>& locked, const LevelGrid& grid) {
    if (auto message = validate(rules)) return DesignError{InvalidRules{std::move(*message)}};
    auto routed = route(network, options.frequency_factor);
    if (auto* error = std::get_if<network::NetworkError>(&routed)) return DesignError{std::move(*error)};
    // The sizes the design keeps must be valid for the analysis; the ones it chooses need not be.
    for (std::size_t p = 0; p < network.pipes.size(); ++p) {
        const network::Pipe& pipe = network.pipes[p];
        const bool keeps = (p < locked.size() && locked[p]) ||
                           pipe.section.kind != hydraulics::SectionKind::circular;
        auto error = network::pipe_error(pipe);
        if (error && (keeps || std::holds_alternative<network::NoBarrels>(*error))) {
            return DesignError{std::move(*error)};
        }
    }
    Designer designer(network, idf, options, rules, locked, grid, std::move(std::get<Routing>(routed)));
    return designer.run();
}

}  // namespace rillway::design
