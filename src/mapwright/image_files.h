// Texture files on disk: loading by extension, saving with numbered backup copies.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "host/ui.h"
#include "mapwright/image.h"

namespace vorlan::mapwright {

// The text after the last '.' that follows the last folder separator ('\' or '/'); empty
// when there is none.
std::string FileExtension(const std::string& path);

// Reads a .bmp or .tga texture (extension compared without regard to ASCII case). JPEG files
// get "Not implemented yet."; other extensions and files that cannot be opened load nothing
// without a word. Damaged or oversized pictures are refused with a message.
std::optional<Image> LoadImageFile(const std::string& path, host::UserInterface& ui);

// Reads a .bmp or .tga file without asking anyone: nothing, with the reason in `error`, when
// the file cannot be read or is not a picture these readers take.
std::optional<Image> ReadImageFile(const std::string& path, std::string& error);
// The bytes of the image in the format its extension names (.bmp or .tga, any case);
// nothing for another extension.
std::optional<std::vector<uint8_t>> EncodeImageFile(const Image& image, const std::string& path);

struct BackupOptions {
  bool enabled = true;
  int count = 3;  // "Number of backups"
};

// Keeps at most `count` copies of `path` named "<path>_1" .. "<path>_<count>", the highest
// number the newest: the oldest is dropped when all are taken. No copy is made when the file
// does not exist or `count` is not positive. False when a copy could not be written.
bool MakeBackup(const std::string& path, int count);

// Writes the image to its file by its extension ("BMP" or "TGA", any case), after a backup
// copy when asked. The file is replaced only once the new one is complete, so a failed save
// leaves the old picture. On success the saved copy takes the current pixels. Messages go to
// `ui`; returns whether the file was written.
bool SaveImageFile(Image& image, const BackupOptions& backups, host::UserInterface& ui);

}  // namespace vorlan::mapwright
