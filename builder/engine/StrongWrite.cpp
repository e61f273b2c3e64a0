// The strong layout's writer. The walk's list becomes the directory first: every file is
// read once for its CRC-32, and a file whose size and CRC-32 match an earlier one's is
// compared with it byte for byte and, when equal, stored as a copy of it. Then the
// contents of the other files, in directory order, make one stream cut into blocks of
// the environment's block size; each block is an LZMA stream of its own, compressed by the first
// free thread and written in stream order, so the bytes do not depend on the thread count.
//
// The contents are read twice, for the directory and for the blocks: a file that changed
// in between fails the build rather than disagree with its CRC-32.
#include <stdlib.h>
#include <string.h>
#include <zlib.h>

#include <LzmaEnc.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <exception>
#include <map>
#include <mutex>
#include <thread>

#include "BuildJob.h"
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

// One raw LZMA stream (no header, no end mark) of `length` bytes.
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
  std::exception_ptr error;
};

class StrongWriter {
 public:
  explicit StrongWriter(BuildJob& job)
      : job_(job), blockSize_(std::min(job.environment.StrongBlockSize, StrongMaxBlockSize)) {}
  ~StrongWriter();
  void Run(unsigned threads);

 private:
  // False when cancelled.
  bool CollectDirectory();
  std::string DirectoryBytes() const;
  // The next block of the stream; false at its end.
  bool ReadBlock(Block& block);
  void WriteBlock(const Block& block);
  void Read();
  void Compress();
  bool NextBlock(Block& block);

  BuildJob& job_;
  uint32_t blockSize_;
  std::vector<StrongItem> items_;
  uint64_t contentSize_ = 0;
  // The stream's reading position: the item, its open file, the bytes of it read, their CRC.
  size_t next_ = 0;
  std::unique_ptr<SourceFile> source_;
  uint64_t itemRead_ = 0;
  uint32_t itemCrc_ = 0;

  unsigned slots_ = 0;  // blocks read ahead or compressing at most
  std::mutex mutex_;
  std::condition_variable readerWaits_, workersWait_, writerWaits_;
  std::deque<Block> blocks_;  // in stream order; workers point into it
  std::deque<Block*> work_;
  bool stop_ = false, readDone_ = false;
  std::exception_ptr readFailure_;
  std::vector<std::thread> threads_;
};

StrongWriter::~StrongWriter() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  readerWaits_.notify_all();
  workersWait_.notify_all();
  for (std::thread& thread : threads_) thread.join();
}

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
  try {
    for (;;) {
      {
        std::unique_lock<std::mutex> lock(mutex_);
        readerWaits_.wait(lock, [&] { return stop_ || blocks_.size() < slots_; });
        if (stop_) break;
      }
      Block block;
      if (!ReadBlock(block)) break;
      std::lock_guard<std::mutex> lock(mutex_);
      blocks_.push_back(std::move(block));
      work_.push_back(&blocks_.back());
      workersWait_.notify_one();
    }
  } catch (...) {
    std::lock_guard<std::mutex> lock(mutex_);
    readFailure_ = std::current_exception();
  }
  std::lock_guard<std::mutex> lock(mutex_);
  readDone_ = true;
  writerWaits_.notify_one();
}

void StrongWriter::Compress() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    workersWait_.wait(lock, [&] { return stop_ || !work_.empty(); });
    if (stop_) return;
    Block& block = *work_.front();
    work_.pop_front();
    lock.unlock();
    std::vector<uint8_t> packed;
    std::exception_ptr error;
    try {
      packed = Lzma(block.bytes.data(), block.rawLength, blockSize_);
    } catch (...) {
      error = std::current_exception();
    }
    // The raw bytes are freed outside the lock.
    std::vector<uint8_t> raw;
    lock.lock();
    raw.swap(block.bytes);
    block.bytes.swap(packed);
    block.error = error;
    block.ready = true;
    writerWaits_.notify_one();
    lock.unlock();
    raw = std::vector<uint8_t>();
    lock.lock();
  }
}

bool StrongWriter::NextBlock(Block& block) {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    if (!blocks_.empty() && blocks_.front().ready) break;
    if (blocks_.empty() && readDone_) {
      if (readFailure_) std::rethrow_exception(readFailure_);
      return false;
    }
    // A long wait lets the window repaint and take a click on Cancel.
    if (writerWaits_.wait_for(lock, std::chrono::milliseconds(100)) == std::cv_status::timeout) {
      lock.unlock();
      if (BuildProgress* progress = job_.Progress()) progress->ProcessMessages();
      if (job_.Cancelled()) return false;
      lock.lock();
    }
  }
  block = std::move(blocks_.front());
  blocks_.pop_front();
  readerWaits_.notify_one();
  return true;
}

void StrongWriter::Run(unsigned threads) {
  if (!CollectDirectory()) return;
  std::string directory = DirectoryBytes();
  std::vector<uint8_t> packedDirectory =
      Lzma(reinterpret_cast<const uint8_t*>(directory.data()), static_cast<uint32_t>(directory.size()), blockSize_);
  StrongHeader header{};
  memcpy(header.Magic, StrongMagic, sizeof header.Magic);
  header.Version = StrongVersion;
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
  if (threads <= 1) {
    while (!job_.Cancelled() && ReadBlock(block)) {
      block.bytes = Lzma(block.bytes.data(), block.rawLength, blockSize_);
      WriteBlock(block);
    }
  } else {
    // Every thread has a block to compress and one more is read meanwhile.
    slots_ = threads + 1;
    threads_.emplace_back(&StrongWriter::Read, this);
    for (unsigned i = 0; i < threads; ++i) threads_.emplace_back(&StrongWriter::Compress, this);
    while (!job_.Cancelled() && NextBlock(block)) WriteBlock(block);
  }
}

}  // namespace

void WriteStrongArchive(BuildJob& job, unsigned threads) {
  StrongWriter writer(job);
  writer.Run(threads);
}
