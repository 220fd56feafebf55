// The project reader on arbitrary bytes. A failed read yields one message ending in its
// position; a successful read writes back to text that reads to the same project, and the
// conversions to the analysis accept whatever the reader accepted.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <variant>

#include "fuzz_check.hpp"
#include "formats/project/project.hpp"

using rillway::fuzz::require;
namespace proj = rillway::formats::project;

namespace {

bool ends_with_position(const std::string& message) {
    // " at line L column C" with L, C >= 1, matched by hand: std::regex recurses per character
    // and the messages may quote long input.
    const std::size_t at = message.rfind(" at line ");
    if (at == std::string::npos) return false;
    std::size_t i = at + 9;
    const auto number = [&] {
        const std::size_t start = i;
        while (i < message.size() && message[i] >= '0' && message[i] <= '9') ++i;
        return i > start && message[start] != '0';
    };
    if (!number()) return false;
    if (message.compare(i, 8, " column ") != 0) return false;
    i += 8;
    return number() && i == message.size();
}

// The writer puts a non-finite value as null, which cannot be read back; only a 32-bit
// opacity can become non-finite from a finite JSON number.
bool has_non_finite_opacity(const proj::Project& p) {
    return (p.background && !std::isfinite(p.background->opacity)) ||
           (p.background_dxf && !std::isfinite(p.background_dxf->opacity));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto read = proj::read_project(rillway::fuzz::as_text(data, size));
    if (const auto* message = std::get_if<std::string>(&read)) {
        require(ends_with_position(*message), "a read error ends with its position");
        return 0;
    }
    const auto& project = std::get<proj::Project>(read);
    const std::string written = proj::write_project(project);
    const auto again = proj::read_project(written);
    if (const auto* message = std::get_if<std::string>(&again)) {
        require(has_non_finite_opacity(project), "a written project reads back");
    } else {
        require(std::get<proj::Project>(again) == project, "a written project reads back equal");
    }
    const auto network = project.to_analysis_network();
    require(network.nodes.size() == project.nodes.size(), "one analysis node per structure");
    require(network.pipes.size() == project.pipes.size(), "one analysis pipe per conduit");
    (void)project.idf();
    (void)project.design_options();
    return 0;
}
