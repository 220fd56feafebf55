#pragma once
// Building the plain dictionaries and lists the module returns: new objects from C++ values
// (null with the Python error set on failure) and rows with their keys in a fixed order.

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "pyref.hpp"

namespace rillway::py {

inline PyRef text(std::string_view value) {
    return PyRef::steal(
        PyUnicode_DecodeUTF8(value.data(), static_cast<Py_ssize_t>(value.size()), "replace"));
}
inline PyRef number(double value) { return PyRef::steal(PyFloat_FromDouble(value)); }
inline PyRef optional_number(const std::optional<double>& value) {
    return value ? number(*value) : PyRef::borrow(Py_None);
}
inline PyRef flag(bool value) { return PyRef::borrow(value ? Py_True : Py_False); }

// The key strings are made once per call and shared by every row.
template <std::size_t N>
bool make_keys(const std::array<const char*, N>& names, std::array<PyRef, N>& keys) {
    for (std::size_t i = 0; i < N; ++i) {
        keys[i] = PyRef::steal(PyUnicode_InternFromString(names[i]));
        if (!keys[i]) return false;
    }
    return true;
}

template <std::size_t N>
PyRef make_row(const std::array<PyRef, N>& keys, std::array<PyRef, N>&& values) {
    PyRef row = PyRef::steal(PyDict_New());
    if (!row) return row;
    for (std::size_t i = 0; i < N; ++i) {
        if (!values[i] || PyDict_SetItem(row.get(), keys[i].get(), values[i].get()) < 0) {
            return PyRef();
        }
    }
    return row;
}

// A list of rows, one per item, each made by row(item); null with the error set on failure.
template <class Items, class Row>
PyRef make_list(const Items& items, Row&& row) {
    PyRef list = PyRef::steal(PyList_New(0));
    if (!list) return list;
    for (const auto& item : items) {
        PyRef value = row(item);
        if (!value || PyList_Append(list.get(), value.get()) < 0) return PyRef();
    }
    return list;
}

}  // namespace rillway::py
