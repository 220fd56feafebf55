#pragma once
// Mapping of library failures to Python exceptions, and the guard that keeps every C++
// exception from crossing into the interpreter.

#include "pyref.hpp"

#include <string_view>

namespace rillway::py {

// Creates the internal-error type (derived from BaseException) once per process. Returns false
// with a Python error set when it cannot be created.
bool init_internal_error_type();

// The rillway.InputWarning category (a UserWarning), created once per process; a borrowed
// reference, or null with the error set.
PyObject* input_warning();

// Issues an InputWarning; false with the error set when the warning was turned into an error.
bool warn_input(std::string_view message);

// Raises the internal error: a violated invariant of the library.
void raise_internal_error(std::string_view message);

// Raises `type` with a UTF-8 message (invalid bytes are replaced). Always returns nullptr.
PyObject* raise(PyObject* type, std::string_view message);

// Attaches "while processing '<name>'" to the pending exception; a failure to add the note is
// ignored and the exception stays as it was.
void add_processing_note(const char* name);

// Translates the C++ exception being handled: bad_alloc to MemoryError, anything else to the
// internal error. Call only inside a catch block.
void raise_from_current_exception();

// Runs body() and turns any escaping C++ exception into the matching Python exception.
template <typename Body>
PyObject* guarded(Body&& body) noexcept {
    try {
        return body();
    } catch (...) {
        raise_from_current_exception();
        return nullptr;
    }
}

}  // namespace rillway::py
