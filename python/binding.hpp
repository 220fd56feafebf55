#pragma once
// Argument binding and conversion shared by the module functions: positional-or-keyword
// parameters, then an optional keyword-only `si`, with CPython's own TypeError texts.

#include "pyref.hpp"

#include <array>
#include <initializer_list>
#include <string_view>

namespace rillway::py {

inline constexpr int kMaxParameters = 7;

struct Signature {
    const char* function;                          // e.g. "normal_depth"
    std::array<const char*, kMaxParameters> names;  // positional parameters, then "si" if any
    int positional;                                 // number of positional-or-keyword parameters
    bool has_si;                                    // a keyword-only `si=False` follows them
};

// The bound arguments, borrowed from the call; null where an optional one was not given.
using BoundArguments = std::array<PyObject*, kMaxParameters>;

// Binds args/kwargs to the signature. Returns false with TypeError set on a binding failure.
bool bind_arguments(const Signature& signature, PyObject* args, PyObject* kwargs,
                    BoundArguments& bound);

// Conversions; each returns false with the error set and the "while processing" note attached.
bool to_double(PyObject* object, const char* name, double& out);
bool to_si_flag(PyObject* object, const char* name, bool& out);  // null object gives false
bool to_text(PyObject* object, const char* name, std::string_view& out);

// Binds and converts the single text parameter of a function taking one str.
bool text_argument(const Signature& signature, PyObject* args, PyObject* kwargs,
                   std::string_view& out);

}  // namespace rillway::py
