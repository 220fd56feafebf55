// Applying a scenario to the working copy of a base network and analysing it.

#include <cmath>
#include <cstddef>
#include <string>
#include <string_view>
#include <variant>

#include "scenario/scenario.hpp"

namespace rillway::scenario {
namespace {

std::optional<ScenarioError> validate(const Scenario& s) {
    const struct {
        const char* field;
        double value;
    } factors[] = {{"intensity_factor", s.intensity_factor},
                   {"c_factor", s.c_factor},
                   {"n_factor", s.n_factor}};
    for (const auto& f : factors) {
        if (!(std::isfinite(f.value) && f.value > 0.0)) return InvalidValue{f.field, f.value};
    }
    if (s.return_period && !(std::isfinite(*s.return_period) && *s.return_period > 0.0)) {
        return InvalidValue{"return_period", *s.return_period};
    }
    if (s.tailwater && !std::isfinite(*s.tailwater)) return InvalidValue{"tailwater", *s.tailwater};
    return std::nullopt;
}

std::string number_text(double value) {
    std::string text = std::to_string(value);
    // to_string writes six decimals; drop the trailing zeros of a whole or short number.
    if (text.find('.') != std::string::npos) {
        text.erase(text.find_last_not_of('0') + 1);
        if (text.back() == '.') text.pop_back();
    }
    return text;
}

}  // namespace

std::string display(const ScenarioError& error) {
    struct Visitor {
        std::string operator()(const InvalidValue& e) const {
            return std::string(e.field) + " must be a finite number" +
                   (std::string_view(e.field) == "tailwater" ? "" : " above zero") + ", not " +
                   number_text(e.value);
        }
        std::string operator()(const NoCurveForPeriod& e) const {
            const std::string period = std::to_string(e.period_key) + "-year";
            if (e.single_curve) {
                return "a .rwn network has a single rainfall curve: the " + period +
                       " return period needs a project with idf_curves";
            }
            return "no rainfall curve for the " + period + " return period (" +
                   number_text(e.return_period) + " years) in the project's idf_curves";
        }
        std::string operator()(const network::NetworkError& e) const {
            return "analysis failed: " + network::display(e);
        }
    };
    return std::visit(Visitor{}, error);
}

Runner::Runner(const Base& base) : base_(base), work_(base.network) {}

ScenarioOutcome Runner::analyze(const Scenario& s) {
    if (auto error = validate(s)) return *error;

    network::IdfParams idf = base_.idf;
    network::DesignOptions options = base_.options;
    if (s.return_period) {
        const std::uint32_t key = formats::project::return_period_key(*s.return_period);
        const PeriodCurve* curve = nullptr;
        for (const PeriodCurve& c : base_.curves) {
            if (c.period_key == key) {
                curve = &c;
                break;
            }
        }
        if (curve == nullptr) return NoCurveForPeriod{*s.return_period, key, base_.single_curve};
        idf = curve->idf;
        // As for the design period: the curve by the rounded period, the factor by whole years.
        options.frequency_factor = formats::project::frequency_factor(*s.return_period);
    }
    idf.a *= s.intensity_factor;
    if (options.intensity_override) *options.intensity_override *= s.intensity_factor;
    // The product the document reader forms for its own tailwater (formats/project), so a
    // scenario's value and the same value in the document analyse alike to the bit.
    if (s.tailwater) options.tailwater = *s.tailwater * base_.feet_per_unit;

    // Rewritten from the base values, never compounded, and only when the factor changes.
    if (s.c_factor != applied_c_factor_) {
        for (std::size_t i = 0; i < work_.nodes.size(); ++i) {
            work_.nodes[i].c = base_.network.nodes[i].c * s.c_factor;
        }
        applied_c_factor_ = s.c_factor;
    }
    if (s.n_factor != applied_n_factor_) {
        for (std::size_t i = 0; i < work_.pipes.size(); ++i) {
            work_.pipes[i].n = base_.network.pipes[i].n * s.n_factor;
        }
        applied_n_factor_ = s.n_factor;
    }

    network::AnalysisOutcome outcome = network::analyze(work_, idf, options);
    if (auto* error = std::get_if<network::NetworkError>(&outcome)) return ScenarioError{*error};
    return std::get<network::Analysis>(std::move(outcome));
}

}  // namespace rillway::scenario
