// The contents of a drive that the simulated Windows keeps in memory: a tree of folders and files
// with a capacity. Paths arrive resolved into components (no ".", "..", empty or invalid names);
// names match without regard to ASCII case and keep the case they were created with.
//
// Every operation returns a Windows error code, 0 on success, with the same rules as a drive over
// a host folder: 2 for a missing entry in an existing folder, else 3; 5 for a folder where a file
// is expected and for the root; 32 for deleting an open file; 145 for removing a folder that is
// not empty; 183 for creating what exists; 267 for removing a file as a folder; 112 for a write
// beyond the drive's capacity.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "platform/os.h"

namespace platform::sim_detail {

struct Shared;

class MemoryVolume : public std::enable_shared_from_this<MemoryVolume> {
 public:
  explicit MemoryVolume(std::int64_t capacity) : capacity_(capacity) {}

  // A copy of the folders and files (contents copied, no file open) with another capacity; null
  // when the files alone need more than that.
  std::shared_ptr<MemoryVolume> Copy(std::int64_t capacity) const;

  std::int64_t Capacity() const { return capacity_; }
  std::int64_t FreeBytes() const { return capacity_ - used_; }

  std::uint32_t Attributes(const std::vector<Text>& parts, std::uint32_t* attributes) const;
  std::uint32_t CreateFolder(const std::vector<Text>& parts);
  std::uint32_t RemoveFolder(const std::vector<Text>& parts);
  std::uint32_t DeleteFile(const std::vector<Text>& parts);
  // The names of a folder's entries; 3 (or 2) when there is no such folder.
  std::uint32_t List(const std::vector<Text>& parts, std::vector<Text>* names);
  // The File objects report their own failures through shared's last error.
  std::uint32_t OpenForRead(const std::vector<Text>& parts, std::shared_ptr<Shared> shared,
                            std::unique_ptr<File>* file);
  std::uint32_t CreateForWrite(const std::vector<Text>& parts, std::shared_ptr<Shared> shared,
                               std::unique_ptr<File>* file);

 private:
  class MemoryFile;
  struct Content {
    Bytes bytes;
    int open = 0;  // File objects on it
  };
  // Orders names as their ASCII upper-case forms do, so that looking a name up in any letter
  // case makes no folded copy of it.
  struct FoldedLess {
    using is_transparent = void;
    bool operator()(TextView a, TextView b) const;
  };
  struct Node {
    Text name;
    std::shared_ptr<Content> content;                            // null for a folder
    std::map<Text, std::unique_ptr<Node>, FoldedLess> children;  // by name, any letter case
  };

  static void CopyChildren(const Node& from, Node* to);

  // The folder that holds the last component, or null when a component before it is missing or
  // is a file.
  const Node* Parent(const std::vector<Text>& parts) const;
  Node* Parent(const std::vector<Text>& parts);
  // The entry itself (the root for no components), or null.
  Node* Find(const std::vector<Text>& parts);
  std::uint32_t MissingCode(const std::vector<Text>& parts) const;
  // Changes the bytes in use by delta; false (nothing changed) when that exceeds the capacity.
  bool Charge(std::int64_t delta);

  std::int64_t capacity_;
  std::int64_t used_ = 0;
  Node root_;
};

}  // namespace platform::sim_detail
