#include "stats/letters.h"

#include <algorithm>
#include <cstdint>
#include <utility>

namespace brevox {

namespace {

// The groups as bits, 64 works to a word, one group after the other in one block: the groups are
// compared with each other after every split, and a criterion of many works that differ almost
// pair by pair splits thousands of times.
struct Groups {
  std::size_t words = 0;
  std::vector<std::uint64_t> bits;

  std::size_t size() const { return bits.size() / words; }
  const std::uint64_t* at(std::size_t g) const { return bits.data() + g * words; }
  std::uint64_t* at(std::size_t g) { return bits.data() + g * words; }
  bool holds(std::size_t g, std::size_t work) const {
    return (at(g)[work / 64] >> (work % 64)) & 1U;
  }
  void drop(std::size_t g, std::size_t work) {
    at(g)[work / 64] &= ~(std::uint64_t{1} << (work % 64));
  }
  // Every work that group `inner` holds, group `outer` holds too.
  bool within(std::size_t inner, std::size_t outer) const {
    const std::uint64_t* a = at(inner);
    const std::uint64_t* b = at(outer);
    for (std::size_t word = 0; word < words; ++word) {
      if ((a[word] & ~b[word]) != 0) return false;
    }
    return true;
  }
  void copyOf(std::size_t g) {
    bits.resize(bits.size() + words);
    std::copy(at(g), at(g) + words, at(size() - 1));
  }
};

bool isEmpty(const Groups& groups, std::size_t g) {
  const std::uint64_t* bits = groups.at(g);
  return std::all_of(bits, bits + groups.words, [](std::uint64_t w) { return w == 0; });
}

// Removes the groups emptied by absorption, keeping the order of the others.
void removeEmpty(Groups& groups) {
  std::size_t left = 0;
  for (std::size_t g = 0; g < groups.size(); ++g) {
    if (isEmpty(groups, g)) continue;
    if (left != g) std::copy(groups.at(g), groups.at(g) + groups.words, groups.at(left));
    ++left;
  }
  groups.bits.resize(left * groups.words);
}

// Empties a changed group that another group holds. Before a split no group held another, and a
// split only takes works out of groups: a group left as it was cannot come to lie within a
// changed one (that one lay within its own former self), so only the changed groups are
// compared, each with the groups among `candidates` that hold the work the split left it. An
// empty group is taken for no holder and removed later. What remains are the largest groups,
// whatever the order of the comparisons; of two equal changed groups the later one stays.
template <typename Candidates>
void absorbIfHeld(Groups& groups, std::size_t changed, std::size_t kept,
                  const Candidates& candidates) {
  const std::size_t word = kept / 64;
  const std::uint64_t mask = std::uint64_t{1} << (kept % 64);
  for (const std::size_t g : candidates) {
    if (g == changed || (groups.at(g)[word] & mask) == 0 || !groups.within(changed, g)) continue;
    std::fill(groups.at(changed), groups.at(changed) + groups.words, 0);
    return;
  }
}

// The numbers from 0 below `end`, as a range of candidates.
struct EveryGroup {
  struct Iterator {
    std::size_t g;
    std::size_t operator*() const { return g; }
    Iterator& operator++() {
      ++g;
      return *this;
    }
    bool operator!=(const Iterator& other) const { return g != other.g; }
  };
  std::size_t count;
  Iterator begin() const { return {0}; }
  Iterator end() const { return {count}; }
};

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
  Groups groups;
  groups.words = std::max<std::size_t>(1, (works + 63) / 64);
  groups.bits.assign(groups.words, 0);
  for (std::size_t w = 0; w < works; ++w) groups.bits[w / 64] |= std::uint64_t{1} << (w % 64);
  std::vector<std::size_t> holdersOfI;
  std::vector<std::size_t> split;
  for (std::size_t i = 0; i < works; ++i) {
    // Every split while i is taken holds i, and its copies lose it: the groups that hold i are
    // those that held it when i came up, less those absorbed since.
    holdersOfI.clear();
    for (std::size_t g = 0; g < groups.size(); ++g) {
      if (groups.holds(g, i)) holdersOfI.push_back(g);
    }
    for (std::size_t j = i + 1; j < works; ++j) {
      if (!separated[i][j]) continue;
      const std::size_t before = groups.size();
      split.clear();
      for (const std::size_t g : holdersOfI) {
        if (!groups.holds(g, j)) continue;
        groups.copyOf(g);
        groups.drop(groups.size() - 1, i);
        groups.drop(g, j);
        split.push_back(g);
      }
      for (const std::size_t g : split) absorbIfHeld(groups, g, i, holdersOfI);
      for (std::size_t copy = before; copy < groups.size(); ++copy) {
        absorbIfHeld(groups, copy, j, EveryGroup{groups.size()});
      }
    }
    removeEmpty(groups);
  }
  LetterGroups result;
  for (std::size_t g = 0; g < groups.size(); ++g) {
    std::vector<bool> holders(works);
    for (std::size_t w = 0; w < works; ++w) holders[w] = groups.holds(g, w);
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
