#pragma once
// Scenarios: one network read once, analysed under many storms and assumptions. A scenario
// picks the rainfall curve of a return period, scales the intensity, every runoff coefficient
// and every Manning n, and may impose an outfall tailwater. A tailwater is in the document's
// length unit (m in an SI project, as its own `tailwater`); the rest has no unit but years.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "formats/project/project.hpp"
#include "network/analysis.hpp"
#include "network/network.hpp"
#include "formats/rwn/rwn.hpp"

namespace rillway::scenario {

struct Scenario {
    std::optional<double> return_period;  // years; absent: the document's design period
    std::optional<double> tailwater;      // document units, overrides the document's tailwater
    double intensity_factor = 1.0;        // multiplies the IDF `a`, or the intensity override
    double c_factor = 1.0;                // multiplies every C before the 1.0 cap on C x Cf
    double n_factor = 1.0;                // multiplies every Manning n
};

// The rainfall curve of one return period, by its rounded key (formats::project::return_period_key).
struct PeriodCurve {
    std::uint32_t period_key = 0;
    network::IdfParams idf;
};

// What every scenario starts from: the analysis network, its design curve and options, and the
// curves the document holds for other return periods.
struct Base {
    network::Network network;
    network::IdfParams idf;
    network::DesignOptions options;
    std::vector<PeriodCurve> curves;  // first curve of each period; empty for a .rwn network
    bool single_curve = false;        // a .rwn network: one curve, no return periods
    double feet_per_unit = 1.0;       // the document's length unit, as the reader converts it
};

[[nodiscard]] Base from_project(const formats::project::Project& project);
[[nodiscard]] Base from_rwn(formats::RwnDocument document);

// Errors of one scenario; the other scenarios of a batch are unaffected.
struct InvalidValue {  // a factor that is not finite and positive, a tailwater that is not finite
    const char* field;
    double value;
};
struct NoCurveForPeriod {  // the document has no rainfall curve for the period
    double return_period;
    std::uint32_t period_key;
    bool single_curve;
};
using ScenarioError = std::variant<InvalidValue, NoCurveForPeriod, network::NetworkError>;

// The whole message, e.g. "no rainfall curve for the 100-year return period ...".
[[nodiscard]] std::string display(const ScenarioError& error);

using ScenarioOutcome = std::variant<network::Analysis, ScenarioError>;

// Analyses one base under scenario after scenario. It keeps a working copy of the network and
// rewrites only the coefficients a scenario scales, so a batch allocates the copy once; a
// scenario of unit factors and no return period or tailwater gives the base's own analysis,
// bit for bit (x * 1.0 == x).
class Runner {
public:
    explicit Runner(const Base& base);
    [[nodiscard]] ScenarioOutcome analyze(const Scenario& scenario);

private:
    const Base& base_;
    network::Network work_;
    double applied_c_factor_ = 1.0;
    double applied_n_factor_ = 1.0;
};

}  // namespace rillway::scenario
