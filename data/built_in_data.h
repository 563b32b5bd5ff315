#pragma once

#include "data/data_set.h"

namespace brevox {

/// The data set the program carries: nine Homeric and Hesiodic works under six linguistic
/// criteria, with the threshold 0.05.
DataSet builtInDataSet();

}  // namespace brevox
