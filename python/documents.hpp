#pragma once
// Reading the two input formats into what the analysis needs, with the module's error
// messages: "cannot parse .rwn: ..." and "invalid project JSON: ..." (ValueError).

#include <optional>
#include <string>
#include <string_view>

#include "network/network.hpp"
#include "pyref.hpp"

namespace rillway::py {

// A network as the analysis sees it, with the name the result carries.
struct NetworkInput {
    std::string name;
    network::Network network;
    network::IdfParams idf;
    network::DesignOptions options;
};

// Each returns nothing with the Python error set when the text cannot be read.
std::optional<NetworkInput> read_rwn_input(std::string_view text);
std::optional<NetworkInput> read_project_input(std::string_view text);

// Raises ValueError "analysis failed: <message>" for a network error. Always returns nullptr.
PyObject* raise_network_error(const network::NetworkError& error);

}  // namespace rillway::py
