// The strong layout's writer. The walk's list becomes the directory first: every file is
// read once for its CRC-32, and a file whose size and CRC-32 match an earlier one's is
// compared with it byte for byte and, when equal, stored as a copy of it. Then the
// contents of the other files, in directory order, make one stream cut into blocks of
// the environment's block size; each block is coded on its own, as chunks of LZMA or of bytes
// as they are, by the first free thread and written in stream order, so the bytes do not
// depend on the thread count.
//
// The contents are read twice, for the directory and for the blocks: a file that changed
// in between fails the build rather than disagree with its CRC-32.
#include <stdlib.h>
#include <string.h>
#include <zlib.h>

#include <LzmaEnc.h>

#include <algorithm>
#include <exception>
#include <map>
#include <memory>

#include "BuildJob.h"
#include "OrderedWork.h"
#include "SourceFile.h"
#include "u_shared.h"
#include "u_strong.h"

namespace {

// Chosen by measurement with the block size (README, "The strong layout"): a 16 MiB
// window, binary-tree matching over four-byte hashes, 32-byte fast matches: within 256 MiB
// a thread, and as fast per byte as 7-Zip's default, so that every core makes it faster;
// 16-byte position states (pb 4), which tables of records pack better with and text no worse.
constexpr uint32_t StrongDictionarySize = 16u << 20;

CLzmaEncProps EncoderProperties(uint32_t blockSize) {
  CLzmaEncProps props;
  LzmaEncProps_Init(&props);
  props.level = 9;
  props.dictSize = std::min(StrongDictionarySize, blockSize);
  props.lc = 3;
  props.lp = 0;
  props.pb = 4;
  props.algo = 1;
  props.fb = 32;
  props.btMode = 1;
  props.numHashBytes = 4;
  props.numThreads = 1;
  return props;
}

void* Allocate(void*, size_t size) { return malloc(size); }
void Release(void*, void* address) { free(address); }
ISzAlloc Allocator = {Allocate, Release};

// One raw LZMA stream (no header, no end mark) of `length` bytes: the directory's.
std::vector<uint8_t> Lzma(const uint8_t* data, uint32_t length, uint32_t blockSize) {
  CLzmaEncProps props = EncoderProperties(blockSize);
  // A shorter stream gets a smaller window: the reader's window is the header's, larger.
  props.reduceSize = length;
  std::vector<uint8_t> packed(StrongMaxPacked(length));
  SizeT packedLength = packed.size(), propsLength = LZMA_PROPS_SIZE;
  Byte propsEncoded[LZMA_PROPS_SIZE];
  SRes result = LzmaEncode(packed.data(), &packedLength, data, length, &props, propsEncoded, &propsLength, 0, nullptr,
                           &Allocator, &Allocator);
  if (result == SZ_ERROR_MEM) RaiseOutOfMemory();
  if (result != SZ_OK) throw EBuildError("Error");
  packed.resize(packedLength);
  return packed;
}

}  // namespace

// The coder's chunk by chunk interface, which LzmaEnc.c defines and its header leaves out.
extern "C" {
SRes LzmaEnc_MemPrepare(CLzmaEncHandle p, const Byte* src, SizeT srcLen, UInt32 keepWindowSize, ISzAlloc* alloc,
                        ISzAlloc* allocBig);
SRes LzmaEnc_CodeOneMemBlock(CLzmaEncHandle p, Bool reInit, Byte* dest, size_t* destLen, UInt32 desiredPackSize,
                             UInt32* unpackSize);
const Byte* LzmaEnc_GetCurBuf(CLzmaEncHandle p);
void LzmaEnc_SaveState(CLzmaEncHandle p);
void LzmaEnc_RestoreState(CLzmaEncHandle p);
void LzmaEnc_Finish(CLzmaEncHandle p);
}

namespace {

// A chunk ends when its LZMA stream nears this many bytes or its raw bytes near
// ChunkRawLimit; one whose stream is no shorter than its bytes keeps them as they are.
// Chosen by measurement (README, "Why these settings"): incompressible stretches are found
// to within 64 KiB, and the chunks' eight-byte headers cost less than the coder gains from
// the fresh prices every chunk starts with.
constexpr uint32_t ChunkPackedLimit = 1u << 16;
constexpr uint32_t ChunkRawLimit = 1u << 21;
constexpr uint32_t ChunkSlack = 1u << 16;  // what a chunk's stream may pass its limit by

void PutLe32(uint8_t* at, uint32_t value) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<uint8_t>(value >> (8 * i));
}

// A block's frame: its `length` bytes as chunks, each LZMA or as it is.
std::vector<uint8_t> Chunks(const uint8_t* data, uint32_t length, uint32_t blockSize) {
  CLzmaEncProps props = EncoderProperties(blockSize);
  props.reduceSize = length;
  std::unique_ptr<void, void (*)(void*)> encoder(LzmaEnc_Create(&Allocator),
                                                 [](void* e) { LzmaEnc_Destroy(e, &Allocator, &Allocator); });
  if (!encoder) RaiseOutOfMemory();
  SRes result = LzmaEnc_SetProps(encoder.get(), &props);
  if (result == SZ_OK) result = LzmaEnc_MemPrepare(encoder.get(), data, length, ChunkRawLimit, &Allocator, &Allocator);
  std::vector<uint8_t> frame;
  bool fresh = true;  // the coder state starts anew at the block's first LZMA chunk
  for (uint32_t done = 0; result == SZ_OK && done < length;) {
    size_t at = frame.size();
    frame.resize(at + 8 + ChunkPackedLimit + ChunkSlack);
    size_t packed = ChunkPackedLimit + ChunkSlack;
    UInt32 raw = std::min(length - done, ChunkRawLimit);
    LzmaEnc_SaveState(encoder.get());
    result = LzmaEnc_CodeOneMemBlock(encoder.get(), fresh, frame.data() + at + 8, &packed, ChunkPackedLimit, &raw);
    if (raw == 0) result = SZ_ERROR_FAIL;
    if (result != SZ_OK && result != SZ_ERROR_OUTPUT_EOF) break;
    if (result == SZ_ERROR_OUTPUT_EOF || (result == SZ_OK && packed >= raw)) {
      // The bytes as they are, and the coder state as before them; the window has them.
      result = SZ_OK;
      packed = raw;
      frame.resize(at + 8 + raw);
      memcpy(frame.data() + at + 8, LzmaEnc_GetCurBuf(encoder.get()) - raw, raw);
      LzmaEnc_RestoreState(encoder.get());
    } else {
      fresh = false;
    }
    PutLe32(frame.data() + at, raw);
    PutLe32(frame.data() + at + 4, static_cast<uint32_t>(packed));
    frame.resize(at + 8 + packed);
    done += raw;
  }
  LzmaEnc_Finish(encoder.get());
  if (result == SZ_ERROR_MEM) RaiseOutOfMemory();
  if (result != SZ_OK || frame.size() > StrongMaxPacked(length)) throw EBuildError("Error");
  return frame;
}

// One entry of the directory, and where its content comes from.
struct StrongItem {
  StrongEntry entry{};
  std::string name;
  const tfile* item = nullptr;  // null for the self-delete helper
};

constexpr uint32_t ReadPiece = 1 << 20;

// True when the two files hold the same `size` bytes.
bool SameContent(const tfile& a, const tfile& b, uint64_t size) {
  SourceFile first(a.Path, a.WidePath), second(b.Path, b.WidePath);
  std::vector<uint8_t> x(ReadPiece), y(ReadPiece);
  for (uint64_t done = 0; done < size;) {
    uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(size - done, ReadPiece));
    first.ReadExact(x.data(), n);
    second.ReadExact(y.data(), n);
    if (memcmp(x.data(), y.data(), n) != 0) return false;
    done += n;
  }
  return true;
}

uint32_t Crc(const uint8_t* data, size_t length, uint32_t crc = 0) {
  while (length > 0) {
    uInt n = static_cast<uInt>(std::min<size_t>(length, 1u << 30));
    crc = static_cast<uint32_t>(crc32(crc, data, n));
    data += n;
    length -= n;
  }
  return crc;
}

// A block of the content stream: its raw bytes until compressed, then its LZMA stream.
struct Block {
  std::vector<uint8_t> bytes;
  uint32_t rawLength = 0;
  const StrongItem* first = nullptr;  // the item the block begins in, for the progress
  bool ready = false;
  uint64_t cost = 0;
  std::exception_ptr error;
};

class StrongWriter {
 public:
  StrongWriter(BuildJob& job, unsigned threads)
      : job_(job),
        threads_(threads),
        blockSize_(std::min(job.environment.StrongBlockSize, StrongMaxBlockSize)),
        // Every thread has a block to compress and one more is read meanwhile.
        work_(job, uint64_t{blockSize_} * (threads + 1), 0) {}
  void Run();

 private:
  // False when cancelled.
  bool CollectDirectory();
  std::string DirectoryBytes() const;
  // The next block of the stream; false at its end.
  bool ReadBlock(Block& block);
  void WriteBlock(const Block& block);
  void Read();

  BuildJob& job_;
  unsigned threads_;
  uint32_t blockSize_;
  std::vector<StrongItem> items_;
  uint64_t contentSize_ = 0;
  // The stream's reading position: the item, its open file, the bytes of it read, their CRC.
  size_t next_ = 0;
  std::unique_ptr<SourceFile> source_;
  uint64_t itemRead_ = 0;
  uint32_t itemCrc_ = 0;
  OrderedWork<Block> work_;  // last: its threads stop before the rest goes
};

bool StrongWriter::CollectDirectory() {
  const ByteSpan& helper = job_.environment.Heads.SelfDelete;
  if (job_.in.SelfDeleteMode == 1) {
    StrongItem self;
    self.entry.Kind = EntryKindSelfDelete;
    self.entry.Size = helper.size;
    self.entry.Crc = Crc(static_cast<const uint8_t*>(helper.data), helper.size);
    self.name = SelfDeleteEntryName;
    self.entry.NameLength = static_cast<uint16_t>(self.name.size());
    items_.push_back(self);
  }
  // Originals by size and CRC-32; the bytes decide.
  std::map<std::pair<uint64_t, uint32_t>, std::vector<size_t>> originals;
  std::vector<uint8_t> buffer(ReadPiece);
  for (const auto& entry : job_.entries) {
    if (job_.Cancelled()) return false;
    const tfile& item = *entry;
    StrongItem strong;
    strong.item = &item;
    strong.name = item.Name;
    strong.entry.Kind = item.IsFolder() ? EntryKindOrdinary : EntryKindOf(job_, item);
    strong.entry.Attributes = item.Attr;
    strong.entry.Time = item.Time;
    if (!item.IsFolder()) {
      SourceFile source(item.Path, item.WidePath);
      if (IsTarget(job_, source.Identity())) continue;
      if (BuildProgress* progress = job_.Progress()) {
        progress->SetSource(item.Path);
        progress->ProcessMessages();
      }
      // Fields of the packed record are copied, never referred to: they are unaligned.
      uint64_t size = static_cast<uint64_t>(item.Size);
      uint32_t crc = 0;
      for (uint64_t done = 0; done < size;) {
        uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(size - done, ReadPiece));
        source.ReadExact(buffer.data(), n);
        crc = Crc(buffer.data(), n, crc);
        done += n;
      }
      source.Close();
      strong.entry.Size = size;
      strong.entry.Crc = crc;
      if (size > 0) {
        std::vector<size_t>& same = originals[{size, crc}];
        for (size_t original : same)
          if (SameContent(*items_[original].item, item, size)) {
            strong.entry.CopyOf = static_cast<uint32_t>(original + 1);
            break;
          }
        if (!strong.entry.CopyOf) same.push_back(items_.size());
      }
    }
    strong.entry.NameLength = static_cast<uint16_t>(strong.name.size());
    items_.push_back(strong);
  }
  for (const StrongItem& strong : items_)
    if (!strong.entry.CopyOf) contentSize_ += strong.entry.Size;
  return true;
}

std::string StrongWriter::DirectoryBytes() const {
  std::string bytes;
  // The texts first, in UTF-8 (the record's copies hold only what the code page can).
  for (const std::string* text : {&job_.in.CustomFolderUtf8, &job_.in.CmdParametersUtf8}) {
    bytes += static_cast<char>(text->size() & 0xFF);
    bytes += static_cast<char>(text->size() >> 8);
    bytes += *text;
  }
  for (const StrongItem& strong : items_) {
    bytes.append(reinterpret_cast<const char*>(&strong.entry), sizeof strong.entry);
    bytes += strong.name;
  }
  if (bytes.size() > StrongMaxDirectorySize)
    throw EInputRefused("The source folder holds more entries than an SFX file can list\r\n\r\n" + job_.in.Source);
  return bytes;
}

bool StrongWriter::ReadBlock(Block& block) {
  block.rawLength = 0;
  block.first = nullptr;
  block.bytes.resize(blockSize_);
  while (block.rawLength < blockSize_ && next_ < items_.size()) {
    const StrongItem& strong = items_[next_];
    uint64_t size = strong.entry.CopyOf ? 0 : strong.entry.Size;
    if (itemRead_ == size) {
      // An item ends: its bytes must be those the directory describes.
      if (source_) {
        source_->Close();
        source_.reset();
      }
      if (!strong.entry.CopyOf && itemCrc_ != strong.entry.Crc)
        throw EBuildError("This file changed while the SFX file was being written\r\n\r\n" + strong.item->Path);
      ++next_;
      itemRead_ = 0;
      itemCrc_ = 0;
      continue;
    }
    if (!block.first) block.first = &strong;
    uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(size - itemRead_, blockSize_ - block.rawLength));
    uint8_t* at = block.bytes.data() + block.rawLength;
    if (!strong.item) {
      memcpy(at, static_cast<const uint8_t*>(job_.environment.Heads.SelfDelete.data) + itemRead_, n);
    } else {
      if (!source_) source_ = std::make_unique<SourceFile>(strong.item->Path, strong.item->WidePath);
      source_->ReadExact(at, n);
    }
    itemCrc_ = Crc(at, n, itemCrc_);
    itemRead_ += n;
    block.rawLength += n;
  }
  block.bytes.resize(block.rawLength);
  return block.rawLength > 0;
}

void StrongWriter::WriteBlock(const Block& block) {
  if (block.error) std::rethrow_exception(block.error);
  uint32_t packed = static_cast<uint32_t>(block.bytes.size());
  job_.Write(&packed, sizeof packed);
  job_.Write(block.bytes.data(), packed);
  if (BuildProgress* progress = job_.Progress()) {
    if (block.first && block.first->item) progress->SetSource(block.first->item->Path);
    ReportProgress(job_, block.rawLength, block.rawLength);
  }
  job_.doneSize += block.rawLength;
}

void StrongWriter::Read() {
  for (;;) {
    Block block;
    block.cost = blockSize_;
    if (!work_.Reserve(block.cost)) return;
    if (!ReadBlock(block)) {
      work_.Release(block.cost);
      return;
    }
    work_.Queue(std::move(block), true);
  }
}

void StrongWriter::Run() {
  if (!CollectDirectory()) return;
  std::string directory = DirectoryBytes();
  std::vector<uint8_t> packedDirectory =
      Lzma(reinterpret_cast<const uint8_t*>(directory.data()), static_cast<uint32_t>(directory.size()), blockSize_);
  StrongHeader header{};
  memcpy(header.Magic, StrongMagic, sizeof header.Magic);
  header.Version = StrongVersion;
  header.Flags |= StrongFlagChunks;
  header.Flags |= StrongFlagTexts;
  CLzmaEncProps props = EncoderProperties(blockSize_);
  LzmaEncProps_Normalize(&props);
  header.LzmaProperties[0] = static_cast<uint8_t>((props.pb * 5 + props.lp) * 9 + props.lc);
  memcpy(header.LzmaProperties + 1, &props.dictSize, 4);
  header.BlockSize = blockSize_;
  header.EntryCount = static_cast<uint32_t>(items_.size());
  header.ContentSize = contentSize_;
  header.DirectorySize = static_cast<uint32_t>(directory.size());
  header.DirectoryPacked = static_cast<uint32_t>(packedDirectory.size());
  header.DirectoryCrc = Crc(reinterpret_cast<const uint8_t*>(directory.data()), directory.size());
  job_.Write(&header, sizeof header);
  job_.Write(packedDirectory.data(), header.DirectoryPacked);
  job_.totalSize = static_cast<int64_t>(contentSize_);
  job_.doneSize = 0;
  Block block;
  auto compress = [this](const Block& raw) { return Chunks(raw.bytes.data(), raw.rawLength, blockSize_); };
  if (threads_ <= 1) {
    while (!job_.Cancelled() && ReadBlock(block)) {
      block.bytes = compress(block);
      WriteBlock(block);
    }
    return;
  }
  work_.Start([this] { Read(); }, threads_, [&] { return compress; });
  while (!job_.Cancelled() && work_.Next(block)) {
    WriteBlock(block);
    work_.Release(block.cost);
  }
}

}  // namespace

void WriteStrongArchive(BuildJob& job, unsigned threads) {
  StrongWriter writer(job, threads);
  writer.Run();
}
