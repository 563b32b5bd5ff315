#include "stats/letters.h"

#include <algorithm>
#include <cstdint>

namespace brevox {

namespace {

// A group as bits, 64 works to a word: the groups are compared with each other after every split,
// and a criterion of many works that differ almost pair by pair splits thousands of times.
using Bits = std::vector<std::uint64_t>;

bool holds(const Bits& group, std::size_t work) { return (group[work / 64] >> (work % 64)) & 1U; }

void drop(Bits& group, std::size_t work) { group[work / 64] &= ~(std::uint64_t{1} << (work % 64)); }

// Every work that `inner` holds, `outer` holds too.
bool within(const Bits& inner, const Bits& outer) {
  for (std::size_t word = 0; word < inner.size(); ++word) {
    if ((inner[word] & ~outer[word]) != 0) return false;
  }
  return true;
}

// Drops every group that another holds, taking the pairs of groups in order, the later one of a
// pair first, as multcompView does. A pair found apart stays apart while other groups go, so the
// walk resumes where it stopped instead of starting again.
void absorb(std::vector<Bits>& groups) {
  std::size_t i = 0;
  while (i + 1 < groups.size()) {
    bool removedI = false;
    std::size_t j = i + 1;
    while (j < groups.size()) {
      if (within(groups[j], groups[i])) {
        groups.erase(groups.begin() + static_cast<std::ptrdiff_t>(j));
      } else if (within(groups[i], groups[j])) {
        groups.erase(groups.begin() + static_cast<std::ptrdiff_t>(i));
        removedI = true;
        break;
      } else {
        ++j;
      }
    }
    if (!removedI) ++i;
  }
}

// R's names of the letters: the symbols but the last, then the same again with the last symbol
// before each, and so on.
std::vector<std::string> letterNames(std::size_t count, std::vector<std::string> symbols) {
  std::vector<std::string> names;
  while (count >= symbols.size()) {
    const std::string last = symbols.back();
    names.insert(names.end(), symbols.begin(), symbols.end() - 1);
    count -= symbols.size() - 1;
    std::vector<std::string> next;
    for (std::size_t s = 0; s + 1 < symbols.size(); ++s) next.push_back(last + symbols[s]);
    next.push_back(last);
    symbols = std::move(next);
  }
  names.insert(names.end(), symbols.begin(), symbols.begin() + static_cast<std::ptrdiff_t>(count));
  return names;
}

}  // namespace

LetterGroups insertAbsorb(const std::vector<std::vector<bool>>& separated) {
  const std::size_t works = separated.size();
  const std::size_t words = (works + 63) / 64;
  Bits all(words, 0);
  for (std::size_t w = 0; w < works; ++w) all[w / 64] |= std::uint64_t{1} << (w % 64);
  std::vector<Bits> groups = {all};
  for (std::size_t i = 0; i < works; ++i) {
    for (std::size_t j = i + 1; j < works; ++j) {
      if (!separated[j][i]) continue;
      std::vector<Bits> copies;
      for (Bits& group : groups) {
        if (!holds(group, i) || !holds(group, j)) continue;
        copies.push_back(group);
        drop(copies.back(), i);
        drop(group, j);
      }
      if (copies.empty()) continue;
      groups.insert(groups.end(), copies.begin(), copies.end());
      absorb(groups);
    }
  }
  LetterGroups result;
  for (const Bits& group : groups) {
    std::vector<bool> holders(works);
    for (std::size_t w = 0; w < works; ++w) holders[w] = holds(group, w);
    result.holders.push_back(holders);
  }
  return result;
}

std::vector<std::string> workLetters(const LetterGroups& groups,
                                     const std::vector<std::size_t>& order) {
  // A group's key: the positions in `order` of the works it holds, in that order.
  std::vector<std::vector<std::size_t>> keys(groups.holders.size());
  for (std::size_t g = 0; g < keys.size(); ++g) {
    for (std::size_t p = 0; p < order.size(); ++p) {
      if (groups.holders[g][order[p]]) keys[g].push_back(p);
    }
  }
  std::vector<std::size_t> named(groups.holders.size());
  for (std::size_t g = 0; g < named.size(); ++g) named[g] = g;
  std::stable_sort(named.begin(), named.end(),
                   [&](std::size_t x, std::size_t y) { return keys[x] < keys[y]; });
  std::vector<std::string> symbols;
  for (char c = 'a'; c <= 'z'; ++c) symbols.emplace_back(1, c);
  for (char c = 'A'; c <= 'Z'; ++c) symbols.emplace_back(1, c);
  symbols.emplace_back(".");
  const std::vector<std::string> names = letterNames(named.size(), symbols);
  std::vector<std::string> letters(order.size());
  for (std::size_t n = 0; n < named.size(); ++n) {
    for (std::size_t w = 0; w < letters.size(); ++w) {
      if (groups.holders[named[n]][w]) letters[w] += names[n];
    }
  }
  return letters;
}

}  // namespace brevox
