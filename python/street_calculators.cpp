// The street calculators: gutter flow and spread, and one inlet on grade or in a sag, by hand.
// The library works in US customary units; with si=True the arguments are converted from
// metres and m3/s on the way in and the results back on the way out.

#include <array>
#include <cmath>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "binding.hpp"
#include "dict_rows.hpp"
#include "errors.hpp"
#include "functions.hpp"
#include "hydraulics/gutter.hpp"
#include "hydraulics/inlet.hpp"
#include "units/unit_system.hpp"

namespace rillway::py {

namespace {

namespace hy = rillway::hydraulics;

constexpr double kLength = units::kFeetPerMetre;
constexpr double kFlow = units::kFeetPerMetre * units::kFeetPerMetre * units::kFeetPerMetre;

// The calculators' parameter names, in the order of InletField.
constexpr std::array<const char*, 17> kParameterNames{
    "cross_slope", "long_slope",  "n",          "gutter_width", "depression",
    "length",      "grate_width", "curb_length", "curb_height", "slot_width",
    "local_depression", "local_depression_width", "clogging", "splash_velocity",
    "opening_ratio", "type", "spread_allow"};

PyObject* raise_problem(const hy::InletProblem& problem) {
    return raise(PyExc_ValueError,
                 std::string(kParameterNames[static_cast<std::size_t>(problem.field)]) + " " +
                     std::string(problem.rule));
}

// A number argument, or `fallback` when it was not given or is None.
bool number_or(PyObject* object, const char* name, double fallback, double& out) {
    if (object == nullptr || object == Py_None) {
        out = fallback;
        return true;
    }
    return to_double(object, name, out);
}

// A word argument read by `of_word`; false with ValueError naming the words it takes.
template <class E, class OfWord>
bool word(PyObject* object, const char* name, E fallback, OfWord of_word, std::string_view words,
          E& out) {
    if (object == nullptr) {
        out = fallback;
        return true;
    }
    std::string_view text;
    if (!to_text(object, name, text)) return false;
    const std::optional<E> value = of_word(text);
    if (!value) {
        raise(PyExc_ValueError, std::string(name) + " must be " + std::string(words) + ", not '" +
                                    std::string(text) + "'");
        return false;
    }
    out = *value;
    return true;
}

bool flow_argument(PyObject* object, double& q) {
    if (!to_double(object, "q", q)) return false;
    if (!(q >= 0.0 && std::isfinite(q))) {
        raise(PyExc_ValueError, "q must be a number of 0 or more");
        return false;
    }
    return true;
}

// The gutter from its arguments, in US customary units.
struct GutterArguments {
    PyObject* cross_slope = nullptr;
    PyObject* long_slope = nullptr;
    PyObject* n = nullptr;
    PyObject* width = nullptr;
    PyObject* depression = nullptr;
};

bool read_gutter(const GutterArguments& a, bool si, hy::Gutter& g) {
    const double length = si ? kLength : 1.0;
    if (!to_double(a.cross_slope, "cross_slope", g.cross_slope) ||
        !number_or(a.long_slope, "long_slope", 0.0, g.long_slope) ||
        !number_or(a.n, "n", 0.016, g.n) || !number_or(a.width, "gutter_width", 0.0, g.width) ||
        !number_or(a.depression, "depression", 0.0, g.depression)) {
        return false;
    }
    g.width *= length;
    g.depression *= length;
    return true;
}

PyObject* dictionary(std::initializer_list<std::pair<const char*, PyRef>> entries) {
    PyRef dict = PyRef::steal(PyDict_New());
    if (!dict) return nullptr;
    for (const auto& [key, value] : entries) {
        if (!value || PyDict_SetItemString(dict.get(), key, value.get()) < 0) return nullptr;
    }
    return dict.release();
}

// Everything but the gutter and the flow: the inlet's own keyword arguments.
struct InletArguments {
    PyObject* type = nullptr;
    PyObject* length = nullptr;
    PyObject* grate_type = nullptr;
    PyObject* grate_width = nullptr;
    PyObject* curb_length = nullptr;
    PyObject* curb_height = nullptr;
    PyObject* throat = nullptr;
    PyObject* slot_width = nullptr;
    PyObject* local_depression = nullptr;
    PyObject* local_depression_width = nullptr;
    PyObject* clogging = nullptr;
    PyObject* splash_velocity = nullptr;
    PyObject* opening_ratio = nullptr;
};

bool read_inlet(const InletArguments& a, bool si, bool sag, hy::Inlet& inlet) {
    const double length = si ? kLength : 1.0;
    if (!word(a.type, "type", hy::InletType::none, hy::inlet_type_of_word,
              "'grate', 'curb', 'combination' or 'slotted'", inlet.type) ||
        !word(a.grate_type, "grate_type", hy::GrateType::p50, hy::grate_type_of_word,
              "'p50', 'p50x100', 'p30', 'curved_vane', 'tilt_bar_45', 'tilt_bar_30', "
              "'reticuline' or 'custom'",
              inlet.grate) ||
        !word(a.throat, "throat", hy::Throat::horizontal, hy::throat_of_word,
              "'horizontal', 'inclined' or 'vertical'", inlet.throat)) {
        return false;
    }
    if (inlet.type == hy::InletType::none) {
        raise(PyExc_ValueError, "type must be 'grate', 'curb', 'combination' or 'slotted'");
        return false;
    }
    const double clogging_default =
        sag && inlet.type == hy::InletType::grate ? hy::kSagGrateClogging : 0.0;
    if (!to_double(a.length, "length", inlet.length) ||
        !number_or(a.grate_width, "grate_width", 0.0, inlet.grate_width) ||
        !number_or(a.curb_length, "curb_length", 0.0, inlet.curb_length) ||
        !number_or(a.curb_height, "curb_height", hy::kCurbHeightFt / length, inlet.curb_height) ||
        !number_or(a.slot_width, "slot_width", hy::kSlotWidthFt / length, inlet.slot_width) ||
        !number_or(a.local_depression, "local_depression", 0.0, inlet.local_depression) ||
        !number_or(a.local_depression_width, "local_depression_width", 0.0,
                   inlet.local_depression_width) ||
        !number_or(a.clogging, "clogging", clogging_default, inlet.clogging) ||
        !number_or(a.splash_velocity, "splash_velocity", 0.0, inlet.splash_velocity) ||
        !number_or(a.opening_ratio, "opening_ratio", 0.0, inlet.opening_ratio)) {
        return false;
    }
    for (double* value : {&inlet.length, &inlet.grate_width, &inlet.curb_length,
                          &inlet.curb_height, &inlet.slot_width, &inlet.local_depression,
                          &inlet.local_depression_width, &inlet.splash_velocity}) {
        *value *= length;
    }
    return true;
}

}  // namespace

PyObject* gutter_flow(PyObject*, PyObject* args, PyObject* kwargs) {
    return guarded([&]() -> PyObject* {
        static const char* kKeywords[] = {"spread", "cross_slope", "long_slope", "n",
                                          "gutter_width", "depression", "si", nullptr};
        PyObject* spread_object = nullptr;
        GutterArguments a;
        PyObject* si_object = nullptr;
        if (!PyArg_ParseTupleAndKeywords(args, kwargs, "OOOO|$OOO:gutter_flow",
                                         const_cast<char**>(kKeywords), &spread_object,
                                         &a.cross_slope, &a.long_slope, &a.n, &a.width,
                                         &a.depression, &si_object)) {
            return nullptr;
        }
        bool si = false;
        double spread = 0.0;
        hy::Gutter g;
        if (!to_si_flag(si_object, "si", si) || !to_double(spread_object, "spread", spread) ||
            !read_gutter(a, si, g)) {
            return nullptr;
        }
        if (!(spread >= 0.0 && std::isfinite(spread))) {
            return raise(PyExc_ValueError, "spread must be a number of 0 or more");
        }
        if (auto problem = hy::check_gutter(g, false)) return raise_problem(*problem);
        const double q = hy::gutter_q(g, spread * (si ? kLength : 1.0));
        return PyFloat_FromDouble(si ? q / kFlow : q);
    });
}

PyObject* gutter_spread(PyObject*, PyObject* args, PyObject* kwargs) {
    return guarded([&]() -> PyObject* {
        static const char* kKeywords[] = {"q", "cross_slope", "long_slope", "n",
                                          "gutter_width", "depression", "si", nullptr};
        PyObject* q_object = nullptr;
        GutterArguments a;
        PyObject* si_object = nullptr;
        if (!PyArg_ParseTupleAndKeywords(args, kwargs, "OOOO|$OOO:gutter_spread",
                                         const_cast<char**>(kKeywords), &q_object,
                                         &a.cross_slope, &a.long_slope, &a.n, &a.width,
                                         &a.depression, &si_object)) {
            return nullptr;
        }
        bool si = false;
        double q = 0.0;
        hy::Gutter g;
        if (!to_si_flag(si_object, "si", si) || !flow_argument(q_object, q) ||
            !read_gutter(a, si, g)) {
            return nullptr;
        }
        if (auto problem = hy::check_gutter(g, false)) return raise_problem(*problem);
        const double length = si ? kLength : 1.0;
        const hy::GutterFlow f = hy::gutter_spread(g, si ? q * kFlow : q);
        return dictionary({{"spread", number(f.spread / length)},
                           {"depth", number(f.depth / length)},
                           {"velocity", number(f.velocity / length)},
                           {"e_o", number(f.e_o)}});
    });
}

PyObject* inlet_on_grade(PyObject*, PyObject* args, PyObject* kwargs) {
    return guarded([&]() -> PyObject* {
        static const char* kKeywords[] = {
            "q", "cross_slope", "long_slope", "n", "type", "length", "grate_type",
            "grate_width", "curb_length", "curb_height", "throat", "slot_width", "gutter_width",
            "depression", "local_depression", "local_depression_width", "clogging",
            "splash_velocity", "opening_ratio", "si", nullptr};
        PyObject* q_object = nullptr;
        GutterArguments g_args;
        InletArguments i;
        PyObject* si_object = nullptr;
        if (!PyArg_ParseTupleAndKeywords(
                args, kwargs, "OOOO|$OOOOOOOOOOOOOOOO:inlet_on_grade", const_cast<char**>(kKeywords),
                &q_object, &g_args.cross_slope, &g_args.long_slope, &g_args.n, &i.type, &i.length,
                &i.grate_type, &i.grate_width, &i.curb_length, &i.curb_height, &i.throat,
                &i.slot_width, &g_args.width, &g_args.depression, &i.local_depression,
                &i.local_depression_width, &i.clogging, &i.splash_velocity, &i.opening_ratio,
                &si_object)) {
            return nullptr;
        }
        if (i.type == nullptr || i.length == nullptr) {
            return raise(PyExc_TypeError, "inlet_on_grade() needs the keyword arguments 'type' and 'length'");
        }
        bool si = false;
        double q = 0.0;
        hy::Gutter g;
        hy::Inlet inlet;
        if (!to_si_flag(si_object, "si", si) || !flow_argument(q_object, q) ||
            !read_gutter(g_args, si, g) || !read_inlet(i, si, false, inlet)) {
            return nullptr;
        }
        if (auto problem = hy::check_inlet(g, inlet, false)) return raise_problem(*problem);
        const double length = si ? kLength : 1.0;
        const double flow = si ? kFlow : 1.0;
        const hy::OnGrade r = hy::inlet_on_grade(q * flow, g, inlet);
        return dictionary({{"q_approach", number(q)},
                           {"spread", number(r.approach.spread / length)},
                           {"depth", number(r.approach.depth / length)},
                           {"gutter_velocity", number(r.approach.velocity / length)},
                           {"efficiency", number(r.efficiency)},
                           {"q_intercepted", number(r.q_intercepted / flow)},
                           {"q_bypass", number(r.q_bypass / flow)}});
    });
}

PyObject* inlet_in_sag(PyObject*, PyObject* args, PyObject* kwargs) {
    return guarded([&]() -> PyObject* {
        static const char* kKeywords[] = {
            "q", "cross_slope", "type", "length", "grate_type", "grate_width", "curb_length",
            "curb_height", "throat", "slot_width", "gutter_width", "depression",
            "local_depression", "local_depression_width", "clogging", "splash_velocity",
            "opening_ratio", "si", nullptr};
        PyObject* q_object = nullptr;
        GutterArguments g_args;
        InletArguments i;
        PyObject* si_object = nullptr;
        if (!PyArg_ParseTupleAndKeywords(
                args, kwargs, "OO|$OOOOOOOOOOOOOOOO:inlet_in_sag", const_cast<char**>(kKeywords),
                &q_object, &g_args.cross_slope, &i.type, &i.length, &i.grate_type,
                &i.grate_width, &i.curb_length, &i.curb_height, &i.throat, &i.slot_width,
                &g_args.width, &g_args.depression, &i.local_depression,
                &i.local_depression_width, &i.clogging, &i.splash_velocity, &i.opening_ratio,
                &si_object)) {
            return nullptr;
        }
        if (i.type == nullptr || i.length == nullptr) {
            return raise(PyExc_TypeError, "inlet_in_sag() needs the keyword arguments 'type' and 'length'");
        }
        bool si = false;
        double q = 0.0;
        hy::Gutter g;
        hy::Inlet inlet;
        if (!to_si_flag(si_object, "si", si) || !flow_argument(q_object, q) ||
            !read_gutter(g_args, si, g) || !read_inlet(i, si, true, inlet)) {
            return nullptr;
        }
        if (auto problem = hy::check_inlet(g, inlet, true)) return raise_problem(*problem);
        const double length = si ? kLength : 1.0;
        const hy::InSag r = hy::inlet_in_sag(q * (si ? kFlow : 1.0), g, inlet);
        return dictionary({{"q_approach", number(q)},
                           {"spread", number(r.spread / length)},
                           {"depth", number(r.depth / length)},
                           {"ponded_depth", number(r.ponded_depth / length)},
                           {"regime", text(hy::regime_word(r.regime))},
                           {"efficiency", number(1.0)},
                           {"q_intercepted", number(q)},
                           {"q_bypass", number(0.0)}});
    });
}

}  // namespace rillway::py
