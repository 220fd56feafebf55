// The plain-text network reader: documents, line handling and every error message.

#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <limits>
#include <string>
#include <string_view>
#include <variant>

#include "formats/rwn/rwn.hpp"

namespace {

using rillway::network::Node;
using rillway::network::NodeKind;
using rillway::formats::parse_rwn;
using rillway::formats::RwnDocument;
using SectionKind = rillway::hydraulics::SectionKind;
using namespace std::string_view_literals;

// The document of a text that must parse; fails the test with the message otherwise.
RwnDocument parsed(std::string_view text) {
    auto result = parse_rwn(text);
    if (const auto* message = std::get_if<std::string>(&result)) {
        ADD_FAILURE() << "unexpected parse error: " << *message;
        return {};
    }
    return std::get<RwnDocument>(std::move(result));
}

// The error text of a text that must fail, or a marker that cannot equal any message.
std::string error_of(std::string_view text) {
    auto result = parse_rwn(text);
    if (const auto* message = std::get_if<std::string>(&result)) {
        return *message;
    }
    return "<parsed without error>";
}

void expect_default_options_and_idf(const RwnDocument& doc) {
    EXPECT_EQ(doc.idf.a, 120.0);
    EXPECT_EQ(doc.idf.b, 10.0);
    EXPECT_EQ(doc.idf.c, 0.8);
    const auto& o = doc.options;
    EXPECT_FALSE(o.tailwater.has_value());
    EXPECT_FALSE(o.intensity_override.has_value());
    EXPECT_EQ(o.min_tc, 10.0);
    EXPECT_EQ(o.junction_k, 0.5);
    EXPECT_EQ(o.min_slope, 0.001);
    EXPECT_EQ(o.bend_loss_coeff, 0.0);
    EXPECT_EQ(o.access_hole_diameter, 4.0);
    EXPECT_EQ(o.hec22_factor, 1.0);
    EXPECT_EQ(o.frequency_factor, 1.0);
    EXPECT_FALSE(o.hec22_structure_loss);
}

TEST(RwnDocument, TextsWithoutContentGiveTheDefaults) {
    for (const std::string_view text :
         {"", "\n", "\n\n\n", "# only a comment", "  \t \r\n# c\r\n   # indented\n\xe3\x80\x80\n",
          "#NODE N1 inlet 0 0 100 106 1 0.5\n"}) {
        const RwnDocument doc = parsed(text);
        EXPECT_TRUE(doc.network.nodes.empty());
        EXPECT_TRUE(doc.network.pipes.empty());
        expect_default_options_and_idf(doc);
    }
}

TEST(RwnDocument, SmallNetwork) {
    const RwnDocument doc = parsed(
        "IDF 150 12 0.75\n"
        "# two structures and a pipe\n"
        "NODE IN1 inlet 0 0 100.0 106.0 1.5 0.7\n"
        "NODE OUT outfall 100 0 98.0 104.0\n"
        "PIPE P1 IN1 OUT 100 1.5 0.013\n");
    EXPECT_EQ(doc.idf.a, 150.0);
    EXPECT_EQ(doc.idf.b, 12.0);
    EXPECT_EQ(doc.idf.c, 0.75);

    ASSERT_EQ(doc.network.nodes.size(), 2U);
    const Node& in1 = doc.network.nodes[0];
    EXPECT_EQ(in1.id, "IN1");
    EXPECT_EQ(in1.kind, NodeKind::inlet);
    EXPECT_EQ(in1.invert, 100.0);
    EXPECT_EQ(in1.rim, 106.0);
    EXPECT_EQ(in1.area, 1.5);
    EXPECT_EQ(in1.c, 0.7);
    EXPECT_EQ(in1.tc, 10.0);
    EXPECT_EQ(in1.x, 0.0);
    EXPECT_EQ(in1.y, 0.0);

    const Node& out = doc.network.nodes[1];
    EXPECT_EQ(out.id, "OUT");
    EXPECT_EQ(out.kind, NodeKind::outfall);
    EXPECT_EQ(out.invert, 98.0);
    EXPECT_EQ(out.rim, 104.0);
    EXPECT_EQ(out.area, 0.0);
    EXPECT_EQ(out.c, 0.0);
    EXPECT_EQ(out.tc, 0.0);
    EXPECT_EQ(out.x, 100.0);
    EXPECT_EQ(out.y, 0.0);

    ASSERT_EQ(doc.network.pipes.size(), 1U);
    const auto& p1 = doc.network.pipes[0];
    EXPECT_EQ(p1.id, "P1");
    EXPECT_EQ(p1.from, "IN1");
    EXPECT_EQ(p1.to, "OUT");
    EXPECT_EQ(p1.length, 100.0);
    EXPECT_EQ(p1.section.kind, SectionKind::circular);
    EXPECT_EQ(p1.section.rise, 1.5);
    EXPECT_EQ(p1.equivalent_diameter, 1.5);
    EXPECT_EQ(p1.n, 0.013);
    EXPECT_FALSE(p1.invert_up.has_value());
    EXPECT_FALSE(p1.invert_dn.has_value());

    const auto& o = doc.options;
    EXPECT_FALSE(o.tailwater.has_value());
    EXPECT_FALSE(o.intensity_override.has_value());
    EXPECT_EQ(o.min_tc, 10.0);
    EXPECT_EQ(o.junction_k, 0.5);
    EXPECT_EQ(o.min_slope, 0.001);
}

struct NodeCase {
    std::string_view line;
    Node expected;
};

Node with_place(Node node, double x, double y, double tc) {
    node.x = x;
    node.y = y;
    node.tc = tc;
    return node;
}

TEST(RwnDocument, NodeLines) {
    const NodeCase cases[] = {
        // keyword and kind in any case, id kept as written
        {"node N1 INLET 10 20 100 106 1.2 0.65", with_place(Node::inlet("N1", 100, 106, 1.2, 0.65), 10, 20, 10)},
        {"Node j1 Junction -5 7.5 99 105 0.5 0.6", with_place(Node::junction("j1", 99, 105, 0.5, 0.6), -5, 7.5, 10)},
        {"NODE J2 junction 0 0 99 105 0.5 0.6 4.5", with_place(Node::junction("J2", 99, 105, 0.5, 0.6), 0, 0, 4.5)},
        {"NODE I2 inlet 1 2 3 4 5 6 7 and more ignored", with_place(Node::inlet("I2", 3, 4, 5, 6), 1, 2, 7)},
        // outfall: fields 8 and 9 are not read, field 10 is
        {"NODE O1 Outfall 0 0 95 101 - - 3", with_place(Node::outfall("O1", 95, 101), 0, 0, 3)},
        {"NODE O2 OUTFALL 1 1 95 101 anything at", with_place(Node::outfall("O2", 95, 101), 1, 1, 0)},
        {"NODE O3 outfall 1 1 95 101 x", with_place(Node::outfall("O3", 95, 101), 1, 1, 0)},
        {"NODE O4 outfall 1 1 95 101", with_place(Node::outfall("O4", 95, 101), 1, 1, 0)},
        // ids are texts: non-ASCII and odd bytes are kept
        {"NODE \xc3\xa9tang inlet 0 0 1 2 3 0.5", with_place(Node::inlet("\xc3\xa9tang", 1, 2, 3, 0.5), 0, 0, 10)},
        {"NODE \xff\xfe outfall 0 0 1 2", with_place(Node::outfall("\xff\xfe", 1, 2), 0, 0, 0)},
    };
    for (const auto& c : cases) {
        const RwnDocument doc = parsed(c.line);
        ASSERT_EQ(doc.network.nodes.size(), 1U) << c.line;
        EXPECT_EQ(doc.network.nodes[0], c.expected) << c.line;
    }
}

TEST(RwnDocument, NanAndInfinityAreLeftToTheAnalysis) {
    const RwnDocument doc = parsed("NODE N1 inlet nan -inf INF 1e999 -0 NaN infinity\n");
    ASSERT_EQ(doc.network.nodes.size(), 1U);
    const Node& n = doc.network.nodes[0];
    EXPECT_TRUE(std::isnan(n.x));
    EXPECT_EQ(n.y, -std::numeric_limits<double>::infinity());
    EXPECT_EQ(n.invert, std::numeric_limits<double>::infinity());
    EXPECT_EQ(n.rim, std::numeric_limits<double>::infinity());
    EXPECT_TRUE(std::signbit(n.area));
    EXPECT_TRUE(std::isnan(n.c));
    EXPECT_EQ(n.tc, std::numeric_limits<double>::infinity());
}

TEST(RwnDocument, PipeLinesKeepOrderAndAcceptAnyNames) {
    const RwnDocument doc = parsed(
        "PIPE P2 B C 50 2 0.012 extra fields ignored\n"
        "NODE A inlet 0 0 100 106 1 0.5\n"
        "pipe p1 A ghost -10 0 0\n");
    ASSERT_EQ(doc.network.pipes.size(), 2U);
    EXPECT_EQ(doc.network.pipes[0].id, "P2");
    EXPECT_EQ(doc.network.pipes[0].from, "B");
    EXPECT_EQ(doc.network.pipes[0].to, "C");
    EXPECT_EQ(doc.network.pipes[0].length, 50.0);
    EXPECT_EQ(doc.network.pipes[0].section.rise, 2.0);
    EXPECT_EQ(doc.network.pipes[0].n, 0.012);
    EXPECT_EQ(doc.network.pipes[1].id, "p1");
    EXPECT_EQ(doc.network.pipes[1].to, "ghost");
    EXPECT_EQ(doc.network.pipes[1].length, -10.0);
    EXPECT_EQ(doc.network.pipes[1].section.rise, 0.0);
    ASSERT_EQ(doc.network.nodes.size(), 1U);
}

TEST(RwnDocument, OptionKeywords) {
    const RwnDocument doc = parsed(
        "mintc 12 # minutes\n"
        "MinSlope 1e-3\n"
        "JUNCTIONK 0.25 ignored\n"
        "Intensity 4.5\n"
        "tailwater 98.2\n");
    EXPECT_EQ(doc.options.min_tc, 12.0);
    EXPECT_EQ(doc.options.min_slope, 0.001);
    EXPECT_EQ(doc.options.junction_k, 0.25);
    ASSERT_TRUE(doc.options.intensity_override.has_value());
    EXPECT_EQ(*doc.options.intensity_override, 4.5);
    ASSERT_TRUE(doc.options.tailwater.has_value());
    EXPECT_EQ(*doc.options.tailwater, 98.2);
    EXPECT_EQ(doc.idf.a, 120.0);

    EXPECT_EQ(parsed("MINSLOPE .001").options.min_slope, 0.001);
}

TEST(RwnDocument, LastKeywordWins) {
    const RwnDocument doc = parsed(
        "IDF 150 12 0.75\nTAILWATER 98.2\nMINTC 5\nINTENSITY 3\nJUNCTIONK 1\nMINSLOPE 0.01\n"
        "NODE A inlet 0 0 1 2 3 0.5\n"
        "IDF 90 8 0.7\nTAILWATER 97\nMINTC 7\nINTENSITY 2\nJUNCTIONK 0.3\nMINSLOPE 0.02\n");
    EXPECT_EQ(doc.idf.a, 90.0);
    EXPECT_EQ(doc.idf.b, 8.0);
    EXPECT_EQ(doc.idf.c, 0.7);
    EXPECT_EQ(doc.options.tailwater, 97.0);
    EXPECT_EQ(doc.options.intensity_override, 2.0);
    EXPECT_EQ(doc.options.min_tc, 7.0);
    EXPECT_EQ(doc.options.junction_k, 0.3);
    EXPECT_EQ(doc.options.min_slope, 0.02);
}

struct ErrorCase {
    std::string_view text;
    std::string_view message;
};

TEST(RwnErrors, EveryMessage) {
    const ErrorCase cases[] = {
        // unknown keyword, folded to upper case (ASCII only)
        {"foo 1", "line 1: unknown keyword `FOO`"},
        {"nodé 1", "line 1: unknown keyword `NODé`"},
        {"NODES N1 inlet", "line 1: unknown keyword `NODES`"},
        {"N\xff", "line 1: unknown keyword `N\xff`"},
        {"MINTC\xe2\x80\x8b" "7", "line 1: unknown keyword `MINTC\xe2\x80\x8b" "7`"},  // zero width space
        {"MINTC\xe1\xa0\x8e" "7", "line 1: unknown keyword `MINTC\xe1\xa0\x8e" "7`"},  // U+180E
        {"MINTC\xef\xbb\xbf" "7", "line 1: unknown keyword `MINTC\xef\xbb\xbf" "7`"},  // U+FEFF
        // NODE structure
        {"NODE", "line 1: NODE needs an id"},
        {"  node   # N1 inlet", "line 1: NODE needs an id"},
        {"NODE N1", "line 1: NODE needs a kind"},
        {"NODE N#1 inlet 0 0 100 105 1 0.5", "line 1: NODE needs a kind"},
        {"IDF 1 2 # 3 # 4", "line 1: missing value #4 in `IDF 1 2`"},
        {"NODE N1 pond 0 0 100 105", "line 1: unknown node kind `pond`"},
        {"NODE N1 POND 0 0 100 105 1 0.5", "line 1: unknown node kind `pond`"},
        {"NODE N1 \xc4\xb0NLET 0 0 100 105 1 0.5", "line 1: unknown node kind `\xc4\xb0nlet`"},
        // numbers are read before the kind is compared
        {"NODE N1 Pond 0 0 100", "line 1: missing value #7 in `NODE N1 Pond 0 0 100`"},
        {"NODE N1 pond", "line 1: missing value #4 in `NODE N1 pond`"},
        {"NODE N1 pond x 0 100 105", "line 1: `x` is not a number"},
        {"NODE N1 inlet 0 0 100 105x", "line 1: `105x` is not a number"},
        {"NODE N1 inlet 0", "line 1: missing value #5 in `NODE N1 inlet 0`"},
        {"NODE N1 inlet 0 0", "line 1: missing value #6 in `NODE N1 inlet 0 0`"},
        {"NODE J1 junction 0 0 100 106 0.5", "line 1: missing value #9 in `NODE J1 junction 0 0 100 106 0.5`"},
        {"NODE J1 junction 0 0 100 106", "line 1: missing value #8 in `NODE J1 junction 0 0 100 106`"},
        {"NODE I1 inlet 0 0 100 106 a 0.5", "line 1: `a` is not a number"},
        {"NODE I1 inlet 0 0 100 106 1 c", "line 1: `c` is not a number"},
        {"NODE I1 inlet 0 0 100 106 1 0.5 ten", "line 1: `ten` is not a number"},
        {"NODE O1 outfall 0 0 95 101 a b c", "line 1: `c` is not a number"},
        {"NODE O1 outfall 0 0 95", "line 1: missing value #7 in `NODE O1 outfall 0 0 95`"},
        // PIPE structure and numbers
        {"PIPE", "line 1: PIPE needs an id"},
        {"PIPE P1", "line 1: PIPE needs a from-node"},
        {"PIPE P1 N1", "line 1: PIPE needs a to-node"},
        {"PIPE P1 N1 N2", "line 1: missing value #5 in `PIPE P1 N1 N2`"},
        {"PIPE P1 N1 N2 200", "line 1: missing value #6 in `PIPE P1 N1 N2 200`"},
        {"PIPE P1 N1 N2 200 1.5", "line 1: missing value #7 in `PIPE P1 N1 N2 200 1.5`"},
        {"PIPE P1 N1 N2 2OO 1.5 0.013", "line 1: `2OO` is not a number"},
        {"PIPE P1 N1 N2 200 1.5 0,013", "line 1: `0,013` is not a number"},
        // IDF and the single-value keywords
        {"IDF", "line 1: missing value #2 in `IDF`"},
        {"IDF 120", "line 1: missing value #3 in `IDF 120`"},
        {"IDF 120 10", "line 1: missing value #4 in `IDF 120 10`"},
        {"IDF 120 0x10 0.8", "line 1: `0x10` is not a number"},
        {"MINTC", "line 1: missing value #2 in `MINTC`"},
        {"MINTC ten", "line 1: `ten` is not a number"},
        {"MINSLOPE", "line 1: missing value #2 in `MINSLOPE`"},
        {"MINSLOPE 1_000", "line 1: `1_000` is not a number"},
        {"JUNCTIONK", "line 1: missing value #2 in `JUNCTIONK`"},
        {"JUNCTIONK nan(1)", "line 1: `nan(1)` is not a number"},
        {"INTENSITY", "line 1: missing value #2 in `INTENSITY`"},
        {"INTENSITY 1,5", "line 1: `1,5` is not a number"},
        {"TAILWATER", "line 1: missing value #2 in `TAILWATER`"},
        {"TAILWATER .", "line 1: `.` is not a number"},
        {"MINTC \xc2", "line 1: `\xc2` is not a number"},
        // the quoted line is trimmed and has its comment removed; inner spacing stays
        {" \t NODE  N1\tPond 0 0   100  # rim to follow",
         "line 1: missing value #7 in `NODE  N1\tPond 0 0   100`"},
        {"\xc2\xa0IDF\xe3\x80\x80" "1  2\xe3\x80\x80#",
         "line 1: missing value #4 in `IDF\xe3\x80\x80" "1  2`"},
        {"mintc\r", "line 1: missing value #2 in `mintc`"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(error_of(c.text), c.message) << c.text;
    }
}

TEST(RwnErrors, FirstFailingLineDecides) {
    EXPECT_EQ(error_of("MINTC x\nfoo\n"), "line 1: `x` is not a number");
    EXPECT_EQ(error_of("NODE A inlet 0 0 1 2 3 0.5\nPIPE P\nMINTC x\n"),
              "line 2: PIPE needs a from-node");
}

TEST(RwnLines, NumbersCountEveryPhysicalLine) {
    const ErrorCase cases[] = {
        {"MINTC 1\n\n# comment\n   \nfoo", "line 5: unknown keyword `FOO`"},
        {"MINTC 1\r\n\r\n# comment\r\n   \r\nfoo\r\n", "line 5: unknown keyword `FOO`"},
        {"\n\n\n\nNODE\n", "line 5: NODE needs an id"},
        {"MINTC 1\nMINTC 2\nbar", "line 3: unknown keyword `BAR`"},
        {"#\n#\n#\n#\n#\n#\n#\n#\n#\nPIPE\n", "line 10: PIPE needs an id"},
        // a lone CR is no line break: the whole text is one line
        {"MINTC 1\rfoo\rbar\n\rPIPE", "line 2: PIPE needs an id"},
        // CR before LF is part of the ending, CR elsewhere is whitespace
        {"IDF 1 2\r\n", "line 1: missing value #4 in `IDF 1 2`"},
        {"IDF 1\r2\r\n", "line 1: missing value #4 in `IDF 1\r2`"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(error_of(c.text), c.message) << c.text;
    }
}

TEST(RwnLines, CrLfAndLfTextsParseAlike) {
    const std::string_view lf =
        "IDF 150 12 0.75\n# c\nNODE IN1 inlet 0 0 100 106 1.5 0.7\nNODE OUT outfall 100 0 98 104\n"
        "PIPE P1 IN1 OUT 100 1.5 0.013\nTAILWATER 99\n";
    std::string crlf;
    for (const char ch : lf) {
        if (ch == '\n') {
            crlf += '\r';
        }
        crlf += ch;
    }
    const RwnDocument a = parsed(lf);
    const RwnDocument b = parsed(crlf);
    EXPECT_EQ(a.network.nodes, b.network.nodes);
    ASSERT_EQ(b.network.pipes.size(), 1U);
    EXPECT_EQ(b.network.pipes[0].n, 0.013);
    EXPECT_EQ(b.options.tailwater, 99.0);
    EXPECT_EQ(b.idf.c, 0.75);

    // a lone CR inside a line separates fields and does not end the line
    const RwnDocument lone = parsed("MINTC 5\rfoo bar\n");
    EXPECT_EQ(lone.options.min_tc, 5.0);
}

TEST(RwnLines, EveryUnicodeWhitespaceSeparatesAndTrims) {
    const std::string_view spaces[] = {
        "\t", "\v", "\f", "\r", " ",
        "\xc2\x85", "\xc2\xa0",                                          // U+0085, U+00A0
        "\xe1\x9a\x80",                                                  // U+1680
        "\xe2\x80\x80", "\xe2\x80\x81", "\xe2\x80\x82", "\xe2\x80\x83",  // U+2000..U+2003
        "\xe2\x80\x84", "\xe2\x80\x85", "\xe2\x80\x86", "\xe2\x80\x87",  // U+2004..U+2007
        "\xe2\x80\x88", "\xe2\x80\x89", "\xe2\x80\x8a",                  // U+2008..U+200A
        "\xe2\x80\xa8", "\xe2\x80\xa9", "\xe2\x80\xaf",                  // U+2028, U+2029, U+202F
        "\xe2\x81\x9f", "\xe3\x80\x80",                                  // U+205F, U+3000
    };
    for (const auto ws : spaces) {
        std::string text;
        text.append(ws).append("MINTC").append(ws).append("7").append(ws).append(ws);
        text.append("\n");
        text.append("IDF").append(ws).append("1").append(ws).append(ws).append("2");
        text.append(ws).append("\n");
        const std::string expected = "line 2: missing value #4 in `IDF" + std::string(ws) + "1" +
                                     std::string(ws) + std::string(ws) + "2`";
        EXPECT_EQ(error_of(text), expected) << "whitespace bytes of length " << ws.size();
        text.resize(text.find('\n') + 1);
        EXPECT_EQ(parsed(text).options.min_tc, 7.0) << "whitespace bytes of length " << ws.size();
    }
}

TEST(RwnLines, NoBreakAndIdeographicSpacesInANodeLine) {
    const RwnDocument doc = parsed(
        "NODE\xc2\xa0N1\xe3\x80\x80inlet 10\xc2\xa0\xc2\xa0" "20 100\xe3\x80\x80" "106 1.2 0.65\n");
    ASSERT_EQ(doc.network.nodes.size(), 1U);
    EXPECT_EQ(doc.network.nodes[0], with_place(Node::inlet("N1", 100, 106, 1.2, 0.65), 10, 20, 10));
}

TEST(RwnLines, MalformedUtf8StaysInsideFields) {
    // Truncated and stray sequences next to real whitespace characters: the bytes that do not
    // form whitespace belong to the field around them.
    const RwnDocument doc = parsed(
        "NODE \xe2\x80 outfall 0 0 1 2\n"   // a truncated U+2000 is an ordinary id
        "NODE Z outfall 0 0 1 2 \xe3\x80");  // truncated at the very end of the text
    ASSERT_EQ(doc.network.nodes.size(), 2U);
    EXPECT_EQ(doc.network.nodes[0].id, "\xe2\x80");
    EXPECT_EQ(doc.network.nodes[1].id, "Z");
    // a stray lead byte before a real U+2000, a stray continuation byte before a no-break space:
    // each stray byte is the id and the kind moves on to the next field
    EXPECT_EQ(error_of("NODE \xe2\xe2\x80\x80X 0 0 1 2"),
              "line 1: unknown node kind `x`");
    EXPECT_EQ(error_of("NODE \x80\xc2\xa0Y 0 0 1 2"), "line 1: unknown node kind `y`");
    EXPECT_EQ(error_of("MINTC\xc2 5"), "line 1: unknown keyword `MINTC\xc2`");
    // NUL is an ordinary byte, not the end of the text
    EXPECT_EQ(parsed("MINTC 1 \0x\nJUNCTIONK 2"sv).options.junction_k, 2.0);
    EXPECT_EQ(error_of("MINTC 1\0"sv), "line 1: `1\0` is not a number"sv);
}

TEST(RwnScale, LargeNetworkParses) {
    constexpr std::size_t kPairs = 200'000;
    std::string text;
    text.reserve(kPairs * 64);
    for (std::size_t i = 0; i < kPairs; ++i) {
        const std::string id = std::to_string(i);
        text += "NODE N" + id + " junction " + id + " 0 100 106 0.5 0.6\r\n";
        text += "PIPE P" + id + " N" + id + " N" + std::to_string(i + 1) + " 100 1.5 0.013\r\n";
    }
    const RwnDocument doc = parsed(text);
    ASSERT_EQ(doc.network.nodes.size(), kPairs);
    ASSERT_EQ(doc.network.pipes.size(), kPairs);
    EXPECT_EQ(doc.network.nodes.back().id, "N199999");
    EXPECT_EQ(doc.network.nodes.back().x, 199999.0);
    EXPECT_EQ(doc.network.pipes.back().to, "N200000");

    text += "oops";
    EXPECT_EQ(error_of(text), "line 400001: unknown keyword `OOPS`");
}

TEST(RwnScale, VeryLongSingleLine) {
    // One line of several megabytes: a keyword followed by a huge run of ignored fields, and a
    // single id of the same size.
    std::string spread = "MINTC 3";
    for (int i = 0; i < 1'000'000; ++i) {
        spread += " x";
    }
    EXPECT_EQ(parsed(spread).options.min_tc, 3.0);

    const std::string long_id(5'000'000, 'a');
    const RwnDocument doc = parsed("NODE " + long_id + " outfall 0 0 1 2");
    ASSERT_EQ(doc.network.nodes.size(), 1U);
    EXPECT_EQ(doc.network.nodes[0].id.size(), long_id.size());
}

}  // namespace
