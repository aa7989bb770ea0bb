// A CSV stream read in chunks of whole records, for work spread over threads.
#ifndef SURGE_KIT_FILES_RECORD_CHUNKS_H_
#define SURGE_KIT_FILES_RECORD_CHUNKS_H_

#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>

namespace kit {

// Reads a stream it does not own in chunks that end where a record ends (an
// LF outside quotes, found as whole_records_size finds it), so that each
// chunk can be read on its own: a line break inside a quoted field never
// ends a chunk. The start of a record that a read cut off is carried over to
// the next chunk. Memory is a chunk and the longest record.
class RecordChunks {
 public:
  // The size of the reads a chunk is cut from.
  static constexpr size_t kChunkBytes = 1 << 17;

  // Continues a stream of which `already_read` was read ahead (a header
  // reader's unread bytes; copied) and which has ended when `at_end`.
  // chunk_bytes > 0.
  RecordChunks(std::FILE* in, std::string_view already_read, bool at_end,
               size_t chunk_bytes = kChunkBytes);

  // Fills *chunk with the next whole records: those within the next
  // chunk_bytes of the input, or, when no record ends within them, within
  // twice as many, and so on. At the end of the input the last chunk holds
  // the rest as it stands, with or without a line end. False, with *chunk
  // empty, when nothing is left. A read fault ends the input as its end does:
  // the caller asks the stream (std::ferror) which it was.
  bool next(std::string* chunk);

 private:
  std::FILE* in_;
  size_t chunk_bytes_;
  std::string carry_;  // read, and not yet in a chunk
  bool eof_;
};

}  // namespace kit

#endif  // SURGE_KIT_FILES_RECORD_CHUNKS_H_
