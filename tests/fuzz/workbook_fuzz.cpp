// libFuzzer target: arbitrary bytes as a workbook. The first byte chooses how the rest is read: as
// the whole file, or as the XML parts of an .xlsx or the content of an .ods that the target packs
// into a sound zip archive itself, so that the mutations reach the sheet readers rather than stop
// at the archive's checksums. What the layer reads must keep its promises, and the rules of the
// data set take it or refuse it with one message line.

#include <zip.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "data/data_set.h"
#include "data/workbook.h"
#include "data/workbook_data.h"

namespace brevox {
namespace {

[[noreturn]] void failure(const char* what, const std::string& detail) {
  std::fprintf(stderr, "workbook_fuzz: %s\n%s\n", what, detail.c_str());
  std::abort();
}

void expectOneLine(const Failure& refusal) {
  const std::string message = failureLine(refusal);
  if (message.empty() || message.find('\n') != std::string::npos) {
    failure("not one message line", message);
  }
}

/// A zip archive of the named entries, deflated as spreadsheets write them.
std::string zipOf(const std::vector<std::pair<std::string, std::string>>& entries) {
  zip_error_t error;
  zip_error_init(&error);
  zip_source_t* out = zip_source_buffer_create(nullptr, 0, 0, &error);
  if (out == nullptr) failure("no zip source", "");
  zip_source_keep(out);
  zip_t* archive = zip_open_from_source(out, ZIP_TRUNCATE, &error);
  if (archive == nullptr) failure("no zip archive", zip_error_strerror(&error));
  for (const auto& [name, contents] : entries) {
    zip_source_t* source = zip_source_buffer_create(contents.data(), contents.size(), 0, &error);
    if (source == nullptr || zip_file_add(archive, name.c_str(), source, ZIP_FL_OVERWRITE) < 0) {
      failure("cannot add an entry", name);
    }
  }
  if (zip_close(archive) != 0) failure("cannot close the archive", "");
  std::string bytes;
  zip_stat_t stat;
  if (zip_source_stat(out, &stat) == 0 && zip_source_open(out) == 0) {
    bytes.resize(stat.size);
    const zip_int64_t read = zip_source_read(out, bytes.data(), bytes.size());
    bytes.resize(read < 0 ? 0 : static_cast<std::size_t>(read));
    zip_source_close(out);
  }
  zip_source_free(out);
  zip_error_fini(&error);
  return bytes;
}

/// The parts of the input, split at NUL bytes, which XML never holds.
std::vector<std::string> parts(const std::string& text, std::size_t count) {
  std::vector<std::string> split(1);
  for (const char c : text) {
    if (c == '\0' && split.size() < count) {
      split.emplace_back();
    } else {
      split.back() += c;
    }
  }
  split.resize(count);
  return split;
}

const char kRelationships[] =
    "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
    "<Relationship Id=\"rId1\" Target=\"worksheets/sheet1.xml\" Type=\"http://schemas."
    "openxmlformats.org/officeDocument/2006/relationships/worksheet\"/>"
    "<Relationship Id=\"rId2\" Target=\"sharedStrings.xml\" Type=\"http://schemas."
    "openxmlformats.org/officeDocument/2006/relationships/sharedStrings\"/>"
    "<Relationship Id=\"rId3\" Target=\"styles.xml\" Type=\"http://schemas."
    "openxmlformats.org/officeDocument/2006/relationships/styles\"/></Relationships>";

std::string workbookOf(const std::string& input) {
  const std::string rest = input.substr(1);
  switch (static_cast<unsigned char>(input[0]) % 3) {
    case 1: {
      const std::vector<std::string> xml = parts(rest, 4);
      return zipOf({{"xl/_rels/workbook.xml.rels", kRelationships},
                    {"xl/workbook.xml", xml[0]},
                    {"xl/sharedStrings.xml", xml[1]},
                    {"xl/styles.xml", xml[2]},
                    {"xl/worksheets/sheet1.xml", xml[3]}});
    }
    case 2:
      return zipOf(
          {{"mimetype", "application/vnd.oasis.opendocument.spreadsheet"}, {"content.xml", rest}});
    default:
      return rest;
  }
}

// The layer's promises about a sheet it read.
void checkSheet(const WorkbookSheet& sheet) {
  if (sheet.rows.size() > kMostRows) failure("too many rows", sheet.name);
  std::uint64_t cells = 0;
  for (const std::vector<WorkbookCell>& row : sheet.rows) {
    if (row.size() > kMostColumns) failure("too many columns", sheet.name);
    if (!row.empty() && row.back().kind == CellKind::empty) failure("empty cells kept", "");
    cells += row.size();
    for (const WorkbookCell& cell : row) {
      const bool textual = cell.kind == CellKind::text || cell.kind == CellKind::error ||
                           cell.kind == CellKind::date;
      if (textual && cell.text >= sheet.texts.size()) failure("text out of range", sheet.name);
      if (cell.kind == CellKind::number && cell.number != cell.number) failure("NaN", "");
    }
  }
  if (cells > kMostCells) failure("too many cells", sheet.name);
  if (!sheet.rows.empty() && sheet.rows.back().empty()) failure("empty rows kept", "");
}

}  // namespace
}  // namespace brevox

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  using namespace brevox;
  if (size == 0) return 0;
  const std::string workbook = workbookOf(std::string(reinterpret_cast<const char*>(bytes), size));
  WorkbookSheet sheet;
  if (Outcome failed = readFirstSheet(workbook, "fuzz.xlsx", sheet)) {
    expectOneLine(*failed);
    return 0;
  }
  checkSheet(sheet);
  DataSet data;
  if (Outcome refused = readDataSetFromSheet(sheet, "fuzz.xlsx", data)) {
    expectOneLine(*refused);
    return 0;
  }
  if (data.works.empty() || data.criteria.empty()) failure("empty tables", "");
  if (!(data.threshold > 0.0 && data.threshold <= 1.0)) failure("threshold outside (0, 1]", "");
  return 0;
}
