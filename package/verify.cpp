#include "package/verify.h"

#include <zlib.h>

#include <algorithm>
#include <limits>
#include <string>

#include "package/data_table.h"
#include "package/extract.h"
#include "package/package_format.h"
#include "platform/errors.h"
#include "platform/fs_util.h"
#include "platform/text.h"

namespace package {

namespace {

// Inflated bytes are counted, not kept: this much memory serves a member of any size.
constexpr std::uint32_t kChunk = 256 * 1024;

Text Number(std::int64_t n) { return platform::AsciiToText(std::to_string(n)); }

struct Member {
  Text label;  // "row 3 (bin\x.dll)"
  std::int32_t compressed = 0;
  std::int32_t size = 0;
};

class InflateState {
 public:
  InflateState() : ok_(inflateInit(&stream_) == Z_OK) {}
  ~InflateState() {
    if (ok_) inflateEnd(&stream_);
  }
  InflateState(const InflateState&) = delete;
  InflateState& operator=(const InflateState&) = delete;
  bool ok() const { return ok_; }
  z_stream& stream() { return stream_; }

 private:
  z_stream stream_{};
  bool ok_;
};

// Inflates one member that starts at the package's current position; returns its problem, or an
// empty text when the member is sound.
Text CheckMember(platform::File& package, const Member& m, std::vector<std::uint8_t>& in,
                 std::vector<std::uint8_t>& out) {
  InflateState inflater;
  if (!inflater.ok()) return m.label + u": the decompressor cannot start";
  z_stream& zs = inflater.stream();
  std::int64_t in_left = m.compressed;
  std::int64_t produced = 0;
  for (;;) {
    if (zs.avail_in == 0 && in_left > 0) {
      const auto n = static_cast<std::uint32_t>(std::min<std::int64_t>(in_left, kChunk));
      ReadExact(package, in.data(), n);
      in_left -= n;
      zs.next_in = in.data();
      zs.avail_in = n;
    }
    zs.next_out = out.data();
    zs.avail_out = kChunk;
    const int rc = inflate(&zs, Z_NO_FLUSH);
    produced += kChunk - zs.avail_out;
    if (produced > m.size) {
      return m.label + u": inflates to more than its size cell of " + Number(m.size) + u" bytes";
    }
    if (rc == Z_STREAM_END) break;
    if (rc == Z_BUF_ERROR && zs.avail_in == 0) {
      if (in_left > 0) continue;
      return m.label + u": the zlib stream does not end within the member's " +
             Number(m.compressed) + u" bytes";
    }
    if (rc != Z_OK) {
      const std::string why = zs.msg != nullptr ? zs.msg : "zlib error " + std::to_string(rc);
      return m.label + u": corrupt data (" + platform::Utf8ToText(why) + u")";
    }
  }
  const std::int64_t unused = in_left + zs.avail_in;
  if (unused > 0) {
    return m.label + u": the zlib stream ends " + Number(unused) +
           u" bytes before the end of the member";
  }
  if (produced != m.size) {
    return m.label + u": inflates to " + Number(produced) + u" bytes, its size cell says " +
           Number(m.size);
  }
  return Text();
}

// Reads a size cell; adds a problem and returns false when it is not a non-negative integer.
bool SizeCell(tvdata::TRow& row, int column, const Text& label, const char16_t* what,
              std::int32_t* value, std::vector<Text>& problems) {
  tvdata::TCell& cell = row.Items(column);
  try {
    *value = cell.Value();
  } catch (const platform::Exception&) {
    problems.push_back(label + u": the " + what + u" cell \"" + cell.StoredText() +
                       u"\" is not an integer");
    return false;
  }
  if (*value < 0) {
    problems.push_back(label + u": the " + what + u" cell is negative (" + Number(*value) + u")");
    return false;
  }
  return true;
}

}  // namespace

bool FileRange::Read(void* buffer, std::uint32_t size, std::uint32_t* read) {
  *read = 0;
  const std::int64_t left = length_ - position_;
  if (left <= 0 || size == 0) return true;
  const auto want = static_cast<std::uint32_t>(std::min<std::int64_t>(left, size));
  if (base_.Seek(offset_ + position_, platform::SeekOrigin::kBegin) != offset_ + position_) {
    return false;
  }
  if (!base_.Read(buffer, want, read)) return false;
  position_ += *read;
  return true;
}

bool FileRange::Write(const void*, std::uint32_t) { return false; }

std::int64_t FileRange::Seek(std::int64_t offset, platform::SeekOrigin origin) {
  std::int64_t base = 0;
  if (origin == platform::SeekOrigin::kCurrent) base = position_;
  if (origin == platform::SeekOrigin::kEnd) base = length_;
  if (offset > std::numeric_limits<std::int64_t>::max() - base) return -1;
  const std::int64_t target = base + offset;
  if (target < 0) return -1;
  position_ = target;
  return position_;
}

std::vector<Text> VerifyPackage(platform::File& package, const Text& password) {
  std::vector<Text> problems;
  ManifestLocation location;
  try {
    location = LocateManifest(package);
  } catch (const platform::Exception& e) {
    problems.push_back(u"no manifest: " + e.Message());
    return problems;
  }
  if (location.empty) {
    problems.push_back(u"no manifest: the length field (" + Number(location.length) +
                       u") is not less than the package size (" + Number(location.file_size) +
                       u")");
    return problems;
  }

  Text plain;
  try {
    plain = ReadManifestText(package, location, password);
  } catch (const platform::Exception& e) {
    problems.push_back(u"the manifest cannot be read: " + e.Message());
    return problems;
  }
  if (plain.empty()) {
    problems.push_back(u"the manifest does not decrypt (wrong password, or damaged)");
    return problems;
  }

  const std::unique_ptr<tvdata::TDataTable> manifest = ManifestTable(plain);
  tvdata::TDataTable& table = *manifest;
  // A wrong password gives text that is no table at all: one problem, not one per row.
  bool any_row = table.ItemCount() == 0;
  for (int i = 0; i < table.ItemCount() && !any_row; ++i) any_row = table.Items(i).ItemCount() >= 4;
  if (!any_row) {
    problems.push_back(
        u"the manifest does not decrypt to a table of files (wrong password, or "
        u"damaged)");
    return problems;
  }
  std::vector<Member> members;
  bool members_known = true;  // every member's position can be computed
  std::int64_t total = 0;
  for (int i = 0; i < table.ItemCount(); ++i) {
    tvdata::TRow& row = table.Items(i);
    Text label = u"row " + Number(i);
    if (row.ItemCount() < 4) {
      problems.push_back(label + u": " + Number(row.ItemCount()) +
                         u" cells, a row needs folder, name, compressed size and size");
      members_known = false;
      continue;
    }
    const Text dest = row.Items(kColFolder).Text();
    const Text name_cell = row.Items(kColName).Text();
    label += u" (" + dest + name_cell + u")";

    bool flat = false;
    if (row.ItemCount() > kColFlat) {
      try {
        flat = row.Items(kColFlat).AsBool();
      } catch (const platform::Exception&) {
        problems.push_back(label + u": the flat cell \"" + row.Items(kColFlat).StoredText() +
                           u"\" is neither a number nor True/False");
      }
    }
    const bool system = !flat && !dest.empty() && dest[0] == u'$';
    const Text name = platform::LastComponent(name_cell);
    if (!IsPlainFileName(name)) {
      problems.push_back(label + u": not a file name");
    } else if (!system && !StaysInside(flat ? name : dest + name)) {
      problems.push_back(label + u": the path leaves the target folder");
    }

    Member m{label};
    const bool compressed_ok =
        SizeCell(row, kColCompressed, label, u"compressed size", &m.compressed, problems);
    const bool size_ok = SizeCell(row, kColSize, label, u"size", &m.size, problems);
    if (size_ok) total += m.size;
    if (!compressed_ok || !size_ok) members_known = false;
    members.push_back(std::move(m));
  }
  if (total > std::numeric_limits<std::int32_t>::max()) {
    problems.push_back(u"the files add up to " + Number(total) +
                       u" bytes; the setup program counts them in 31 bits (at most 2 GiB - 1)");
  }
  if (!members_known) {
    problems.push_back(u"the members are not checked: their sizes are not all known");
    return problems;
  }

  std::vector<std::uint8_t> in(kChunk);
  std::vector<std::uint8_t> out(kChunk);
  std::int64_t position = 0;
  for (const Member& m : members) {
    if (position + m.compressed > location.offset) {
      problems.push_back(m.label + u": the member runs " +
                         Number(position + m.compressed - location.offset) +
                         u" bytes into the manifest");
      return problems;
    }
    try {
      SeekTo(package, position);
      Text problem = CheckMember(package, m, in, out);
      if (!problem.empty()) problems.push_back(std::move(problem));
    } catch (const platform::Exception& e) {
      problems.push_back(m.label + u": " + e.Message());
      return problems;
    }
    position += m.compressed;
  }
  if (position != location.offset) {
    problems.push_back(u"the members end at offset " + Number(position) +
                       u" but the manifest starts at " + Number(location.offset));
  }
  return problems;
}

}  // namespace package
