#include "platform/sim/sim_memory_drive.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "platform/sim/sim_internal.h"

namespace platform::sim_detail {

// Keeps the volume alive, so a file may outlive the drive being unmapped, as an open handle does.
class MemoryVolume::MemoryFile : public File {
 public:
  MemoryFile(std::shared_ptr<MemoryVolume> volume, std::shared_ptr<Content> content,
             std::shared_ptr<Shared> shared, bool writable)
      : volume_(std::move(volume)),
        content_(std::move(content)),
        shared_(std::move(shared)),
        writable_(writable) {
    ++content_->open;
  }
  ~MemoryFile() override { --content_->open; }
  MemoryFile(const MemoryFile&) = delete;
  MemoryFile& operator=(const MemoryFile&) = delete;

  bool Read(void* buffer, std::uint32_t size, std::uint32_t* read) override {
    const Bytes& bytes = content_->bytes;
    const std::int64_t available =
        std::max<std::int64_t>(0, static_cast<std::int64_t>(bytes.size()) - position_);
    *read = static_cast<std::uint32_t>(std::min<std::int64_t>(size, available));
    if (*read != 0) std::memcpy(buffer, bytes.data() + position_, *read);
    position_ += *read;
    return true;
  }

  bool Write(const void* buffer, std::uint32_t size) override {
    if (!writable_) return Fail(kErrorAccessDenied);
    Bytes& bytes = content_->bytes;
    const std::int64_t end = position_ + size;
    const std::int64_t old_size = static_cast<std::int64_t>(bytes.size());
    if (end > old_size) {
      // A write past the end fills the gap with zeros, as a file system does.
      if (!volume_->Charge(end - old_size)) return Fail(kErrorDiskFull);
      bytes.resize(static_cast<size_t>(end));
    }
    if (size != 0) std::memcpy(bytes.data() + position_, buffer, size);
    position_ = end;
    return true;
  }

  std::int64_t Seek(std::int64_t offset, SeekOrigin origin) override {
    std::int64_t base = 0;
    if (origin == SeekOrigin::kCurrent) base = position_;
    if (origin == SeekOrigin::kEnd) base = Size();
    if (offset < 0 && base + offset < 0) {
      Fail(kErrorNegativeSeek);
      return -1;
    }
    position_ = base + offset;
    return position_;
  }

  std::int64_t Size() override { return static_cast<std::int64_t>(content_->bytes.size()); }

 private:
  bool Fail(std::uint32_t code) {
    shared_->last_error = code;
    return false;
  }

  std::shared_ptr<MemoryVolume> volume_;
  std::shared_ptr<Content> content_;
  std::shared_ptr<Shared> shared_;
  bool writable_;
  std::int64_t position_ = 0;
};

bool MemoryVolume::FoldedLess::operator()(TextView a, TextView b) const {
  const size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    const char16_t x = AsciiUpper(a[i]);
    const char16_t y = AsciiUpper(b[i]);
    if (x != y) return x < y;
  }
  return a.size() < b.size();
}

std::shared_ptr<MemoryVolume> MemoryVolume::Copy(std::int64_t capacity) const {
  if (used_ > capacity) return nullptr;
  auto copy = std::make_shared<MemoryVolume>(capacity);
  copy->used_ = used_;
  CopyChildren(root_, &copy->root_);
  return copy;
}

void MemoryVolume::CopyChildren(const Node& from, Node* to) {
  for (const auto& [key, child] : from.children) {
    auto node = std::make_unique<Node>();
    node->name = child->name;
    if (child->content) {
      node->content = std::make_shared<Content>();
      node->content->bytes = child->content->bytes;
    }
    CopyChildren(*child, node.get());
    to->children.emplace_hint(to->children.end(), key, std::move(node));
  }
}

const MemoryVolume::Node* MemoryVolume::Parent(const std::vector<Text>& parts) const {
  const Node* node = &root_;
  for (size_t i = 0; i + 1 < parts.size(); ++i) {
    auto it = node->children.find(parts[i]);
    if (it == node->children.end() || it->second->content) return nullptr;
    node = it->second.get();
  }
  return node;
}

MemoryVolume::Node* MemoryVolume::Parent(const std::vector<Text>& parts) {
  return const_cast<Node*>(std::as_const(*this).Parent(parts));
}

MemoryVolume::Node* MemoryVolume::Find(const std::vector<Text>& parts) {
  if (parts.empty()) return &root_;
  Node* parent = Parent(parts);
  if (parent == nullptr) return nullptr;
  auto it = parent->children.find(parts.back());
  return it == parent->children.end() ? nullptr : it->second.get();
}

std::uint32_t MemoryVolume::MissingCode(const std::vector<Text>& parts) const {
  return Parent(parts) != nullptr ? kErrorFileNotFound : kErrorPathNotFound;
}

bool MemoryVolume::Charge(std::int64_t delta) {
  if (delta > 0 && delta > capacity_ - used_) return false;
  used_ += delta;
  return true;
}

std::uint32_t MemoryVolume::Attributes(const std::vector<Text>& parts,
                                       std::uint32_t* attributes) const {
  const Node* node = &root_;
  if (!parts.empty()) {
    const Node* parent = Parent(parts);
    if (parent == nullptr) return kErrorPathNotFound;
    auto it = parent->children.find(parts.back());
    if (it == parent->children.end()) return kErrorFileNotFound;
    node = it->second.get();
  }
  *attributes = node->content ? kFileAttributeArchive : kFileAttributeDirectory;
  return kErrorSuccess;
}

std::uint32_t MemoryVolume::CreateFolder(const std::vector<Text>& parts) {
  if (parts.empty() || Find(parts) != nullptr) return kErrorAlreadyExists;
  Node* parent = Parent(parts);
  if (parent == nullptr) return kErrorPathNotFound;
  auto folder = std::make_unique<Node>();
  folder->name = parts.back();
  parent->children.emplace(parts.back(), std::move(folder));
  return kErrorSuccess;
}

std::uint32_t MemoryVolume::RemoveFolder(const std::vector<Text>& parts) {
  Node* node = Find(parts);
  if (node == nullptr) return MissingCode(parts);
  if (node->content) return kErrorDirectory;
  if (parts.empty()) return kErrorAccessDenied;
  if (!node->children.empty()) return kErrorDirNotEmpty;
  Parent(parts)->children.erase(parts.back());
  return kErrorSuccess;
}

std::uint32_t MemoryVolume::List(const std::vector<Text>& parts, std::vector<Text>* names) {
  const Node* node = Find(parts);
  if (node == nullptr) return kErrorPathNotFound;
  if (node->content) return kErrorDirectory;
  for (const auto& [key, child] : node->children) names->push_back(child->name);
  return kErrorSuccess;
}

std::uint32_t MemoryVolume::DeleteFile(const std::vector<Text>& parts) {
  Node* node = Find(parts);
  if (node == nullptr) return MissingCode(parts);
  if (!node->content) return kErrorAccessDenied;
  // Windows refuses to delete a file that is still open (opened without delete sharing).
  if (node->content->open != 0) return kErrorSharingViolation;
  Charge(-static_cast<std::int64_t>(node->content->bytes.size()));
  Parent(parts)->children.erase(parts.back());
  return kErrorSuccess;
}

std::uint32_t MemoryVolume::OpenForRead(const std::vector<Text>& parts,
                                        std::shared_ptr<Shared> shared,
                                        std::unique_ptr<File>* file) {
  Node* node = Find(parts);
  if (node == nullptr) return MissingCode(parts);
  if (!node->content) return kErrorAccessDenied;
  *file = std::make_unique<MemoryFile>(shared_from_this(), node->content, std::move(shared), false);
  return kErrorSuccess;
}

std::uint32_t MemoryVolume::CreateForWrite(const std::vector<Text>& parts,
                                           std::shared_ptr<Shared> shared,
                                           std::unique_ptr<File>* file) {
  Node* node = Find(parts);
  if (node != nullptr && !node->content) return kErrorAccessDenied;  // a folder or the root
  if (node == nullptr) {
    Node* parent = Parent(parts);
    if (parent == nullptr) return kErrorPathNotFound;
    auto entry = std::make_unique<Node>();
    entry->name = parts.back();
    entry->content = std::make_shared<Content>();
    node = parent->children.emplace(parts.back(), std::move(entry)).first->second.get();
  } else {
    // An existing file is emptied, also under handles still open on it.
    Charge(-static_cast<std::int64_t>(node->content->bytes.size()));
    node->content->bytes.clear();
  }
  *file = std::make_unique<MemoryFile>(shared_from_this(), node->content, std::move(shared), true);
  return kErrorSuccess;
}

}  // namespace platform::sim_detail
