// Parse-then-design of a project document, as design_project does it: whenever the design
// succeeds, the designed document it writes reads back and analyses to the designed result.

#include <bit>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <variant>

#include "analyze_target.hpp"
#include "design/project_design.hpp"
#include "formats/project/project.hpp"

namespace {

namespace proj = rillway::formats::project;
using rillway::fuzz::require;

bool same(double a, double b) { return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b); }

bool same(const std::optional<double>& a, const std::optional<double>& b) {
    return a.has_value() == b.has_value() && (!a || same(*a, *b));
}

void require_same(const rillway::network::Analysis& designed, const rillway::network::Analysis& read) {
    require(designed.pipes.size() == read.pipes.size() && designed.nodes.size() == read.nodes.size(),
            "the designed document has the designed network's records");
    for (std::size_t i = 0; i < read.pipes.size(); ++i) {
        const auto& a = designed.pipes[i];
        const auto& b = read.pipes[i];
        require(same(a.slope, b.slope) && same(a.design_q, b.design_q) && same(a.capacity, b.capacity) &&
                    same(a.velocity, b.velocity) && same(a.normal_depth, b.normal_depth) &&
                    same(a.hgl_up, b.hgl_up) && same(a.hgl_dn, b.hgl_dn) && a.surcharged == b.surcharged,
                "a pipe of the designed document analyses as designed");
    }
    for (std::size_t i = 0; i < read.nodes.size(); ++i) {
        const auto& a = designed.nodes[i];
        const auto& b = read.nodes[i];
        require(same(a.hgl, b.hgl) && same(a.freeboard, b.freeboard) && a.floods == b.floods,
                "a structure of the designed document analyses as designed");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto read = proj::read_project(rillway::fuzz::as_text(data, size));
    const auto* project = std::get_if<proj::Project>(&read);
    // Design analyses the network once per enlarging round: the smaller cap keeps a slow run a
    // real hang.
    if (project == nullptr || project->pipes.size() > rillway::fuzz::kMaxAnalysedPipes / 2 ||
        project->nodes.size() > rillway::fuzz::kMaxAnalysedNodes) {
        return 0;
    }
    const auto outcome = rillway::design::design_project(*project);
    const auto* designed = std::get_if<rillway::design::ProjectDesign>(&outcome);
    if (designed == nullptr) {
        (void)rillway::design::display(std::get<rillway::design::DesignError>(outcome));
        return 0;
    }
    const std::string text = proj::write_project(designed->project);
    const auto reread = proj::read_project(text);
    const auto* back = std::get_if<proj::Project>(&reread);
    require(back != nullptr, "the designed document reads back");
    const auto analysis = rillway::network::analyze(back->to_analysis_network(), back->idf(),
                                                    back->design_options());
    const auto* result = std::get_if<rillway::network::Analysis>(&analysis);
    require(result != nullptr, "the designed document analyses");
    require_same(designed->design.analysis, *result);
    return 0;
}
