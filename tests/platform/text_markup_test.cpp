// The label markup reader: plain text and runs of well-formed markup, and the fault named
// with its character for malformed markup.
#include <gtest/gtest.h>

#include "QzTextMarkup.h"

namespace {

// A run as "kind start-end", with the colour or size it carries.
std::string describe(const QzTextRun& run) {
    const char* names[] = {"b", "i", "u", "color", "size"};
    std::string text = std::string(names[static_cast<int>(run.kind)]) + " " + std::to_string(run.start) + "-" +
                       std::to_string(run.end);
    char extra[64] = "";
    if (run.kind == QzTextRunKind::Color) std::snprintf(extra, sizeof extra, " %.3f %.3f %.3f %.3f", run.r, run.g, run.b, run.a);
    if (run.kind == QzTextRunKind::Size) std::snprintf(extra, sizeof extra, " %g", run.size);
    return text + extra;
}

TEST(TextMarkup, WellFormedMarkupGivesThePlainTextAndItsRuns) {
    const struct {
        const char* markup;
        const char* text;
        std::vector<std::string> runs;
    } cases[] = {
        {"no tags <&> ]", "no tags <&> ]", {}},
        {"a [b]bold[/b] word", "a bold word", {"b 2-6"}},
        {"[i]x[u]y[/u][/i]", "xy", {"i 0-2", "u 1-2"}},
        {"[color=#ff0000]red[/color]", "red", {"color 0-3 1.000 0.000 0.000 1.000"}},
        {"[color=#0F0]g[/color]", "g", {"color 0-1 0.000 1.000 0.000 1.000"}},
        {"[color=#33669980][/color]", "", {"color 0-0 0.200 0.400 0.600 0.502"}},
        {"[size=20]big[/size] [size=7.5]small[/size]", "big small", {"size 0-3 20", "size 4-9 7.5"}},
        {"[[b]] and [[[b]x[/b]", "[b]] and [x", {"b 10-11"}},
        {"\xd7\xa9[b]\xd7\x9c[/b]", "\xd7\xa9\xd7\x9c", {"b 2-4"}},  // byte offsets in UTF-8
        {"two\n[b]lines[/b]", "two\nlines", {"b 4-9"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.markup);
        const QzTextMarkup markup = QzParseTextMarkup(c.markup);
        EXPECT_EQ(markup.problem, "");
        EXPECT_EQ(markup.text, c.text);
        std::vector<std::string> runs;
        for (const QzTextRun& run : markup.runs) runs.push_back(describe(run));
        EXPECT_EQ(runs, c.runs);
    }
}

TEST(TextMarkup, MalformedMarkupNamesTheFirstFaultAndItsCharacter) {
    const struct {
        const char* markup;
        const char* problem;
    } cases[] = {
        {"a [bold]x[/bold]", "character 3: unknown tag [bold]; the tags are [b], [i], [u], [color=#rrggbb] and "
                             "[size=N], and [[ writes a bracket"},
        {"[B]x[/B]", "character 1: unknown tag [B]"},
        {"[b=1]x[/b]", "character 1: unknown tag [b=1]"},
        {"[color]x[/color]", "character 1: unknown tag [color]"},
        {"x [b", "character 3: '[' starts a tag that has no ']'; write [[ for a bracket"},
        {"[b x [/b]", "character 1: '[' starts a tag that has no ']'"},
        {"[b\n]", "character 1: '[' starts a tag that has no ']'"},
        {"[b]x", "character 1: [b] is not closed; add [/b]"},
        {"x[/i]", "character 2: [/i] closes nothing that is open"},
        {"[b][i]x[/b][/i]", "character 8: [/b] comes before [/i]; close tags in the reverse order of opening"},
        {"[color=red]x[/color]", "character 1: [color=red]: expected a colour #rgb, #rrggbb or #rrggbbaa"},
        {"[color=#12345]x[/color]", "character 1: [color=#12345]: expected a colour"},
        {"[color=#ggg]x[/color]", "character 1: [color=#ggg]: expected a colour"},
        {"[color=#0F08]x[/color]", "character 1: [color=#0F08]: expected a colour"},
        {"[size=0]x[/size]", "character 1: [size=0]: expected a size from 1 to 500"},
        {"[size=501]x[/size]", "character 1: [size=501]: expected a size from 1 to 500"},
        {"[size=nan]x[/size]", "character 1: [size=nan]: expected a size"},
        {"[size=12px]x[/size]", "character 1: [size=12px]: expected a size"},
        {"\xd7\xa9\xd7\x9c [x]", "character 4: unknown tag [x]"},
        {"[aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa]", "unknown tag [aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa...];"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.markup);
        const QzTextMarkup markup = QzParseTextMarkup(c.markup);
        EXPECT_NE(markup.problem.find(c.problem), std::string::npos) << markup.problem;
        EXPECT_EQ(markup.text, "");
        EXPECT_TRUE(markup.runs.empty());
    }
}

}  // namespace
