// Writing the entries with several compressing threads. One reader thread reads ahead
// across files, in archive order, and queues what is to be written as ordered pieces:
// headers and checksums as they are, chunks to be compressed by the first free worker.
// The building thread writes the pieces strictly in that order, so every chunk stays one
// zlib stream of its own and the SFX file is the same whatever the timing. Every call of
// the progress observer comes from the building thread, and a failure is raised where the
// one-thread build raises it (OrderedWork.h).
#include <algorithm>
#include <memory>
#include <thread>

#include "BuildJob.h"
#include "OrderedWork.h"
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
  bool ready = true;
  uint64_t cost = 0;
  std::exception_ptr error;
};

// What a piece costs besides its bytes.
constexpr uint64_t PieceOverhead = 128;

// A chunk's zlib stream. Reserved, not filled: only the pages the stream reaches are ever
// touched. A tenth more than the content holds the stream of content deflate cannot shrink.
std::vector<uint8_t> CompressPiece(ChunkCompressor& compressor, const Piece& chunk) {
  std::vector<uint8_t> stream;
  stream.reserve(chunk.rawLength + chunk.rawLength / 10 + 256);
  compressor.Compress(chunk.bytes.data(), chunk.rawLength, [&stream](const uint8_t* data, uint32_t length) {
    stream.insert(stream.end(), data, data + length);
  });
  return stream;
}

class ParallelWriter {
 public:
  ParallelWriter(BuildJob& job, unsigned threads)
      : job_(job), workers_(threads), work_(job, ReadAheadBudget(threads), PieceOverhead) {}
  void Run();

 private:
  void ReadEntries();
  // Queues a piece that is not to be compressed; false once stopped.
  bool Queue(Piece piece);

  BuildJob& job_;
  unsigned workers_;
  OrderedWork<Piece> work_;  // last: its threads stop before the rest goes
};

bool ParallelWriter::Queue(Piece piece) {
  piece.cost = piece.bytes.size() + PieceOverhead;
  if (!work_.Reserve(piece.cost)) return false;
  work_.Queue(std::move(piece), false);
  return true;
}

Piece BytesPiece(const std::string& bytes, const tfile* item, Piece::Kind kind = Piece::Bytes) {
  Piece piece;
  piece.kind = kind;
  piece.item = item;
  piece.bytes.assign(bytes.begin(), bytes.end());
  return piece;
}

// What WriteEntry writes for each item, in the same order.
void ParallelWriter::ReadEntries() {
  for (const auto& entry : job_.entries) {
    const tfile& item = *entry;
    if (item.IsFolder()) {
      uint32_t checksum = ByteSum(item.Name.data(), item.Name.size());
      if (!Queue(BytesPiece(EntryHeaderBytes(EntryKindOrdinary, item.Name, 0, item.Time, item.Attr) +
                                std::string(reinterpret_cast<const char*>(&checksum), sizeof checksum),
                            &item)))
        return;
      continue;
    }
    SourceFile source(item.Path, item.WidePath);
    if (IsTarget(job_, source.Identity())) continue;
    if (!Queue(BytesPiece("", &item, Piece::FileStart)) ||
        !Queue(BytesPiece(EntryHeaderBytes(EntryKindOf(job_, item), item.Name, static_cast<int32_t>(item.Size),
                                           item.Time, item.Attr),
                          nullptr)))
      return;
    uint32_t checksum = ByteSum(item.Name.data(), item.Name.size());
    for (int32_t stored = 0; stored < item.Size;) {
      Piece chunk;
      chunk.kind = Piece::Chunk;
      chunk.item = &item;
      chunk.rawLength = std::min<uint32_t>(static_cast<uint32_t>(item.Size - stored), ChunkSize);
      chunk.stored = stored;
      chunk.cost = chunk.rawLength + PieceOverhead;
      if (!work_.Reserve(chunk.cost)) return;
      chunk.bytes.resize(chunk.rawLength);
      source.ReadExact(chunk.bytes.data(), chunk.rawLength);
      checksum = ByteSum(chunk.bytes.data(), chunk.rawLength, checksum);
      stored += static_cast<int32_t>(chunk.rawLength);
      work_.Queue(std::move(chunk), true);
    }
    if (!Queue(BytesPiece(std::string(reinterpret_cast<const char*>(&checksum), sizeof checksum), &item,
                          Piece::FileEnd)))
      return;
    source.Close();
  }
}

void ParallelWriter::Run() {
  // Each worker keeps one deflate state for all its chunks.
  work_.Start([this] { ReadEntries(); }, workers_, [] {
    return [compressor = std::make_shared<ChunkCompressor>()](const Piece& chunk) {
      return CompressPiece(*compressor, chunk);
    };
  });
  Piece piece;
  while (work_.Next(piece)) {
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
    work_.Release(piece.cost);
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
