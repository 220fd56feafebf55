#pragma once
// Reader of the compact plain-text network format (.rwn): one line per structure or pipe and
// keyword lines for the rainfall curve and design options.

#include <string>
#include <string_view>
#include <variant>

#include "network/network.hpp"

namespace rillway::formats {

struct RwnDocument {
    network::Network network;
    network::IdfParams idf;         // 120, 10, 0.8 unless an IDF line sets them
    network::DesignOptions options;
};

// The parsed document, or the error text ("line N: ...") of the first failing line.
[[nodiscard]] std::variant<RwnDocument, std::string> parse_rwn(std::string_view text);

}  // namespace rillway::formats
