// The .rwn reader on arbitrary bytes: it must return a document or one "line N: ..." message,
// and N must name a line that exists.

#include <algorithm>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <string>
#include <variant>

#include "fuzz_check.hpp"
#include "formats/rwn/rwn.hpp"

using rillway::fuzz::require;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text = rillway::fuzz::as_text(data, size);
    const auto parsed = rillway::formats::parse_rwn(text);
    if (const auto* message = std::get_if<std::string>(&parsed)) {
        require(message->starts_with("line "), "an error names its line");
        std::size_t line = 0;
        const char* digits = message->data() + 5;
        const auto [end, error] = std::from_chars(digits, message->data() + message->size(), line);
        const auto rest = static_cast<std::size_t>(end - message->data());
        require(error == std::errc{} && message->compare(rest, 2, ": ") == 0, "line number, then ': '");
        const std::size_t lines =
            static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')) + 1;
        require(line >= 1 && line <= lines, "the failing line exists");
        return 0;
    }
    const auto& doc = std::get<rillway::formats::RwnDocument>(parsed);
    // Every node and pipe comes from a line of its own.
    const std::size_t lines = static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')) + 1;
    require(doc.network.nodes.size() + doc.network.pipes.size() <= lines, "one element per line");
    for (const auto& pipe : doc.network.pipes) {
        require(!pipe.invert_up && !pipe.invert_dn, "a .rwn pipe takes its nodes' inverts");
    }
    return 0;
}
