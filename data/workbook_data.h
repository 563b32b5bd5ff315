#pragma once

#include <string>

#include "data/data_set.h"
#include "data/workbook.h"
#include "io/failure.h"

namespace brevox {

/// Hands the cells of a workbook's first sheet to the rules of data/data_layout.h, each with its
/// address, so that every refusal names the sheet and cell. Numbers are read as stored: a whole
/// number as all its digits, any other as its shortest decimal text, which the rules refuse as a
/// count or a direction. An error value, a date or time, a boolean or a formula never computed
/// where a number or a name is read is refused with the cell's address. A sheet without cells is
/// refused. A refused first sheet that holds no data set while another sheet follows says to move
/// the data sheet first. `path` names the workbook in messages.
[[nodiscard]] Outcome readDataSetFromSheet(const WorkbookSheet& sheet, const std::string& path,
                                           DataSet& data);

/// Reads the data file `path`: the first sheet of a workbook when its content is an .xlsx or
/// .ods workbook (or is refused as one), whatever the file's name; anything else as CSV, as
/// readDataSetFile. `sheetName` is set to the sheet read, and left empty for a CSV file.
[[nodiscard]] Outcome readDataFile(const std::string& path, DataSet& data, std::string& sheetName);

}  // namespace brevox
