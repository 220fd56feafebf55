// The eight single-question calculators: bind, convert in parameter order, validate, compute.

#include <cmath>
#include <iterator>
#include <optional>
#include <utility>

#include "binding.hpp"
#include "errors.hpp"
#include "functions.hpp"
#include "hydraulics/constants.hpp"
#include "hydraulics/depth_solvers.hpp"
#include "hydraulics/manning.hpp"
#include "hydraulics/section.hpp"
#include "network/design_pass.hpp"

namespace rillway::py {

namespace hy = rillway::hydraulics;
namespace net = rillway::network;

namespace {

constexpr const char* kDiameterAndN = "diameter and n must be positive";
constexpr const char* kDiameter = "diameter must be positive";
constexpr const char* kChannel =
    "rise and n must be positive, span and side_slope zero or more, and one of them positive";

// Binds and converts a calculator's numeric parameters (and `si` when it has one).
template <std::size_t N>
bool numbers(const Signature& signature, PyObject* args, PyObject* kwargs,
             std::array<double, N>& values, bool* si = nullptr) {
    BoundArguments bound;
    if (!bind_arguments(signature, args, kwargs, bound)) return false;
    for (std::size_t i = 0; i < N; ++i) {
        if (!to_double(bound[i], signature.names[i], values[i])) return false;
    }
    return si == nullptr || to_si_flag(bound[N], "si", *si);
}

// A NaN is not positive, so it is rejected with the same message as zero.
bool positive(double value) { return value > 0.0; }

double manning_factor(bool si) { return si ? hy::kManningSi : hy::kManningUs; }

PyObject* optional_float(std::optional<double> value) {
    if (!value) Py_RETURN_NONE;
    return PyFloat_FromDouble(*value);
}

}  // namespace

PyObject* intensity(PyObject*, PyObject* args, PyObject* kwargs) {
    static constexpr Signature kSig{"intensity", {"a", "b", "c", "t_min"}, 4, false};
    return guarded([&]() -> PyObject* {
        std::array<double, 4> v{};
        if (!numbers(kSig, args, kwargs, v)) return nullptr;
        const auto [a, b, c, t_min] = v;
        // The analysis's own curve; a negative or NaN duration counts as 0 there too.
        return PyFloat_FromDouble(net::design_intensity(t_min, net::IdfParams{a, b, c}, std::nullopt));
    });
}

PyObject* rational_q(PyObject*, PyObject* args, PyObject* kwargs) {
    static constexpr Signature kSig{"rational_q", {"c", "i", "area"}, 3, false};
    return guarded([&]() -> PyObject* {
        std::array<double, 3> v{};
        if (!numbers(kSig, args, kwargs, v)) return nullptr;
        const auto [c, i, area] = v;
        return PyFloat_FromDouble((c * i) * area);
    });
}

PyObject* manning_capacity(PyObject*, PyObject* args, PyObject* kwargs) {
    static constexpr Signature kSig{"manning_capacity", {"diameter", "n", "slope", "si"}, 3, true};
    return guarded([&]() -> PyObject* {
        std::array<double, 3> v{};
        bool si = false;
        if (!numbers(kSig, args, kwargs, v, &si)) return nullptr;
        const auto [diameter, n, slope] = v;
        if (!positive(diameter) || !positive(n)) return raise(PyExc_ValueError, kDiameterAndN);
        return PyFloat_FromDouble(hy::just_full_capacity(diameter, n, slope, manning_factor(si)));
    });
}

PyObject* circular_flow(PyObject*, PyObject* args, PyObject* kwargs) {
    static constexpr Signature kSig{
        "circular_flow", {"diameter", "n", "slope", "depth", "si"}, 4, true};
    return guarded([&]() -> PyObject* {
        std::array<double, 4> v{};
        bool si = false;
        if (!numbers(kSig, args, kwargs, v, &si)) return nullptr;
        const auto [diameter, n, slope, depth] = v;
        if (!positive(diameter) || !positive(n)) return raise(PyExc_ValueError, kDiameterAndN);
        return PyFloat_FromDouble(hy::circular_q(diameter, n, slope, depth, manning_factor(si)));
    });
}

PyObject* normal_depth(PyObject*, PyObject* args, PyObject* kwargs) {
    static constexpr Signature kSig{"normal_depth", {"q", "diameter", "n", "slope", "si"}, 4, true};
    return guarded([&]() -> PyObject* {
        std::array<double, 4> v{};
        bool si = false;
        if (!numbers(kSig, args, kwargs, v, &si)) return nullptr;
        const auto [q, diameter, n, slope] = v;
        if (!positive(diameter) || !positive(n)) return raise(PyExc_ValueError, kDiameterAndN);
        return optional_float(hy::normal_depth(q, diameter, n, slope, manning_factor(si)));
    });
}

PyObject* critical_depth(PyObject*, PyObject* args, PyObject* kwargs) {
    static constexpr Signature kSig{"critical_depth", {"q", "diameter", "si"}, 2, true};
    return guarded([&]() -> PyObject* {
        std::array<double, 2> v{};
        bool si = false;
        if (!numbers(kSig, args, kwargs, v, &si)) return nullptr;
        const auto [q, diameter] = v;
        if (!positive(diameter)) return raise(PyExc_ValueError, kDiameter);
        const double g = si ? hy::kGravitySi : hy::kGravityUs;
        return PyFloat_FromDouble(hy::critical_depth(q, diameter, g));
    });
}

PyObject* circular_geometry(PyObject*, PyObject* args, PyObject* kwargs) {
    static constexpr Signature kSig{"circular_geometry", {"diameter", "depth"}, 2, false};
    return guarded([&]() -> PyObject* {
        std::array<double, 2> v{};
        if (!numbers(kSig, args, kwargs, v)) return nullptr;
        const auto [diameter, depth] = v;
        if (!positive(diameter)) return raise(PyExc_ValueError, kDiameter);
        const hy::SectionGeometry g = hy::circular_geometry(diameter, depth);
        PyRef dict = PyRef::steal(PyDict_New());
        if (!dict) return nullptr;
        const std::pair<const char*, double> entries[] = {{"area", g.area},
                                                          {"wetted_perimeter", g.wetted_perimeter},
                                                          {"hydraulic_radius", g.hydraulic_radius},
                                                          {"top_width", g.top_width}};
        for (const auto& [key, value] : entries) {
            PyRef number = PyRef::steal(PyFloat_FromDouble(value));
            if (!number || PyDict_SetItemString(dict.get(), key, number.get()) < 0) return nullptr;
        }
        return dict.release();
    });
}

PyObject* open_channel(PyObject*, PyObject* args, PyObject* kwargs) {
    static constexpr Signature kSig{
        "open_channel", {"q", "n", "slope", "span", "side_slope", "rise", "si"}, 6, true};
    return guarded([&]() -> PyObject* {
        std::array<double, 6> v{};
        bool si = false;
        if (!numbers(kSig, args, kwargs, v, &si)) return nullptr;
        const auto [q, n, slope, span, side_slope, rise] = v;
        if (!positive(rise) || !positive(n) || !(span >= 0.0) || !(side_slope >= 0.0) ||
            !(span > 0.0 || side_slope > 0.0)) {
            return raise(PyExc_ValueError, kChannel);
        }
        const hy::Section section = hy::Section::trapezoid(rise, span, side_slope, side_slope);
        const double k = manning_factor(si);
        const hy::PeakFlow bank_full = hy::peak_flow_scan(section, n, slope, k);
        const std::optional<double> y_n = hy::normal_depth(q, n, slope, section, k, bank_full);
        // Above the banks the channel runs bank-full, as a full pipe does.
        const hy::SectionGeometry g = section.geometry(y_n ? *y_n : rise);
        const double values[] = {hy::full_flow_capacity(section, n, slope, k),
                                 hy::critical_depth(q, section, si ? hy::kGravitySi : hy::kGravityUs),
                                 g.area > 0.0 ? q / g.area : 0.0, g.area, g.wetted_perimeter,
                                 g.top_width};
        const char* const keys[] = {"capacity", "critical_depth", "velocity", "area",
                                    "wetted_perimeter", "top_width"};
        PyRef dict = PyRef::steal(PyDict_New());
        PyRef depth = PyRef::steal(optional_float(y_n));
        if (!dict || !depth || PyDict_SetItemString(dict.get(), "normal_depth", depth.get()) < 0) {
            return nullptr;
        }
        for (std::size_t i = 0; i < std::size(keys); ++i) {
            PyRef number = PyRef::steal(PyFloat_FromDouble(values[i]));
            if (!number || PyDict_SetItemString(dict.get(), keys[i], number.get()) < 0) return nullptr;
        }
        return dict.release();
    });
}

}  // namespace rillway::py
