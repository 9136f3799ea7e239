#include "builder/tag_cache.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <new>
#include <vector>

#include "base/archive.h"
#include "base/file_replace.h"
#include "base/read_only_file.h"

namespace auralith {

namespace {

constexpr ArchiveClass kMapClass{"CMapStringToOb", 0};
constexpr ArchiveClass kRecordClass{"AFileInfo", 1};

// The least an entry can take: a one-byte key prefix, a class back-reference,
// five empty texts, length and seen, size and modified.
constexpr std::uint64_t kMinEntryBytes = 1 + 2 + 5 + 4 + 4 + 8 + 8;

bool ReadRecord(ArchiveReader& in, std::string* path, AFileInfo* record) {
  return in.ReadText(path) && in.ReadText(&record->artist) && in.ReadText(&record->album) &&
         in.ReadText(&record->title) && in.ReadText(&record->track) && in.ReadInt32(&record->length) &&
         in.ReadInt32(&record->seen) && in.ReadUint64(&record->size) && in.ReadTime(&record->modified);
}

void WriteRecord(ArchiveWriter& out, const AFileInfo& record) {
  out.WriteText(record.path);
  out.WriteText(record.artist);
  out.WriteText(record.album);
  out.WriteText(record.title);
  out.WriteText(record.track);
  out.WriteInt32(record.length);
  out.WriteInt32(record.seen);
  out.WriteUint64(record.size);
  out.WriteTime(record.modified);
}

bool ParseEntries(ArchiveReader& in, Settings& settings, std::size_t count, PathTable* table) {
  std::uint32_t organization = 0;
  std::uint32_t id3 = 0;
  std::uint32_t prefix = 0;
  std::string format;
  if (!in.ReadDword(&organization) || organization != settings._4_organizationnum.Get()) return false;
  if (!in.ReadDword(&id3) || id3 != settings._4_id3.Get()) return false;
  if (!in.ReadDword(&prefix) || prefix != settings._4_prefix.Get()) return false;
  // The pattern as stored now, not as this process last saw it: another
  // instance may have changed it since.
  if (!in.ReadText(&format) || format != settings._4_format.Read()) return false;

  ArchiveReader::ObjectRef ref;
  if (!in.ReadObject({&kMapClass, 1}, &ref) || ref.kind != ArchiveReader::ObjectRef::Kind::New) return false;
  std::uint64_t stored = 0;
  if (!in.ReadCount(&stored, kMinEntryBytes)) return false;
  table->reserve(std::max(static_cast<std::size_t>(stored), count));

  std::string storedPath;
  for (std::uint64_t i = 0; i < stored; ++i) {
    auto record = std::make_unique<AFileInfo>();
    if (!in.ReadText(&record->path) || !in.ReadObject({&kRecordClass, 1}, &ref)) return false;
    // The framework would let two keys share one record (or hold none), and
    // the table would then free it twice (or hand out a null record). Our
    // writer never stores either, so such a file is damaged.
    if (ref.kind != ArchiveReader::ObjectRef::Kind::New) return false;
    // The key is what the run matches against the file's status, so the
    // record keeps it as its path: a differing stored path (written by
    // nothing we know) would send the playlists elsewhere.
    if (!ReadRecord(in, &storedPath, record.get())) return false;
    record->seen = 0;
    // A key stored twice: the later record replaces the earlier one.
    table->Insert(std::move(record));
  }
  return true;
}

PathTable EmptyTable(std::size_t count) {
  PathTable empty;
  empty.reserve(count);
  return empty;
}

PathTable Parse(ArchiveReader& in, Settings& settings, std::size_t count) {
  try {
    PathTable table;
    if (ParseEntries(in, settings, count, &table)) return table;
  } catch (const std::bad_alloc&) {
    // A cache too large for the memory left is as useless as a damaged one.
  }
  return EmptyTable(count);
}

}  // namespace

PathTable ParseTagCache(std::string_view bytes, Settings& settings, std::size_t count) {
  ArchiveReader in(bytes);
  return Parse(in, settings, count);
}

PathTable LoadTagCache(const std::string& file, Settings& settings, std::size_t count) {
  // Read a window at a time: the whole file would be megabytes of memory
  // filled and let go again, next to the records made from it. The size
  // known up front lets the parser check every length against what is there.
  try {
    ReadOnlyFile in(file);
    const std::int64_t size = in.Size();
    if (size < 0 || static_cast<std::uint64_t>(size) > kMaxTagCacheBytes) return EmptyTable(count);
    std::int64_t offset = 0;
    ArchiveReader reader(
        [&in, &offset](char* into, std::size_t wanted) {
          const long long got = in.ReadAt(offset, into, wanted);
          if (got > 0) offset += got;
          return got;
        },
        static_cast<std::uint64_t>(size));
    return Parse(reader, settings, count);
  } catch (const std::bad_alloc&) {
    return EmptyTable(count);
  }
}

bool SaveTagCache(const std::string& file, Settings& settings, const PathTable& table) {
  try {
    ArchiveWriter out;
    out.WriteDword(settings._4_organizationnum.Get());
    out.WriteDword(settings._4_id3.Get());
    out.WriteDword(settings._4_prefix.Get());
    out.WriteText(settings._4_format.Get());
    out.BeginObject(kMapClass, &table);
    // An empty slot has nothing to store; the count covers only the records.
    // The entries go out in key order, so an unchanged table gives the same
    // bytes and the file is left alone (the map's own order varies by run).
    std::vector<const PathTable::value_type*> entries;
    entries.reserve(table.size());
    std::size_t size = 64;
    for (const auto& entry : table) {
      const auto& record = entry.second;
      if (!record) continue;
      entries.push_back(&entry);
      size += entry.first.size() + record->path.size() + record->artist.size() + record->album.size() +
              record->title.size() + record->track.size() + 64;
    }
    std::sort(entries.begin(), entries.end(), [](const auto* a, const auto* b) { return a->first < b->first; });
    out.Reserve(size);
    out.WriteCount(entries.size());
    for (const auto* entry : entries) {
      out.WriteText(entry->first);
      if (out.BeginObject(kRecordClass, entry->second.get())) WriteRecord(out, *entry->second);
    }
    return WriteFileAtomically(file, out.bytes());
  } catch (const std::bad_alloc&) {
    return false;
  }
}

}  // namespace auralith
