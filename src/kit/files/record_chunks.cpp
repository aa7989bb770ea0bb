// A CSV stream read in chunks of whole records.
#include "kit/files/record_chunks.h"

#include <cassert>

#include "kit/files/csv.h"

namespace kit {

RecordChunks::RecordChunks(std::FILE* in, std::string_view already_read, bool at_end,
                           size_t chunk_bytes)
    : in_(in), chunk_bytes_(chunk_bytes), carry_(already_read), eof_(at_end) {
  assert(chunk_bytes > 0);
}

bool RecordChunks::next(std::string* chunk) {
  chunk->assign(carry_);
  carry_.clear();
  size_t want = chunk_bytes_;
  for (;;) {
    while (!eof_ && chunk->size() < want) {
      const size_t have = chunk->size();
      chunk->resize(want);
      const size_t got = std::fread(chunk->data() + have, 1, want - have, in_);
      chunk->resize(have + got);
      if (got == 0) eof_ = true;  // the end, or a read fault the caller asks the stream about
    }
    if (eof_) return !chunk->empty();
    const size_t whole = whole_records_size(*chunk);
    if (whole > 0) {
      carry_.assign(*chunk, whole);
      chunk->resize(whole);
      return true;
    }
    want = chunk->size() * 2;  // one record longer than the chunk: read on
  }
}

}  // namespace kit
