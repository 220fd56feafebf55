// The access-hole energy calculator: one structure of the FHWA energy method by hand, with
// the arguments checked as a careful caller expects (every quantity finite, the outlet sized,
// the inflows named records).

#include <array>
#include <cmath>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "errors.hpp"
#include "functions.hpp"
#include "hydraulics/constants.hpp"
#include "network/energy_loss.hpp"

namespace rillway::py {

namespace {

namespace net = rillway::network;

constexpr std::array<const char*, 3> kInflowKeys = {"q", "angle_deg", "invert_height"};

// A finite number from anything CPython's float conversion takes; false with the error set.
bool finite_number(PyObject* object, const std::string& what, double& out) {
    out = PyFloat_AsDouble(object);
    if (out == -1.0 && PyErr_Occurred()) {
        PyErr_Clear();
        raise(PyExc_TypeError, what + " must be a real number");
        return false;
    }
    if (!std::isfinite(out)) {
        raise(PyExc_ValueError, what + " must be finite");
        return false;
    }
    return true;
}

bool read_inflow(PyObject* item, std::size_t index, net::StructureInflow& inflow) {
    const std::string name = "inflows[" + std::to_string(index) + "]";
    if (!PyDict_Check(item)) {
        raise(PyExc_TypeError, name + " must be a dict with keys q, angle_deg and invert_height");
        return false;
    }
    PyObject* key = nullptr;
    PyObject* value = nullptr;
    Py_ssize_t at = 0;
    while (PyDict_Next(item, &at, &key, &value)) {
        bool known = false;
        for (const char* k : kInflowKeys) {
            known = known || (PyUnicode_Check(key) && PyUnicode_CompareWithASCIIString(key, k) == 0);
        }
        if (!known) {
            PyRef shown = PyRef::steal(PyObject_Repr(key));
            if (!shown) return false;
            Py_ssize_t size = 0;
            const char* text = PyUnicode_AsUTF8AndSize(shown.get(), &size);
            if (text == nullptr) return false;
            raise(PyExc_ValueError, name + ": unknown key " +
                                        std::string(text, static_cast<std::size_t>(size)) +
                                        " (expected q, angle_deg and invert_height)");
            return false;
        }
    }
    std::array<double, 3> values{};
    for (std::size_t i = 0; i < kInflowKeys.size(); ++i) {
        PyObject* v = PyDict_GetItemString(item, kInflowKeys[i]);  // borrowed
        const std::string what = name + "[" + std::string("'") + kInflowKeys[i] + "']";
        if (v == nullptr) {
            raise(PyExc_ValueError, name + " lacks the key '" + kInflowKeys[i] + "'");
            return false;
        }
        if (!finite_number(v, what, values[i])) return false;
    }
    if (values[0] < 0.0) {
        raise(PyExc_ValueError, name + "['q'] must not be negative");
        return false;
    }
    if (values[1] < 0.0 || values[1] > 180.0) {
        raise(PyExc_ValueError, name + "['angle_deg'] must lie between 0 and 180");
        return false;
    }
    inflow.q = values[0];
    inflow.angle_deg = values[1];
    inflow.invert_height = values[2];
    return true;
}

bool read_inflows(PyObject* sequence, std::vector<net::StructureInflow>& inflows) {
    if (PyUnicode_Check(sequence) || PyBytes_Check(sequence) || PyDict_Check(sequence)) {
        raise(PyExc_TypeError, "inflows must be a sequence of dicts");
        return false;
    }
    PyRef iterator = PyRef::steal(PyObject_GetIter(sequence));
    if (!iterator) {
        PyErr_Clear();
        raise(PyExc_TypeError, "inflows must be a sequence of dicts");
        return false;
    }
    while (PyRef item = PyRef::steal(PyIter_Next(iterator.get()))) {
        net::StructureInflow inflow;
        if (!read_inflow(item.get(), inflows.size(), inflow)) return false;
        inflows.push_back(inflow);
    }
    return PyErr_Occurred() == nullptr;
}

PyObject* result_dict(const net::AccessHoleEnergy& e) {
    PyRef dict = PyRef::steal(PyDict_New());
    if (!dict) return nullptr;
    const std::pair<const char*, double> entries[] = {
        {"e_ai", e.e_ai}, {"e_aio", e.e_aio},     {"e_ais", e.e_ais}, {"e_aiu", e.e_aiu},
        {"c_b", e.c_b},   {"c_theta", e.c_theta}, {"c_p", e.c_p},     {"h_a", e.h_a},
        {"e_a", e.e_a}};
    for (const auto& [key, value] : entries) {
        PyRef number = PyRef::steal(PyFloat_FromDouble(value));
        if (!number || PyDict_SetItemString(dict.get(), key, number.get()) < 0) return nullptr;
    }
    return dict.release();
}

}  // namespace

PyObject* access_hole_energy(PyObject*, PyObject* args, PyObject* kwargs) {
    return guarded([&]() -> PyObject* {
        static const char* kKeywords[] = {"e_i",        "q_out",    "d_out",   "v_out",
                                          "supercritical", "benching", "inflows", nullptr};
        PyObject* numbers[4] = {};
        int supercritical = 0;
        const char* benching_text = "flat";
        PyObject* inflow_sequence = nullptr;
        if (!PyArg_ParseTupleAndKeywords(args, kwargs, "OOOO|$psO:access_hole_energy",
                                         const_cast<char**>(kKeywords), &numbers[0], &numbers[1],
                                         &numbers[2], &numbers[3], &supercritical,
                                         &benching_text, &inflow_sequence)) {
            return nullptr;
        }
        std::array<double, 4> v{};
        for (std::size_t i = 0; i < v.size(); ++i) {
            if (!finite_number(numbers[i], kKeywords[i], v[i])) return nullptr;
        }
        const auto [e_i, q_out, d_out, v_out] = v;
        if (e_i < 0.0 || q_out < 0.0 || v_out < 0.0) {
            return raise(PyExc_ValueError, "e_i, q_out and v_out must not be negative");
        }
        if (!(d_out > 0.0)) return raise(PyExc_ValueError, "d_out must be positive");
        const auto benching = net::benching_of_word(benching_text);
        if (!benching) {
            return raise(PyExc_ValueError, "benching must be 'flat', 'depressed', 'half', 'full' "
                                           "or 'improved', not '" + std::string(benching_text) + "'");
        }
        std::vector<net::StructureInflow> inflows;
        if (inflow_sequence != nullptr && !read_inflows(inflow_sequence, inflows)) return nullptr;

        net::AccessHoleInput in;
        in.e_i = e_i;
        in.q_out = q_out;
        in.d_out = d_out;
        in.a_out = hydraulics::kPi * d_out * d_out / 4.0;
        in.v_out = v_out;
        in.supercritical = supercritical != 0;
        in.benching = *benching;
        in.inflows = inflows;
        return result_dict(net::access_hole_energy(in));
    });
}

}  // namespace rillway::py
