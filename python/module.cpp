// The `rillway` extension module: multi-phase initialisation, the five constants and the
// functions, each name also appended to `__all__` in the order it is added.

#include "errors.hpp"
#include "functions.hpp"
#include "hydraulics/constants.hpp"
#include "pyref.hpp"
#include "units/unit_system.hpp"

namespace rillway::py {

namespace {

// Docstrings carry the text signature first, so inspect.signature() sees the parameters.
PyMethodDef kFunctions[] = {
    {"intensity", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(intensity)),
     METH_VARARGS | METH_KEYWORDS,
     "intensity(a, b, c, t_min)\n--\n\n"
     "Rainfall intensity from a three-parameter IDF curve: `i = a / (t + b)^c`.\n"
     "\n"
     "Returns in/hr when the coefficients are US customary."},
    {"rational_q", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(rational_q)),
     METH_VARARGS | METH_KEYWORDS,
     "rational_q(c, i, area)\n--\n\n"
     "Rational method peak flow: `Q = C * i * A`.\n"
     "\n"
     "With `c` dimensionless, `i` in in/hr and `area` in acres, `Q` is in cfs \xE2\x80\x94\n"
     "the customary near-unity conversion is implicit, as in hand practice."},
    {"manning_capacity",
     reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(manning_capacity)),
     METH_VARARGS | METH_KEYWORDS,
     "manning_capacity(diameter, n, slope, *, si=False)\n--\n\n"
     "Just-full Manning capacity of a circular pipe (cfs, or m3/s when `si`)."},
    {"circular_flow", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(circular_flow)),
     METH_VARARGS | METH_KEYWORDS,
     "circular_flow(diameter, n, slope, depth, *, si=False)\n--\n\n"
     "Flow in a circular pipe at a given depth (cfs, or m3/s when `si`)."},
    {"normal_depth", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(normal_depth)),
     METH_VARARGS | METH_KEYWORDS,
     "normal_depth(q, diameter, n, slope, *, si=False)\n--\n\n"
     "Normal depth for a target flow, or `None` if the pipe cannot pass it."},
    {"critical_depth", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(critical_depth)),
     METH_VARARGS | METH_KEYWORDS,
     "critical_depth(q, diameter, *, si=False)\n--\n\n"
     "Critical depth for a flow in a circular pipe."},
    {"circular_geometry",
     reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(circular_geometry)),
     METH_VARARGS | METH_KEYWORDS,
     "circular_geometry(diameter, depth)\n--\n\n"
     "Flow area, wetted perimeter, hydraulic radius, and top width at a depth."},
    {"open_channel", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(open_channel)),
     METH_VARARGS | METH_KEYWORDS,
     "open_channel(q, n, slope, span, side_slope, rise, *, si=False)\n--\n\n"
     "Uniform flow of `q` [cfs, or m3/s when `si`] in a trapezoidal channel of bottom\n"
     "width `span` [ft], banks `side_slope` [H:V] on both sides and bank height `rise` [ft]\n"
     "(`side_slope` 0: an open rectangle; `span` 0: a triangle), Manning `n`, bed `slope`.\n"
     "\n"
     "    A = y (B + z y),  P = B + 2 y sqrt(1 + z^2),  T = B + 2 z y\n"
     "    Q(y) = (K/n) A R^(2/3) S^(1/2),  K = 1.486 (1.0 when `si`)\n"
     "    critical depth: Q^2 T = g A^3\n"
     "\n"
     "Returns `capacity` (the bank-full flow Q(rise)), `normal_depth` (None above the\n"
     "capacity), `critical_depth`, and `velocity`, `area`, `wetted_perimeter` and\n"
     "`top_width` at normal depth (bank-full when the channel cannot carry `q`).\n"
     "\n"
     "Example (Chow, Open-Channel Hydraulics, 1959, Example 6.2): 400 cfs in a channel\n"
     "20 ft wide with 2:1 banks, n = 0.025, S = 0.0016 runs 3.36 ft deep."},
    {"access_hole_energy",
     reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(access_hole_energy)),
     METH_VARARGS | METH_KEYWORDS,
     "access_hole_energy(e_i, q_out, d_out, v_out, *, supercritical=False, benching='flat', inflows=())\n"
     "--\n"
     "\n"
     "Energy level in an access hole by the FHWA energy method (HEC-22, 4th ed. 2024,\n"
     "section 9.1.6.7; 3rd ed. 2009, section 7.1.6), US customary units, g = 32.2 ft/s2.\n"
     "\n"
     "Every head is in ft above the outlet pipe's invert. `e_i` is the outlet pipe's\n"
     "energy head at the structure (ft), `q_out` its flow (cfs), `d_out` its diameter\n"
     "(ft), `v_out` its velocity there (ft/s); `supercritical` when it flows\n"
     "supercritical (no outlet control). `benching` is 'flat', 'depressed', 'half',\n"
     "'full' or 'improved'. `inflows` holds one dict per inflow pipe with `q` (cfs),\n"
     "`angle_deg` (between the inflow and the outlet, 180 for a straight run) and\n"
     "`invert_height` (ft above the outlet invert); surface water falling in at a\n"
     "grate is an inflow whose `invert_height` is the rim.\n"
     "\n"
     "    E_aio = E_i + 0.2 V_o^2/2g          (outlet control; 0 if supercritical)\n"
     "    DI = Q_o / (A_o sqrt(g D_o)),  E_ais = D_o DI^2,  E_aiu = 1.6 D_o DI^0.67\n"
     "    E_ai = max(E_aio, E_ais, E_aiu)\n"
     "    C_B: the benching table, unsubmerged below E_ai/D_o = 1, submerged above 2.5\n"
     "    C_theta = 4.5 (sum Q_j / Q_o) cos(theta_w / 2) over the inflows not plunging\n"
     "    C_P = sum(Q_k h_k) / Q_o, h_k = (min(z_k, 10 D_o) - E_ai) / D_o, over the\n"
     "          inflows whose invert z_k is above E_ai\n"
     "    H_a = max(0, (E_ai - E_i)(C_B + C_theta + C_P)),  E_a = max(E_ai + H_a, E_i)\n"
     "\n"
     "Returns a dict of e_ai, e_aio, e_ais, e_aiu, c_b, c_theta, c_p, h_a and e_a\n"
     "(heads in ft, coefficients dimensionless), unrounded.\n"
     "\n"
     "Example (HEC-22 4th ed., Example 9.2, structure 40: 3.3 cfs leaving in an\n"
     "18-inch pipe in supercritical flow with E_i 1.35 ft): DI = 0.269,\n"
     "E_aiu = 1.00 ft and E_a = E_i = 1.35 ft."},
    {"gutter_flow", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(gutter_flow)),
     METH_VARARGS | METH_KEYWORDS,
     "gutter_flow(spread, cross_slope, long_slope, n, *, gutter_width=0, depression=0, si=False)\n"
     "--\n\n"
     "Flow in the gutter at a spread (cfs, or m3/s when `si`), FHWA HEC-22 (3rd ed.\n"
     "2009, Eqs. 4-2 and 4-4): Q = (0.56/n) S_x^1.67 S_L^0.5 T^2.67 for a plain\n"
     "triangle; the composite section of a gutter `gutter_width` wide depressed by\n"
     "`depression` (ft, or m when `si`)."},
    {"gutter_spread", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(gutter_spread)),
     METH_VARARGS | METH_KEYWORDS,
     "gutter_spread(q, cross_slope, long_slope, n, *, gutter_width=0, depression=0, si=False)\n"
     "--\n\n"
     "The gutter carrying q: a dict of spread and depth at the curb (ft), velocity\n"
     "Q/A (ft/s) and e_o, the share of the flow within the gutter width."},
    {"inlet_on_grade",
     reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(inlet_on_grade)),
     METH_VARARGS | METH_KEYWORDS,
     "inlet_on_grade(q, cross_slope, long_slope, n, *, type, length, grate_type='p50', "
     "grate_width=0, curb_length=0, curb_height=None, throat='horizontal', slot_width=None, "
     "gutter_width=0, depression=0, local_depression=0, local_depression_width=0, "
     "clogging=None, splash_velocity=None, opening_ratio=None, si=False)\n"
     "--\n\n"
     "One inlet on grade (HEC-22, 3rd ed. 2009, section 4.4): what it intercepts of\n"
     "the gutter flow q. Returns q_approach, spread, depth, gutter_velocity,\n"
     "efficiency, q_intercepted and q_bypass."},
    {"inlet_in_sag", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(inlet_in_sag)),
     METH_VARARGS | METH_KEYWORDS,
     "inlet_in_sag(q, cross_slope, *, type, length, grate_type='p50', grate_width=0, "
     "curb_length=0, curb_height=None, throat='horizontal', slot_width=None, gutter_width=0, "
     "depression=0, local_depression=0, local_depression_width=0, clogging=None, "
     "splash_velocity=None, opening_ratio=None, si=False)\n"
     "--\n\n"
     "One inlet in a sag (HEC-22, 3rd ed. 2009, section 4.5), taking all of q: the\n"
     "ponded depth its weir or orifice needs, the depth at the curb and the spread\n"
     "there, and the regime ('weir', 'transition' or 'orifice')."},
    {"analyze_project",
     reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(analyze_project)),
     METH_VARARGS | METH_KEYWORDS,
     "analyze_project(project_json)\n--\n\n"
     "Analyze a project given as `.rwproj` JSON text.\n"
     "\n"
     "Returns `{\"name\": str, \"pipes\": [...], \"nodes\": [...]}`, ready for\n"
     "`pandas.DataFrame(result[\"pipes\"])`."},
    {"analyze_file", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(analyze_file)),
     METH_VARARGS | METH_KEYWORDS,
     "analyze_file(path)\n--\n\n"
     "Analyze a project file on disk (`.rwproj`)."},
    {"analyze_rwn", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(analyze_rwn)),
     METH_VARARGS | METH_KEYWORDS,
     "analyze_rwn(text)\n--\n\n"
     "Analyze a network in the plain-text `.rwn` format."},
    {"demo_project_json", demo_project_json, METH_NOARGS,
     "demo_project_json()\n--\n\n"
     "The built-in demo project as `.rwproj` JSON \xE2\x80\x94 a runnable starting point."},
    {"project_schema_json", project_schema_json, METH_NOARGS,
     "project_schema_json()\n--\n\n"
     "The project document's schema as JSON: for each record (\"project\", \"node\",\n"
     "\"pipe\", \"catchment\", \"idf_curve\", \"design\", ...) its keys in document\n"
     "order, each `{\"key\", \"required\", \"default\", \"unit\"}`. The default is the\n"
     "value an absent key takes (null for a required key); the unit is \"length\" (ft,\n"
     "or m in an SI project), \"area\" (acres or ha), \"rainfall\" (the IDF a: in/hr or\n"
     "mm/h), \"feet\" (ft in both systems), \"flow\" (cfs or m³/s) or \"none\"."},
    {"read_project", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(read_project)),
     METH_VARARGS | METH_KEYWORDS,
     "read_project(project_json)\n--\n\n"
     "The network of a `.rwproj` project exactly as the analysis sees it.\n"
     "\n"
     "Returns `{\"name\", \"settings\", \"nodes\", \"pipes\"}` in document order, every\n"
     "value in the analysis units (ft, acres, minutes, in/hr): SI converted,\n"
     "catchments folded into their nodes, the IDF curve of the design period, and\n"
     "each pipe's end inverts resolved from its nodes where it has none of its own.\n"
     "Raises ValueError as `analyze_project` does for a document it cannot read\n"
     "and for pipe ends that name no node."},
    {"check_project",
     reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(check_project)),
     METH_VARARGS | METH_KEYWORDS,
     "check_project(project_json)\n--\n\n"
     "Reads a `.rwproj` project as `read_project` does and returns None.\n"
     "\n"
     "Warns and raises exactly as `read_project`, without building the network's\n"
     "records: a reader's check of a big document costs no copy of it."},
    {"read_rwn", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(read_rwn)),
     METH_VARARGS | METH_KEYWORDS,
     "read_rwn(text)\n--\n\n"
     "The network of a `.rwn` text exactly as the analysis sees it.\n"
     "\n"
     "Returns the same shape as `read_project`; the name is empty."},
    {"rwn_to_project",
     reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(rwn_to_project)),
     METH_VARARGS | METH_KEYWORDS,
     "rwn_to_project(text)\n--\n\n"
     "A `.rwn` network as an equivalent `.rwproj` project document (JSON text).\n"
     "\n"
     "`analyze_project(rwn_to_project(text))` equals `analyze_rwn(text)` to the bit.\n"
     "An INTENSITY override becomes the curve i = a / (tc + 0)^0. Raises ValueError\n"
     "\"cannot convert .rwn: ...\" for a value a document cannot hold (NaN or\n"
     "infinity, an inlet time of 0 or less)."},
    {"analyze_scenarios",
     reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(analyze_scenarios)),
     METH_VARARGS | METH_KEYWORDS,
     "analyze_scenarios(text, scenarios, *, format='project')\n--\n\n"
     "Analyze one document (`.rwproj` JSON, or `.rwn` with `format='rwn'`) under each\n"
     "scenario: a mapping of return_period [years], intensity_factor, c_factor, n_factor,\n"
     "tailwater [the document's length unit: ft, or m in an SI project] and name, any of them\n"
     "absent or None.\n"
     "\n"
     "The document is read once. Returns `{\"name\", \"pipes\", \"nodes\", \"errors\"}`: the\n"
     "pipe and node ids once, and each result as one flat memoryview of float64 (or bool),\n"
     "scenario-major: entry `s * len(ids) + i`. A failed scenario has its message in\n"
     "`errors[s]` (else None) and NaN values."},
    {"design_project",
     reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(design_project)),
     METH_VARARGS | METH_KEYWORDS,
     "design_project(project_json)\n--\n\n"
     "Size the round pipes from a catalog and lay every invert (HEC-22 4th ed., ch. 9).\n"
     "\n"
     "Returns `{\"project\": str, \"result\": dict, \"pipes\": [...], \"unmet\": [...]}`:\n"
     "the designed `.rwproj` JSON, its analysis, one record per pipe (`id`, `diameter`\n"
     "[ft], `invert_up`, `invert_dn` [ft], `slope` [ft/ft], `governing`, `met`) and one\n"
     "line per rule that could not be met."},
    {nullptr, nullptr, 0, nullptr},
};

// Adds one name to the module and appends it to __all__, creating the list on first use.
int add(PyObject* module, const char* name, PyRef value) {
    if (!value) return -1;
    PyRef all = PyRef::steal(PyObject_GetAttrString(module, "__all__"));
    if (!all) {
        if (!PyErr_ExceptionMatches(PyExc_AttributeError)) return -1;
        PyErr_Clear();
        all = PyRef::steal(PyList_New(0));
        if (!all || PyObject_SetAttrString(module, "__all__", all.get()) < 0) return -1;
    }
    if (PyObject_SetAttrString(module, name, value.get()) < 0) return -1;
    PyRef text = PyRef::steal(PyUnicode_FromString(name));
    if (!text || PyList_Append(all.get(), text.get()) < 0) return -1;
    return 0;
}

int exec_module(PyObject* module) {
    if (!PyModule_Check(module)) {
        PyErr_SetString(PyExc_TypeError, "rillway: module execution needs a module object");
        return -1;
    }
    if (!init_internal_error_type()) return -1;
    namespace hy = rillway::hydraulics;
    namespace units = rillway::units;
    if (add(module, "__version__", PyRef::steal(PyUnicode_FromString(RILLWAY_VERSION))) < 0 ||
        add(module, "K_MANNING_US", PyRef::steal(PyFloat_FromDouble(hy::kManningUs))) < 0 ||
        add(module, "K_MANNING_SI", PyRef::steal(PyFloat_FromDouble(hy::kManningSi))) < 0 ||
        add(module, "G_US", PyRef::steal(PyFloat_FromDouble(hy::kGravityUs))) < 0 ||
        add(module, "G_SI", PyRef::steal(PyFloat_FromDouble(hy::kGravitySi))) < 0 ||
        add(module, "FEET_PER_METRE", PyRef::steal(PyFloat_FromDouble(units::kFeetPerMetre))) < 0 ||
        add(module, "ACRES_PER_HECTARE", PyRef::steal(PyFloat_FromDouble(units::kAcresPerHectare))) < 0 ||
        add(module, "INCHES_PER_MILLIMETRE",
            PyRef::steal(PyFloat_FromDouble(units::kInchesPerMillimetre))) < 0 ||
        add(module, "SQUARE_FEET_PER_ACRE", PyRef::steal(PyFloat_FromDouble(units::kSquareFeetPerAcre))) < 0) {
        return -1;
    }
    if (add(module, "InputWarning", PyRef::borrow(input_warning())) < 0) return -1;
    PyRef module_name = PyRef::steal(PyModule_GetNameObject(module));
    if (!module_name) return -1;
    for (PyMethodDef* def = kFunctions; def->ml_name != nullptr; ++def) {
        // Bound to the module, so each function's __module__ is "rillway".
        if (add(module, def->ml_name,
                PyRef::steal(PyCFunction_NewEx(def, module, module_name.get()))) < 0) {
            return -1;
        }
    }
    return 0;
}

PyModuleDef_Slot kSlots[] = {
    {Py_mod_exec, reinterpret_cast<void*>(exec_module)},
    {0, nullptr},
};

PyModuleDef kModule = {
    PyModuleDef_HEAD_INIT,
    "rillway",  // m_name
    "",         // m_doc
    0,          // m_size: no per-module state
    nullptr,    // m_methods: functions are added by the exec slot, in table order
    kSlots,
    nullptr,
    nullptr,
    nullptr,
};

}  // namespace

}  // namespace rillway::py

PyMODINIT_FUNC PyInit_rillway(void) { return PyModuleDef_Init(&rillway::py::kModule); }
