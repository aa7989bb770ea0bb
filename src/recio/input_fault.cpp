// Message numbers of the input faults: the one place where they are chosen.
#include "recio/input_fault.h"

namespace recio {

int message_number(InputFault fault) {
  switch (fault) {
    case InputFault::kNone: return 0;
    case InputFault::kEndOfFile: return 24;
    case InputFault::kReadFailed: return 39;
    case InputFault::kNoRecordMemory: return 98;
    case InputFault::kNoQuoteMemory: return 41;
    case InputFault::kBadCharacter:
    case InputFault::kSignAfterSign:
    case InputFault::kSignWithoutDigit:
    case InputFault::kSecondFullStop:
    case InputFault::kMisplacedExponent:
    case InputFault::kNoDigits:
    case InputFault::kEmptyRepeatCount:
    case InputFault::kRightParenthesis:
    case InputFault::kNestedParenthesis:
    case InputFault::kMalformedPair:
    case InputFault::kQuotedTooLong:
    case InputFault::kEndInQuotes: return 59;
    case InputFault::kOutOfRange:
    case InputFault::kWordForInteger:
    case InputFault::kInnerSign:
    case InputFault::kTrailingCharacters:
    case InputFault::kQuotedValue:
    case InputFault::kBadRepeatCount:
    case InputFault::kNotFiniteForInteger: return 64;
  }
  return 0;
}

}  // namespace recio
