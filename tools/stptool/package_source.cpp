#include "tools/stptool/package_source.h"

#include "params/resource_names.h"
#include "platform/errors.h"
#include "platform/host.h"
#include "platform/text.h"

namespace stptool {

bool IsProgram(platform::File& file) {
  char magic[2] = {};
  std::uint32_t got = 0;
  const bool program = file.Seek(0, platform::SeekOrigin::kBegin) == 0 &&
                       file.Read(magic, 2, &got) && got == 2 && magic[0] == 'M' && magic[1] == 'Z';
  file.Seek(0, platform::SeekOrigin::kBegin);
  return program;
}

PackageSource::PackageSource(const std::string& host_path) {
  const platform::Text shown = platform::Utf8ToText(host_path);
  file_ = platform::CurrentOs().OpenFileForRead(platform::HostPathToOsPath(host_path));
  if (!file_) throw platform::EReadError(u"Cannot open " + shown);
  if (!IsProgram(*file_)) return;
  try {
    image_.emplace(*file_);
  } catch (const platform::Exception& e) {
    throw platform::EFormatError(shown + u": " + e.Message());
  }
  const builder::ResourceEntry* entry =
      image_->Find(builder::ResourceId::Name(params::kPackageType),
                   builder::ResourceId::Name(params::kPackageName));
  if (!entry) {
    throw platform::EFormatError(shown +
                                 u" is a program without a setup package (no StpFile resource "
                                 u"SETUPPACKAGE)");
  }
  range_ = std::make_unique<package::FileRange>(*file_, entry->file_offset, entry->size);
}

}  // namespace stptool
