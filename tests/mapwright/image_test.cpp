#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "mapwright/image_codecs.h"
#include "mapwright/image_files.h"
#include "support/file_io.h"
#include "workbench/user_interface.h"

namespace mw = vorlan::mapwright;
namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

namespace {

Bytes TgaHeader(uint8_t type, uint16_t w, uint16_t h, uint8_t bits, uint8_t descriptor,
                uint16_t mapLength = 0, uint8_t mapBits = 0) {
  return {0,
          uint8_t(mapLength ? 1 : 0),
          type,
          0,
          0,
          uint8_t(mapLength),
          uint8_t(mapLength >> 8),
          mapBits,
          0,
          0,
          0,
          0,
          uint8_t(w),
          uint8_t(w >> 8),
          uint8_t(h),
          uint8_t(h >> 8),
          bits,
          descriptor};
}

Bytes Cat(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

mw::Image Decoded(const mw::DecodeResult& r) {
  EXPECT_EQ(r.status, mw::DecodeStatus::Ok);
  return r.image ? *r.image : mw::Image{};
}

mw::Image RandomImage(int w, int h, bool alpha, unsigned seed) {
  std::mt19937 rng(seed);
  mw::Image img = *mw::NewImage(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) img.SetPixel(x, y, rng() & 0xFFFFFF);
  if (alpha) {
    img.alpha.assign(img.size, 0xFF);
    for (int row = 0; row < h; ++row)
      for (int x = 0; x < w; ++x)
        std::fill_n(img.alpha.begin() + std::ptrdiff_t(img.Offset(x, row)), 3, uint8_t(rng()));
  }
  return img;
}

struct TempDir {
  fs::path path;
  TempDir() {
    path = fs::temp_directory_path() /
           ("mapwright_image_" + std::to_string(::getpid()) + "_" + std::to_string(rand()));
    fs::create_directories(path);
  }
  ~TempDir() { fs::remove_all(path); }
  std::string operator/(const std::string& name) const { return (path / name).string(); }
};

void WriteFile(const std::string& path, const Bytes& b) {
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
}
Bytes ReadFile(const std::string& path) {
  Bytes b;
  vorlan::support::ReadWholeFile(path, b);
  return b;
}

}  // namespace

TEST(Image, NewImageIsWhiteWithPaddedRowsAndRefusesAbsurdSizes) {
  mw::Image img = *mw::NewImage(3, 2);
  EXPECT_EQ(img.stride, 12u);
  EXPECT_EQ(img.size, 24u);
  EXPECT_EQ(img.pixels, Bytes(24, 0xFF));
  EXPECT_EQ(mw::ImageStride(4), 12u);
  EXPECT_FALSE(mw::NewImage(0, 5));
  EXPECT_FALSE(mw::NewImage(5, -1));
  EXPECT_FALSE(mw::NewImage(65535, 65535));
}

TEST(BmpCodec, WritesTheHeaderAndPaddedRowsByteForByte) {
  mw::Image img = *mw::NewImage(3, 2);
  for (std::size_t i = 0; i < img.size; ++i) img.pixels[i] = uint8_t(i);
  Bytes expected = {'B', 'M', 78, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0,  // file header
                    40,  0,   0,  0, 3, 0, 0, 0, 2, 0, 0,  0, 1, 0, 24, 0, 0, 0, 0, 0,
                    24,  0,   0,  0, 0, 0, 0, 0, 0, 0, 0,  0, 0, 0, 0,  0, 0, 0, 0, 0};
  for (uint8_t i = 0; i < 24; ++i) expected.push_back(i);
  EXPECT_EQ(mw::EncodeBmp(img), expected);
  mw::Image back = Decoded(mw::DecodeBmp(expected));
  EXPECT_EQ(back.pixels, img.pixels);
}

TEST(BmpCodec, RefusesForeignFilesSilentlyAndDamagedOnesLoudly) {
  Bytes good = mw::EncodeBmp(*mw::NewImage(2, 2));
  Bytes notBm = good;
  notBm[0] = 'X';
  EXPECT_EQ(mw::DecodeBmp(notBm).status, mw::DecodeStatus::NotLoaded);
  Bytes bits32 = good;
  bits32[28] = 32;
  EXPECT_EQ(mw::DecodeBmp(bits32).status, mw::DecodeStatus::NotLoaded);
  Bytes compressed = good;
  compressed[30] = 1;
  EXPECT_EQ(mw::DecodeBmp(compressed).status, mw::DecodeStatus::NotLoaded);

  EXPECT_EQ(mw::DecodeBmp(Bytes(good.begin(), good.end() - 1)).status, mw::DecodeStatus::Damaged);
  EXPECT_EQ(mw::DecodeBmp(Bytes(good.begin(), good.begin() + 30)).status, mw::DecodeStatus::Damaged);
  EXPECT_EQ(mw::DecodeBmp(Bytes{'B'}).status, mw::DecodeStatus::Damaged);
  Bytes huge = good;
  huge[18] = huge[19] = huge[20] = 0xFF;  // width 16 million, height 2
  huge[21] = 0;
  EXPECT_EQ(mw::DecodeBmp(huge).status, mw::DecodeStatus::Damaged);
  Bytes minHeight = good;
  minHeight[22] = minHeight[23] = minHeight[24] = 0, minHeight[25] = 0x80;
  EXPECT_EQ(mw::DecodeBmp(minHeight).status, mw::DecodeStatus::Damaged);
}

TEST(BmpCodec, HonoursTheDataOffsetAndTopDownRows) {
  mw::Image img = RandomImage(2, 3, false, 7);
  Bytes file = mw::EncodeBmp(img);
  // Three bytes of padding after the header, announced by the data offset.
  Bytes shifted(file.begin(), file.begin() + 54);
  shifted[10] = 57;
  shifted.insert(shifted.end(), {9, 9, 9});
  shifted.insert(shifted.end(), file.begin() + 54, file.end());
  EXPECT_EQ(Decoded(mw::DecodeBmp(shifted)).pixels, img.pixels);

  mw::Image flipped = img;
  flipped.FlipRows();
  Bytes topDown = mw::EncodeBmp(flipped);
  topDown[22] = uint8_t(-3), topDown[23] = topDown[24] = topDown[25] = 0xFF;
  EXPECT_EQ(Decoded(mw::DecodeBmp(topDown)).pixels, img.pixels);
}

TEST(TgaCodec, WritesThirtyTwoBitPixelsWithoutRowPadding) {
  mw::Image img = *mw::NewImage(3, 1);
  img.SetPixel(0, 0, 0x00332211);  // red 0x11, green 0x22, blue 0x33
  img.SetPixel(1, 0, 0x00000000);
  img.alpha.assign(img.size, 0);
  std::fill_n(img.alpha.begin() + 3, 3, uint8_t(0x80));
  Bytes expected = {0, 0,  2, 0,    0,    0,    0,    0, 0, 0, 0,    0,    3,    0,    1,
                    0, 32, 8, 0x33, 0x22, 0x11, 0x00, 0, 0, 0, 0x80, 0xFF, 0xFF, 0xFF, 0x00};
  EXPECT_EQ(mw::EncodeTga(img), expected);
  img.alpha.clear();
  expected[21] = expected[25] = expected[29] = 0xFF;  // opaque without an alpha plane
  EXPECT_EQ(mw::EncodeTga(img), expected);
}

TEST(TgaCodec, EveryPixelAndAlphaSurvivesBothFormats) {
  for (int w : {1, 3, 4, 5})
    for (int h : {1, 2, 7}) {
      mw::Image img = RandomImage(w, h, true, unsigned(w * 31 + h));
      mw::Image tga = Decoded(mw::DecodeTga(mw::EncodeTga(img)));
      EXPECT_EQ(tga.pixels, img.pixels) << w << "x" << h;
      EXPECT_EQ(tga.alpha, img.alpha) << w << "x" << h;
      // Bitmaps carry the row padding too, whatever it holds.
      img.pixels[img.stride - 1] = 0x5A;
      EXPECT_EQ(Decoded(mw::DecodeBmp(mw::EncodeBmp(img))).pixels, img.pixels) << w << "x" << h;
    }
}

TEST(TgaCodec, ReadsBothOriginsAndTheAlphaBits) {
  // 1 x 2, 32 bits: stored rows top first (descriptor 0x28).
  Bytes file = Cat(TgaHeader(2, 1, 2, 32, 0x28), {1, 2, 3, 40, 4, 5, 6, 50});
  mw::Image top = Decoded(mw::DecodeTga(file));
  EXPECT_EQ(top.PixelAt(0, 0), 0x010203u);  // the first stored row is the top of the picture
  EXPECT_EQ(top.PixelAt(0, 1), 0x040506u);
  ASSERT_TRUE(top.HasAlpha());
  EXPECT_EQ(top.alpha[top.Offset(0, 1)], 40);  // memory row 1 is the top
  EXPECT_EQ(top.alpha[top.Offset(0, 0) + 2], 50);

  file[17] = 0x00;  // bottom-left, no alpha bits
  mw::Image bottom = Decoded(mw::DecodeTga(file));
  EXPECT_EQ(bottom.PixelAt(0, 1), 0x010203u);
  EXPECT_FALSE(bottom.HasAlpha());
}

TEST(TgaCodec, DecodesSixteenBitGreyMappedAndRunLengthPixels) {
  mw::Image c16 = Decoded(mw::DecodeTga(Cat(TgaHeader(2, 2, 1, 16, 0), {0xFF, 0x7F, 0x00, 0x7C})));
  EXPECT_EQ(c16.pixels[0], 0xF8);
  EXPECT_EQ(c16.pixels[1], 0xF8);
  EXPECT_EQ(c16.pixels[2], 0xF8);
  EXPECT_EQ(c16.PixelAt(1, 0), 0x0000F8u);  // 0x7C00 is pure red

  mw::Image grey = Decoded(mw::DecodeTga(Cat(TgaHeader(3, 2, 1, 8, 0), {0x10, 0x20})));
  EXPECT_EQ(grey.PixelAt(1, 0), 0x202020u);

  // A two-entry map of 24-bit colours, with an identification field in front of it.
  Bytes mapped = TgaHeader(1, 3, 1, 8, 0, 2, 24);
  mapped[0] = 2;
  mapped = Cat(mapped, {'i', 'd', 1, 2, 3, 4, 5, 6, 1, 0, 1});
  mw::Image m = Decoded(mw::DecodeTga(mapped));
  EXPECT_EQ(m.PixelAt(0, 0), 0x040506u);
  EXPECT_EQ(m.PixelAt(1, 0), 0x010203u);

  // Run-length true colour: a run of three, then two raw pixels.
  Bytes rle = Cat(TgaHeader(10, 5, 1, 24, 0), {0x82, 9, 8, 7, 0x01, 1, 1, 1, 2, 2, 2});
  mw::Image r = Decoded(mw::DecodeTga(rle));
  for (int x = 0; x < 3; ++x) EXPECT_EQ(r.PixelAt(x, 0), 0x090807u);
  EXPECT_EQ(r.PixelAt(4, 0), 0x020202u);

  // A run-length stream longer than the plain pixels it encodes still decodes whole.
  Bytes grey11 = TgaHeader(11, 4, 1, 8, 0);
  for (uint8_t v : {1, 2, 3, 4}) grey11 = Cat(grey11, {0x00, v});
  EXPECT_EQ(Decoded(mw::DecodeTga(grey11)).PixelAt(3, 0), 0x040404u);
}

TEST(TgaCodec, RefusesUnhandledTypesAndShortHeadersAndLeavesTruncatedPixelsWhite) {
  EXPECT_EQ(mw::DecodeTga(Cat(TgaHeader(10, 1, 1, 16, 0), {0, 0, 0})).status, mw::DecodeStatus::Unsupported);
  EXPECT_EQ(mw::DecodeTga(Cat(TgaHeader(1, 1, 1, 8, 0), {0})).status, mw::DecodeStatus::Unsupported);
  EXPECT_EQ(mw::DecodeTga(Cat(TgaHeader(32, 1, 1, 24, 0), {0, 0, 0})).status, mw::DecodeStatus::Unsupported);
  EXPECT_EQ(mw::DecodeTga(Bytes(17, 0)).status, mw::DecodeStatus::Damaged);
  EXPECT_EQ(mw::DecodeTga(TgaHeader(2, 0, 4, 24, 0)).status, mw::DecodeStatus::Damaged);
  EXPECT_EQ(mw::DecodeTga(TgaHeader(10, 65535, 65535, 24, 0)).status, mw::DecodeStatus::Damaged);
  Bytes shortMap = TgaHeader(1, 1, 1, 8, 0, 4, 24);
  EXPECT_EQ(mw::DecodeTga(Cat(shortMap, {1, 2, 3})).status, mw::DecodeStatus::Damaged);

  mw::Image cut = Decoded(mw::DecodeTga(Cat(TgaHeader(2, 2, 2, 24, 0x20), {1, 2, 3, 4})));
  EXPECT_EQ(cut.PixelAt(0, 0), 0x010203u);  // top-left origin: the first pixel is the top row
  EXPECT_EQ(cut.PixelAt(1, 0), 0xFFFFFFu);
  EXPECT_EQ(cut.PixelAt(0, 1), 0xFFFFFFu);
}

TEST(ImageFiles, ChoosesTheReaderByExtensionWhateverItsCase) {
  TempDir dir;
  mw::Image img = RandomImage(4, 3, false, 3);
  WriteFile(dir / "wall.TGA", mw::EncodeTga(img));
  WriteFile(dir / "wall.tga", mw::EncodeTga(img));
  WriteFile(dir / "a.b.Bmp", mw::EncodeBmp(img));
  vorlan::workbench::ScriptedUI ui;
  for (std::string name : {"wall.TGA", "wall.tga", "a.b.Bmp"}) {
    auto loaded = mw::LoadImageFile(dir / name, ui);
    ASSERT_TRUE(loaded) << name;
    EXPECT_EQ(loaded->pixels, img.pixels);
    EXPECT_EQ(loaded->savedCopy, img.pixels);
    EXPECT_EQ(loaded->fileName, dir / name);
  }
  EXPECT_EQ(mw::FileExtension("C:\\maps.v2\\wall"), "");
  EXPECT_EQ(mw::FileExtension("C:\\maps\\wall.x.tga"), "tga");
  EXPECT_TRUE(ui.messages.empty());

  EXPECT_FALSE(mw::LoadImageFile(dir / "photo.JPG", ui));
  EXPECT_FALSE(mw::LoadImageFile(dir / "photo.jepg", ui));
  EXPECT_FALSE(mw::LoadImageFile(dir / "photo.png", ui));
  EXPECT_FALSE(mw::LoadImageFile(dir / "missing.bmp", ui));
  ASSERT_EQ(ui.messages.size(), 2u);
  EXPECT_EQ(ui.messages[0].text, "Not implemented yet.");
  EXPECT_EQ(ui.messages[0].caption, "Information");

  WriteFile(dir / "bad.tga", TgaHeader(7, 1, 1, 24, 0));
  WriteFile(dir / "cut.bmp", Bytes{'B', 'M', 0, 0});
  EXPECT_FALSE(mw::LoadImageFile(dir / "bad.tga", ui));
  EXPECT_FALSE(mw::LoadImageFile(dir / "cut.bmp", ui));
  ASSERT_EQ(ui.messages.size(), 4u);
  EXPECT_EQ(ui.messages[2].text, "Unsupported Format");
  EXPECT_EQ(ui.messages[2].caption, "Error");
  EXPECT_EQ(ui.messages[3].text, "Can't read .bmp file !");
}

TEST(ImageFiles, BackupsKeepTheNewestUnderTheHighestNumber) {
  TempDir dir;
  std::string f = dir / "wall.bmp";
  WriteFile(f, {'0'});
  EXPECT_TRUE(mw::MakeBackup(f, 3));
  EXPECT_EQ(ReadFile(f + "_1"), Bytes{'0'});
  WriteFile(f, {'1'});
  mw::MakeBackup(f, 3);
  WriteFile(f, {'2'});
  mw::MakeBackup(f, 3);
  EXPECT_EQ(ReadFile(f + "_3"), Bytes{'2'});
  // All three taken: the oldest goes, the others move down one.
  WriteFile(f, {'3'});
  mw::MakeBackup(f, 3);
  EXPECT_EQ(ReadFile(f + "_1"), Bytes{'1'});
  EXPECT_EQ(ReadFile(f + "_2"), Bytes{'2'});
  EXPECT_EQ(ReadFile(f + "_3"), Bytes{'3'});
  EXPECT_FALSE(fs::exists(f + "_4"));
  // No number of backups, no copy.
  mw::MakeBackup(f, 0);
  EXPECT_FALSE(fs::exists(f + "_0"));
}

TEST(ImageFiles, SavingWritesByExtensionAfterABackupAndNeverBreaksTheOldFile) {
  TempDir dir;
  vorlan::workbench::ScriptedUI ui;
  mw::Image img = RandomImage(3, 2, false, 11);
  img.fileName = dir / "wall.Tga";
  WriteFile(img.fileName, {'o', 'l', 'd'});
  img.savedCopy = Bytes(img.size, 0);
  ASSERT_TRUE(mw::SaveImageFile(img, {true, 3}, ui));
  EXPECT_EQ(ReadFile(img.fileName), mw::EncodeTga(img));
  EXPECT_EQ(ReadFile(img.fileName + "_1"), (Bytes{'o', 'l', 'd'}));
  EXPECT_EQ(img.savedCopy, img.pixels);

  img.fileName = dir / "wall.bmp";
  ASSERT_TRUE(mw::SaveImageFile(img, {false, 3}, ui));
  EXPECT_EQ(ReadFile(img.fileName), mw::EncodeBmp(img));
  EXPECT_FALSE(fs::exists(img.fileName + "_1"));

  // A picture whose buffers disagree with its size is refused; the good file stays.
  Bytes before = ReadFile(img.fileName);
  mw::Image broken = img;
  broken.pixels.resize(3);
  EXPECT_FALSE(mw::SaveImageFile(broken, {false, 3}, ui));
  EXPECT_EQ(ReadFile(img.fileName), before);

  img.fileName = dir / "no_such_folder/wall.bmp";
  EXPECT_FALSE(mw::SaveImageFile(img, {true, 3}, ui));
  ASSERT_EQ(ui.messages.size(), 2u);
  EXPECT_EQ(ui.messages[0].text, "Can't open .bmp file !");
  EXPECT_EQ(ui.messages[1].text, "Can't open .bmp file !");
}
