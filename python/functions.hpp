#pragma once
// The module functions, in the order they are added to the module.

#include "pyref.hpp"

namespace rillway::py {

PyObject* intensity(PyObject* module, PyObject* args, PyObject* kwargs);
PyObject* rational_q(PyObject* module, PyObject* args, PyObject* kwargs);
PyObject* manning_capacity(PyObject* module, PyObject* args, PyObject* kwargs);
PyObject* circular_flow(PyObject* module, PyObject* args, PyObject* kwargs);
PyObject* normal_depth(PyObject* module, PyObject* args, PyObject* kwargs);
PyObject* critical_depth(PyObject* module, PyObject* args, PyObject* kwargs);
PyObject* circular_geometry(PyObject* module, PyObject* args, PyObject* kwargs);
PyObject* open_channel(PyObject* module, PyObject* args, PyObject* kwargs);
PyObject* access_hole_energy(PyObject* module, PyObject* args, PyObject* kwargs);
PyObject* gutter_flow(PyObject* module, PyObject* args, PyObject* kwargs);
PyObject* gutter_spread(PyObject* module, PyObject* args, PyObject* kwargs);
PyObject* inlet_on_grade(PyObject* module, PyObject* args, PyObject* kwargs);
PyObject* inlet_in_sag(PyObject* module, PyObject* args, PyObject* kwargs);
PyObject* analyze_project(PyObject* module, PyObject* args, PyObject* kwargs);
PyObject* analyze_file(PyObject* module, PyObject* args, PyObject* kwargs);
PyObject* analyze_rwn(PyObject* module, PyObject* args, PyObject* kwargs);
PyObject* demo_project_json(PyObject* module, PyObject* unused);
PyObject* project_schema_json(PyObject* module, PyObject* unused);
PyObject* read_project(PyObject* module, PyObject* args, PyObject* kwargs);
PyObject* check_project(PyObject* module, PyObject* args, PyObject* kwargs);
PyObject* read_rwn(PyObject* module, PyObject* args, PyObject* kwargs);
PyObject* rwn_to_project(PyObject* module, PyObject* args, PyObject* kwargs);
PyObject* analyze_scenarios(PyObject* module, PyObject* args, PyObject* kwargs);
PyObject* design_project(PyObject* module, PyObject* args, PyObject* kwargs);

}  // namespace rillway::py
