#include "services/uLogArchive.h"

#include <zip.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <system_error>
#include <vector>

namespace lumaren {

namespace {

namespace fs = std::filesystem;

struct TZipDiscard {
  void operator()(zip_t* archive) const { zip_discard(archive); }
};
using TZipOwner = std::unique_ptr<zip_t, TZipDiscard>;

struct TZipFileClose {
  void operator()(zip_file_t* file) const { zip_fclose(file); }
};
using TZipFileOwner = std::unique_ptr<zip_file_t, TZipFileClose>;

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

bool EndsWithNoCase(const std::string& s, const std::string& lowerSuffix) {
  return s.size() >= lowerSuffix.size() && Lower(s.substr(s.size() - lowerSuffix.size())) == lowerSuffix;
}

bool WriteArchive(const std::string& logFileName, const std::string& archiveFileName, const std::string& entryName) {
  int error = 0;
  TZipOwner archive(zip_open(archiveFileName.c_str(), ZIP_CREATE, &error));
  if (!archive) return false;
  zip_source_t* source = zip_source_file(archive.get(), logFileName.c_str(), 0, 0);  // 0: to the end
  if (!source) return false;
  // Without ZIP_FL_OVERWRITE: an entry of this name from another run stays.
  const zip_int64_t index = zip_file_add(archive.get(), entryName.c_str(), source, ZIP_FL_ENC_UTF_8);
  if (index < 0) {
    zip_source_free(source);
    return false;
  }
  if (zip_set_file_compression(archive.get(), static_cast<zip_uint64_t>(index), ZIP_CM_DEFLATE, 0) != 0) return false;
  // zip_close writes a temporary beside the archive and renames it over; on
  // failure the archive stays open and the owner discards it.
  if (zip_close(archive.get()) != 0) return false;
  archive.release();
  return true;
}

// Reads the entry back (the reader checks its CRC) and compares it with the
// log byte for byte.
bool ArchiveHolds(const std::string& archiveFileName, const std::string& entryName, const std::string& logFileName) {
  std::error_code ec;
  const auto logSize = fs::file_size(logFileName, ec);
  if (ec) return false;
  int error = 0;
  TZipOwner archive(zip_open(archiveFileName.c_str(), ZIP_RDONLY | ZIP_CHECKCONS, &error));
  if (!archive) return false;
  const zip_int64_t index = zip_name_locate(archive.get(), entryName.c_str(), 0);
  if (index < 0) return false;
  zip_stat_t stat;
  zip_stat_init(&stat);
  if (zip_stat_index(archive.get(), static_cast<zip_uint64_t>(index), 0, &stat) != 0 ||
      !(stat.valid & ZIP_STAT_SIZE) || stat.size != logSize)
    return false;
  TZipFileOwner entry(zip_fopen_index(archive.get(), static_cast<zip_uint64_t>(index), 0));
  std::ifstream log(logFileName, std::ios::binary);
  if (!entry || !log) return false;
  std::array<char, 65536> fromZip{}, fromLog{};
  std::uintmax_t compared = 0;
  for (;;) {
    const zip_int64_t got = zip_fread(entry.get(), fromZip.data(), fromZip.size());
    if (got < 0) return false;
    if (got == 0) break;
    log.read(fromLog.data(), got);
    if (log.gcount() != got || !std::equal(fromZip.begin(), fromZip.begin() + got, fromLog.begin())) return false;
    compared += static_cast<std::uintmax_t>(got);
  }
  return compared == logSize;
}

// The zip writer names its temporary "<archive>.XXXXXX" (mkstemp).
bool IsArchiveTemporary(const std::string& name) {
  constexpr std::size_t randomLength = 6;
  const std::string marker = ".zip.";
  if (name.size() < marker.size() + randomLength + 1) return false;
  const std::size_t at = name.size() - randomLength - marker.size();
  if (name.compare(at, marker.size(), marker) != 0) return false;
  return std::all_of(name.end() - randomLength, name.end(),
                     [](char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; });
}

}  // namespace

bool ArchiveLogFile(const std::string& logFileName, const std::string& archiveFileName) {
  const std::string entryName = fs::path(logFileName).filename().string();
  return WriteArchive(logFileName, archiveFileName, entryName) &&
         ArchiveHolds(archiveFileName, entryName, logFileName);
}

void RemoveArchiveTemporaries(const std::string& folder) {
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code statusError;
    if (!it->is_regular_file(statusError) || it->is_symlink(statusError)) continue;
    if (!IsArchiveTemporary(it->path().filename().string())) continue;
    std::error_code ignored;
    fs::remove(it->path(), ignored);
  }
}

void PruneArchives(const std::string& folder, std::size_t keep) {
  std::vector<std::string> names;
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    std::error_code statusError;
    if (name.empty() || name[0] == '.' || !it->is_regular_file(statusError)) continue;
    if (EndsWithNoCase(name, ".zip")) names.push_back(name);
  }
  if (names.size() <= keep) return;
  // Time-stamp names sort by age; case-insensitive so that a renamed
  // "X.ZIP" sorts with "x.zip". Ties broken by the exact name so the
  // choice does not depend on the folder's listing order.
  std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
    const std::string la = Lower(a), lb = Lower(b);
    return la != lb ? la < lb : a < b;
  });
  for (std::size_t i = 0; i + keep < names.size(); ++i) {
    std::error_code ignored;
    fs::remove(fs::path(folder) / names[i], ignored);
  }
}

}  // namespace lumaren
