#include "binding.hpp"

#include <cstring>
#include <string>

#include "errors.hpp"

namespace rillway::py {

namespace {

std::string quoted_list(const Signature& signature, const BoundArguments& bound, int& count) {
    std::string names[kMaxParameters];
    count = 0;
    for (int i = 0; i < signature.positional; ++i) {
        if (bound[static_cast<std::size_t>(i)] == nullptr) {
            names[count++] = std::string("'") + signature.names[static_cast<std::size_t>(i)] + "'";
        }
    }
    std::string list;
    for (int i = 0; i < count; ++i) {
        if (i > 0) list += count == 2 ? " and " : (i == count - 1 ? ", and " : ", ");
        list += names[i];
    }
    return list;
}

int parameter_index(const Signature& signature, PyObject* key) {
    const int total = signature.positional + (signature.has_si ? 1 : 0);
    for (int i = 0; i < total; ++i) {
        if (PyUnicode_CompareWithASCIIString(key, signature.names[static_cast<std::size_t>(i)]) == 0) {
            return i;
        }
    }
    return -1;
}

// True when the object is NumPy's boolean scalar, recognised by its type's module and name so
// that NumPy is never imported or linked.
bool is_numpy_bool(PyObject* object) {
    PyObject* type = reinterpret_cast<PyObject*>(Py_TYPE(object));
    PyRef module = PyRef::steal(PyObject_GetAttrString(type, "__module__"));
    PyRef name = module ? PyRef::steal(PyObject_GetAttrString(type, "__name__")) : PyRef();
    if (!module || !name) {
        PyErr_Clear();
        return false;
    }
    if (!PyUnicode_Check(module.get()) || !PyUnicode_Check(name.get())) return false;
    return PyUnicode_CompareWithASCIIString(module.get(), "numpy") == 0 &&
           (PyUnicode_CompareWithASCIIString(name.get(), "bool") == 0 ||
            PyUnicode_CompareWithASCIIString(name.get(), "bool_") == 0);
}

// The type's name as CPython writes it in its own messages: "int", "numpy.float64", or a
// class's bare name. The limited API hides tp_name, so it is rebuilt from __module__ and
// __name__: a static type outside builtins is named "module.name", as its tp_name reads.
PyRef type_name(PyObject* object) {
    PyTypeObject* type = Py_TYPE(object);
    PyRef name = PyRef::steal(PyType_GetName(type));
    if (!name || (PyType_GetFlags(type) & Py_TPFLAGS_HEAPTYPE) != 0) return name;
    PyRef module = PyRef::steal(PyObject_GetAttrString(reinterpret_cast<PyObject*>(type),
                                                       "__module__"));
    if (!module || !PyUnicode_Check(module.get())) {
        PyErr_Clear();
        return name;
    }
    if (PyUnicode_CompareWithASCIIString(module.get(), "builtins") == 0) return name;
    return PyRef::steal(PyUnicode_FromFormat("%U.%U", module.get(), name.get()));
}

// Raises TypeError "<name> must be <expected>, not <type of object>".
void raise_wrong_type(const char* name, const char* expected, PyObject* object) {
    PyRef actual = type_name(object);
    if (actual) {
        PyErr_Format(PyExc_TypeError, "%s must be %s, not %U", name, expected, actual.get());
    }
}

}  // namespace

bool bind_arguments(const Signature& signature, PyObject* args, PyObject* kwargs,
                    BoundArguments& bound) {
    bound.fill(nullptr);
    const Py_ssize_t given = args != nullptr ? PyTuple_Size(args) : 0;
    if (given > signature.positional) {
        PyErr_Format(PyExc_TypeError, "%s() takes %d positional arguments but %zd %s given",
                     signature.function, signature.positional, given, given == 1 ? "was" : "were");
        return false;
    }
    for (Py_ssize_t i = 0; i < given; ++i) {
        bound[static_cast<std::size_t>(i)] = PyTuple_GetItem(args, i);
    }
    if (kwargs != nullptr) {
        Py_ssize_t position = 0;
        PyObject* key = nullptr;
        PyObject* value = nullptr;
        while (PyDict_Next(kwargs, &position, &key, &value)) {
            if (!PyUnicode_Check(key)) {
                PyErr_Format(PyExc_TypeError, "%s() keywords must be strings", signature.function);
                return false;
            }
            const int index = parameter_index(signature, key);
            if (index < 0) {
                PyErr_Format(PyExc_TypeError, "%s() got an unexpected keyword argument '%U'",
                             signature.function, key);
                return false;
            }
            if (bound[static_cast<std::size_t>(index)] != nullptr) {
                PyErr_Format(PyExc_TypeError, "%s() got multiple values for argument '%s'",
                             signature.function, signature.names[static_cast<std::size_t>(index)]);
                return false;
            }
            bound[static_cast<std::size_t>(index)] = value;
        }
    }
    int missing = 0;
    const std::string list = quoted_list(signature, bound, missing);
    if (missing > 0) {
        PyErr_Format(PyExc_TypeError, "%s() missing %d required positional %s: %s",
                     signature.function, missing, missing == 1 ? "argument" : "arguments",
                     list.c_str());
        return false;
    }
    return true;
}

bool to_double(PyObject* object, const char* name, double& out) {
    const double value = PyFloat_AsDouble(object);
    if (value == -1.0 && PyErr_Occurred()) {
        add_processing_note(name);
        return false;
    }
    out = value;
    return true;
}

bool to_si_flag(PyObject* object, const char* name, bool& out) {
    if (object == nullptr) {
        out = false;
        return true;
    }
    if (PyBool_Check(object) || is_numpy_bool(object)) {
        const int truth = PyObject_IsTrue(object);
        if (truth >= 0) {
            out = truth == 1;
            return true;
        }
    } else {
        raise_wrong_type(name, "a bool", object);
    }
    add_processing_note(name);
    return false;
}

bool to_text(PyObject* object, const char* name, std::string_view& out) {
    if (!PyUnicode_Check(object)) {
        raise_wrong_type(name, "str", object);
        add_processing_note(name);
        return false;
    }
    Py_ssize_t size = 0;
    const char* data = PyUnicode_AsUTF8AndSize(object, &size);
    if (data == nullptr) {  // lone surrogates cannot be encoded as UTF-8
        add_processing_note(name);
        return false;
    }
    out = std::string_view(data, static_cast<std::size_t>(size));
    return true;
}

bool text_argument(const Signature& signature, PyObject* args, PyObject* kwargs,
                   std::string_view& out) {
    BoundArguments bound;
    return bind_arguments(signature, args, kwargs, bound) &&
           to_text(bound[0], signature.names[0], out);
}

}  // namespace rillway::py
