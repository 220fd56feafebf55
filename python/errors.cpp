#include "errors.hpp"

#include <exception>
#include <new>
#include <string>

namespace rillway::py {

namespace {

// One exception type for the whole process: the module keeps no state of its own, and the type
// is never exposed as a module attribute. It derives from BaseException so that a broken
// invariant passes through `except Exception` handlers.
PyObject* internal_error_type = nullptr;

// The warning category of input that is read by a fallback rule, or of a reading the analysis
// takes for the user; one per process, like the internal error, and also a module attribute
// so that callers can filter it.
PyObject* input_warning_type = nullptr;

}  // namespace

PyObject* input_warning() {
    if (input_warning_type == nullptr) {
        input_warning_type = PyErr_NewExceptionWithDoc(
            "rillway.InputWarning",
            "Input that was read by a fallback rule (an unknown word taken as the default), or a\n"
            "reading the analysis takes for the user (a structure with several pipes leaving it\n"
            "sends its whole flow down each under flow_split \"whole\").",
            PyExc_UserWarning, nullptr);
    }
    return input_warning_type;
}

bool warn_input(std::string_view message) {
    PyObject* category = input_warning();
    if (category == nullptr) return false;
    PyRef text = PyRef::steal(
        PyUnicode_DecodeUTF8(message.data(), static_cast<Py_ssize_t>(message.size()), "replace"));
    if (!text) return false;
    PyRef utf8 = PyRef::steal(PyUnicode_AsUTF8String(text.get()));
    return utf8 && PyErr_WarnEx(category, PyBytes_AsString(utf8.get()), 1) == 0;
}

bool init_internal_error_type() {
    if (internal_error_type != nullptr) return true;
    internal_error_type = PyErr_NewExceptionWithDoc(
        "rillway.InternalError",
        "A violated invariant of the rillway library (a bug, not bad input).",
        PyExc_BaseException, nullptr);
    return internal_error_type != nullptr;
}

PyObject* raise(PyObject* type, std::string_view message) {
    PyRef text = PyRef::steal(
        PyUnicode_DecodeUTF8(message.data(), static_cast<Py_ssize_t>(message.size()), "replace"));
    if (text) PyErr_SetObject(type, text.get());
    return nullptr;
}

void raise_internal_error(std::string_view message) {
    raise(internal_error_type != nullptr ? internal_error_type : PyExc_SystemError, message);
}

void add_processing_note(const char* name) {
    PyObject* type = nullptr;
    PyObject* value = nullptr;
    PyObject* traceback = nullptr;
    PyErr_Fetch(&type, &value, &traceback);
    PyErr_NormalizeException(&type, &value, &traceback);
    if (value != nullptr) {
        if (traceback != nullptr) PyException_SetTraceback(value, traceback);
        PyRef note = PyRef::steal(PyUnicode_FromFormat("while processing '%s'", name));
        PyRef result = note ? PyRef::steal(PyObject_CallMethod(value, "add_note", "O", note.get()))
                            : PyRef();
        if (!result) PyErr_Clear();  // no exception notes here: raise without the note
    }
    PyErr_Restore(type, value, traceback);
}

void raise_from_current_exception() {
    try {
        throw;
    } catch (const std::bad_alloc&) {
        PyErr_NoMemory();
    } catch (const std::exception& error) {
        raise_internal_error(error.what());
    } catch (...) {
        raise_internal_error("unknown C++ exception");
    }
}

}  // namespace rillway::py
