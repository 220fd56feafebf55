// Parse-then-analyse of a project document, as analyze_project does it.

#include <cstddef>
#include <cstdint>
#include <variant>

#include "analyze_target.hpp"
#include "formats/project/project.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto read = rillway::formats::project::read_project(rillway::fuzz::as_text(data, size));
    if (const auto* project = std::get_if<rillway::formats::project::Project>(&read)) {
        rillway::fuzz::analyze_and_check(project->to_analysis_network(), project->idf(),
                                         project->design_options());
    }
    return 0;
}
