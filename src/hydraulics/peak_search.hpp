#pragma once
// The sampled peak of the Manning flow found from a few samples near it, with a proof that the
// full 2000-sample scan returns the same flow and depth.
//
// Glossary as in manning.hpp; q_i is the computed flow at the sample depth y_i = i H / 2000.

#include <optional>

#include "hydraulics/manning.hpp"
#include "hydraulics/section.hpp"

namespace rillway::hydraulics {

// The result of peak_flow_scan when a window of samples around the peak can be shown to hold
// the scan's first largest sample; none when the inputs are outside the range in which that can
// be shown (not finite, extreme sizes or an ellipse flatter than 1:16), so the caller scans.
// Requires n > 0, S > 0 and a valid rise.
[[nodiscard]] std::optional<PeakFlow> windowed_peak(const Section& section, double n,
                                                    double slope, double k);

}  // namespace rillway::hydraulics
