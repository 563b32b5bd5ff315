#include "data/workbook.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "data/built_in_data.h"
#include "data/data_layout.h"
#include "data/workbook_data.h"
#include "report/output_names.h"
#include "tests/test_support.h"

namespace brevox {
namespace {

std::string fixture(const std::string& name) {
  return tests::readFile(std::filesystem::path(BREVOX_SOURCE_DIR) / "tests" / "workbooks" / name);
}

/// A cell as the tests name it: its A1 reference, kind, and number or text.
struct ExpectedCell {
  const char* reference;
  CellKind kind;
  double number;
  std::string text;
};

const WorkbookCell* cellAt(const WorkbookSheet& sheet, std::size_t row, std::size_t column) {
  if (row >= sheet.rows.size() || column >= sheet.rows[row].size()) return nullptr;
  return &sheet.rows[row][column];
}

// Each fixture's first sheet as the layer reads it: its name, the rows it holds, and the cells
// that tell how each way of storing a value is read.
TEST(Workbook, ReadsTheFirstSheetOfEachFixture) {
  constexpr auto number = CellKind::number;
  constexpr auto text = CellKind::text;
  struct Case {
    const char* file;
    const char* sheetName;
    std::size_t rows;
    std::vector<ExpectedCell> cells;
  };
  const std::vector<ExpectedCell> builtIn = {
      {"A1", text, 0, "Threshold:"},  {"B1", number, 0.05, ""},
      {"C1", text, 0, "Digamma"},     {"N1", text, 0, "Accusative plural"},
      {"C2", CellKind::empty, 0, ""}, {"D2", number, 1, ""},
      {"F2", number, -1, ""},         {"A3", text, 0, "Iliad"},
      {"B10", text, 0, "H. Hermes"},  {"D3", number, 1810, ""},
      {"N11", number, 26, ""},
  };
  const Case cases[] = {
      {"builtin.xlsx", "builtin", 11, builtIn},
      {"builtin.ods", "builtin", 11, builtIn},
      {"stored_kinds.xlsx",
       "Counts",
       11,
       {{"B1", number, 0.05, ""},
        {"C3", number, 312, ""},
        {"D3", number, 1810, ""},
        {"E4", text, 0, "80"},
        {"F4", text, 0, " 85"},
        {"C5", number, 30, ""},
        {"A5", text, 0, "Theo"}}},
      {"greek.xlsx",
       "\xE1\xBC\x9C\xCF\x80\xCE\xB7",
       5,
       {{"D1", text, 0, "\xCE\x94\xCE\xAF\xCE\xB3\xCE\xB1\xCE\xBC\xCE\xBC\xCE\xB1"},
        {"B5", text, 0, "\xCE\x98\xCE\xB5\xCE\xBF\xCE\xB3\xCE\xBF\xCE\xBD\xCE\xAF\xCE\xB1"}}},
      {"kinds.xlsx",
       "Kinds",
       11,
       {{"C4", CellKind::date, 0, "45296"},
        {"D4", CellKind::boolean, 1, ""},
        {"E4", CellKind::error, 0, "#DIV/0!"},
        {"F4", number, 10.5, ""}}},
      // LibreOffice keeps the boolean as the formula TRUE() and its value 1.
      {"kinds.ods",
       "Kinds",
       11,
       {{"C4", CellKind::date, 0, "2024-01-05"},
        {"D4", number, 1, ""},
        {"E4", CellKind::error, 0, "#DIV/0!"},
        {"F4", number, 10.5, ""}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    WorkbookSheet sheet;
    const Outcome failed = readFirstSheet(fixture(c.file), c.file, sheet);
    ASSERT_FALSE(failed) << failureLine(*failed);
    EXPECT_EQ(sheet.name, c.sheetName);
    EXPECT_EQ(sheet.rows.size(), c.rows);
    for (const ExpectedCell& expected : c.cells) {
      SCOPED_TRACE(expected.reference);
      const std::string reference = expected.reference;
      const std::size_t column = static_cast<std::size_t>(reference[0] - 'A');
      const std::size_t row = std::stoul(reference.substr(1)) - 1;
      EXPECT_EQ(cellAddress(sheet.name, row + 1, column + 1),
                std::string(c.sheetName) + "!" + reference);
      const WorkbookCell* cell = cellAt(sheet, row, column);
      const WorkbookCell empty;
      if (cell == nullptr) cell = &empty;
      EXPECT_EQ(cell->kind, expected.kind);
      if (expected.kind == number || expected.kind == CellKind::boolean) {
        EXPECT_EQ(cell->number, expected.number);
      } else if (expected.kind != CellKind::empty) {
        EXPECT_EQ(sheet.texts.at(cell->text), expected.text);
      }
    }
  }
  // A forged sheet name cannot break a message's line or make it long.
  EXPECT_EQ(cellAddress("it's\n" + std::string(100, 'x'), 3, 4),
            "'it''s\\x0a" + std::string(75, 'x') + "...'!D3");
}

// What the glue refuses that the rules of a CSV file would read, and where the rules' own
// messages point in a sheet.
TEST(Workbook, NamesTheCellOfEachRefusal) {
  // The built-in layout, one criterion and one work: threshold, names, direction, counts.
  auto sheetWith = [](int row, int column, const WorkbookCell& cell, const std::string& text) {
    WorkbookSheet sheet;
    sheet.name = "My data";
    sheet.texts = {"x", "k", "Crit", "w", "Work", text};
    auto textCell = [](std::uint32_t index) { return WorkbookCell{CellKind::text, 0, index}; };
    auto numberCell = [](double value) { return WorkbookCell{CellKind::number, value, 0}; };
    sheet.rows = {{textCell(0), numberCell(0.05), textCell(1), textCell(2)},
                  {{}, {}, {}, numberCell(1)},
                  {textCell(3), textCell(4), numberCell(3), numberCell(10)}};
    WorkbookCell placed = cell;
    placed.text = 5;
    sheet.rows[static_cast<std::size_t>(row)][static_cast<std::size_t>(column)] = placed;
    return sheet;
  };
  struct Case {
    int row;
    int column;
    WorkbookCell cell;
    std::string text;
    std::string message;
  };
  const Case cases[] = {
      {2,
       2,
       {CellKind::number, 10.5, 0},
       "",
       "Invalid observed count \"10.5\" of criterium n. 1 for work n. 1 in b.xlsx at cell 'My "
       "data'!C3 (work \"w\", criterion \"k\"): counts are whole numbers of digits alone, "
       "without decimals, exponents or letters\n"},
      {1,
       3,
       {CellKind::number, 0.5, 0},
       "",
       "Invalid direction \"0.5\" of criterium n. 1 in b.xlsx at cell 'My data'!D2 (criterion "
       "\"k\"): a direction is 1 or -1\n"},
      {2,
       3,
       {CellKind::error, 0, 0},
       "#N/A",
       "Error value \"#N/A\" in b.xlsx at cell 'My data'!D3, which must hold a count\n"},
      {0,
       1,
       {CellKind::date, 0, 0},
       "2024-01-05",
       "Date or time \"2024-01-05\" in b.xlsx at cell 'My data'!B1, which must hold the "
       "threshold\n"},
      {2,
       0,
       {CellKind::boolean, 1, 0},
       "",
       "Boolean TRUE in b.xlsx at cell 'My data'!A3, which must hold a name\n"},
      {2,
       2,
       {CellKind::uncomputed, 0, 0},
       "",
       "Formula without a computed value in b.xlsx at cell 'My data'!C3, which must hold a count: "
       "open "
       "the workbook in a spreadsheet and save it\n"},
      {0,
       2,
       {CellKind::text, 0, 0},
       std::string(240, 'c'),
       "Short name \"" + std::string(80, 'c') +
           "...\" of criterium n. 1 in cell 'My data'!C1 of b.xlsx "
           "makes the output file name \"T_binD_Midp_pVal_" +
           std::string(80 - 17, 'c') + "...\" longer than 255 bytes\n"},
      // Ignored cells may hold anything.
      {0, 0, {CellKind::error, 0, 0}, "#REF!", ""},
      // The rules' own messages, pointing to the cell.
      {2,
       3,
       {CellKind::text, 0, 0},
       "ten",
       "Invalid total count \"ten\" of criterium n. 1 for work n. 1 in b.xlsx at cell 'My "
       "data'!D3 (work \"w\", criterion \"k\"): counts are whole numbers of digits alone, "
       "without decimals, exponents or letters\n"},
      {0,
       1,
       {CellKind::number, 1.5, 0},
       "",
       "Threshold \"1.5\" outside (0, 1] for list of criteria in b.xlsx at cell 'My data'!B1: "
       "a threshold is a share of 1; for 1.5 percent write 1.5%\n"},
      {2,
       3,
       {CellKind::empty, 0, 0},
       "",
       "Invalid total count \"\" of criterium n. 1 for work n. 1 in b.xlsx at cell 'My data'!D3 "
       "(work \"w\", criterion \"k\"): the field is empty\n"},
      {0,
       3,
       {CellKind::text, 0, 0},
       "Two\nlines",
       "Comma, double quote or line end in long name \"Two\\x0alines\" of criterium n. 1 in row 1 "
       "of My data of b.xlsx: names go into CSV files without quoting: use another sign\n"},
      // A cell may hold what no unquoted field of a CSV file can.
      {2,
       1,
       {CellKind::text, 0, 0},
       "Work, the first",
       "Comma, double quote or line end in long name \"Work, the first\" of work n. 1 in row 3 of "
       "My data of b.xlsx: names go into CSV files without quoting: use another sign\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    DataSet data = builtInDataSet();
    std::ostringstream err;
    const WorkbookSheet sheet = sheetWith(c.row, c.column, c.cell, c.text);
    Outcome refused = readDataSetFromSheet(sheet, "b.xlsx", data);
    if (!refused) {
      refused = checkOutputNames({false, kAllFamilies, true}, data, "b.xlsx", sheet.name);
    }
    if (refused) err << failureLine(*refused) << '\n';
    EXPECT_EQ(!refused, c.message.empty());
    EXPECT_EQ(err.str(), c.message);
  }
}

}  // namespace
}  // namespace brevox
