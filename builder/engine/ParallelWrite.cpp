// Writing the entries with several compressing threads. One reader thread reads ahead
// across files, in archive order, and queues what is to be written as ordered pieces:
// headers and checksums as they are, chunks to be compressed by the first free worker.
// The building thread writes the pieces strictly in that order, so every chunk stays one
// zlib stream of its own and the SFX file is the same whatever the timing. Every call of
// the progress observer comes from the building thread.
//
// A failure is raised where the one-thread build raises it: a failed read ends the
// reading, and its exception waits behind everything read before it; a failed compression
// is kept with its chunk. The reader and the workers never let an exception out.
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>

#include "BuildJob.h"
#include "SourceFile.h"
#include "u_shared.h"

namespace {

struct Piece {
  enum Kind {
    Bytes,      // written as they are; `item` set when they begin a folder's entry
    FileStart,  // a file's entry begins: the progress shows its path
    Chunk,      // `bytes` holds the content until compressed, then the zlib stream
    FileEnd,    // the file's checksum
  };
  Kind kind = Bytes;
  const tfile* item = nullptr;
  std::vector<uint8_t> bytes;
  uint32_t rawLength = 0;  // a chunk's content length
  int32_t stored = 0;      // the file's content before this chunk, for the progress bars
  bool ready = true;       // a chunk is ready once compressed
  uint64_t cost = 0;       // what the piece holds against the read-ahead budget
  std::exception_ptr error;
};

// What a piece costs besides its bytes.
constexpr uint64_t PieceOverhead = 128;

class ParallelWriter {
 public:
  ParallelWriter(BuildJob& job, unsigned threads) : job_(job), workers_(threads), budget_(ReadAheadBudget(threads)) {}
  // Stops every thread and waits for it, on every way out of Run.
  ~ParallelWriter();
  void Run();

 private:
  void Read();
  void ReadEntries();
  void Compress();
  // Waits until `cost` more bytes fit the budget and takes them; false once stopped.
  bool Reserve(uint64_t cost);
  void Queue(Piece piece);
  void QueueBytes(const std::string& bytes, const tfile* item);
  // The next piece in archive order, once it can be written; false when every piece has
  // been written or the build was cancelled while waiting.
  bool NextPiece(Piece& piece);
  void Release(uint64_t cost);

  BuildJob& job_;
  unsigned workers_;
  uint64_t budget_;
  std::mutex mutex_;
  std::condition_variable readerWaits_, workersWait_, writerWaits_;
  std::deque<Piece> pieces_;  // in archive order; workers point into it
  std::deque<Piece*> work_;   // chunks not yet taken by a worker, oldest first
  uint64_t held_ = 0;
  bool stop_ = false;
  bool readDone_ = false;
  std::exception_ptr readFailure_;
  std::vector<std::thread> threads_;
};

ParallelWriter::~ParallelWriter() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  readerWaits_.notify_all();
  workersWait_.notify_all();
  for (std::thread& thread : threads_) thread.join();
}

bool ParallelWriter::Reserve(uint64_t cost) {
  std::unique_lock<std::mutex> lock(mutex_);
  // An item larger than the budget still goes, alone.
  readerWaits_.wait(lock, [&] { return stop_ || held_ == 0 || held_ + cost <= budget_; });
  if (stop_) return false;
  held_ += cost;
  return true;
}

void ParallelWriter::Release(uint64_t cost) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    held_ -= cost;
  }
  readerWaits_.notify_one();
}

void ParallelWriter::Queue(Piece piece) {
  std::lock_guard<std::mutex> lock(mutex_);
  pieces_.push_back(std::move(piece));
  if (pieces_.back().kind == Piece::Chunk) {
    work_.push_back(&pieces_.back());
    workersWait_.notify_one();
  }
  writerWaits_.notify_one();
}

void ParallelWriter::QueueBytes(const std::string& bytes, const tfile* item) {
  Piece piece;
  piece.item = item;
  piece.bytes.assign(bytes.begin(), bytes.end());
  piece.cost = bytes.size() + PieceOverhead;
  if (Reserve(piece.cost)) Queue(std::move(piece));
}

void ParallelWriter::Read() {
  try {
    ReadEntries();
  } catch (...) {
    std::lock_guard<std::mutex> lock(mutex_);
    readFailure_ = std::current_exception();
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    readDone_ = true;
  }
  writerWaits_.notify_one();
}

// What WriteEntry writes for each item, in the same order.
void ParallelWriter::ReadEntries() {
  for (const auto& entry : job_.entries) {
    const tfile& item = *entry;
    if (item.IsFolder()) {
      uint32_t checksum = ByteSum(item.Name.data(), item.Name.size());
      QueueBytes(EntryHeaderBytes(EntryKindOrdinary, item.Name, 0, item.Time, item.Attr) +
                     std::string(reinterpret_cast<const char*>(&checksum), sizeof checksum),
                 &item);
      continue;
    }
    SourceFile source(item.Path, item.WidePath);
    if (IsTarget(job_, source.Identity())) continue;
    Piece start;
    start.kind = Piece::FileStart;
    start.item = &item;
    start.cost = PieceOverhead;
    if (!Reserve(start.cost)) return;
    Queue(std::move(start));
    QueueBytes(EntryHeaderBytes(EntryKindOf(job_, item), item.Name, static_cast<int32_t>(item.Size), item.Time, item.Attr),
               nullptr);
    uint32_t checksum = ByteSum(item.Name.data(), item.Name.size());
    for (int32_t stored = 0; stored < item.Size;) {
      Piece chunk;
      chunk.kind = Piece::Chunk;
      chunk.item = &item;
      chunk.rawLength = std::min<uint32_t>(static_cast<uint32_t>(item.Size - stored), ChunkSize);
      chunk.stored = stored;
      chunk.ready = false;
      chunk.cost = chunk.rawLength + PieceOverhead;
      if (!Reserve(chunk.cost)) return;
      chunk.bytes.resize(chunk.rawLength);
      source.ReadExact(chunk.bytes.data(), chunk.rawLength);
      checksum = ByteSum(chunk.bytes.data(), chunk.rawLength, checksum);
      stored += static_cast<int32_t>(chunk.rawLength);
      Queue(std::move(chunk));
    }
    Piece end;
    end.kind = Piece::FileEnd;
    end.item = &item;
    end.bytes.assign(reinterpret_cast<const uint8_t*>(&checksum), reinterpret_cast<const uint8_t*>(&checksum + 1));
    end.cost = sizeof checksum + PieceOverhead;
    if (!Reserve(end.cost)) return;
    Queue(std::move(end));
    source.Close();
  }
}

void ParallelWriter::Compress() {
  ChunkCompressor compressor;
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    workersWait_.wait(lock, [&] { return stop_ || !work_.empty(); });
    if (stop_) return;
    Piece& chunk = *work_.front();
    work_.pop_front();
    lock.unlock();
    std::vector<uint8_t> stream;
    std::exception_ptr error;
    try {
      // Reserved, not filled: only the pages the stream reaches are ever touched. A tenth
      // more than the content holds the stream of content deflate cannot shrink.
      stream.reserve(chunk.rawLength + chunk.rawLength / 10 + 256);
      compressor.Compress(chunk.bytes.data(), chunk.rawLength, [&stream](const uint8_t* data, uint32_t length) {
        stream.insert(stream.end(), data, data + length);
      });
    } catch (...) {
      error = std::current_exception();
    }
    std::vector<uint8_t> content;
    lock.lock();
    content.swap(chunk.bytes);
    chunk.bytes.swap(stream);
    held_ = held_ - chunk.cost + chunk.bytes.size() + PieceOverhead;
    chunk.cost = chunk.bytes.size() + PieceOverhead;
    chunk.error = error;
    chunk.ready = true;
    writerWaits_.notify_one();
    readerWaits_.notify_one();
    // The content is freed outside the lock.
    lock.unlock();
    content = std::vector<uint8_t>();
    lock.lock();
  }
}

bool ParallelWriter::NextPiece(Piece& piece) {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    if (!pieces_.empty() && pieces_.front().ready) break;
    if (pieces_.empty() && readDone_) {
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
  piece = std::move(pieces_.front());
  pieces_.pop_front();
  return true;
}

void ParallelWriter::Run() {
  threads_.emplace_back(&ParallelWriter::Read, this);
  for (unsigned i = 0; i < workers_; ++i) threads_.emplace_back(&ParallelWriter::Compress, this);
  Piece piece;
  while (NextPiece(piece)) {
    // The one-thread build reads Cancelled before every item and every chunk.
    bool step = piece.kind == Piece::FileStart || piece.kind == Piece::Chunk || (piece.kind == Piece::Bytes && piece.item);
    if (step && job_.Cancelled()) return;
    if (piece.error) std::rethrow_exception(piece.error);
    BuildProgress* progress = job_.Progress();
    switch (piece.kind) {
      case Piece::FileStart:
        if (progress) {
          progress->SetSource(piece.item->Path);
          progress->ProcessMessages();
        }
        break;
      case Piece::Bytes:
        job_.Write(piece.bytes.data(), static_cast<uint32_t>(piece.bytes.size()));
        break;
      case Piece::Chunk:
        job_.WriteCompressedChunk(piece.rawLength, piece.bytes.data(), static_cast<uint32_t>(piece.bytes.size()));
        ReportProgress(job_, piece.stored, piece.item->Size);
        break;
      case Piece::FileEnd:
        job_.Write(piece.bytes.data(), static_cast<uint32_t>(piece.bytes.size()));
        ReportProgress(job_, piece.item->Size, piece.item->Size);
        job_.doneSize += piece.item->Size;
        break;
    }
    Release(piece.cost);
  }
}

}  // namespace

unsigned CompressingThreads(unsigned requested) {
  if (requested != 0) return requested;
  unsigned cores = std::thread::hardware_concurrency();
  return cores != 0 ? cores : 1;
}

// Enough for every thread to have a whole chunk to compress. Each thread also holds,
// outside the budget, the stream it is writing (at most a chunk and a little more) and its
// deflate state: about 20 MiB a thread in all.
uint64_t ReadAheadBudget(unsigned threads) { return uint64_t{threads} * 10 * 1024 * 1024; }

void WriteEntriesInParallel(BuildJob& job, unsigned threads) {
  ParallelWriter writer(job, threads);
  writer.Run();
}
