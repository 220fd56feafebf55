#pragma once
// Running library work with the interpreter lock released, so that calls from several Python
// threads analyse in parallel.

#include "pyref.hpp"

namespace rillway::py {

// Runs work() without the interpreter lock and retakes the lock before anything leaves: its
// result, or an exception on its way to `guarded`. work() must not touch a Python object; the
// arguments are converted to C++ values (or views of buffers the call's arguments own) before,
// and the Python result is built after. A `str` argument's UTF-8 buffer lives as long as the
// string, and the string as long as the call holds its arguments.
template <typename Work>
auto without_lock(Work&& work) -> decltype(work()) {
    struct Retake {
        PyThreadState* state;
        ~Retake() { PyEval_RestoreThread(state); }
    } retake{PyEval_SaveThread()};
    return work();
}

}  // namespace rillway::py
