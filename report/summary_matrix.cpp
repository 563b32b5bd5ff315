#include "report/summary_matrix.h"

#include "io/number_format.h"
#include "io/output_file.h"
#include "report/report_frame.h"

namespace brevox {

namespace {

struct FileLayout {
  const char* prefix;
  const char* extension;
  const char* title;  ///< nullptr for a graph file
  GraphTag tag;       ///< the graph drawn, for graph files
};

// Indexed by CriterionFileKind. Some prefixes end in "_" and some do not: the names are the ones
// users' scripts already look for.
const FileLayout kLayouts[kCriterionFileCount] = {
    {"T_exp_prob_", ".csv", "EXPECTED PROBABILITY OF THE COMMON DISTRIBUTION: ", GraphTag::binD},
    {"T_binD_Dt_pVal_", ".csv", "BINOMIAL DISTRIBUTION TEST DOUBLE TAIL P-VAL: ", GraphTag::binD},
    {"T_binD_Midp_pVal_", ".csv",
     "BINOMIAL DISTRIBUTION TEST DOUBLE TAIL MID-P P-VAL: ", GraphTag::binD},
    {"T_binD_Dt_Flag_", ".csv",
     "BINOMIAL DISTRIBUTION TEST DOUBLE TAIL PASS FLAG: ", GraphTag::binD},
    {"graph_binD_", ".gv", nullptr, GraphTag::binD},
    {"T_fish_Dt_pVal", ".csv", "FISHER EXACT TEST P-VAL: ", GraphTag::fishDt},
    {"T_fish_Dt_Flag", ".csv", "FISHER EXACT TEST PASS FLAG: ", GraphTag::fishDt},
    {"T_fish_Mp_pVal", ".csv", "FISHER EXACT TEST (MID-P) P-VAL: ", GraphTag::fishMp},
    {"T_fish_Mp_Flag", ".csv", "FISHER EXACT TEST (MID-P) PASS FLAG: ", GraphTag::fishMp},
    {"graph_fishDt_", ".gv", nullptr, GraphTag::fishDt},
    {"graph_fishMp_", ".gv", nullptr, GraphTag::fishMp},
    {"T_ChiSq_pVal", ".csv", "PEARSON'S CHI-SQUARE P-VAL: ", GraphTag::chisqP},
    {"T_ChiSq_Flag", ".csv", "PEARSON'S CHI-SQUARE PASS FLAG: ", GraphTag::chisqP},
    {"T_ChiSq_Y_pVal", ".csv", "YATES-CORR. CHI-SQUARE P-VAL: ", GraphTag::chisqY},
    {"T_ChiSq_Y_Flag", ".csv", "YATES-CORR. CHI-SQUARE PASS FLAG: ", GraphTag::chisqY},
    {"T_ChiSq_N1_pVal", ".csv", "N-1 (CAMPBELL) CHI-SQUARE P-VAL: ", GraphTag::chisqN1},
    {"T_ChiSq_N1_Flag", ".csv", "N-1 (CAMPBELL) CHI-SQUARE PASS FLAG: ", GraphTag::chisqN1},
    {"graph_chisqP_", ".gv", nullptr, GraphTag::chisqP},
    {"graph_chisqY_", ".gv", nullptr, GraphTag::chisqY},
    {"graph_chisqN1_", ".gv", nullptr, GraphTag::chisqN1},
    {"T_perm_pVal_", ".csv", "EXACT PERMUTATION TEST P-VAL: ", GraphTag::perm},
    {"T_perm_Flag", ".csv", "EXACT PERMUTATION TEST PASS FLAG: ", GraphTag::perm},
    {"graph_perm_", ".gv", nullptr, GraphTag::perm},
    {"graph_merged_", ".gv", nullptr, GraphTag::merged},
};

/// A run of files opened together and then given their first lines.
struct FileGroup {
  CriterionFileKind first;
  CriterionFileKind last;
};

std::size_t index(CriterionFileKind kind) { return static_cast<std::size_t>(kind); }

bool isGraph(std::size_t file) { return kLayouts[file].title == nullptr; }

CriterionFileKind graphFileOf(GraphTag tag) {
  switch (tag) {
    case GraphTag::binD:
      return CriterionFileKind::binomialGraph;
    case GraphTag::fishDt:
      return CriterionFileKind::fisherGraph;
    case GraphTag::fishMp:
      return CriterionFileKind::fisherMidPGraph;
    case GraphTag::chisqP:
      return CriterionFileKind::pearsonGraph;
    case GraphTag::chisqY:
      return CriterionFileKind::yatesGraph;
    case GraphTag::chisqN1:
      return CriterionFileKind::n1Graph;
    case GraphTag::perm:
      return CriterionFileKind::permutationGraph;
    case GraphTag::merged:
      break;
  }
  return CriterionFileKind::mergedGraph;
}

void closeAll(CriterionFiles& files, std::ostream& err, bool& allWritten) {
  for (CriterionFile& file : files.files) {
    if (!file.open) continue;
    if (!closeOutputFile(file.stream, file.name, err)) allWritten = false;
    file.open = false;
  }
}

// A cell of one table: the star of a result resting on too little data, the value, a comma.
void writeCell(CriterionFiles& files, CriterionFileKind kind, bool valid, const std::string& text) {
  CriterionFile& file = files.files[index(kind)];
  if (!file.open) return;
  if (!valid) file.stream << '*';
  file.stream << text << ',';
}

}  // namespace

std::string criterionFileName(CriterionFileKind kind, const std::string& criterion) {
  const FileLayout& layout = kLayouts[index(kind)];
  return layout.prefix + criterion + layout.extension;
}

bool openCriterionFiles(CriterionFiles& files, const RunOptions& options, std::uint32_t criterion,
                        const DataSet& data, std::ostream& err) {
  using Kind = CriterionFileKind;
  const struct {
    bool selected;
    FileGroup group;
  } groups[] = {
      {true, {Kind::expectedProbability, Kind::expectedProbability}},
      {options.runBinomial, {Kind::binomialPValue, Kind::binomialGraph}},
      {options.runFisher, {Kind::fisherPValue, Kind::fisherMidPGraph}},
      {options.runChiSquare, {Kind::pearsonPValue, Kind::n1Graph}},
      {options.runPermutation, {Kind::permutationPValue, Kind::permutationGraph}},
      {options.mergeGraphs, {Kind::mergedGraph, Kind::mergedGraph}},
  };
  const std::string& shortName = criterionShortName(data, criterion);
  for (const auto& [selected, group] : groups) {
    if (!selected) continue;
    for (std::size_t file = index(group.first); file <= index(group.last); ++file) {
      CriterionFile& target = files.files[file];
      target.name = criterionFileName(static_cast<Kind>(file), shortName);
      if (!openOutputFile(target.stream, target.name, err)) {
        bool ignored = true;
        closeAll(files, err, ignored);
        return false;
      }
      target.open = true;
    }
    for (std::size_t file = index(group.first); file <= index(group.last); ++file) {
      std::ofstream& stream = files.files[file].stream;
      if (isGraph(file)) {
        const std::string graphId = std::string(graphTagText(kLayouts[file].tag)) + "_" + shortName;
        stream << "digraph " << dotId(graphId) << " {" << kLineEnd;
      } else {
        stream << kLayouts[file].title << shortName << kLineEnd;
      }
    }
  }
  return true;
}

void writeHeaderRow(CriterionFiles& files, const DataSet& data) {
  for (std::size_t file = 0; file < kCriterionFileCount; ++file) {
    if (!files.files[file].open || isGraph(file)) continue;
    for (const auto& [work, shortName] : data.workShortNames) {
      files.files[file].stream << ',' << shortName;
    }
  }
}

void startRow(CriterionFiles& files, const std::string& workShortName) {
  for (std::size_t file = 0; file < kCriterionFileCount; ++file) {
    if (!files.files[file].open || isGraph(file)) continue;
    files.files[file].stream << kLineEnd << workShortName << ',';
  }
}

void writeEmptyCells(CriterionFiles& files) {
  for (std::size_t file = 0; file < kCriterionFileCount; ++file) {
    if (files.files[file].open && !isGraph(file)) files.files[file].stream << ',';
  }
}

void writePooledProbabilityCell(CriterionFiles& files, const PairComparison& pair) {
  writeCell(files, CriterionFileKind::expectedProbability, true,
            formatDouble(pair.pooledProbability));
}

void writeBinomialCells(CriterionFiles& files, const BinomialResult& result, bool valid) {
  writeCell(files, CriterionFileKind::binomialPValue, valid, formatDouble(result.pDoubleTail));
  writeCell(files, CriterionFileKind::binomialMidPValue, valid,
            formatDouble(result.midPDoubleTail));
  writeCell(files, CriterionFileKind::binomialFlag, valid,
            passFlagText(result.significantDoubleTail));
}

void writeChiSquareCells(CriterionFiles& files, const ChiSquareResult& result, bool pearsonValid,
                         bool n1Valid) {
  using Kind = CriterionFileKind;
  const struct {
    Kind kind;
    bool valid;
    std::string value;
  } cells[] = {
      {Kind::pearsonPValue, pearsonValid, formatDouble(result.pPearson)},
      {Kind::pearsonFlag, pearsonValid, passFlagText(result.significantPearson)},
      {Kind::yatesPValue, pearsonValid, formatDouble(result.pYates)},
      {Kind::yatesFlag, pearsonValid, passFlagText(result.significantYates)},
      {Kind::n1PValue, n1Valid, formatDouble(result.pN1)},
      {Kind::n1Flag, n1Valid, passFlagText(result.significantN1)},
  };
  // With an expected count of 0 the statistics mean nothing, whatever was stored for them.
  const bool expectedZero = result.warningPearson == 2;
  for (const auto& cell : cells) {
    writeCell(files, cell.kind, cell.valid, expectedZero ? "INVALID" : cell.value);
  }
}

void writeFisherCells(CriterionFiles& files, const FisherResult& result, bool valid) {
  writeCell(files, CriterionFileKind::fisherPValue, valid, formatDouble(result.pDoubleTail));
  writeCell(files, CriterionFileKind::fisherFlag, valid,
            passFlagText(result.significantDoubleTail));
  writeCell(files, CriterionFileKind::fisherMidPValue, valid, formatDouble(result.pMidP));
  writeCell(files, CriterionFileKind::fisherMidPFlag, valid, passFlagText(result.significantMidP));
}

void writePermutationCells(CriterionFiles& files, const PermutationResult& result, bool valid) {
  writeCell(files, CriterionFileKind::permutationPValue, valid, formatDouble(result.pValue));
  writeCell(files, CriterionFileKind::permutationFlag, valid, passFlagText(result.significant));
}

void writeGraphLine(CriterionFiles& files, GraphTag tag, const std::string& text) {
  CriterionFile& file = files.files[index(graphFileOf(tag))];
  if (file.open) file.stream << text << kLineEnd;
}

bool closeCriterionFiles(CriterionFiles& files, std::ostream& err) {
  for (std::size_t file = 0; file < kCriterionFileCount; ++file) {
    if (files.files[file].open && isGraph(file)) files.files[file].stream << '}' << kLineEnd;
  }
  bool allWritten = true;
  closeAll(files, err, allWritten);
  return allWritten;
}

}  // namespace brevox
