#include "design/inlet_sizing.hpp"

#include <limits>
#include <optional>
#include <utility>

#include "hydraulics/inlet.hpp"
#include "network/bypass.hpp"

namespace rillway::design {

namespace net = network;

std::string_view name(InletGoverning governing) noexcept {
    switch (governing) {
        case InletGoverning::min_length: return "min_length";
        case InletGoverning::spread: return "spread";
        case InletGoverning::max_length: return "max_length";
        case InletGoverning::locked: return "locked";
    }
    return "min_length";
}

namespace {

constexpr std::size_t kNotSized = std::numeric_limits<std::size_t>::max();

// The street in the making: each inlet's approach flow, bypass and spread at the lengths chosen
// so far (cfs, ft).
class StreetSizer {
public:
    StreetSizer(net::Network& network, const net::BypassLinks& links,
                const std::vector<InletChoice>& choices, std::vector<InletSizing>& sizing,
                std::vector<double> own)
        : network_(network), links_(links), choices_(choices), sizing_(sizing),
          own_(std::move(own)), approach_(own_), bypass_(own_.size(), 0.0),
          spread_(own_.size(), 0.0), feeders_(own_.size()), choice_of_(own_.size(), kNotSized) {
        for (std::size_t c = 0; c < choices.size(); ++c) choice_of_[choices[c].node] = c;
        for (const std::size_t v : links.order) {
            if (const std::size_t to = links.target[v]; to != net::kBypassLost) feeders_[to].push_back(v);
        }
    }

    void run() {
        for (const std::size_t v : links_.order) {
            gather(v);
            evaluate(v);
            if (street(v).sag) {
                while (too_wide(v) && can_lengthen(v)) {
                    lengthen(v);
                    evaluate(v);
                }
            }
            while (too_wide(v)) {
                const std::size_t u = upstream_to_lengthen(v);
                if (u == kNotSized) break;
                lengthen(u);
                for (std::size_t w = u;; w = links_.target[w]) {
                    evaluate(w);
                    if (w == v) break;
                    gather(links_.target[w]);
                }
            }
            if (too_wide(v)) held_at_longest(v);
        }
    }

private:
    [[nodiscard]] const net::StreetInlet& street(std::size_t v) const { return *network_.nodes[v].street; }

    // The approach flow: the inlet's own runoff and the bypass of every inlet naming it.
    void gather(std::size_t v) {
        double q = own_[v];
        for (const std::size_t f : feeders_[v]) q += bypass_[f];
        approach_[v] = q;
    }

    void evaluate(std::size_t v) {
        const net::StreetInlet& s = street(v);
        if (s.sag) {
            spread_[v] = hydraulics::inlet_in_sag(approach_[v], s.gutter, s.inlet).spread;
            bypass_[v] = 0.0;
        } else {
            const hydraulics::OnGrade g = hydraulics::inlet_on_grade(approach_[v], s.gutter, s.inlet);
            spread_[v] = g.approach.spread;
            bypass_[v] = g.q_bypass;
        }
    }

    [[nodiscard]] bool too_wide(std::size_t v) const {
        const std::optional<double>& allowed = street(v).spread_allow;
        return allowed && spread_[v] > *allowed;
    }

    [[nodiscard]] bool can_lengthen(std::size_t v) const {
        const std::size_t c = choice_of_[v];
        return c != kNotSized && sizing_[c].choice + 1 < choices_[c].lengths.size();
    }

    void lengthen(std::size_t v) {
        InletSizing& s = sizing_[choice_of_[v]];
        ++s.choice;
        s.governing = InletGoverning::spread;
        network_.nodes[v].street = choices_[choice_of_[v]].lengths[s.choice];
    }

    // Of the inlets whose bypass reaches v, the nearest that can still be lengthened, the one
    // passing the most bypass among equally near ones; kNotSized when none can.
    [[nodiscard]] std::size_t upstream_to_lengthen(std::size_t v) const {
        std::vector<std::size_t> level = feeders_[v];
        while (!level.empty()) {
            std::size_t best = kNotSized;
            for (const std::size_t u : level) {
                if (can_lengthen(u) && (best == kNotSized || bypass_[u] > bypass_[best])) best = u;
            }
            if (best != kNotSized) return best;
            std::vector<std::size_t> above;
            for (const std::size_t u : level) above.insert(above.end(), feeders_[u].begin(), feeders_[u].end());
            level = std::move(above);
        }
        return kNotSized;
    }

    // v's spread stays too wide: every sized inlet that could have narrowed it is at its longest.
    void held_at_longest(std::size_t v) {
        std::vector<std::size_t> level{v};
        while (!level.empty()) {
            std::vector<std::size_t> above;
            for (const std::size_t u : level) {
                const bool narrows = u != v || street(v).sag;
                if (narrows && choice_of_[u] != kNotSized) {
                    sizing_[choice_of_[u]].governing = InletGoverning::max_length;
                }
                above.insert(above.end(), feeders_[u].begin(), feeders_[u].end());
            }
            level = std::move(above);
        }
    }

    net::Network& network_;
    const net::BypassLinks& links_;
    const std::vector<InletChoice>& choices_;
    std::vector<InletSizing>& sizing_;
    std::vector<double> own_;
    std::vector<double> approach_;
    std::vector<double> bypass_;
    std::vector<double> spread_;
    std::vector<std::vector<std::size_t>> feeders_;  // the inlets whose bypass_to is the node
    std::vector<std::size_t> choice_of_;              // per node: its choice, or kNotSized
};

}  // namespace

std::variant<std::vector<InletSizing>, net::NetworkError> size_inlets(
    net::Network& network, const net::IdfParams& idf, const net::DesignOptions& options,
    const std::vector<InletChoice>& choices) {
    std::vector<InletSizing> sizing(choices.size());
    for (const InletChoice& choice : choices) {
        if (!choice.lengths.empty()) network.nodes[choice.node].street = choice.lengths.front();
    }
    if (!net::has_street_inlets(network)) return sizing;
    auto checked = net::bypass_links(network);
    if (auto* error = std::get_if<net::NetworkError>(&checked)) return std::move(*error);
    const net::BypassLinks& links = std::get<net::BypassLinks>(checked);

    std::vector<double> own(network.nodes.size(), 0.0);
    for (const std::size_t v : links.order) own[v] = net::own_runoff(network.nodes[v], idf, options);
    StreetSizer(network, links, choices, sizing, std::move(own)).run();
    return sizing;
}

}  // namespace rillway::design
