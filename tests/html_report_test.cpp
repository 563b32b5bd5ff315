#include "report/html_report.h"

#include <gtest/gtest.h>

#include <array>
#include <cstddef>
#include <optional>
#include <sstream>
#include <string>

#include "analysis/findings.h"
#include "report/graph_render.h"
#include "report/plot_axis.h"
#include "tests/test_support.h"

namespace brevox {
namespace {

std::size_t occurrences(const std::string& text, const std::string& part) {
  std::size_t count = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
    ++count;
  }
  return count;
}

// Works 1 to `works` in a complete order: an arrow from every work to every later one, those
// between neighbours in `neighbourStyle`, each written `copies` times.
std::string completeOrder(int works, const char* neighbourStyle, int copies, bool over = false) {
  std::string dot = "digraph g {\n";
  for (int from = 1; from <= works; ++from) {
    for (int to = from + 1; to <= works; ++to) {
      for (int copy = 0; copy < copies; ++copy) {
        dot += "w" + std::to_string(from) + " -> w" + std::to_string(to) +
               (to == from + 1 ? neighbourStyle : "") + ";\n";
      }
    }
  }
  return dot + (over ? "w" + std::to_string(works) + " -> w1;\n}\n" : "}\n");
}

TEST(DrawGraph, LeavesOutImpliedArrowsOfDenseGraphsAndKeepsGraphvizQuiet) {
  const struct {
    const char* name;
    std::string dot;
    bool reducible;
    DrawingOutcome outcome;
    std::size_t arrows, drawnArrows;
  } cases[] = {
      {"a few arrows stay", completeOrder(10, "", 1), true, DrawingOutcome::drawn, 45, 45},
      {"a dense order keeps its chain", completeOrder(20, "", 1), true, DrawingOutcome::drawn, 190,
       19},
      {"repeated arrows count once", completeOrder(15, "", 2), true, DrawingOutcome::drawn, 210,
       14},
      // Dotted neighbours imply no solid arrow: those two and three apart stay.
      {"a dotted chain hides no solid arrow", completeOrder(15, " [style=dotted]", 1), true,
       DrawingOutcome::drawn, 105, 14 + 13 + 12},
      {"a cycle is drawn whole", completeOrder(15, "", 1, true), true, DrawingOutcome::drawn, 106,
       106},
      {"labelled graphs are drawn whole", completeOrder(20, "", 1), false, DrawingOutcome::drawn,
       190, 190},
      {"too many arrows", completeOrder(30, "", 1), false, DrawingOutcome::tooDense, 435, 435},
      {"not DOT", "digraph g { a -> ; }", true, DrawingOutcome::failed, 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    testing::internal::CaptureStderr();
    const GraphDrawing drawing = drawGraph(c.dot, c.reducible);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(drawing.outcome, c.outcome);
    EXPECT_EQ(drawing.arrows, c.arrows);
    EXPECT_EQ(drawing.drawnArrows, c.drawnArrows);
    if (c.outcome == DrawingOutcome::failed) {
      EXPECT_NE(drawing.message.find("Error: syntax error in line"), std::string::npos)
          << drawing.message;
    }
    if (c.outcome != DrawingOutcome::drawn) continue;
    EXPECT_EQ(drawing.svg.rfind("<svg", 0), 0u);
    EXPECT_EQ(occurrences(drawing.svg, "<path"), c.drawnArrows);
    for (const char* gone : {"<?xml", "<!DOCTYPE", "<!--", "<title>", " id=\""}) {
      EXPECT_EQ(drawing.svg.find(gone), std::string::npos) << gone;
    }
  }
}

// Whether every byte belongs to a well-formed UTF-8 sequence (overlong forms aside).
bool isUtf8(const std::string& text) {
  for (std::size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const std::size_t length = lead < 0x80                   ? 1
                               : lead >= 0xC2 && lead < 0xE0 ? 2
                               : lead >= 0xE0 && lead < 0xF0 ? 3
                               : lead >= 0xF0 && lead < 0xF5 ? 4
                                                             : 0;
    if (length == 0 || i + length > text.size()) return false;
    for (std::size_t k = 1; k < length; ++k) {
      if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
    }
    i += length;
  }
  return true;
}

TEST(HtmlReport, NamesAnyBytesAndDrawsEveryGraph) {
  // Greek, quotes, markup, an ampersand, Latin-1 letters and a byte that is neither UTF-8 nor a
  // Latin-1 letter; two names that Graphviz would read alike, a right-to-left override left open
  // and an overlong form that its text layout would complain of.
  const std::string rightToLeft = "R\xE2\x80\xAEL";
  const std::string data =
      "Threshold:,0.05,\xCE\x94\xCE\xAF\xCE\xB3,Digamma <i>&</i>,k'2,Crit\xE8re 'two',\r\n"
      ",,,1,,-1,\r\n"
      "Il,\xE1\xBC\xB8\xCE\xBB\xCE\xB9\xCE\xAC\xCF\x82 '<b>&',312,1810,10,20,\r\n"
      "O<d,Odyssey & co,303,1694,2,20,\r\n"
      "Th\xE9o,Th\xE9ogonie \x85,30,89,9,12,\r\n"
      "A&B,One,10,100,1,20,\r\nA&amp;B,Two,90,100,19,20,\r\n" +
      rightToLeft + ",Three,50,100,10,20,\r\nX\xC0\x80,Four,1,100,10,20,\r\n";
  tests::TempDir work;
  const tests::ProgramRun run = tests::runOnData(data, {"-SNMbfH"}, work.path());
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.err, "");
  const std::string page = tests::readFile(work.path() / "brevox_report.html");
  // Drawn apart, as written.
  EXPECT_NE(page.find(">A&amp;B</text>"), std::string::npos);
  EXPECT_NE(page.find(">A&amp;amp;B</text>"), std::string::npos);
  // The override reaches no text beyond the name: in the text, in attributes, or alone in its
  // node of a drawing.
  EXPECT_EQ(occurrences(page, rightToLeft),
            occurrences(page, "<bdi>" + rightToLeft + "</bdi>") +
                occurrences(page, "\xE2\x81\xA8" + rightToLeft + "\xE2\x81\xA9") +
                occurrences(page, ">" + rightToLeft + "</text>"));
  EXPECT_TRUE(isUtf8(page));
  // Written as it goes, Graphviz's lines too, every line ends with CR LF.
  EXPECT_EQ(occurrences(page, "\n"), occurrences(page, "\r\n"));
  EXPECT_NE(page.find("\xE1\xBC\xB8\xCE\xBB\xCE\xB9\xCE\xAC\xCF\x82 &#39;&lt;b&gt;&amp;&#39;"),
            std::string::npos);
  EXPECT_NE(page.find("Digamma &lt;i&gt;&amp;&lt;/i&gt;"), std::string::npos);
  EXPECT_NE(page.find("Th\xC3\xA9ogonie \xEF\xBF\xBD"), std::string::npos);
  for (const char* raw :
       {"'<b>&'", "<i>&</i>", "Odyssey & co", "<script", "<link", " src=", "url("}) {
    EXPECT_EQ(page.find(raw), std::string::npos) << raw;
  }
  // Two criteria, seven variants with a map each and the order's map of which work stands
  // before which; eight graphs each with the merged one, and eight over all criteria; each drawn
  // or, without an arrow, a note.
  EXPECT_EQ(occurrences(page, "<table class=\"map"), 15u);
  EXPECT_EQ(occurrences(page, "<div class=\"graph\">"), 24u);
  EXPECT_EQ(occurrences(page, "<div class=\"graph\"><svg") +
                occurrences(page, "<div class=\"graph\"><p class=\"note\">No pair"),
            24u);
}

TEST(HtmlReport, SaysWhereGraphvizCouldNotDrawAGraph) {
  DataSet data;
  data.works = {{"a", "a", {{0, 0}}}, {"b", "b", {{0, 0}}}};
  data.criteria = {{"k", "Criterion", 0}};
  RunRecord record;
  record.settings.families[Family::fisher] = true;
  record.settings.mainTest = Variant::fisherDoubleTail;
  CriterionAnalysis analysis;
  analysis.criterion = 1;
  CriterionGraphTexts graphs;
  graphs[index(Variant::fisherDoubleTail)] = "digraph fishDt_k {\na -> ;\n}\n";
  graphs[index(Variant::fisherMidP)] = "digraph fishMp_k {\na -> b;\n}\n";
  const PageCriterion criterion = pageCriterion(analysis, graphs, record.settings, data);
  std::ostringstream page;
  writeHtmlReport(page, PageContent{{}, {criterion}, {}}, record, data);
  // Graphviz's own words, whose line numbers run on from the graphs it read before.
  EXPECT_NE(page.str().find("Graphviz could not draw this graph (<code>graph_fishDt_k.gv</code>): "
                            "Error: syntax error in line "),
            std::string::npos);
  EXPECT_EQ(occurrences(page.str(), "<div class=\"graph\"><svg"), 1u);
}

TEST(PlotAxis, SpansTheDataInRoundTicks) {
  const struct {
    double low, high;
    bool fromZero;
    double from, to;
  } cases[] = {
      // Proportions near 0 start at 0; far from it, the axis spans them alone.
      {0.0005, 0.074, true, 0, 0.08},
      {0.42, 0.58, true, 0.4, 0.6},
      {0.02, 0.05, true, 0.02, 0.05},
      {0.001, 0.999, true, 0, 1},
      // Positions on either side of 0, and a span of nothing widened around its value.
      {-1.73, 2.31, false, -2, 3},
      {0.5, 0.5, true, 0.46, 0.54},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.low) + " to " + std::to_string(c.high));
    const PlotAxis axis = plotAxis(c.low, c.high, c.fromZero);
    EXPECT_NEAR(axis.from, c.from, 1e-9);
    EXPECT_NEAR(axis.to, c.to, 1e-9);
    ASSERT_GE(axis.ticks.size(), 3u);
    EXPECT_LE(axis.ticks.size(), 6u);
    EXPECT_NEAR(axis.ticks.front(), axis.from, 1e-9);
    EXPECT_NEAR(axis.ticks.back(), axis.to, 1e-9);
    for (std::size_t k = 1; k < axis.ticks.size(); ++k) {
      EXPECT_NE(tickText(axis, axis.ticks[k - 1]), tickText(axis, axis.ticks[k]));
    }
  }
}

TEST(Findings, MainTestFollowsTheTestsOfTheRun) {
  // Families in the order binomial, chi-square, Fisher, permutation.
  const struct {
    FamilySet families;
    std::optional<Variant> mergeMain;
    std::optional<Variant> expected;
  } cases[] = {
      {{true, true, true, true}, std::nullopt, Variant::fisherDoubleTail},
      {{true, true, false, true}, std::nullopt, Variant::permutation},
      {{true, true, false, false}, std::nullopt, Variant::n1},
      {{true, false, false, false}, std::nullopt, Variant::binomial},
      {{false, false, false, false}, std::nullopt, std::nullopt},
      {{true, true, true, true}, Variant::yates, Variant::yates},
      {{true, true, true, true}, Variant::fisherMidP, Variant::fisherMidP},
      // The binomial test is not symmetric: M's main test gives way to the rule.
      {{true, true, true, false}, Variant::binomial, Variant::fisherDoubleTail},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(mainTest(c.families, c.mergeMain), c.expected);
  }
}

}  // namespace
}  // namespace brevox
