#pragma once
// Reading the two input formats into what the analysis needs, without touching a Python object
// (so it runs with the interpreter lock released), and turning the outcome into the module's
// exceptions and warnings afterwards, under the lock.

#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "network/network.hpp"
#include "pyref.hpp"

namespace rillway::py {

// A network as the analysis sees it, with the name the result carries and the warnings reading
// it gave (words a project falls back on).
struct NetworkInput {
    std::string name;
    network::Network network;
    network::IdfParams idf;
    network::DesignOptions options;
    std::vector<std::string> warnings;
};

// A failure on its way to Python: the message of a ValueError, or of an OSError.
struct Failure {
    enum class Kind { value, os } kind = Kind::value;
    std::string message;
};

template <class T>
using Outcome = std::variant<T, Failure>;

// "cannot parse .rwn: ...", "invalid project JSON: ...", "cannot read PATH: ...".
[[nodiscard]] Outcome<NetworkInput> read_rwn_input(std::string_view text);
[[nodiscard]] Outcome<NetworkInput> read_project_input(std::string_view text);
[[nodiscard]] Outcome<NetworkInput> read_project_file(const std::string& path);

// "analysis failed: <display text>".
[[nodiscard]] Failure network_failure(const network::NetworkError& error);

// Under the lock: issues each warning as rillway.InputWarning. False with the error set when a
// warning filter turned one into an exception.
bool issue_warnings(const std::vector<std::string>& warnings);

// Under the lock: raises the failure. Always returns nullptr.
PyObject* raise_failure(const Failure& failure);

}  // namespace rillway::py
