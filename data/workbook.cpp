#include "data/workbook.h"

#include <string>
#include <string_view>

#include "data/workbook_archive.h"

namespace brevox {

namespace {

constexpr std::string_view kOdsType = "application/vnd.oasis.opendocument.spreadsheet";

enum class WorkbookFormat { xlsx, ods, none, failed };

WorkbookFormat workbookFormat(Archive& archive) {
  if (hasEntry(archive, "xl/workbook.xml")) return WorkbookFormat::xlsx;
  if (!hasEntry(archive, "mimetype")) return WorkbookFormat::none;
  std::string type;
  bool fits = true;
  const bool read =
      inflateEntry(archive, "mimetype", [&](const char* bytes, std::size_t size, bool) {
        fits = type.size() + size <= kOdsType.size();
        if (fits) type.append(bytes, size);
        return fits;
      });
  if (!read) return WorkbookFormat::failed;
  return fits && type == kOdsType ? WorkbookFormat::ods : WorkbookFormat::none;
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

bool readFirstSheet(const std::string& bytes, const std::string& path, WorkbookSheet& sheet,
                    std::ostream& err) {
  sheet = WorkbookSheet{};
  if (recognizeContent(bytes) == FileContent::legacyWorkbook) {
    err << path << " is a legacy Excel workbook (.xls) or another OLE compound file: "
        << "save it as .xlsx, .ods or CSV\n";
    return false;
  }
  zip_error_t error;
  zip_error_init(&error);
  zip_source_t* source = zip_source_buffer_create(bytes.data(), bytes.size(), 0, &error);
  zip_t* zip = source == nullptr ? nullptr
                                 : zip_open_from_source(source, ZIP_RDONLY | ZIP_CHECKCONS, &error);
  if (zip == nullptr) {
    err << "Damaged or truncated zip archive " << path << ": " << zip_error_strerror(&error)
        << '\n';
    if (source != nullptr) zip_source_free(source);
    zip_error_fini(&error);
    return false;
  }
  zip_error_fini(&error);
  Archive archive{std::unique_ptr<zip_t, ZipCloser>(zip), path, err};
  switch (workbookFormat(archive)) {
    case WorkbookFormat::xlsx:
      return readXlsx(archive, sheet);
    case WorkbookFormat::ods:
      return readOds(archive, sheet);
    case WorkbookFormat::failed:
      return false;
    case WorkbookFormat::none:
      break;
  }
  err << "Zip archive " << path << " holds no workbook: neither xl/workbook.xml of an .xlsx "
      << "nor the mimetype of an .ods\n";
  return false;
}

}  // namespace brevox
