#include "app/single_test.h"

namespace brevox {

int runSingleTest(const RunOptions&, std::ostream&, std::ostream& err) {
  err << "Single-test mode is not built yet\n";
  return -1;
}

}  // namespace brevox
