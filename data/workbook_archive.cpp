#include "data/workbook_archive.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace brevox {

namespace {

struct ZipFileCloser {
  void operator()(zip_file_t* file) const { zip_fclose(file); }
};

/// Whether an entry that inflated to `size` bytes from `packed` ones is a zip bomb.
Outcome bombed(const std::string& name, const std::string& path, std::uint64_t size,
               std::uint64_t packed) {
  if (size > kMostEntryBytes) {
    return Failure{"Entry " + entryShown(name) + " of " + path + " inflates beyond " +
                       std::to_string(kMostEntryBytes) + " bytes",
                   "refused as a zip bomb"};
  }
  if (size > (std::uint64_t{1} << 20) &&
      size / kMostInflationRatio > std::max<std::uint64_t>(packed, 1)) {
    return Failure{"Entry " + entryShown(name) + " of " + path + " inflates more than " +
                       std::to_string(kMostInflationRatio) + " times its packed size",
                   "refused as a zip bomb"};
  }
  return std::nullopt;
}

/// The memory of the parser of this thread, in blocks that begin with their size.
struct ParserMemory {
  std::size_t used = 0;
  bool exhausted = false;
};
thread_local ParserMemory parserMemory;
constexpr std::size_t kBlockHead = alignof(std::max_align_t);

void* withHead(void* block, std::size_t size) {
  if (block == nullptr) return nullptr;
  std::memcpy(block, &size, sizeof size);
  return static_cast<char*>(block) + kBlockHead;
}

std::size_t blockSize(void* pointer) {
  std::size_t size = 0;
  std::memcpy(&size, static_cast<char*>(pointer) - kBlockHead, sizeof size);
  return size;
}

bool spared(std::size_t more) {
  if (more <= kMostParserBytes - parserMemory.used) return true;
  parserMemory.exhausted = true;
  return false;
}

void* countedMalloc(std::size_t size) {
  if (!spared(size)) return nullptr;
  void* block = withHead(std::malloc(size + kBlockHead), size);
  if (block != nullptr) parserMemory.used += size;
  return block;
}

void* countedRealloc(void* pointer, std::size_t size) {
  if (pointer == nullptr) return countedMalloc(size);
  const std::size_t old = blockSize(pointer);
  if (size > old && !spared(size - old)) return nullptr;
  void* block =
      withHead(std::realloc(static_cast<char*>(pointer) - kBlockHead, size + kBlockHead), size);
  if (block != nullptr) parserMemory.used = parserMemory.used - old + size;
  return block;
}

void countedFree(void* pointer) {
  if (pointer == nullptr) return;
  parserMemory.used -= blockSize(pointer);
  std::free(static_cast<char*>(pointer) - kBlockHead);
}

const XML_Memory_Handling_Suite kCountedMemory = {countedMalloc, countedRealloc, countedFree};

/// libzip's words for one of its error codes.
std::string zipWords(int code) {
  zip_error_t error;
  zip_error_init_with_code(&error, code);
  std::string words = zip_error_strerror(&error);
  zip_error_fini(&error);
  return words;
}

}  // namespace

bool hasEntry(const Archive& archive, const std::string& name) {
  return zip_name_locate(archive.zip.get(), name.c_str(), 0) >= 0;
}

Outcome inflateEntry(Archive& archive, const std::string& name,
                     const std::function<bool(const char*, std::size_t, bool)>& consume) {
  const zip_int64_t index = zip_name_locate(archive.zip.get(), name.c_str(), 0);
  if (index < 0) {
    return Failure{"Missing entry " + entryShown(name) + " in workbook " + archive.path, ""};
  }
  const auto entry = static_cast<zip_uint64_t>(index);
  zip_stat_t stat;
  zip_stat_init(&stat);
  if (zip_stat_index(archive.zip.get(), entry, 0, &stat) != 0) stat.valid = 0;
  const std::uint64_t packed = (stat.valid & ZIP_STAT_COMP_SIZE) != 0 ? stat.comp_size : 0;
  if ((stat.valid & ZIP_STAT_SIZE) != 0) {
    if (Outcome refused = bombed(name, archive.path, stat.size, packed)) return refused;
  }
  const std::string damaged = "Damaged entry " + entryShown(name) + " of " + archive.path;
  std::unique_ptr<zip_file_t, ZipFileCloser> file(zip_fopen_index(archive.zip.get(), entry, 0));
  if (!file) return Failure{damaged, zip_strerror(archive.zip.get())};
  static thread_local char buffer[1 << 16];
  std::uint64_t inflated = 0;
  bool consuming = true;
  for (;;) {
    // An entry is read to its end even when its reader needs no more, or stopped at a fault: only
    // there does libzip check its CRC, and a damaged entry explains a fault better than its text.
    const zip_int64_t read = zip_fread(file.get(), buffer, sizeof buffer);
    if (read < 0) return Failure{damaged, zip_file_strerror(file.get())};
    if (read == 0) break;
    inflated += static_cast<std::uint64_t>(read);
    if (Outcome refused = bombed(name, archive.path, inflated, packed)) return refused;
    if (consuming) consuming = consume(buffer, static_cast<std::size_t>(read), false);
  }
  // libzip checks the CRC but not the size the archive's directory gives.
  if ((stat.valid & ZIP_STAT_SIZE) != 0 && inflated != stat.size) {
    return Failure{damaged, zipWords(ZIP_ER_INCONS)};
  }
  if (consuming) consume(nullptr, 0, true);
  return std::nullopt;
}

// --- XML -------------------------------------------------------------------------------------

XML_Parser createCountedParser(bool namespaces) {
  parserMemory.exhausted = false;
  const XML_Char separator = kJoinedUri;
  return XML_ParserCreate_MM(nullptr, &kCountedMemory, namespaces ? &separator : nullptr);
}

bool parserMemoryExhausted() { return parserMemory.exhausted; }

bool XmlFeed::take(const char* bytes, std::size_t size, bool last) {
  if (held.empty() && (size >= piece || last)) return give(bytes, size, last);
  if (size > 0) held.append(bytes, size);
  if (held.size() < piece && !last) return true;
  const bool parsed = give(held.data(), held.size(), last);
  held.clear();
  return parsed;
}

bool XmlFeed::give(const char* bytes, std::size_t size, bool last) {
  // The bytes are within the limit of an entry, far below INT_MAX.
  if (XML_Parse(parser, bytes, static_cast<int>(size), last ? 1 : 0) != XML_STATUS_OK) {
    return false;
  }
  given += size;
  // The parser's place is the start of the token it holds back.
  const XML_Index at = XML_GetCurrentByteIndex(parser);
  const std::uint64_t heldBack = at >= 0 && static_cast<std::uint64_t>(at) <= given
                                     ? given - static_cast<std::uint64_t>(at)
                                     : 0;
  piece = std::max(std::uint64_t{1} << 16, heldBack);
  return true;
}

XmlName splitName(const char* name, char separator) {
  const std::string_view whole(name);
  const std::size_t split = whole.rfind(separator);
  if (split == std::string_view::npos) return {{}, whole};
  return {whole.substr(0, split), whole.substr(split + 1)};
}

const char* attribute(const char** attributes, std::string_view local, std::string_view uriEnd,
                      char separator) {
  for (; *attributes != nullptr; attributes += 2) {
    const XmlName name = splitName(attributes[0], separator);
    if (name.local != local) continue;
    if (uriEnd.empty() ? name.uri.empty()
                       : name.uri.size() >= uriEnd.size() &&
                             name.uri.substr(name.uri.size() - uriEnd.size()) == uriEnd) {
      return attributes[1];
    }
  }
  return nullptr;
}

bool endsWith(std::string_view text, std::string_view end) {
  return text.size() >= end.size() && text.substr(text.size() - end.size()) == end;
}

// --- Numbers and references ------------------------------------------------------------------

bool parseNumber(std::string_view text, double& value) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  const auto [end, fault] = std::from_chars(text.data(), text.data() + text.size(), value);
  return fault == std::errc() && end == text.data() + text.size() && std::isfinite(value);
}

bool parseWhole(const char* text, std::uint64_t& value) {
  if (text == nullptr || *text == '\0') return false;
  value = 0;
  for (; *text != '\0'; ++text) {
    if (*text < '0' || *text > '9') return false;
    value = std::min<std::uint64_t>(value * 10 + static_cast<std::uint64_t>(*text - '0'),
                                    std::uint64_t{1} << 40);
  }
  return true;
}

bool parseReference(const char* text, std::uint64_t& row, std::uint64_t& column) {
  std::uint64_t letters = 0;
  column = 0;
  for (; *text >= 'A' && *text <= 'Z' && letters < 4; ++text, ++letters) {
    column = column * 26 + static_cast<std::uint64_t>(*text - 'A' + 1);
  }
  if (letters == 0 || !parseWhole(text, row) || row == 0) return false;
  --row;
  --column;
  return true;
}

}  // namespace brevox
