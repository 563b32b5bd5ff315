#pragma once

namespace brevox {

/// The page's style sheet, the same on every page: its type, its tables of data, the heat maps'
/// cells that are not p-values (the same work, a work without cases, INVALID, not tested), the
/// legend and the print layout. The colours of the p-values' steps depend on the page and come
/// from its colour scale.
extern const char kPageStyle[];

}  // namespace brevox
