// Reading project documents: defaults, required keys, duplicates, nulls, array forms, value
// ranges and the positions carried by every message.

#include <cmath>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include <gtest/gtest.h>

#include "formats/project/project.hpp"

namespace rillway::formats::project {
namespace {

using units::UnitSystem;

// A document of the required project keys, the given node and pipe lists, and `extra` keys.
std::string document(std::string_view nodes, std::string_view pipes, std::string_view extra = "") {
    std::string doc = R"({"name":"M","idf_a":1.0,"idf_b":2.0,"idf_c":0.5,"min_tc":5.0,"junction_k":0.4,"nodes":[)";
    doc += nodes;
    doc += R"(],"pipes":[)";
    doc += pipes;
    doc += "]";
    if (!extra.empty()) doc += "," + std::string(extra);
    return doc + "}";
}

const std::string kMinimal = document("", "");

std::string minimal_with(std::string_view extra) { return document("", "", extra); }

Project read_ok(std::string_view text) {
    auto result = read_project(text);
    if (auto* message = std::get_if<std::string>(&result)) {
        ADD_FAILURE() << "unexpected error: " << *message;
        return {};
    }
    return std::get<Project>(std::move(result));
}

std::string read_error(std::string_view text) {
    auto result = read_project(text);
    if (std::holds_alternative<Project>(result)) {
        ADD_FAILURE() << "read succeeded: " << text.substr(0, 200);
        return {};
    }
    return std::get<std::string>(result);
}

// 1-based column of the n-th (0-based) occurrence of `what` in one-line `text`, plus `offset`.
std::size_t column_of(std::string_view text, std::string_view what, std::size_t offset = 0,
                      int occurrence = 0) {
    std::size_t at = text.find(what);
    while (occurrence-- > 0) at = text.find(what, at + 1);
    return at + offset + 1;
}

std::string at(std::size_t line, std::size_t column) {
    return " at line " + std::to_string(line) + " column " + std::to_string(column);
}

TEST(ProjectRead, MinimalDocumentTakesEveryDefault) {
    const Project p = read_ok(kMinimal);
    EXPECT_EQ(p.name, "M");
    EXPECT_EQ(p.idf_a, 1.0);
    EXPECT_EQ(p.idf_b, 2.0);
    EXPECT_EQ(p.idf_c, 0.5);
    EXPECT_EQ(p.min_tc, 5.0);
    EXPECT_EQ(p.junction_k, 0.4);
    EXPECT_FALSE(p.tailwater.has_value());
    EXPECT_EQ(p.bend_loss_coeff, 0.0);
    EXPECT_FALSE(p.hec22_structure_loss);
    EXPECT_EQ(p.access_hole_diam_ft, 0.0);
    EXPECT_EQ(p.design_return_period_years, 10.0);
    EXPECT_EQ(p.p2_rainfall_in, 3.0);
    EXPECT_EQ(p.min_slope, 0.001);
    EXPECT_TRUE(p.nodes.empty());
    EXPECT_TRUE(p.pipes.empty());
    EXPECT_TRUE(p.catchments.empty());
    EXPECT_FALSE(p.background.has_value());
    EXPECT_FALSE(p.background_dxf.has_value());
    EXPECT_TRUE(p.idf_curves.empty());
    EXPECT_EQ(p.units, UnitSystem::us_customary);
    EXPECT_TRUE(p.report.project_number.empty() && p.report.engineer.empty() &&
                p.report.firm.empty() && p.report.jurisdiction.empty());
    EXPECT_EQ(p.format_version, 1U);
}

TEST(ProjectRead, RecordDefaultsOfNodesPipesAndBackgrounds) {
    const Project p = read_ok(document(
        R"({"id":"A","kind":"inlet","x":1,"y":2,"invert":3,"rim":4,"area_ac":0.5,"c":0.6,"tc_inlet":7},)"
        R"({"id":"B","kind":"inlet","x":1,"y":2,"invert":3,"rim":4,"area_ac":0.5,"c":0.6,"tc_inlet":7,)"
        R"("inlet":{"length_ft":2.5,"gutter_slope":0.02,"sag":true,"grate_width_ft":1.5}})",
        R"({"id":"P","from":"A","to":"B","length":10,"diameter":1.5,"n":0.013})",
        R"("background_dxf":{"path":"d.dxf","min_x":0,"min_y":0,"max_x":1,"max_y":1})"));
    ASSERT_EQ(p.nodes.size(), 2U);
    EXPECT_EQ(p.nodes[0].inlet, InletOverrides{});
    EXPECT_FALSE(p.nodes[0].bypass_to.has_value());
    EXPECT_FALSE(p.nodes[0].diameter_ft.has_value());
    EXPECT_EQ(p.nodes[0].tc_inlet, 7.0);
    EXPECT_EQ(p.nodes[1].inlet, (InletOverrides{2.5, 0.02, true, 1.5, 0.0}));
    ASSERT_EQ(p.pipes.size(), 1U);
    EXPECT_EQ(p.pipes[0].shape, "circular");
    EXPECT_EQ(p.pipes[0].rise_ft, 0.0);
    EXPECT_FALSE(p.pipes[0].invert_up.has_value());
    EXPECT_FALSE(p.pipes[0].invert_dn.has_value());
    ASSERT_TRUE(p.background_dxf.has_value());
    EXPECT_EQ(p.background_dxf->opacity, 0.45F);
    EXPECT_EQ(p.background_dxf->max_y, 1.0);
}

TEST(ProjectRead, EachMissingRequiredKeyIsNamedAtTheClosingBrace) {
    const std::vector<std::pair<std::string, std::string>> keys = {
        {"name", R"("M")"},  {"idf_a", "1"},      {"idf_b", "2"},      {"idf_c", "0.5"},
        {"min_tc", "5"},     {"junction_k", "0.4"}, {"nodes", "[]"},   {"pipes", "[]"}};
    for (std::size_t drop = 0; drop < keys.size(); ++drop) {
        std::string doc = "{";
        for (std::size_t i = 0; i < keys.size(); ++i) {
            if (i == drop) continue;
            if (doc.size() > 1) doc += ",";
            doc += "\"" + keys[i].first + "\":" + keys[i].second;
        }
        doc += "}";
        EXPECT_EQ(read_error(doc), "missing field `" + keys[drop].first + "`" + at(1, doc.size()));
    }
}

TEST(ProjectRead, FirstMissingKeyInTableOrderIsReportedWhateverTheTextOrder) {
    // junction_k comes first in the text but idf_b first in the table.
    const std::string reversed = R"({"pipes":[],"nodes":[],"min_tc":1,"idf_c":1,"idf_a":1,"name":"x"})";
    EXPECT_EQ(read_error(reversed), "missing field `idf_b`" + at(1, reversed.size()));
    EXPECT_EQ(read_error("{\n  \"name\": \"x\", \"idf_a\": 1, \"idf_b\": 1, \"idf_c\": 1, \"min_tc\": 1,\n"
                         "  \"nodes\": [], \"pipes\": []\n}"),
              "missing field `junction_k`" + at(4, 1));
}

// Each case: extra keys or lists, the text whose last byte is the error position, the message.
struct ErrorCase {
    std::string doc;
    std::string last;
    std::string expected;
};

void expect_errors(const std::vector<ErrorCase>& cases) {
    for (const ErrorCase& c : cases) {
        ASSERT_NE(c.doc.find(c.last), std::string::npos) << c.last;
        EXPECT_EQ(read_error(c.doc), c.expected + at(1, column_of(c.doc, c.last, c.last.size() - 1)))
            << c.doc;
    }
}

constexpr std::string_view kNodeStart =
    R"({"id":"A","kind":"inlet","x":1,"y":2,"invert":3,"rim":4,"area_ac":0.5,"c":0.6)";

TEST(ProjectRead, RequiredKeysOfNestedRecords) {
    const std::string node(kNodeStart);
    expect_errors({
        {document(node + "}", ""), "0.6}", "missing field `tc_inlet`"},
        {document(node + R"(,"tc_inlet":1,"inlet":{"length_ft":1,"gutter_slope":0.02}})", ""), "0.02}",
         "missing field `sag`"},
        {document("", R"({"id":"P","from":"A","to":"B","diameter":1.5,"n":0.013})"), "0.013}",
         "missing field `length`"},
        {minimal_with(R"("idf_curves":[{"rp_years":2,"a":1,"b":2}])"), "2}", "missing field `c`"},
        {minimal_with(R"("background":{"path":"p","origin_x":0,"origin_y":0,"width":5})"), "5}",
         "missing field `opacity`"},
        {minimal_with(R"("background_dxf":{"path":"p","min_x":0,"min_y":0,"max_y":1})"), "1}",
         "missing field `max_x`"},
        {minimal_with(R"("catchments":[{"id":"C","c":0.5,"flow_length_ft":1,"slope":0.1}])"), "0.1}",
         "missing field `vertices`"},
    });
    // Keys with a default may be absent from a present nested object.
    const Project p = read_ok(document(
        node + R"(,"tc_inlet":1,"inlet":{"length_ft":1,"gutter_slope":0.02,"sag":true}})", ""));
    ASSERT_EQ(p.nodes.size(), 1U);
    EXPECT_EQ(p.nodes[0].inlet, (InletOverrides{1.0, 0.02, true, 0.0, 0.0}));
}

TEST(ProjectRead, DuplicateKnownKeysFailAtTheRepeatedKeyUnknownOnesPass) {
    const std::string node = std::string(kNodeStart) + R"(,"rim":5,"tc_inlet":1})";
    const std::string doc = document(node, "");
    EXPECT_EQ(read_error(doc), "duplicate field `rim`" + at(1, column_of(doc, R"("rim")", 4, 1)));

    const std::string top = minimal_with(R"("idf_a":3)");
    EXPECT_EQ(read_error(top), "duplicate field `idf_a`" + at(1, column_of(top, R"("idf_a")", 6, 1)));

    const std::string report = minimal_with(R"("report":{"firm":"a","firm":"b"})");
    EXPECT_EQ(read_error(report), "duplicate field `firm`" + at(1, column_of(report, R"("firm")", 5, 1)));

    const Project p = read_ok(minimal_with(R"("note":1,"note":{"deep":[1,2]},"rim":"x")"));
    EXPECT_EQ(p.name, "M");
}

TEST(ProjectRead, NullOnlyWhereTheValueIsOptional) {
    const Project p = read_ok(minimal_with(
        R"("tailwater":null,"background":null,"background_dxf":null,)"
        R"("catchments":[{"id":"C","vertices":[],"c":0.5,"flow_length_ft":1,"slope":0.1,"inlet_node_id":null}])"));
    EXPECT_FALSE(p.tailwater.has_value());
    ASSERT_EQ(p.catchments.size(), 1U);
    EXPECT_FALSE(p.catchments[0].inlet_node_id.has_value());

    struct Case {
        std::string extra;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {R"("bend_loss_coeff":null)", "invalid type: null, expected f64"},
        {R"("hec22_structure_loss":null)", "invalid type: null, expected a boolean"},
        {R"("catchments":null)", "invalid type: null, expected a sequence"},
        {R"("report":null)", "invalid type: null, expected struct ReportInfo"},
        {R"("format_version":null)", "invalid type: null, expected u32"},
        {R"("units":null)", "invalid type: null, expected `us_customary` or `si`"},
        {R"("report":{"firm":null})", "invalid type: null, expected a string"},
        {R"("idf_curves":[null])", "invalid type: null, expected struct IdfCurveEntry"},
    };
    for (const Case& c : cases) {
        const std::string doc = minimal_with(c.extra);
        EXPECT_EQ(read_error(doc), c.expected + at(1, column_of(doc, "null", 3))) << c.extra;
    }
    // A required text may not be null either; the value sits first in the document here.
    EXPECT_EQ(read_error(R"({"name":null})"), "invalid type: null, expected a string" + at(1, 12));
}

TEST(ProjectRead, WrongTypesNameWhatWasFoundAndWhatWasExpected) {
    struct Case {
        std::string extra;
        std::string value;  // the offending value's text, to locate its last byte
        std::string expected;
    };
    const std::vector<Case> cases = {
        {R"("p2_rainfall_in":"abc")", R"("abc")", R"(invalid type: string "abc", expected f64)"},
        {R"("hec22_structure_loss":5)", "5", "invalid type: integer `5`, expected a boolean"},
        {R"("hec22_structure_loss":-12.5e1)", "-12.5e1", "invalid type: floating point `-125.0`, expected a boolean"},
        {R"("catchments":{})", "{", "invalid type: map, expected a sequence"},
        {R"("report":[[]])", "[[", "invalid type: sequence, expected a string"},
        {R"("background":true)", "true", "invalid type: boolean `true`, expected struct BackgroundImage"},
        {R"("idf_curves":["x\"y"])", R"("x\"y")", R"(invalid type: string "x\"y", expected struct IdfCurveEntry)"},
    };
    for (const Case& c : cases) {
        const std::string doc = minimal_with(c.extra);
        const std::size_t value_end = c.extra.find(c.value) + c.value.size() - 1;
        EXPECT_EQ(read_error(doc), c.expected + at(1, column_of(doc, c.extra, value_end))) << c.extra;
    }
    EXPECT_EQ(read_error(R"(  [1, 2])").substr(0, 50),
              "invalid type: integer `1`, expected a string at li");
    EXPECT_EQ(read_error("\n  42\n"), "invalid type: integer `42`, expected struct Project" + at(2, 4));
    EXPECT_EQ(read_error(R"("x")"), R"(invalid type: string "x", expected struct Project)" + at(1, 3));
}

TEST(ProjectRead, CountsAreWholeNumbersWithinThirtyTwoBits) {
    EXPECT_EQ(read_ok(minimal_with(R"("format_version":7)")).format_version, 7U);
    EXPECT_EQ(read_ok(minimal_with(R"("format_version":0)")).format_version, 0U);
    EXPECT_EQ(read_ok(minimal_with(R"("format_version":4294967295)")).format_version, 4294967295U);

    struct Case {
        std::string value;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {"4294967296", "invalid value: integer `4294967296`, expected u32"},
        {"-1", "invalid value: integer `-1`, expected u32"},
        {"3.5", "invalid type: floating point `3.5`, expected u32"},
        {"3.0", "invalid type: floating point `3.0`, expected u32"},
        {"\"7\"", R"(invalid type: string "7", expected u32)"},
    };
    for (const Case& c : cases) {
        const std::string doc = minimal_with(R"("format_version":)" + c.value);
        EXPECT_EQ(read_error(doc), c.expected + at(1, doc.size() - 1)) << c.value;
        const std::string curve = minimal_with(R"("idf_curves":[{"a":1,"b":2,"c":3,"rp_years":)" + c.value + "}]");
        EXPECT_EQ(read_error(curve), c.expected + at(1, curve.size() - 3)) << c.value;
    }
}

TEST(ProjectRead, UnitsAreTheTwoLowerCaseNames) {
    EXPECT_EQ(read_ok(minimal_with(R"("units":"si")")).units, UnitSystem::si);
    EXPECT_EQ(read_ok(minimal_with(R"("units":"us_customary")")).units, UnitSystem::us_customary);
    const std::string doc = minimal_with(R"("units":"SI")");
    EXPECT_EQ(read_error(doc), "unknown variant `SI`, expected `us_customary` or `si`" + at(1, doc.size() - 1));
    EXPECT_EQ(read_error(minimal_with(R"("units":{"si":null})")).substr(0, 52),
              "invalid type: map, expected `us_customary` or `si` a");
}

TEST(ProjectRead, PointsAreExactlyTwoNumbers) {
    const std::string prefix = R"("catchments":[{"id":"C","c":0.5,"flow_length_ft":1,"slope":0.1,"inlet_node_id":"N","vertices":)";
    const Project p = read_ok(minimal_with(prefix + "[[1,2.5],[-3e1,4]]}]"));
    ASSERT_EQ(p.catchments.size(), 1U);
    EXPECT_EQ(p.catchments[0].vertices, (std::vector<std::array<double, 2>>{{1.0, 2.5}, {-30.0, 4.0}}));
    EXPECT_EQ(p.catchments[0].inlet_node_id, "N");

    const std::string one = minimal_with(prefix + "[[1]]}]");
    EXPECT_EQ(read_error(one), "invalid length 1, expected a tuple of size 2" + at(1, column_of(one, "[[1]]", 3)));
    const std::string three = minimal_with(prefix + "[[1,2,3]]}]");
    EXPECT_EQ(read_error(three), "trailing characters" + at(1, column_of(three, "[[1,2,3]]", 6)));
    const std::string map = minimal_with(prefix + R"([{"x":1}]}])");
    EXPECT_EQ(read_error(map), "invalid type: map, expected a tuple of size 2" + at(1, column_of(map, R"("vertices":[{)", 12)));
    const std::string text = minimal_with(prefix + R"([[1,"2"]]}])");
    EXPECT_EQ(read_error(text), R"(invalid type: string "2", expected f64)" + at(1, column_of(text, R"("2")", 2)));
}

TEST(ProjectRead, ArrayFormsMayDropTrailingDefaults) {
    const std::string node9 = R"(["A","junction",1,2,3,4,0.5,0.6,7])";
    const std::string node12 = R"(["B","inlet",1,2,3,4,0.5,0.6,7,[1.5,0.02,true],"A",5])";
    const std::string pipe6 = R"(["P","A","B",100,1.5,0.013])";
    const std::string pipe11 = R"(["Q","A","B",100,1.5,0.013,"box",2,3,null,9.5])";
    const std::string catchment6 = R"(["C",[[0,0],[1,0],[0,1]],0.5,10,0.01,null])";
    const Project p = read_ok(R"(["M",1,2,0.5,null,5,0.4,0,true,0,10,3,0.001,[)" + node9 + "," + node12 +
                              "],[" + pipe6 + "," + pipe11 + "],[" + catchment6 + R"(],null,["d",0,0,1,1],[[25,1,2,3]],"si",["J1"],9])");
    EXPECT_TRUE(p.hec22_structure_loss);
    ASSERT_EQ(p.nodes.size(), 2U);
    EXPECT_EQ(p.nodes[0].kind, "junction");
    EXPECT_EQ(p.nodes[0].tc_inlet, 7.0);
    EXPECT_FALSE(p.nodes[0].diameter_ft.has_value());
    EXPECT_EQ(p.nodes[1].inlet, (InletOverrides{1.5, 0.02, true, 0.0, 0.0}));
    EXPECT_EQ(p.nodes[1].bypass_to, "A");
    EXPECT_EQ(p.nodes[1].diameter_ft, 5.0);
    ASSERT_EQ(p.pipes.size(), 2U);
    EXPECT_EQ(p.pipes[0], ProjectPipe::create("P", "A", "B", 100, 1.5, 0.013));
    EXPECT_EQ(p.pipes[1].shape, "box");
    EXPECT_FALSE(p.pipes[1].invert_up.has_value());
    EXPECT_EQ(p.pipes[1].invert_dn, 9.5);
    ASSERT_EQ(p.catchments.size(), 1U);
    EXPECT_EQ(p.catchments[0].vertices.size(), 3U);
    ASSERT_TRUE(p.background_dxf.has_value());
    EXPECT_EQ(p.background_dxf->opacity, 0.45F);
    EXPECT_EQ(p.idf_curves, (std::vector<IdfCurveEntry>{{25, 1.0, 2.0, 3.0}}));
    EXPECT_EQ(p.units, UnitSystem::si);
    EXPECT_EQ(p.report.project_number, "J1");
    EXPECT_EQ(p.report.engineer, "");
    EXPECT_EQ(p.format_version, 9U);

    // The shortest project array stops after `pipes`.
    const Project shortest = read_ok(R"(["M",1,2,0.5,7.5,5,0.4,0,false,0,10,3,0.001,[],[]])");
    EXPECT_EQ(shortest.tailwater, 7.5);
    EXPECT_EQ(shortest.format_version, 1U);
}

TEST(ProjectRead, ArrayFormsTooShortOrTooLong) {
    // Short arrays fail at their closing bracket, long ones at the first surplus value.
    expect_errors({
        {document(R"(["A","inlet",1,2,3,4,0.5,0.6])", ""), "0.6]",
         "invalid length 8, expected struct ProjectNode with 14 elements"},
        {document(R"(["A","inlet",1,2,3,4,0.5,0.6,7,[1,0.02]])", ""), "0.02]",
         "invalid length 2, expected struct InletOverrides with 22 elements"},
        {document("", R"(["P","A","B",100,1.5])"), "1.5]",
         "invalid length 5, expected struct ProjectPipe with 14 elements"},
        // inlet_node_id has no default in the array form.
        {minimal_with(R"("catchments":[["C",[],0.5,10,0.01]])"), "0.01]",
         "invalid length 5, expected struct ProjectCatchment with 6 elements"},
        {minimal_with(R"("idf_curves":[[25,1,2]])"), "2]",
         "invalid length 3, expected struct IdfCurveEntry with 4 elements"},
        {minimal_with(R"("background":["p",0,0,1])"), "1]",
         "invalid length 4, expected struct BackgroundImage with 5 elements"},
        {minimal_with(R"("background_dxf":[])"), R"("background_dxf":[])",
         "invalid length 0, expected struct BackgroundDxf with 6 elements"},
        {R"(["M",1,2,0.5,null,5,0.4,0,false,0,10,3,0.001,[]])", "[]]",
         "invalid length 14, expected struct Project with 27 elements"},
        {minimal_with(R"("idf_curves":[[25,1,2,3,"extra"]])"), R"("extra")", "trailing characters"},
        {minimal_with(R"("report":["a","b","c","d",{}])"), ",{", "trailing characters"},
        {document(R"(["A","inlet",1,2,3,4,0.5,0.6,7,[1,0.02,true,0,0,null,null,null,null,null,null,null,null,null,null,null,null,null,null,null,1,false,0]])", ""), "false,0", "trailing characters"},
    });
}

TEST(ProjectRead, SyntaxErrorsKeepTheLibraryDescription) {
    EXPECT_EQ(read_error(""), "attempting to parse an empty input; check that your input string or "
                              "stream contains the expected JSON" + at(1, 1));
    const std::string cut = read_error(R"({"name":"M","idf_a":)");
    EXPECT_EQ(cut, "syntax error while parsing value - unexpected end of input; expected '[', '{', or a literal" + at(1, 21));
    const std::string comma = read_error("{\n\"name\": \"M\",\n}");
    EXPECT_TRUE(comma.starts_with("syntax error while parsing object key - unexpected '}'")) << comma;
    EXPECT_TRUE(comma.ends_with(at(3, 1))) << comma;
    // Unknown values are parsed too, so they must be well formed.
    const std::string unknown = read_error(minimal_with(R"("extra":[1 2])"));
    EXPECT_TRUE(unknown.starts_with("syntax error while parsing array")) << unknown;
}

TEST(ProjectRead, TextAfterTheDocumentIsTrailingCharacters) {
    EXPECT_EQ(read_error(std::string(kMinimal) + "  \n x"), "trailing characters" + at(2, 2));
    EXPECT_EQ(read_error(std::string(kMinimal) + "{}"), "trailing characters" + at(1, kMinimal.size() + 1));
    EXPECT_EQ(read_ok(std::string(" \n") + std::string(kMinimal) + "\n\t ").name, "M");
}

TEST(ProjectRead, OverflowingNumbersAndBadUtf8AreErrors) {
    const std::string huge = minimal_with(R"("min_slope":1e400)");
    EXPECT_EQ(read_error(huge), "number overflow parsing '1e400'" + at(1, huge.size() - 1));
    EXPECT_EQ(read_ok(minimal_with(R"("min_slope":1e-400)")).min_slope, 0.0);

    const std::string bad = read_error(minimal_with("\"report\":{\"firm\":\"a\xff\"}"));
    EXPECT_NE(bad.find("ill-formed UTF-8"), std::string::npos) << bad;
    // The message quotes what was read, but it must itself be valid UTF-8.
    EXPECT_EQ(bad.find('\xff'), std::string::npos);
    EXPECT_NE(bad.find("\\xFF"), std::string::npos) << bad;
}

TEST(ProjectRead, DeeplyNestedUnknownValuesCostNoStack) {
    constexpr std::size_t kDepth = 1'000'000;
    const std::string arrays = std::string(kDepth, '[') + std::string(kDepth, ']');
    EXPECT_EQ(read_ok(minimal_with("\"deep\":" + arrays)).name, "M");

    std::string objects;
    objects.reserve(kDepth * 7);
    for (std::size_t i = 0; i < kDepth; ++i) objects += "{\"k\":";
    objects += "1" + std::string(kDepth, '}');
    EXPECT_EQ(read_ok(minimal_with("\"deep\":" + objects)).idf_a, 1.0);

    // Left open, the same value is an error rather than a crash.
    const std::string open = minimal_with("\"deep\":" + std::string(kDepth, '['));
    EXPECT_TRUE(read_error(open).starts_with("syntax error"));
}

}  // namespace
}  // namespace rillway::formats::project
