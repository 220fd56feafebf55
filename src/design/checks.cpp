#include "design/checks.hpp"

#include <cmath>
#include <cstddef>
#include <cstdio>
#include <limits>

namespace rillway::design {

using network::NodeKind;

namespace {

// Slack for the arithmetic of a check: a pipe laid on a rule's limit passes it, a pipe that
// misses it by a thousandth of a foot (or of a per cent) does not.
constexpr double kLevelSlack = 1e-6;     // ft
constexpr double kRelativeSlack = 1e-9;  // of a flow or a velocity

std::string ft(double v) {
    char text[48];
    std::snprintf(text, sizeof text, "%.2f", v);
    return text;
}

class Checker {
public:
    Checker(const network::Network& net, const network::Links& links,
            const network::Analysis& analysis, const Rules& rules,
            std::vector<PipeDesign>& pipes, std::vector<std::string>& unmet,
            const std::vector<std::string>& held)
        : net_(net), links_(links), analysis_(analysis), rules_(rules), pipes_(pipes),
          unmet_(unmet), held_(held) {}

    void fail_pipe(std::size_t p, const std::string& text) {
        pipes_[p].met = false;
        unmet_.push_back("pipe " + net_.pipes[p].id + ": " + text);
    }

    [[nodiscard]] double z_up(std::size_t p) const { return *net_.pipes[p].invert_up; }
    [[nodiscard]] double z_dn(std::size_t p) const { return *net_.pipes[p].invert_dn; }
    [[nodiscard]] double rise(std::size_t p) const { return net_.pipes[p].section.rise; }

    void hydraulics(std::size_t p) {
        const network::PipeResult& r = analysis_.pipes[p];
        const double allowed = rules_.max_pct_full * r.capacity;
        if (!(r.design_q <= allowed * (1.0 + kRelativeSlack))) {
            fail_pipe(p, "capacity: design flow " + ft(r.design_q) + " cfs is " +
                             ft(r.design_q - allowed) + " cfs more than " +
                             ft(rules_.max_pct_full * 100.0) + "% of the just-full " +
                             ft(r.capacity) + " cfs");
        }
        if (!(r.full_flow_velocity >= rules_.min_velocity_fps * (1.0 - kRelativeSlack))) {
            fail_pipe(p, "min_velocity: full-flow velocity " + ft(r.full_flow_velocity) +
                             " ft/s is " + ft(rules_.min_velocity_fps - r.full_flow_velocity) +
                             " ft/s below " + ft(rules_.min_velocity_fps) + " ft/s");
        }
        if (!(r.velocity <= rules_.max_velocity_fps * (1.0 + kRelativeSlack))) {
            fail_pipe(p, "max_velocity: velocity " + ft(r.velocity) + " ft/s at the design flow is " +
                             ft(r.velocity - rules_.max_velocity_fps) + " ft/s above " +
                             ft(rules_.max_velocity_fps) + " ft/s");
        }
    }

    void cover(std::size_t p, std::size_t v, double invert, const char* end) {
        const network::Node& node = net_.nodes[v];
        if (node.kind == NodeKind::outfall) return;
        const double cover = node.rim - (invert + rise(p));
        if (!(cover >= rules_.min_cover_ft - kLevelSlack)) {
            fail_pipe(p, "cover: " + ft(cover) + " ft at the " + end + " end (structure " +
                             node.id + ") is " + ft(rules_.min_cover_ft - cover) +
                             " ft less than " + ft(rules_.min_cover_ft) + " ft");
        }
    }

    void outfall(std::size_t p) {
        const network::Node& node = net_.nodes[links_.to[p]];
        if (node.kind != NodeKind::outfall) return;
        if (!(z_dn(p) >= node.invert - kLevelSlack)) {
            fail_pipe(p, "outfall: ends " + ft(node.invert - z_dn(p)) +
                             " ft below the invert of outfall " + node.id);
        }
    }

    void size(std::size_t p) {
        const double min_ft = rules_.min_diameter_in / 12.0;
        if (!(rise(p) >= min_ft - kLevelSlack)) {
            fail_pipe(p, "min_size: " + ft(rise(p) * 12.0) + " in is smaller than " +
                             ft(rules_.min_diameter_in) + " in (the catalog has no size above)");
        }
    }

    // The rules that tie pipe p to the pipes entering its upstream structure.
    void junction(std::size_t p) {
        const std::size_t u = links_.from[p];
        const std::string& at = net_.nodes[u].id;
        for (std::size_t s = links_.in_begin[u]; s < links_.in_begin[u + 1]; ++s) {
            const std::size_t e = links_.in_pipes[s];
            const network::Pipe& in = net_.pipes[e];
            const double shortfall = in.equivalent_diameter - net_.pipes[p].equivalent_diameter;
            if (shortfall > kLevelSlack) {
                fail_pipe(p, "no_decrease: " + ft(shortfall * 12.0) + " in smaller than pipe " +
                                 in.id + " entering structure " + at);
            }
            if (rules_.match == Match::crowns) {
                const double above = (z_up(p) + rise(p)) - (z_dn(e) + rise(e));
                if (above > kLevelSlack) {
                    fail_pipe(p, "match: crown " + ft(above) + " ft above the crown of pipe " +
                                     in.id + " at structure " + at);
                }
            }
            const double drop = z_dn(e) - z_up(p);
            if (drop < rules_.min_drop_ft - kLevelSlack) {
                const std::string where = drop >= 0.0 ? ft(drop) + " ft below" : ft(-drop) + " ft above";
                const std::string rule =
                    (drop < -kLevelSlack && rules_.match == Match::inverts ? "match: invert "
                                                                           : "min_drop: invert ") +
                    where;
                fail_pipe(p, rule + " the invert of pipe " + in.id + " at structure " + at +
                                 ", " + ft(rules_.min_drop_ft - drop) + " ft short of the " +
                                 ft(rules_.min_drop_ft) + " ft drop");
            }
        }
    }

    void freeboard(std::size_t v) {
        const network::Node& node = net_.nodes[v];
        if (node.kind == NodeKind::outfall) return;
        const double hgl = analysis_.nodes[v].hgl;
        const double freeboard = node.rim - hgl;
        if (freeboard >= rules_.freeboard_ft - kLevelSlack || std::isnan(hgl)) return;
        const std::string stands = freeboard >= 0.0 ? ft(freeboard) + " ft below the rim"
                                                    : ft(-freeboard) + " ft above the rim";
        const std::string held = v < held_.size() && !held_[v].empty() ? " (" + held_[v] + ")" : "";
        unmet_.push_back("structure " + node.id + ": grade_line: the grade line stands " + stands +
                         ", " + ft(rules_.freeboard_ft - freeboard) + " ft less than the " +
                         ft(rules_.freeboard_ft) + " ft freeboard" + held);
        for (std::size_t s = links_.out_begin[v]; s < links_.out_begin[v + 1]; ++s) {
            pipes_[links_.out_pipes[s]].met = false;
        }
    }

private:
    const network::Network& net_;
    const network::Links& links_;
    const network::Analysis& analysis_;
    const Rules& rules_;
    std::vector<PipeDesign>& pipes_;
    std::vector<std::string>& unmet_;
    const std::vector<std::string>& held_;
};

}  // namespace

void check_design(const network::Network& designed, const network::Links& links,
                  const network::Analysis& analysis, const Rules& rules,
                  const std::vector<bool>& sized, std::vector<PipeDesign>& pipes,
                  std::vector<std::string>& unmet, const std::vector<std::string>& held) {
    Checker checker(designed, links, analysis, rules, pipes, unmet, held);
    for (std::size_t p = 0; p < designed.pipes.size(); ++p) {
        pipes[p].met = true;
        if (sized[p]) checker.size(p);
        checker.junction(p);
        checker.hydraulics(p);
        checker.cover(p, links.from[p], checker.z_up(p), "upstream");
        checker.cover(p, links.to[p], checker.z_dn(p), "downstream");
        checker.outfall(p);
    }
    for (std::size_t v = 0; v < designed.nodes.size(); ++v) checker.freeboard(v);
}

void check_inlet_spreads(const network::Analysis& analysis, std::vector<std::string>& unmet) {
    for (const network::InletResult& r : analysis.inlets) {
        if (!r.spread_exceeded) continue;
        unmet.push_back("inlet " + r.id + ": spread: the spread of " + ft(r.spread) + " ft is " +
                        ft(r.spread - *r.spread_allow) + " ft wider than the " +
                        ft(*r.spread_allow) + " ft allowed");
    }
}

}  // namespace rillway::design
