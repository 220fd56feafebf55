#include "design/design.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <limits>
#include <string>
#include <optional>
#include <sstream>
#include <string>
#include <utility>

#include "design/checks.hpp"
#include "design/layout.hpp"
#include "design/size_choice.hpp"
#include "hydraulics/constants.hpp"
#include "network/design_pass.hpp"
#include "network/energy_line.hpp"
#include "network/grade_line.hpp"
#include "network/loads.hpp"
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
    if (const auto* record = std::get_if<InvalidRecord>(&error)) return record->message;
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
// An enlargement for the freeboard is kept only where it lowers the structure's grade line by
// this much, or by this share of what the freeboard lacks, whichever is less: where the
// tailwater or an outfall above holds the line, each size helps by hundredths of a foot, and
// climbing the catalog for them would bury nothing but money and cover.
constexpr double kMeaningfulLowering = 0.05;  // ft
constexpr double kMeaningfulShare = 0.1;
// Cover lost by an enlargement beyond this breaks the rule (the check's own slack).
constexpr double kCoverSlack = 1e-6;  // ft
// A placement must stand lower than another by this much to be preferred to it (well below
// the 0.01 ft or 1 mm grid of the inverts, well above rounding noise).
constexpr double kLevelStep = 1e-6;  // ft

enum class Role { sized, shaped, locked };

std::string feet_text(double v) {
    char text[48];
    std::snprintf(text, sizeof text, "%.2f", v);
    return text;
}

// The routing helpers, in one place: ids, the order from sources to outfalls and the pipe
// links.
struct Routing {
    std::vector<std::size_t> order;
    Links links;
};

std::variant<Routing, network::NetworkError> route(const Network& net) {
    auto resolved = network::resolve(net);
    if (auto* error = std::get_if<network::NetworkError>(&resolved)) return std::move(*error);
    Routing routing;
    routing.links = std::get<Links>(std::move(resolved));
    auto ordered = network::topo_order(routing.links);
    if (auto* error = std::get_if<network::NetworkError>(&ordered)) return std::move(*error);
    routing.order = std::move(std::get<std::vector<std::size_t>>(ordered));
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
        step_.resize(net_.nodes.size());
        held_.resize(net_.nodes.size());
        tc_.assign(net_.nodes.size(), 0.0);
        loads_ = network::empty_loads(net_, options_);
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
            network::gather(net_, links_, u, options_.frequency_factor, loads_);
            if (links_.outflow_count(u) == 0) continue;
            const double intensity =
                network::design_intensity(tc, idf_, options_.intensity_override);
            // Pipes that split a structure's flow by their capacities are sized for the whole
            // of it: their shares follow from the sizes chosen.
            const bool split = split_by_capacity(u);

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
                const double q = flow(p, intensity).q;
                // One barrel is sized for its share; the count is the user's.
                const double q_barrel = net_.pipes[p].barrel_flow(q);
                if (role_[p] == Role::sized) {
                    choose_size(p, q_barrel, limits, largest);
                    if (std::isfinite(limits.outfall_dn)) reach_outfall(p, q_barrel, limits, largest);
                }
                if (role_[p] == Role::shaped) lay_fixed_size(p, q_barrel, limits);
                if (!split) set_flow(p, q, intensity);
            }
            if (!split) continue;
            network::split_among_leaving(net_, links_, u, options_.min_slope, loads_);
            for (std::size_t s = links_.out_begin[u]; s < links_.out_begin[u + 1]; ++s) {
                const std::size_t p = links_.out_pipes[s];
                set_flow(p, flow(p, intensity).q, intensity);
            }
        }
    }

    // Whether the pipes leaving u share its flow by capacity; if so, each takes the whole until
    // all are sized.
    bool split_by_capacity(std::size_t u) {
        if (loads_.share.empty() || links_.outflow_count(u) < 2) return false;
        for (std::size_t s = links_.out_begin[u]; s < links_.out_begin[u + 1]; ++s) {
            loads_.share[links_.out_pipes[s]] = 1.0;
        }
        return true;
    }

    // The design flow of p as the analysis forms it, from the loads and the flows above.
    [[nodiscard]] network::DesignFlow flow(std::size_t p, double intensity) const {
        return network::design_flow(loads_, links_, p, intensity, flows_,
                                    options_.min_flow_from_upstream);
    }

    void set_flow(std::size_t p, double q, double intensity) {
        flows_[p] = network::design_barrels(net_.pipes[p], z_up(p), z_dn(p), q, intensity,
                                            options_.min_slope);
    }

    // The highest placement of the section no flatter than self-cleansing, flattened by a drop
    // where the ground is so steep that Q would run faster than the largest velocity. Returns
    // whether the velocity rule could be kept.
    bool lay_section(std::size_t p, const hydraulics::Section& section, double q,
                     const EndLimits& limits, double s_low, Placement& out) const {
        return lay_within_velocity(section, net_.pipes[p].n, q, limits, s_low, rules_, grid_, out);
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
        // Enlarged for the grade line: the sizes below were tried and left the line too high.
        if (index > floor.natural) return Governing::grade_line;
        const bool below_would_carry =
            index == 0 ||
            carries(hydraulics::Section::circular(catalog_[index - 1]), net_.pipes[p].n, q, slope);
        if (!below_would_carry) return Governing::capacity;
        if (largest_entering > rules_.min_diameter_in / 12.0 + kSizeSlack) return Governing::no_decrease;
        return Governing::min_size;
    }

    void choose_size(std::size_t p, double q, const EndLimits& limits, double largest_entering) {
        const double n = net_.pipes[p].n;
        const std::size_t last = catalog_.size() - 1;
        const SizeFloor floor = size_floor(p, largest_entering);
        // Step 3 (design/size_choice.hpp).
        const SizeChoice choice = design::choose_size(catalog_, floor.start, n, q, limits, rules_, grid_);
        if (!choice.index) {
            // Past the catalog: the largest size, laid steep enough to carry Q where the
            // velocity allows; the check reports what still fails.
            const auto section = hydraulics::Section::circular(catalog_[last]);
            const double s_low = std::fmax(self_cleansing_slope(section, n, rules_.min_velocity_fps),
                                           capacity_slope(section, n, q / rules_.max_pct_full));
            Placement placement;
            if (!lay_section(p, section, q, limits, s_low, placement)) {
                placement = lay(limits, section.rise, s_low, grid_);
            }
            set_size(p, last);
            place(p, placement);
            governing_[p] = Governing::max_velocity;
            return;
        }
        set_size(p, *choice.index);
        place(p, choice.placement);
        switch (choice.smaller) {
            case SmallerSize::lies_deeper: governing_[p] = Governing::capacity; return;
            case SmallerSize::too_fast: governing_[p] = Governing::max_velocity; return;
            case SmallerSize::none: break;
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
        if (!better) {
            // The size chosen for the ground is already the one that stands lowest up there.
            if (size_index_[p] > floor.start) governing_[p] = Governing::cover;
            return;
        }
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
    // enlarged, or set back, whose parts must be laid again.
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
        const std::vector<double> deficit = cover_deficits(order);
        std::vector<std::size_t> relay = judge_steps(order, node_hgl, deficit, hopeless, enlarged_at);
        std::vector<bool> set_back(net_.nodes.size(), false);
        for (const std::size_t p : relay) set_back[part_[links_.from[p]]] = true;

        std::vector<std::size_t> enlarge;
        for (const std::size_t v : order) {
            const network::Node& node = net_.nodes[v];
            const double hgl = node_hgl[v];
            // A part with a step set back is laid again first; its grade lines here are stale.
            if (node.kind == NodeKind::outfall || hopeless[v] || set_back[part_[v]]) continue;
            if (!(node.rim - hgl < rules_.freeboard_ft)) continue;
            // Water standing at the outfall above where the freeboard needs this grade line
            // cannot be drawn down by any pipe between them.
            if (outfall_water_above_freeboard(v, node_hgl)) {
                give_up(v, node_hgl, hopeless, "");
                continue;
            }
            // Enlarging below this structure last time did not lower its grade line: the
            // outfall's water or the pipes above hold it, not the pipes below.
            if (!(hgl < enlarged_at[v] - kUsefulLowering)) {
                give_up(v, node_hgl, hopeless, "a larger pipe below does not lower the grade line");
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
                give_up(v, node_hgl, hopeless, "no pipe below can be enlarged");
                continue;
            }
            enlarged_at[v] = hgl;
            step_[v] = Step{*worst, grade_floor_[*worst], deficit[part_[v]]};
            enlarge.push_back(*worst);
        }
        for (const std::size_t p : enlarge) {
            grade_floor_[p] = std::max(grade_floor_[p], size_index_[p] + 1);
        }
        enlarge.insert(enlarge.end(), relay.begin(), relay.end());
        return enlarge;
    }

    // Last round's enlargements, judged on the grade lines they gave: one is kept where it
    // lowered the grade line of a structure that asked for it by a meaningful amount and broke
    // no cover rule; otherwise the pipe goes back to the size the other rules chose, the
    // structures that asked for it are given up, and the pipe is returned to be laid again.
    std::vector<std::size_t> judge_steps(const std::vector<std::size_t>& order,
                                         const std::vector<double>& node_hgl,
                                         const std::vector<double>& deficit,
                                         std::vector<bool>& hopeless,
                                         const std::vector<double>& enlarged_at) {
        std::vector<std::size_t> asked;  // structures whose step is judged now
        for (const std::size_t v : order) {
            if (step_[v]) asked.push_back(v);
        }
        if (asked.empty()) return {};
        std::vector<char> verdict(net_.pipes.size(), 0);  // 1: helped someone, 2: broke cover
        for (const std::size_t v : asked) {
            const Step& step = *step_[v];
            const double lowered = enlarged_at[v] - node_hgl[v];
            const double shortfall = rules_.freeboard_ft - (net_.nodes[v].rim - enlarged_at[v]);
            if (deficit[part_[v]] > step.deficit + kCoverSlack) {
                verdict[step.pipe] = 2;
            } else if (verdict[step.pipe] == 0 &&
                       lowered >= std::fmin(kMeaningfulLowering, kMeaningfulShare * shortfall)) {
                verdict[step.pipe] = 1;
            }
        }
        std::vector<std::size_t> relay;
        for (const std::size_t v : asked) {
            const Step step = *step_[v];
            step_[v].reset();
            if (verdict[step.pipe] == 1) continue;
            if (grade_floor_[step.pipe] != step.floor) {
                grade_floor_[step.pipe] = step.floor;
                relay.push_back(step.pipe);
            }
            const std::string& pipe = net_.pipes[step.pipe].id;
            give_up(v, node_hgl, hopeless,
                    verdict[step.pipe] == 2
                        ? "a larger pipe " + pipe + " below would break the cover rule"
                        : "a larger pipe " + pipe + " below lowers the grade line only " +
                              feet_text(enlarged_at[v] - node_hgl[v]) + " ft");
        }
        return relay;
    }

    // The outfall that v's first pipes lead to, when the water there stands above where v's
    // freeboard would need its grade line.
    [[nodiscard]] std::optional<std::size_t> outfall_water_above_freeboard(
        std::size_t v, const std::vector<double>& node_hgl) const {
        std::size_t w = v;
        for (std::size_t guard = 0; guard < net_.nodes.size() && links_.outflow_count(w) > 0; ++guard) {
            w = links_.to[links_.out_pipes[links_.out_begin[w]]];
        }
        const bool above = net_.nodes[w].kind == NodeKind::outfall && w != v &&
                           node_hgl[w] > net_.nodes[v].rim - rules_.freeboard_ft;
        return above ? std::optional<std::size_t>(w) : std::nullopt;
    }

    // Marks v as beyond help from the pipes below, with the cause the report gives: the water
    // at the outfall (see above), else `otherwise`.
    void give_up(std::size_t v, const std::vector<double>& node_hgl, std::vector<bool>& hopeless,
                 const std::string& otherwise) {
        hopeless[v] = true;
        if (const auto w = outfall_water_above_freeboard(v, node_hgl)) {
            const bool tailwater = options_.tailwater && node_hgl[*w] == *options_.tailwater;
            held_[v] = std::string("grade line held by the ") +
                       (tailwater ? "tailwater at " : "water at outfall ") + net_.nodes[*w].id;
        } else {
            held_[v] = otherwise;
        }
    }

    // Per part (indexed by its representative structure), how far the pipes leaving the
    // structures of `order` fall short of the cover at their ends, summed, ft.
    [[nodiscard]] std::vector<double> cover_deficits(const std::vector<std::size_t>& order) const {
        std::vector<double> deficit(net_.nodes.size(), 0.0);
        const auto short_of = [&](std::size_t v, double crown) {
            const network::Node& node = net_.nodes[v];
            if (node.kind == NodeKind::outfall) return 0.0;
            return std::fmax(0.0, rules_.min_cover_ft - (node.rim - crown));
        };
        for (const std::size_t u : order) {
            for (std::size_t s = links_.out_begin[u]; s < links_.out_begin[u + 1]; ++s) {
                const std::size_t p = links_.out_pipes[s];
                deficit[part_[u]] += short_of(u, z_up(p) + rise(p)) + short_of(links_.to[p], z_dn(p) + rise(p));
            }
        }
        return deficit;
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
        check_design(net_, links_, design.analysis, rules_, sized, design.pipes, design.unmet, held_);
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
    // The enlargement a structure asked for last round: the pipe, its grade floor before, and
    // the cover its part lacked then (ft); judged on the next round's grade lines.
    struct Step {
        std::size_t pipe = 0;
        std::size_t floor = 0;
        double deficit = 0.0;
    };
    std::vector<std::optional<Step>> step_;
    std::vector<std::string> held_;  // per structure: what keeps its grade line up, if known
    network::Loads loads_;
    std::vector<std::size_t> part_;  // per structure: its part's representative structure
};

std::string number_text(double value) {
    std::ostringstream out;
    out << value;
    return out.str();
}

// The first pipe or structure design cannot lay: a slope needs a length, a capacity a
// roughness, and the level grid finite elevations of a sane size.
std::optional<InvalidRecord> invalid_record(const Network& network) {
    const auto elevation_ok = [](double z) { return std::fabs(z) <= kLargestElevation; };
    const auto elevation_message = [](const std::string& record, const char* key, double z) {
        return InvalidRecord{record + ": " + key + " must be a finite elevation within " +
                             number_text(kLargestElevation) + " ft of zero, got " + number_text(z)};
    };
    for (const network::Node& node : network.nodes) {
        const std::string record = "node '" + node.id + "'";
        if (!elevation_ok(node.rim)) return elevation_message(record, "rim", node.rim);
        if (!elevation_ok(node.invert)) return elevation_message(record, "invert", node.invert);
    }
    for (const network::Pipe& pipe : network.pipes) {
        const std::string record = "pipe '" + pipe.id + "'";
        if (!(pipe.n > 0.0 && std::isfinite(pipe.n))) {
            return InvalidRecord{record + ": n must be a finite number above zero, got " + number_text(pipe.n)};
        }
        if (!(pipe.length > 0.0 && std::isfinite(pipe.length))) {
            return InvalidRecord{record + ": length must be a finite number above zero, got " +
                                 number_text(pipe.length)};
        }
        for (const auto& [key, z] : {std::pair{"invert_up", pipe.invert_up}, std::pair{"invert_dn", pipe.invert_dn}}) {
            if (z && !elevation_ok(*z)) return elevation_message(record, key, *z);
        }
    }
    return std::nullopt;
}

}  // namespace

DesignOutcome design(const Network& network, const network::IdfParams& idf,
                     const network::DesignOptions& options, const Rules& rules,
                     const std::vector<bool>& locked, const LevelGrid& grid) {
    if (auto message = validate(rules)) return DesignError{InvalidRules{std::move(*message)}};
    if (auto invalid = invalid_record(network)) return DesignError{std::move(*invalid)};
    auto routed = route(network);
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
