#include "io/output_file.h"

namespace brevox {

bool openOutputFile(std::ofstream& file, const std::string& name, std::ostream& err,
                    const char* suffix) {
  file.open(name, std::ios::out | std::ios::trunc | std::ios::binary);
  if (file.is_open()) return true;
  err << "Failed to open file " << name << suffix << '\n';
  return false;
}

bool closeOutputFile(std::ofstream& file, const std::string& name, std::ostream& err) {
  file.flush();
  bool written = file.good();
  file.close();
  written = written && !file.fail();
  if (!written) err << "Failed to write file " << name << '\n';
  return written;
}

bool writeFile(const std::string& name, std::ostream& err,
               const std::function<void(std::ostream&)>& writer, const char* openSuffix) {
  std::ofstream file;
  if (!openOutputFile(file, name, err, openSuffix)) return false;
  writer(file);
  return closeOutputFile(file, name, err);
}

}  // namespace brevox
