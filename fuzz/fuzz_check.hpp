#pragma once
// What every harness shares: a check that turns a broken property into a crash libFuzzer
// records, with the reason printed first so that the artifact explains itself.

#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace rillway::fuzz {

inline void require(bool holds, std::string_view what) {
    if (!holds) {
        std::fprintf(stderr, "property violated: %.*s\n", static_cast<int>(what.size()), what.data());
        std::abort();
    }
}

// The text of a fuzz input; the parsers take any bytes, NULs and invalid UTF-8 included.
inline std::string_view as_text(const unsigned char* data, std::size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

}  // namespace rillway::fuzz
