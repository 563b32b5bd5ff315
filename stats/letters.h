#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

namespace brevox {

/// The groups of a compact letter display: each group is a letter, and two works share a letter
/// exactly when no test separates them.
struct LetterGroups {
  /// holders[g][w]: work w holds letter g. Works are numbered 0 to works - 1.
  std::vector<std::vector<bool>> holders;
};

/// Piepho's insert-absorb algorithm (2004), step by step as R's multcompView::multcompLetters
/// takes it, so that both find the same groups: one group of every work; then for each separated
/// pair (i, j), with i < j, in the order of the lower triangle column by column (j after i for
/// every i in turn), every group that holds both is split into a copy without i and the group
/// without j, and a group whose works another group holds is absorbed. Only the groups a split
/// changed can be absorbed, so only they are compared with the others: about the pairs times the
/// groups, not times their square. `separated[i][j]` (and [j][i]) tells whether the test separates
/// works i and j. Preconditions: a square matrix.
LetterGroups insertAbsorb(const std::vector<std::vector<bool>>& separated);

/// The letters of each work: the groups named a to z, A to Z, then as R names them beyond
/// (".a", ".b", ...), in the order of the first work of `order` that holds each (works in
/// `order` first, ties broken by the next holder), so that letters run down a list sorted by
/// proportion. `order` is a permutation of the works.
std::vector<std::string> workLetters(const LetterGroups& groups,
                                     const std::vector<std::size_t>& order);

}  // namespace brevox
