#include "builder/resource_writer.h"

#include <algorithm>
#include <limits>
#include <map>

#include "platform/errors.h"
#include "platform/little_endian.h"
#include "platform/text.h"

namespace builder {

using platform::AsciiToText;
using platform::EFormatError;
using platform::EWriteError;

std::uint32_t PeChecksum(std::uint64_t word_sum, std::int64_t file_size) {
  // Adding words with the carry folded back after each step gives 0 while every word is 0 and a
  // value in [1, 0xFFFF] congruent to the plain sum modulo 0xFFFF afterwards; so the plain sum,
  // taken in any order, is enough.
  const std::uint32_t folded =
      word_sum == 0 ? 0 : static_cast<std::uint32_t>((word_sum - 1) % 0xFFFF + 1);
  return folded + static_cast<std::uint32_t>(file_size);
}

namespace {

constexpr std::uint32_t kPage = 4096;
constexpr std::uint32_t kCopyChunk = 1 << 20;
constexpr std::uint32_t kSectionRsrcCharacteristics = 0x40000040;  // initialised data, readable
constexpr std::uint32_t kScnInitializedData = 0x40;

std::int64_t AlignUp(std::int64_t v, std::int64_t a) { return (v + a - 1) / a * a; }

// The output file, summing every byte written through it into the PE checksum's word sum at its
// position in the file.
class SummingWriter {
 public:
  explicit SummingWriter(platform::File& out) : out_(out) {}
  void SeekTo(std::int64_t offset) {
    if (out_.Seek(offset, platform::SeekOrigin::kBegin) != offset) {
      throw EWriteError(u"Cannot seek in the output file");
    }
    pos_ = offset;
  }
  void Write(const void* data, std::uint32_t size, bool counted = true) {
    if (size == 0) return;
    if (!out_.Write(data, size)) throw EWriteError(u"Cannot write the output file");
    const auto* p = static_cast<const std::uint8_t*>(data);
    if (counted) {
      std::uint64_t sum = 0;
      std::uint32_t i = 0;
      if (pos_ & 1) sum += std::uint64_t{p[i++]} << 8;
      for (; i + 1 < size; i += 2) sum += p[i] | (std::uint32_t{p[i + 1]} << 8);
      if (i < size) sum += p[i];
      sum_ += sum;
    }
    pos_ += size;
  }
  void Zeros(std::int64_t count) {
    static const std::uint8_t zeros[kPage] = {};
    while (count > 0) {
      const auto n = static_cast<std::uint32_t>(std::min<std::int64_t>(count, kPage));
      Write(zeros, n);
      count -= n;
    }
  }
  std::int64_t pos() const { return pos_; }
  std::uint64_t sum() const { return sum_; }

 private:
  platform::File& out_;
  std::int64_t pos_ = 0;
  std::uint64_t sum_ = 0;
};

// What the streamed resource's callback sees: writes in sequence, nothing else.
class StreamSink : public platform::File {
 public:
  explicit StreamSink(SummingWriter& w) : w_(w) {}
  bool Read(void*, std::uint32_t, std::uint32_t*) override { return false; }
  bool Write(const void* buffer, std::uint32_t size) override {
    w_.Write(buffer, size);
    written_ += size;
    return true;
  }
  std::int64_t Seek(std::int64_t, platform::SeekOrigin) override { return -1; }
  std::int64_t Size() override { return -1; }
  std::int64_t written() const { return written_; }

 private:
  SummingWriter& w_;
  std::int64_t written_ = 0;
};

struct Leaf {
  const std::vector<std::uint8_t>* bytes = nullptr;  // null for the streamed resource
  std::uint32_t code_page = 0;
  std::uint32_t entry_offset = 0;  // of its data entry in the section
  std::uint32_t data_offset = 0;   // of its bytes in the section
};
using Languages = std::map<std::uint16_t, Leaf>;
using Names = std::map<ResourceId, Languages>;
using Types = std::map<ResourceId, Names>;

// The resource tree of the copy, with the bytes of the image's own resources it points into.
struct ResourceTree {
  std::vector<std::vector<std::uint8_t>> kept_bytes;
  Types types;
};

// Where the copy's sections go: the stub's sections that stay and the new resource section.
struct SectionPlan {
  std::vector<Section> kept;              // the first entries of the stub's section table
  std::uint32_t dropped_initialised = 0;  // raw size of a dropped initialised-data section
  Section rsrc;                           // its size is set once the section is written
};

// The resource section's directory (tables, names, data entries) followed by the data of every
// resource held in memory; the streamed resource's data entry is filled in once it is written.
struct Directory {
  std::vector<std::uint8_t> blob;
  Leaf* streamed_leaf = nullptr;
};

// What the resource section holds once written.
struct WrittenSection {
  std::int64_t size = 0;  // from its start to the end of its last byte
  std::int64_t end = 0;   // file offset after its padding: the end of the file
  std::int64_t image_end = 0;
  std::int64_t streamed_offset = 0;
  std::uint32_t streamed_size = 0;
};

void CopyRange(platform::File& from, std::int64_t offset, std::int64_t size, SummingWriter& to) {
  std::vector<std::uint8_t> buffer(
      static_cast<std::size_t>(std::min<std::int64_t>(size, kCopyChunk)));
  while (size > 0) {
    const auto n = static_cast<std::uint32_t>(std::min<std::int64_t>(size, kCopyChunk));
    ReadAt(from, offset, buffer.data(), n);
    to.Write(buffer.data(), n);
    offset += n;
    size -= n;
  }
}

// The image's own resources, then the new ones over them.
void CollectResources(platform::File& stub, const PeImage& image,
                      const std::vector<ResourceInput>& resources, const StreamedResource* streamed,
                      ResourceTree* tree) {
  tree->kept_bytes.reserve(image.resources().size());
  for (const ResourceEntry& e : image.resources()) {
    tree->kept_bytes.push_back(ReadResourceBytes(stub, e));
    tree->types[e.type][e.name][e.language] = Leaf{&tree->kept_bytes.back(), e.code_page};
  }
  for (const ResourceInput& r : resources)
    tree->types[r.type][r.name][r.language] = Leaf{&r.bytes, 0};
  if (streamed) tree->types[streamed->type][streamed->name][streamed->language] = Leaf{};
}

// Drops the old resource section when it is the last one, and places the new section after the
// sections that stay.
SectionPlan PlanSections(const PeImage& image) {
  const PeHeaders& h = image.headers();
  const std::vector<Section>& sections = image.sections();
  SectionPlan plan;
  plan.kept = sections;
  const int old = image.resource_section();
  if (old >= 0 && old == static_cast<int>(sections.size()) - 1) {
    const Section& s = sections[old];
    const bool last = std::all_of(sections.begin(), sections.end(), [&](const Section& o) {
      return o.virtual_address <= s.virtual_address && o.raw_offset <= s.raw_offset;
    });
    if (last) {
      if (s.characteristics & kScnInitializedData) plan.dropped_initialised = s.raw_size;
      plan.kept.pop_back();
    }
  }
  std::int64_t va_end = AlignUp(h.size_of_headers, h.section_alignment);
  std::int64_t raw_end = h.size_of_headers;
  std::int64_t first_raw = std::numeric_limits<std::int64_t>::max();
  for (const Section& s : plan.kept) {
    va_end = std::max<std::int64_t>(
        va_end, std::int64_t{s.virtual_address} + std::max(s.virtual_size, s.raw_size));
    if (s.raw_size > 0) {
      raw_end = std::max<std::int64_t>(raw_end, std::int64_t{s.raw_offset} + s.raw_size);
      first_raw = std::min<std::int64_t>(first_raw, s.raw_offset);
    }
  }
  const std::int64_t table_end = h.section_table_offset + 40 * std::int64_t(plan.kept.size() + 1);
  if (table_end > h.size_of_headers || table_end > first_raw) {
    throw EFormatError(u"The stub has no room for another section header");
  }
  Section& rsrc = plan.rsrc;
  rsrc.name = ".rsrc";
  rsrc.virtual_address = static_cast<std::uint32_t>(AlignUp(va_end, h.section_alignment));
  // The section starts on a page of the file as well, even in an image whose file alignment is
  // smaller: Wine maps a section from the file only when its file offset falls on a page as its
  // address does, and otherwise reads all of it, package included, into private memory.
  const std::int64_t rsrc_file_alignment = h.section_alignment >= kPage
                                               ? std::max<std::int64_t>(h.file_alignment, kPage)
                                               : h.file_alignment;
  rsrc.raw_offset = static_cast<std::uint32_t>(AlignUp(raw_end, rsrc_file_alignment));
  rsrc.characteristics = kSectionRsrcCharacteristics;
  return plan;
}

void FillDataEntry(std::vector<std::uint8_t>& blob, const Leaf& leaf, std::uint32_t section_rva,
                   std::uint32_t size) {
  std::uint8_t* e = blob.data() + leaf.entry_offset;
  platform::WriteLe32(e, section_rva + leaf.data_offset);
  platform::WriteLe32(e + 4, size);
  platform::WriteLe32(e + 8, leaf.code_page);
  platform::WriteLe32(e + 12, 0);
}

// Lays out the directory of tree for a section at section_rva: tables, names, data entries, then
// the data; records each leaf's entry and data offsets in the tree.
Directory BuildDirectory(Types& tree, std::uint32_t section_rva) {
  Directory dir;
  std::vector<std::uint8_t>& blob = dir.blob;
  std::uint32_t tables = 16 + 8 * static_cast<std::uint32_t>(tree.size());
  for (const auto& [type, names] : tree) {
    tables += 16 + 8 * static_cast<std::uint32_t>(names.size());
    for (const auto& [name, languages] : names)
      tables += 16 + 8 * static_cast<std::uint32_t>(languages.size());
  }
  blob.resize(tables);
  std::map<Text, std::uint32_t> name_offsets;
  auto name_field = [&](const ResourceId& id) -> std::uint32_t {
    if (!id.IsName()) return id.id;
    auto [it, added] = name_offsets.emplace(id.name, static_cast<std::uint32_t>(blob.size()));
    if (added) {
      platform::AppendLe16(blob, static_cast<std::uint32_t>(id.name.size()));
      for (char16_t c : id.name) platform::AppendLe16(blob, c);
    }
    return 0x80000000u | it->second;
  };
  auto count_named = [](const auto& map) {
    std::uint16_t n = 0;
    for (const auto& kv : map) {
      if constexpr (std::is_same_v<std::decay_t<decltype(kv.first)>, ResourceId>)
        n += kv.first.IsName();
    }
    return n;
  };
  auto put_table = [&](std::uint32_t at, std::uint16_t named, std::uint16_t total) {
    std::fill(blob.begin() + at, blob.begin() + at + 16, 0);
    platform::WriteLe16(blob.data() + at + 12, named);
    platform::WriteLe16(blob.data() + at + 14, total - named);
  };
  // Tables are laid out breadth first: the root, every type table, every name table.
  std::uint32_t next_table = 16 + 8 * static_cast<std::uint32_t>(tree.size());
  std::vector<std::pair<std::uint32_t, Names*>> type_tables;
  put_table(0, count_named(tree), static_cast<std::uint16_t>(tree.size()));
  std::uint32_t slot = 16;
  for (auto& [type, names] : tree) {
    platform::WriteLe32(blob.data() + slot, name_field(type));
    platform::WriteLe32(blob.data() + slot + 4, 0x80000000u | next_table);
    type_tables.emplace_back(next_table, &names);
    next_table += 16 + 8 * static_cast<std::uint32_t>(names.size());
    slot += 8;
  }
  std::vector<std::pair<std::uint32_t, Languages*>> name_tables;
  for (auto& [at, names] : type_tables) {
    put_table(at, count_named(*names), static_cast<std::uint16_t>(names->size()));
    std::uint32_t s = at + 16;
    for (auto& [name, languages] : *names) {
      platform::WriteLe32(blob.data() + s, name_field(name));
      platform::WriteLe32(blob.data() + s + 4, 0x80000000u | next_table);
      name_tables.emplace_back(next_table, &languages);
      next_table += 16 + 8 * static_cast<std::uint32_t>(languages.size());
      s += 8;
    }
  }
  blob.resize(AlignUp(static_cast<std::int64_t>(blob.size()), 4));
  for (auto& [at, languages] : name_tables) {
    put_table(at, 0, static_cast<std::uint16_t>(languages->size()));
    std::uint32_t s = at + 16;
    for (auto& [language, leaf] : *languages) {
      leaf.entry_offset = static_cast<std::uint32_t>(blob.size());
      blob.resize(blob.size() + 16);
      platform::WriteLe32(blob.data() + s, language);
      platform::WriteLe32(blob.data() + s + 4, leaf.entry_offset);
      s += 8;
    }
  }
  for (auto& [at, languages] : name_tables) {
    for (auto& [language, leaf] : *languages) {
      if (!leaf.bytes) {
        dir.streamed_leaf = &leaf;
        continue;
      }
      blob.resize(AlignUp(static_cast<std::int64_t>(blob.size()), 8));
      leaf.data_offset = static_cast<std::uint32_t>(blob.size());
      blob.insert(blob.end(), leaf.bytes->begin(), leaf.bytes->end());
    }
  }
  for (auto& [at, languages] : name_tables) {
    for (auto& [language, leaf] : *languages) {
      if (leaf.bytes)
        FillDataEntry(blob, leaf, section_rva, static_cast<std::uint32_t>(leaf.bytes->size()));
    }
  }
  return dir;
}

// Room for the headers (written last, once they are final), then the kept sections at their own
// offsets.
void WriteKeptSections(platform::File& stub, const PeHeaders& h, const std::vector<Section>& kept,
                       SummingWriter& w) {
  static const std::uint8_t zeros[kPage] = {};
  for (std::int64_t left = h.size_of_headers; left > 0; left -= kPage) {
    w.Write(zeros, static_cast<std::uint32_t>(std::min<std::int64_t>(left, kPage)), false);
  }
  std::vector<Section> by_offset = kept;
  std::sort(by_offset.begin(), by_offset.end(),
            [](const Section& a, const Section& b) { return a.raw_offset < b.raw_offset; });
  for (const Section& s : by_offset) {
    if (s.raw_size == 0) continue;
    w.Zeros(s.raw_offset - w.pos());
    CopyRange(stub, s.raw_offset, s.raw_size, w);
  }
}

// The new section: the streamed bytes first (after a hole for the directory, on a page of the
// file), then the directory and the resources in memory.
WrittenSection WriteResourceSection(const PeHeaders& h, const Section& rsrc, Directory& dir,
                                    const StreamedResource* streamed, SummingWriter& w) {
  WrittenSection written;
  w.Zeros(rsrc.raw_offset - w.pos());
  written.size = static_cast<std::int64_t>(dir.blob.size());
  if (streamed) {
    // The streamed bytes start on a page of the file, after a hole where the blob goes.
    const std::int64_t start = AlignUp(rsrc.raw_offset + written.size, kPage);
    dir.streamed_leaf->data_offset = static_cast<std::uint32_t>(start - rsrc.raw_offset);
    w.SeekTo(rsrc.raw_offset + written.size);
    w.Zeros(start - w.pos());
    StreamSink sink(w);
    streamed->write(sink);
    if (sink.written() > std::numeric_limits<std::int32_t>::max()) {
      throw EFormatError(u"The package is too large for a Windows program (over 2 GiB)");
    }
    FillDataEntry(dir.blob, *dir.streamed_leaf, rsrc.virtual_address,
                  static_cast<std::uint32_t>(sink.written()));
    written.streamed_offset = start;
    written.streamed_size = static_cast<std::uint32_t>(sink.written());
    written.size = start - rsrc.raw_offset + sink.written();
  }
  written.end = AlignUp(rsrc.raw_offset + written.size, h.file_alignment);
  w.Zeros(written.end - w.pos());
  written.image_end =
      AlignUp(std::int64_t{rsrc.virtual_address} + written.size, h.section_alignment);
  if (written.image_end > std::numeric_limits<std::int32_t>::max()) {
    throw EFormatError(u"The resources are too large for a Windows program (over 2 GiB)");
  }
  w.SeekTo(rsrc.raw_offset);
  w.Write(dir.blob.data(), static_cast<std::uint32_t>(dir.blob.size()));
  return written;
}

// The stub's headers with the new section's entry, the section count, the image size, the
// initialised data size and the resource and certificate directories set; the checksum zero.
std::vector<std::uint8_t> FixedHeaders(platform::File& stub, const PeImage& image,
                                       const SectionPlan& plan, const WrittenSection& written) {
  const PeHeaders& h = image.headers();
  std::vector<std::uint8_t> header(h.size_of_headers);
  ReadAt(stub, 0, header.data(), h.size_of_headers);
  // The kept sections are the first ones of the table, whose entries stay as they were; the new
  // one follows them, and a dropped entry is cleared.
  const std::size_t old_count = image.sections().size();
  const std::size_t new_index = plan.kept.size();
  const Section& rsrc = plan.rsrc;
  std::uint8_t* s = header.data() + h.section_table_offset + 40 * new_index;
  std::fill(s, s + 40 * (old_count > new_index ? old_count - new_index : 1), 0);
  std::copy(rsrc.name.begin(), rsrc.name.end(), s);
  platform::WriteLe32(s + 8, rsrc.virtual_size);
  platform::WriteLe32(s + 12, rsrc.virtual_address);
  platform::WriteLe32(s + 16, rsrc.raw_size);
  platform::WriteLe32(s + 20, rsrc.raw_offset);
  platform::WriteLe32(s + 36, rsrc.characteristics);
  platform::WriteLe16(header.data() + h.pe_offset + 6, static_cast<std::uint32_t>(new_index + 1));
  std::uint8_t* opt = header.data() + h.optional_offset;
  platform::WriteLe32(opt + kOptSizeOfImage, static_cast<std::uint32_t>(written.image_end));
  platform::WriteLe32(opt + kOptSizeOfInitializedData,
                      platform::ReadLe32(opt + kOptSizeOfInitializedData) -
                          plan.dropped_initialised + rsrc.raw_size);
  platform::WriteLe32(opt + kOptCheckSum, 0);
  auto put_directory = [&](int index, std::uint32_t rva, std::uint32_t size) {
    if (static_cast<std::uint32_t>(index) >= h.directory_count) return;
    platform::WriteLe32(header.data() + h.directories_offset + 8 * index, rva);
    platform::WriteLe32(header.data() + h.directories_offset + 8 * index + 4, size);
  };
  put_directory(kDirResource, rsrc.virtual_address, rsrc.virtual_size);
  put_directory(kDirSecurity, 0, 0);
  return header;
}

// The headers over their room at the start of the file, then the checksum of the whole file.
void WriteHeadersAndChecksum(const PeHeaders& h, const std::vector<std::uint8_t>& header,
                             std::int64_t file_size, SummingWriter& w) {
  w.SeekTo(0);
  w.Write(header.data(), static_cast<std::uint32_t>(header.size()));
  std::uint8_t field[4];
  platform::WriteLe32(field, PeChecksum(w.sum(), file_size));
  w.SeekTo(h.optional_offset + kOptCheckSum);
  w.Write(field, 4, false);
}

}  // namespace

// The headers are written last, once the sizes of the resource section are known; the blob of
// the directory goes after the streamed bytes for the same reason.
WrittenImage WriteImageWithResources(platform::File& stub, const PeImage& image,
                                     const std::vector<ResourceInput>& resources,
                                     const StreamedResource* streamed, platform::File& out) {
  ResourceTree tree;
  CollectResources(stub, image, resources, streamed, &tree);
  SectionPlan plan = PlanSections(image);
  Directory dir = BuildDirectory(tree.types, plan.rsrc.virtual_address);

  SummingWriter w(out);
  WriteKeptSections(stub, image.headers(), plan.kept, w);
  const WrittenSection written = WriteResourceSection(image.headers(), plan.rsrc, dir, streamed, w);
  plan.rsrc.virtual_size = static_cast<std::uint32_t>(written.size);
  plan.rsrc.raw_size = static_cast<std::uint32_t>(written.end - plan.rsrc.raw_offset);
  WriteHeadersAndChecksum(image.headers(), FixedHeaders(stub, image, plan, written), written.end,
                          w);

  WrittenImage result;
  result.streamed_offset = written.streamed_offset;
  result.streamed_size = written.streamed_size;
  result.file_size = written.end;
  return result;
}

std::vector<ResourceInput> StringTableResources(
    const std::vector<std::pair<std::uint32_t, Text>>& strings, std::uint16_t language) {
  std::map<std::uint32_t, std::map<std::uint32_t, Text>> blocks;
  for (const auto& [id, text] : strings) {
    if (!text.empty()) blocks[id / 16 + 1][id % 16] = text;
  }
  std::vector<ResourceInput> out;
  for (const auto& [block, texts] : blocks) {
    ResourceInput r;
    r.type = ResourceId::Id(kRtString);
    r.name = ResourceId::Id(static_cast<std::uint16_t>(block));
    r.language = language;
    for (std::uint32_t i = 0; i < 16; ++i) {
      auto it = texts.find(i);
      const Text& t = it == texts.end() ? Text() : it->second;
      platform::AppendLe16(r.bytes, static_cast<std::uint32_t>(t.size()));
      for (char16_t c : t) platform::AppendLe16(r.bytes, c);
    }
    out.push_back(std::move(r));
  }
  return out;
}

}  // namespace builder
