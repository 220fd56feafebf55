#pragma once
// Bounds on the computed elliptical wetted perimeter at a depth, from perimeters computed at
// other depths of the same section.
//
// Integrating the perimeter (257 sine-cosine pairs) is nearly all the cost of an elliptical
// geometry. A bisection mostly asks on which side of a value a flow or an energy lies; when the
// answer is the same for every perimeter within the bounds, it needs no integration.
//
// Glossary as in section.hpp; t is the ellipse parameter of the water surface
// (elliptical_surface), P_S(t) the perimeter elliptical_wetted_perimeter computes.

#include <array>
#include <optional>

#include "hydraulics/section.hpp"

namespace rillway::hydraulics {

class PerimeterBounds {
public:
    struct Range {
        double lo = 0.0;
        double hi = 0.0;
        bool exact = false;  // the perimeter is known: lo == hi is it
    };

    // Bounds are offered only for elliptical sections whose sizes are within [2^-60, 2^60] and
    // whose span is within 1/16 and 16 rises; otherwise every query integrates.
    explicit PerimeterBounds(const Section& section);

    [[nodiscard]] bool active() const noexcept { return active_; }

    // elliptical_wetted_perimeter(depth, H, B), remembered for later bounds.
    double exact(double depth);

    // An interval holding elliptical_wetted_perimeter(depth, H, B), or that perimeter itself
    // when it is known. None when inactive or nothing is known yet.
    [[nodiscard]] std::optional<Range> bounds(double depth) const;

private:
    static constexpr int kAnchors = 8;

    struct Anchor {
        double t = 0.0;
        double perimeter = 0.0;
        double speed = 0.0;  // arc speed at t
    };

    // Narrows range by what anchor tells of the perimeter at parameter t (arc speed there given).
    void narrow(Range& range, const Anchor& anchor, double t, double speed) const;

    Section section_;
    bool active_ = false;
    double curvature_ = 0.0;  // a bound on |f''| over the whole ellipse
    double fourth_ = 0.0;     // a bound on |f''''| over the whole ellipse
    std::array<Anchor, kAnchors> anchors_{};
    int count_ = 0;
    int next_ = 0;  // slot to overwrite once all are used
};

}  // namespace rillway::hydraulics
