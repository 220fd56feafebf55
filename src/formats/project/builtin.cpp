// The projects the system can build without a document: the demo trunk line and a new project.

#include <string>
#include <utility>

#include "formats/project/project.hpp"

namespace rillway::formats::project {
namespace {

// The analysis parameters both built-in projects start from.
Project with_standard_parameters(std::string name) {
    Project p;
    p.name = std::move(name);
    p.idf_a = 60.0;
    p.idf_b = 10.0;
    p.idf_c = 0.8;
    p.min_tc = 10.0;
    p.junction_k = 0.5;
    p.bend_loss_coeff = 0.0;
    p.hec22_structure_loss = false;
    p.access_hole_diam_ft = 4.0;
    p.design_return_period_years = 10.0;
    p.p2_rainfall_in = 3.0;
    p.min_slope = 0.001;
    p.units = units::UnitSystem::us_customary;
    p.format_version = 1;
    return p;
}

ProjectNode node(std::string id, std::string kind, double x, double invert, double rim, double area_ac,
                 double c, double tc_inlet) {
    ProjectNode n;
    n.id = std::move(id);
    n.kind = std::move(kind);
    n.x = x;
    n.y = 0.0;
    n.invert = invert;
    n.rim = rim;
    n.area_ac = area_ac;
    n.c = c;
    n.tc_inlet = tc_inlet;
    n.diameter_ft = 4.0;
    return n;
}

}  // namespace

ProjectPipe ProjectPipe::create(std::string id, std::string from, std::string to, double length,
                                double diameter, double n) {
    ProjectPipe p;
    p.id = std::move(id);
    p.from = std::move(from);
    p.to = std::move(to);
    p.length = length;
    p.diameter = diameter;
    p.n = n;
    return p;
}

Project Project::demo() {
    Project p = with_standard_parameters("Demo Trunk Line");
    p.tailwater = 100.5;
    p.nodes = {
        node("N1", "inlet", 0.0, 104.0, 110.0, 1.0, 0.7, 12.0),
        node("N2", "inlet", 300.0, 102.5, 108.5, 1.0, 0.7, 10.0),
        node("N3", "junction", 550.0, 101.2, 107.0, 0.5, 0.8, 8.0),
        node("OUT", "outfall", 730.0, 100.0, 106.0, 0.0, 0.0, 0.0),
    };
    p.pipes = {
        ProjectPipe::create("P1", "N1", "N2", 300.0, 1.25, 0.013),
        ProjectPipe::create("P2", "N2", "N3", 250.0, 1.5, 0.013),
        ProjectPipe::create("P3", "N3", "OUT", 180.0, 1.75, 0.013),
    };
    ProjectCatchment c1;
    c1.id = "C1";
    c1.vertices = {{-40.0, 80.0}, {40.0, 80.0}, {0.0, 140.0}};
    c1.c = 0.7;
    c1.flow_length_ft = 100.0;
    c1.slope = 0.01;
    c1.inlet_node_id = "N1";
    p.catchments = {std::move(c1)};
    return p;
}

Project Project::empty() {
    Project p = with_standard_parameters("Untitled");
    p.nodes = {node("OUT", "outfall", 0.0, 100.0, 106.0, 0.0, 0.0, 0.0)};
    return p;
}

}  // namespace rillway::formats::project
