#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "data/data_set.h"
#include "io/failure.h"
#include "io/output_file.h"
#include "report/html_report.h"
#include "report/output_names.h"

namespace brevox {

// The folder a run writes into, as the user sees it: made and opened for the run, what an earlier
// run left there (its manifest), the data file that must not be lost, and the manifest of this run.

/// Opens the run's output folder: `folder` of --output, made when missing (its parent must
/// exist), or the working directory when `folder` is empty. Fails as openOutputFolder does.
[[nodiscard]] Outcome openRunFolder(const std::string& folder);

/// The output folder as messages and the summary name it: its full path where the system gives
/// it, else as typed, shown as paths are in messages.
std::string shownRunFolder(const std::string& folder);

/// One file of a manifest: its name in the output folder, its size and modification time.
struct ManifestEntry {
  std::string name;
  FileStamp stamp;
};

/// The manifest that an earlier run left in the output folder; empty when there is none or it
/// cannot be read. Lines that are not a manifest's are passed over.
std::vector<ManifestEntry> readManifest();

/// Writes the manifest of a successful run last, through a temporary file: each file in `files`
/// with its size and modification time, in the order of their names.
[[nodiscard]] Outcome writeManifest(std::vector<ManifestEntry> files);

/// The entries of `files` as a manifest holds them.
std::vector<ManifestEntry> manifestEntries(const std::vector<WrittenFile>& files);

/// The entries of `earlier` that still stand unchanged and are none of `rewritten`: what a single
/// test adds its report to.
std::vector<ManifestEntry> unchangedEntries(const std::vector<ManifestEntry>& earlier,
                                            const std::vector<WrittenFile>& rewritten);

/// Whether the full run of `choice` may write the data back over what stands in the output
/// folder under its name: nothing, the same bytes, or a file that the manifest `earlier` records
/// unchanged. When the data file `dataPath` is that very file, `choice.inputData` is cleared: the
/// run reads it and leaves it as it is. Otherwise it fails, naming the file and saying to rename
/// it or remove it: the user's data is never replaced.
[[nodiscard]] Outcome guardInputData(const std::vector<ManifestEntry>& earlier, const DataSet& data,
                                     const std::string& dataPath, OutputChoice& choice);

/// The files of the manifest `earlier` that still stand in the output folder and that the run of
/// `choice` does not write: how many, and the first three in the manifest's order.
EarlierFiles earlierFiles(const std::vector<ManifestEntry>& earlier, const OutputChoice& choice,
                          const DataSet& data);

}  // namespace brevox
