#pragma once
// The in-memory gravity network: structures (Node), conduits (Pipe), the Network holding both
// lists, and the two parameter records that accompany an analysis. Every quantity is in US
// customary units: feet, acres, minutes, inches per hour, cubic feet per second.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "hydraulics/inlet.hpp"
#include "hydraulics/section.hpp"
#include "network/boxed.hpp"

namespace rillway::network {

enum class NodeKind { inlet, junction, outfall };

// How the water's loss in a structure is reckoned: the standard K V^2/2g junction-and-bend
// loss, the simplified HEC-22 access-hole coefficient, or the FHWA access-hole energy method
// on the energy grade line (network/energy_loss.hpp).
enum class LossMethod { standard, hec22, fhwa_energy };

// The floor of a structure below its pipes, as the FHWA energy method grades it (HEC-22
// 4th ed. 2024, table 9.5): flat, depressed below the outlet, or benched to half or the full
// pipe height, or improved (benching shaped to the flow).
enum class Benching { flat, depressed, half, full, improved };

// What a structure with several pipes leaving it sends down each: its whole C*A and known
// inflow (the conservative reading for the pipes themselves, which counts the area once per
// route where the routes rejoin), or a share of them in proportion to the pipes' full-flow
// capacities (network/loads.hpp).
enum class FlowSplit { whole, capacity };

// The documents' words for both: "standard", "hec22", "fhwa_energy"; "flat", "depressed",
// "half", "full", "improved". The *_of_word functions give none for any other word.
[[nodiscard]] std::string_view loss_method_word(LossMethod method) noexcept;
[[nodiscard]] std::optional<LossMethod> loss_method_of_word(std::string_view word) noexcept;
[[nodiscard]] std::string_view benching_word(Benching benching) noexcept;
[[nodiscard]] std::optional<Benching> benching_of_word(std::string_view word) noexcept;
// "whole", "capacity".
[[nodiscard]] std::string_view flow_split_word(FlowSplit split) noexcept;
[[nodiscard]] std::optional<FlowSplit> flow_split_of_word(std::string_view word) noexcept;

// What the pipes carry where street inlets decide what enters them: the captured share of each
// inlet's load (the C*A of its approach flow in the proportion it intercepts), or every area
// upstream of a pipe whatever the inlets catch, as HEC-22's storm-drain computation sheet does.
enum class PipeFlows { captured, total_area };

// "captured", "total_area"; none for another word.
[[nodiscard]] std::string_view pipe_flows_word(PipeFlows flows) noexcept;
[[nodiscard]] std::optional<PipeFlows> pipe_flows_of_word(std::string_view word) noexcept;

// A structure's inlet on the street (network/bypass.hpp): its type and size, the gutter it sits
// in, whether it lies in a sag, and the spread the reviewer allows there (ft).
struct StreetInlet {
    hydraulics::Inlet inlet;
    hydraulics::Gutter gutter;
    bool sag = false;
    std::optional<double> spread_allow;

    friend bool operator==(const StreetInlet&, const StreetInlet&) = default;
};

struct Node {
    std::string id;
    double invert = 0.0;  // ft; default invert of the pipe ends that touch the node
    double rim = 0.0;     // ft; the node floods when its grade line is above it
    double area = 0.0;    // acres draining directly to the node
    double c = 0.0;       // runoff coefficient of that area
    double tc = 0.0;      // inlet time of concentration, minutes
    double x = 0.0;       // plan easting, ft (bend angles only)
    double y = 0.0;       // plan northing, ft
    NodeKind kind = NodeKind::inlet;
    double diameter = 4.0;  // ft, the structure's inside diameter (drawings)
    Benching benching = Benching::flat;  // read by the FHWA energy method only
    double inflow = 0.0;  // cfs entering from outside the rainfall (base flow, a pump, a system
                          // upstream); added to the rational flow below, never scaled
    // An inlet with a type: it intercepts only part of the runoff on grade (the inflow above is
    // piped and enters whole). None: the structure takes all its runoff.
    Boxed<StreetInlet> street{};
    std::optional<std::string> bypass_to{};  // where a street inlet's bypass goes; none: lost

    // Inlets and junctions start with a 10-minute inlet time; outfalls carry no area or time.
    static Node inlet(std::string id, double invert, double rim, double area, double c);
    static Node junction(std::string id, double invert, double rim, double area, double c);
    static Node outfall(std::string id, double invert, double rim);

    friend bool operator==(const Node&, const Node&) = default;
};

struct Pipe {
    std::optional<double> invert_up;  // ft; absent: the upstream node's invert
    std::optional<double> invert_dn;  // ft; absent: the downstream node's invert
    hydraulics::Section section;
    std::string id;
    std::string from;
    std::string to;
    double length = 0.0;               // ft
    double equivalent_diameter = 0.0;  // ft; circle of the same full area
    double n = 0.0;                    // Manning roughness
    // Identical barrels side by side, sharing the flow equally; each carries barrel_flow(q).
    std::uint32_t barrels = 1;

    [[nodiscard]] double barrel_flow(double q) const noexcept { return q / barrels; }

    // The circular constructor (the round pipe every format can describe).
    static Pipe circular(std::string id, std::string from, std::string to, double length,
                         double diameter, double n);
    static Pipe rectangular(std::string id, std::string from, std::string to, double length,
                            double rise, double span, double n);
    static Pipe elliptical(std::string id, std::string from, std::string to, double length,
                           double rise, double span, double n);
    static Pipe arch(std::string id, std::string from, std::string to, double length, double rise,
                     double span, double n);
    // An open channel of any open kind (Section::trapezoid, rect_open, triangle).
    static Pipe open_channel(std::string id, std::string from, std::string to, double length,
                             const hydraulics::Section& section, double n);
};

struct Network {
    std::vector<Node> nodes;  // positions are the node indices of the analysis
    std::vector<Pipe> pipes;  // positions are the pipe indices
};

struct DesignOptions {
    std::optional<double> tailwater;           // ft, water surface imposed at outfalls
    std::optional<double> intensity_override;  // in/hr for every pipe; the IDF curve is then unused
    double min_tc = 10.0;                      // minutes
    double junction_k = 0.5;                   // standard structure loss coefficient
    double min_slope = 0.001;                  // used where |geometric slope| < 1e-6
    double bend_loss_coeff = 0.0;              // scale of the standard bend loss
    double access_hole_diameter = 4.0;         // ft, HEC-22 structure diameter
    double hec22_factor = 1.0;                 // multiplies the HEC-22 K; <= 0 counts as 1.0
    double frequency_factor = 1.0;             // multiplies every C; the product is capped at 1.0
    bool hec22_structure_loss = false;         // HEC-22 method instead of junction_k and bends
    // Absent: hec22 when hec22_structure_loss, else standard, as before the choice existed.
    std::optional<LossMethod> loss_method;
    PipeFlows pipe_flows = PipeFlows::captured;  // read only where street inlets exist
    FlowSplit flow_split = FlowSplit::whole;
    // A pipe's design flow is at least the largest entering its upper structure (times its
    // share of a split), where the rational flow would fall with a longer tc.
    bool min_flow_from_upstream = false;

    [[nodiscard]] LossMethod method() const noexcept {
        if (loss_method) return *loss_method;
        return hec22_structure_loss ? LossMethod::hec22 : LossMethod::standard;
    }
};

// i = a / (tc + b)^c, tc in minutes, i in in/hr.
struct IdfParams {
    double a = 120.0;
    double b = 10.0;
    double c = 0.8;
};

// Errors that end an analysis.
struct DuplicateNode {  // two structures bear one id, so pipes could not tell them apart
    std::string id;
};
struct UnknownNode {
    std::string id;
};
struct Cycle {};
struct InvalidPipeSize {  // a negative or not-a-number diameter, rise, span or side slope
    std::string pipe_id;
};
struct InvalidInlet {  // a street inlet's value that the equations cannot take
    std::string node_id;
    hydraulics::InletProblem problem;
};
struct InvalidBypass {  // a bypass_to that names no structure, an outfall, or one in a loop
    std::string message;
};
struct NoBarrels {  // a barrel count of 0
    std::string pipe_id;
};
using NetworkError = std::variant<UnknownNode, Cycle, InvalidPipeSize, DuplicateNode, NoBarrels,
                                  InvalidInlet, InvalidBypass>;

// The pipe's sizes are numbers of zero or more (a round pipe has no span of its own) and it
// has a barrel: what the hydraulics require of every pipe they are given.
[[nodiscard]] std::optional<NetworkError> pipe_error(const Pipe& pipe);

// The whole message, e.g. "pipe references unknown node 'X9'".
[[nodiscard]] std::string display(const NetworkError& error);

}  // namespace rillway::network
