#include "mapwright/image_files.h"

#include <cstdio>
#include <new>
#include <vector>

#include "mapwright/image_codecs.h"
#include "support/file_io.h"

namespace vorlan::mapwright {

namespace {

// Larger texture files are not read at all.
constexpr std::size_t kMaxImageFileBytes = std::size_t(1) << 30;

std::string AsciiCase(std::string s, bool upper) {
  for (char& c : s) {
    if (upper && c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
    if (!upper && c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
  }
  return s;
}

void Show(host::UserInterface& ui, std::string text, std::string caption, host::Icon icon) {
  ui.MessageBox({.text = std::move(text), .caption = std::move(caption), .icon = icon});
}

std::string BackupName(const std::string& path, int k) { return path + "_" + std::to_string(k); }

bool CopyFile(const std::string& from, const std::string& to) {
  std::vector<uint8_t> bytes;
  return support::ReadWholeFile(from, bytes, kMaxImageFileBytes) && support::WriteFileAtomic(to, bytes);
}

struct Codec {
  const char* extension;  // lower case
  DecodeResult (*decode)(std::span<const uint8_t>, std::size_t);
  std::vector<uint8_t> (*encode)(const Image&);
  const char* damaged;
  const char* cannotOpen;
  const char* noMemory;
};

constexpr Codec kCodecs[] = {
    {"bmp", DecodeBmp, EncodeBmp, "Can't read .bmp file !", "Can't open .bmp file !",
     "Can't alloc memory for .bmp file!"},
    {"tga", DecodeTga, EncodeTga, "Can't read .tga file !", "Can't open .tga file !",
     "Can't alloc memory for .tga file!"},
};

const Codec* CodecFor(const std::string& path) {
  std::string ext = AsciiCase(FileExtension(path), false);
  for (const Codec& c : kCodecs)
    if (ext == c.extension) return &c;
  return nullptr;
}

}  // namespace

std::string FileExtension(const std::string& path) {
  std::size_t slash = path.find_last_of("\\/");
  std::size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
  return path.substr(dot + 1);
}

std::optional<Image> LoadImageFile(const std::string& path, host::UserInterface& ui) {
  std::string ext = AsciiCase(FileExtension(path), false);
  if (ext == "jpg" || ext == "jepg") {
    Show(ui, "Not implemented yet.", "Information", host::Icon::Information);
    return std::nullopt;
  }
  const Codec* codec = CodecFor(path);
  if (!codec) return std::nullopt;
  std::vector<uint8_t> bytes;
  if (!support::ReadWholeFile(support::NativePath(path), bytes, kMaxImageFileBytes)) return std::nullopt;
  DecodeResult r = codec->decode(bytes, kMaxImageBytes);
  switch (r.status) {
    case DecodeStatus::Ok:
      break;
    case DecodeStatus::NotLoaded:
      return std::nullopt;
    case DecodeStatus::Unsupported:
      Show(ui, "Unsupported Format", "Error", host::Icon::Error);
      return std::nullopt;
    case DecodeStatus::Damaged:
      Show(ui, codec->damaged, "Error", host::Icon::Error);
      return std::nullopt;
  }
  r.image->fileName = path;
  r.image->savedCopy = r.image->pixels;
  return std::move(r.image);
}

std::optional<Image> ReadImageFile(const std::string& path, std::string& error) {
  const Codec* codec = CodecFor(path);
  if (!codec) return error = "\"" + path + "\": not a .bmp or .tga file", std::nullopt;
  std::vector<uint8_t> bytes;
  if (auto r = support::ReadWholeFile(support::NativePath(path), bytes, kMaxImageFileBytes); !r)
    return error = r.error, std::nullopt;
  DecodeResult d = codec->decode(bytes, kMaxImageBytes);
  switch (d.status) {
    case DecodeStatus::Ok:
      d.image->fileName = path;
      d.image->savedCopy = d.image->pixels;
      return std::move(d.image);
    case DecodeStatus::NotLoaded:
      error = "\"" + path + "\": not an uncompressed 24-bit bitmap";
      break;
    case DecodeStatus::Unsupported:
      error = "\"" + path + "\": Unsupported Format";
      break;
    case DecodeStatus::Damaged:
      error = "\"" + path + "\": " + codec->damaged;
      break;
  }
  return std::nullopt;
}

std::optional<std::vector<uint8_t>> EncodeImageFile(const Image& image, const std::string& path) {
  const Codec* codec = CodecFor(path);
  if (!codec) return std::nullopt;
  return codec->encode(image);
}

bool MakeBackup(const std::string& path, int count) {
  std::string f = support::NativePath(path);
  if (count <= 0 || !support::FileExists(f)) return true;
  int k = count;
  while (k > 0 && !support::FileExists(BackupName(f, k))) --k;
  if (k == count) {
    for (int i = 2; i <= count; ++i) {
      std::string from = BackupName(f, i);
      if (support::FileExists(from)) std::rename(from.c_str(), BackupName(f, i - 1).c_str());
    }
    k = count - 1;
  }
  return CopyFile(f, BackupName(f, k + 1));
}

bool SaveImageFile(Image& image, const BackupOptions& backups, host::UserInterface& ui) {
  std::string ext = AsciiCase(FileExtension(image.fileName), true);
  const Codec* codec = CodecFor(image.fileName);
  if (!codec || (ext != "BMP" && ext != "TGA")) return false;
  // A picture whose buffers do not match its size would write a broken file over a good one.
  if (image.width <= 0 || image.height <= 0 || image.pixels.size() < image.size ||
      image.size != ImageStride(std::size_t(image.width)) * std::size_t(image.height) ||
      (image.HasAlpha() && image.alpha.size() < image.size) ||
      (ext == "TGA" && (image.width > 0xFFFF || image.height > 0xFFFF))) {
    Show(ui, codec->cannotOpen, "Error", host::Icon::Error);
    return false;
  }
  if (backups.enabled) MakeBackup(image.fileName, backups.count);
  std::vector<uint8_t> bytes;
  try {
    bytes = codec->encode(image);
  } catch (const std::bad_alloc&) {
    Show(ui, codec->noMemory, "Error", host::Icon::Error);
    return false;
  }
  if (!support::WriteFileAtomic(support::NativePath(image.fileName), bytes)) {
    Show(ui, codec->cannotOpen, "Error", host::Icon::Error);
    return false;
  }
  if (image.savedCopy.size() == image.pixels.size()) image.savedCopy = image.pixels;
  return true;
}

}  // namespace vorlan::mapwright
