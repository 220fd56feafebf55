// Parse-then-analyse of .rwn text, as analyze_rwn does it.

#include <cstddef>
#include <cstdint>
#include <variant>

#include "analyze_target.hpp"
#include "formats/rwn/rwn.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto parsed = rillway::formats::parse_rwn(rillway::fuzz::as_text(data, size));
    if (const auto* doc = std::get_if<rillway::formats::RwnDocument>(&parsed)) {
        rillway::fuzz::analyze_and_check(doc->network, doc->idf, doc->options);
    }
    return 0;
}
