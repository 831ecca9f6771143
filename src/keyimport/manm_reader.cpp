#include "keyimport/manm_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>

#include "keyimport/manm.h"
#include "support/log.h"
#include "support/memmgr.h"

namespace vorlan::keyimport {

using support::LOG_ERROR;
using support::LOG_INFO;
using support::LOG_WARNING;

namespace {

void ShowError(host::Interface& ip, const std::string& text) {
  ip.UI().MessageBox({text, "Error", host::Buttons::Ok, host::Icon::Error});
}

std::string Format(const char* format, const std::string& arg) {
  char text[support::kLogFormatBuffer];
  std::snprintf(text, sizeof text, format, arg.c_str());
  return text;
}

}  // namespace

// ---------------------------------------------------------------------------------------
// ManmBuffer

void ManmBuffer::Release() {
  if (data_) support::PageFree(data_);
  data_ = nullptr;
  size_ = pos_ = 0;
}

bool ManmBuffer::Assign(const uint8_t* bytes, std::size_t size) {
  Release();
  data_ = static_cast<uint8_t*>(support::PageAlloc(size ? size : 1));
  if (!data_) return false;
  if (size) std::memcpy(data_, bytes, size);
  support::PageProtect(data_, true);
  size_ = size;
  return true;
}

bool ManmBuffer::Load(host::Interface& ip, const std::string& path) {
  Release();
  if (path.empty()) return false;
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  struct stat st {};
  if (fd < 0 || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    if (fd >= 0) ::close(fd);
    std::string text = Format("Can't open file: %s\n", path);
    support::LogWrite(text.c_str(), LOG_ERROR);
    ShowError(ip, text);
    return false;
  }
  std::size_t size = static_cast<std::size_t>(st.st_size);
  data_ = static_cast<uint8_t*>(support::PageAlloc(size ? size : 1));
  if (!data_) {
    ::close(fd);
    support::LogWrite("Allocation for MANM file failed!", LOG_ERROR);
    ShowError(ip, "Allocation for MANM file failed!");
    return false;
  }
  std::size_t done = 0;
  while (done < size) {
    ssize_t n = ::read(fd, data_ + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<std::size_t>(n);
  }
  ::close(fd);
  size_ = done;  // a file that shrank while being read is taken as far as it was read
  support::PageProtect(data_, true);
  support::LogFormat(LOG_INFO, "Importing file: %s, size: %d", path.c_str(), static_cast<int>(size_));
  support::LogWrite("\n", support::LOG_RAW);
  return true;
}

bool ManmBuffer::ReadManm(void* destination, std::size_t length) {
  if (length > Remaining()) {
    support::LogWrite("KeyImport::ReadManm(): trying to read behind buffer!", LOG_ERROR);
    return false;
  }
  if (length) std::memcpy(destination, data_ + pos_, length);
  pos_ += length;
  return true;
}

bool ManmBuffer::SetManmPtr(std::size_t offset, bool relative) {
  if (relative ? offset > Remaining() : offset > size_) {
    support::LogWrite("KeyImport::SetManmPtr(): trying to set ptr behind end of buffer!\n", LOG_ERROR);
    return false;
  }
  pos_ = relative ? pos_ + offset : offset;
  return true;
}

const uint8_t* ManmBuffer::Take(std::size_t length) {
  const uint8_t* at = data_ + pos_;
  return SetManmPtr(length, true) ? at : nullptr;
}

// ---------------------------------------------------------------------------------------
// Parsing

namespace {

struct ChannelText {
  manm::Channel channel;
  const char* prefix;  // "PosKeys", ...
  uint32_t types[3];   // Linear, TCB, Bezier
  host::ClassId classes[3];
};

constexpr ChannelText kChannelTexts[] = {
    {manm::Channel::Position,
     "PosKeys",
     {manm::kPosLinear, manm::kPosTCB, manm::kPosBezier},
     {host::kLinearPositionClassId, host::kTCBPositionClassId, host::kBezierPositionClassId}},
    {manm::Channel::Rotation,
     "RotKeys",
     {manm::kRotLinear, manm::kRotTCB, manm::kRotBezier},
     {host::kLinearRotationClassId, host::kTCBRotationClassId, host::kBezierRotationClassId}},
    {manm::Channel::Scale,
     "SclKeys",
     {manm::kSclLinear, manm::kSclTCB, manm::kSclBezier},
     {host::kLinearScaleClassId, host::kTCBScaleClassId, host::kBezierScaleClassId}},
};
constexpr const char* kKindNames[3] = {"Linear", "TCB", "Bezier"};

template <class K>
bool FillKeys(host::IKeyControl& keys, ManmBuffer& buffer, uint32_t n, uint32_t size) {
  for (uint32_t i = 0; i < n; ++i) {
    const uint8_t* p = buffer.Take(size);
    if (!p) return false;
    K key;
    manm::LoadKey(p, key);
    keys.SetKey(static_cast<int>(i), key);
  }
  return true;
}

// Reads one channel's keys onto the node. False ends the parse: a type outside the table
// with keys, or a key block that the file does not hold.
bool ReadChannel(host::Interface& ip, host::Node& node, ManmBuffer& buffer, const ChannelText& ch,
                 uint32_t type, uint32_t n) {
  int kind = -1;
  for (int k = 0; k < 3; ++k)
    if (ch.types[k] == type) kind = k;
  if (kind < 0) {
    support::LogFormat(LOG_ERROR, "%s: UNKNOWN, number: %d\n", ch.prefix, static_cast<int>(n));
    return n == 0;
  }
  support::LogFormat(LOG_INFO, "%s: %s, number: %d\n", ch.prefix, kKindNames[kind], static_cast<int>(n));
  if (n == 0) return true;
  const uint32_t size = manm::KeySize(ch.channel, type);
  // The whole block must be in the file before the node's controller is replaced.
  if (uint64_t(n) * size > buffer.Remaining()) {
    buffer.Take(std::size_t(n) * size);  // logs the read behind the end
    return false;
  }
  host::Control* tm = node.GetTMController();
  std::unique_ptr<host::Control> control = ip.CreateControl(ch.classes[kind]);
  host::IKeyControl* keys = control ? control->GetKeyControl() : nullptr;
  if (!tm || !keys) {
    buffer.SetManmPtr(std::size_t(n) * size, true);
    return true;
  }
  keys->SetNumKeys(static_cast<int>(n));
  bool ok = false;
  switch (ch.channel) {
    case manm::Channel::Position:
      ok = kind == 0   ? FillKeys<host::LinearPoint3Key>(*keys, buffer, n, size)
           : kind == 1 ? FillKeys<host::TCBPoint3Key>(*keys, buffer, n, size)
                       : FillKeys<host::BezPoint3Key>(*keys, buffer, n, size);
      break;
    case manm::Channel::Rotation:
      ok = kind == 0   ? FillKeys<host::LinearRotKey>(*keys, buffer, n, size)
           : kind == 1 ? FillKeys<host::TCBRotKey>(*keys, buffer, n, size)
                       : FillKeys<host::BezQuatKey>(*keys, buffer, n, size);
      break;
    case manm::Channel::Scale:
      ok = kind == 0   ? FillKeys<host::LinearScaleKey>(*keys, buffer, n, size)
           : kind == 1 ? FillKeys<host::TCBScaleKey>(*keys, buffer, n, size)
                       : FillKeys<host::BezScaleKey>(*keys, buffer, n, size);
      break;
  }
  keys->SortKeys();
  control->NotifyChanged();
  switch (ch.channel) {
    case manm::Channel::Position:
      tm->SetPositionController(std::move(control));
      break;
    case manm::Channel::Rotation:
      tm->SetRotationController(std::move(control));
      break;
    case manm::Channel::Scale:
      tm->SetScaleController(std::move(control));
      break;
  }
  return ok;
}

void ApplyTiming(host::Interface& ip, const manm::RecordHead& h) {
  host::Interval range = ip.GetAnimRange();
  ip.SetAnimRange({std::min(range.start, h.animStart), std::max(range.end, h.animEnd)});
  if (ip.GetTicksPerFrame() == h.ticksPerFrame) return;
  host::Answer a =
      ip.UI().MessageBox({"The FPS of imported animation is not the same as current Max's FPS.\nDo you want "
                          "to set Max to new FPS?",
                          "Key Import", host::Buttons::YesNo, host::Icon::Question});
  if (a != host::Answer::Yes) return;
  ip.SetFrameRate(h.frameRate);
  ip.SetTicksPerFrame(h.ticksPerFrame);
}

enum class RecordResult { Next, Fail };

RecordResult ReadRecord(host::Interface& ip, ManmBuffer& buffer, host::TimeValue& lastStart) {
  const std::size_t start = buffer.Pos();
  // The name ends at its zero; without one the record cannot be taken.
  std::size_t nameLength = 0;
  if (buffer.Remaining() > manm::kRecordHeadSize) {
    const uint8_t* name = buffer.Data() + start + manm::kRecordHeadSize;
    const void* zero = std::memchr(name, 0, buffer.Remaining() - manm::kRecordHeadSize);
    nameLength =
        zero ? static_cast<std::size_t>(static_cast<const uint8_t*>(zero) - name) : buffer.Remaining();
  }
  const uint8_t* p = buffer.Take(manm::kRecordHeadSize + nameLength + 1);
  if (!p) return RecordResult::Fail;
  const manm::RecordHead head = manm::LoadRecordHead(p);
  const std::string name(reinterpret_cast<const char*>(p + manm::kRecordHeadSize), nameLength);
  lastStart = head.animStart;

  support::LogFormat(LOG_INFO, "Importing animation for: \"%s\"\n", name.c_str());
  char fill = ' ';
  const int indent = support::LogGetIndent(&fill);
  support::LogSetIndent(indent + 2, fill);
  struct Unindent {
    int width;
    char fill;
    ~Unindent() { support::LogSetIndent(width, fill); }
  } unindent{indent, fill};

  // Whatever part of the record is read, the next record starts where its size says (when
  // the size is plausible): key data is never taken for a record head.
  auto next = [&] {
    std::size_t minimum = buffer.Pos() - start;
    if (head.size >= minimum && head.size <= buffer.Size() - start)
      buffer.SetManmPtr(start + head.size, false);
  };

  host::Node* node = ip.GetINodeByName(name);
  if (!node) {
    ShowError(ip, Format("Node \"%s\" not found. Can't import its animation.", name));
    support::LogWrite("Node not found!\n", LOG_ERROR);
    next();
    return RecordResult::Next;
  }
  ApplyTiming(ip, head);
  const uint32_t types[3] = {head.posType, head.rotType, head.sclType};
  const uint32_t counts[3] = {head.numPos, head.numRot, head.numScl};
  for (int c = 0; c < 3; ++c)
    if (!ReadChannel(ip, *node, buffer, kChannelTexts[c], types[c], counts[c])) return RecordResult::Fail;
  if (head.numCam != 0) {
    support::LogFormat(LOG_WARNING, "CamKeys: CURRENTLY NOT SUPPORTED, number: %d\n",
                       static_cast<int>(head.numCam));
    ip.UI().MessageBox({"Can't import Camera keys. See C:\\keyImport.log", "Info", host::Buttons::Ok,
                        host::Icon::Information});
  }
  next();
  return RecordResult::Next;
}

}  // namespace

bool ParseManm(host::Interface& ip, ManmBuffer& buffer) {
  struct ReleaseAtEnd {
    ManmBuffer& b;
    ~ReleaseAtEnd() { b.Release(); }
  } release{buffer};

  const uint8_t* h = buffer.Take(manm::kHeaderSize);
  if (!h) return false;
  const manm::FileHeader header = manm::LoadHeader(h);
  if (header.version < 2) {
    ShowError(ip,
              "Old file version. It's not supported, but it could be if you really need it.\nCall Orvel.");
    return false;
  }
  support::LogFormat(LOG_INFO, "Number of animated objects: %d\n", static_cast<int>(header.recordCount));
  if (header.recordCount == 0) {
    ShowError(ip, "Number of animated objects = 0.");
    return false;
  }
  host::TimeValue lastStart = 0;
  for (uint32_t i = 0; i < header.recordCount; ++i) {
    if (ReadRecord(ip, buffer, lastStart) == RecordResult::Fail) return false;
  }
  ip.SetTime(lastStart, true);
  return true;
}

}  // namespace vorlan::keyimport
