#pragma once
// Conversion of an Analysis into the result dictionary: {"name", "pipes", "nodes"}, each pipe
// and node a dict with its keys in a fixed order, so DataFrame(result["pipes"]) is a table.

#include <string_view>

#include "network/analysis.hpp"
#include "pyref.hpp"

namespace rillway::py {

// A new reference, or null with the Python error set.
PyObject* analysis_to_dict(std::string_view name, const network::Analysis& analysis);

}  // namespace rillway::py
