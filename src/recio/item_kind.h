// The kinds of value that statements transfer.
#ifndef SURGE_RECIO_ITEM_KIND_H_
#define SURGE_RECIO_ITEM_KIND_H_

#include <cstdint>

namespace recio {

// Int16 and Int32 are signed integers; Real32 and Real64 IEEE single and double;
// Text (output only) a run of bytes given by start and length.
enum class ItemKind : uint8_t { kInt16, kInt32, kReal32, kReal64, kText };

}  // namespace recio

#endif  // SURGE_RECIO_ITEM_KIND_H_
