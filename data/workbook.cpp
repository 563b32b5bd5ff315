#include "data/workbook.h"

#include <string>
#include <string_view>

#include "data/workbook_archive.h"

namespace brevox {

namespace {

constexpr std::string_view kOdsType = "application/vnd.oasis.opendocument.spreadsheet";

enum class WorkbookFormat { xlsx, ods, none };

/// Which workbook the archive holds, by its parts: fails when its mimetype cannot be read.
Outcome workbookFormat(Archive& archive, WorkbookFormat& format) {
  format = WorkbookFormat::none;
  if (hasEntry(archive, "xl/workbook.xml")) {
    format = WorkbookFormat::xlsx;
    return std::nullopt;
  }
  if (!hasEntry(archive, "mimetype")) return std::nullopt;
  std::string type;
  bool fits = true;
  Outcome read = inflateEntry(archive, "mimetype", [&](const char* bytes, std::size_t size, bool) {
    fits = type.size() + size <= kOdsType.size();
    if (fits) type.append(bytes, size);
    return fits;
  });
  if (read) return read;
  if (fits && type == kOdsType) format = WorkbookFormat::ods;
  return std::nullopt;
}

}  // namespace

FileContent recognizeContent(const std::string& bytes) {
  if (bytes.compare(0, 4, "PK\x03\x04") == 0 || bytes.compare(0, 4, "PK\x05\x06") == 0) {
    return FileContent::zipArchive;
  }
  if (bytes.compare(0, 8, "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1") == 0) {
    return FileContent::legacyWorkbook;
  }
  return FileContent::text;
}

Outcome readFirstSheet(const std::string& bytes, const std::string& filePath,
                       WorkbookSheet& sheet) {
  sheet = WorkbookSheet{};
  const std::string path = pathForMessage(filePath);
  if (recognizeContent(bytes) == FileContent::legacyWorkbook) {
    return Failure{path + " is a legacy Excel workbook (.xls) or another OLE compound file",
                   "save it as .xlsx, .ods or CSV"};
  }
  zip_error_t error;
  zip_error_init(&error);
  zip_source_t* source = zip_source_buffer_create(bytes.data(), bytes.size(), 0, &error);
  zip_t* zip = source == nullptr ? nullptr
                                 : zip_open_from_source(source, ZIP_RDONLY | ZIP_CHECKCONS, &error);
  if (zip == nullptr) {
    Failure damaged{"Damaged or truncated zip archive " + path, zip_error_strerror(&error)};
    if (source != nullptr) zip_source_free(source);
    zip_error_fini(&error);
    return damaged;
  }
  zip_error_fini(&error);
  Archive archive{std::unique_ptr<zip_t, ZipCloser>(zip), path};
  WorkbookFormat format = WorkbookFormat::none;
  if (Outcome failed = workbookFormat(archive, format)) return failed;
  if (format == WorkbookFormat::xlsx) return readXlsx(archive, sheet);
  if (format == WorkbookFormat::ods) return readOds(archive, sheet);
  return Failure{"Zip archive " + path +
                     " holds no workbook: neither xl/workbook.xml of an .xlsx nor the mimetype of "
                     "an .ods",
                 ""};
}

}  // namespace brevox
