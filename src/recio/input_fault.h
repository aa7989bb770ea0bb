// The faults that free-form input can meet, and their message numbers.
#ifndef SURGE_RECIO_INPUT_FAULT_H_
#define SURGE_RECIO_INPUT_FAULT_H_

#include <cstdint>

namespace recio {

// Every way an input statement can fail. The scanner and the record reader
// return these; only the statement layer turns them into a run-time error
// report, through message_number().
enum class InputFault : uint8_t {
  kNone,
  // Records.
  kEndOfFile,       // the input ended while the statement still needed a record
  kReadFailed,      // the handle's read failed for any other reason
  kNoRecordMemory,  // the record buffer could not be doubled for a long record
  kNoQuoteMemory,   // the quoted-value buffer could not be allocated
  // Syntax of a value.
  kBadCharacter,       // a character that no numeric value may hold
  kSignAfterSign,      // a sign directly after another sign
  kSignWithoutDigit,   // a sign that no digit follows
  kSecondFullStop,     // more than one full stop in a value
  kMisplacedExponent,  // a second exponent letter, or one with no digit before it
  kNoDigits,           // a numeric value without a digit
  kEmptyRepeatCount,   // an asterisk with nothing before it
  kRightParenthesis,   // a right parenthesis where a value should start
  kNestedParenthesis,  // a left parenthesis inside a pair form
  kMalformedPair,      // the part of a pair form after its first number is malformed
  kQuotedTooLong,      // more characters inside quotes than the buffer holds
  kEndInQuotes,        // the input ended or failed inside quotes
  // Conversion of a value into its item.
  kOutOfRange,           // beyond the item's range or the format's largest finite value
  kWordForInteger,       // an Infinity or NaN word given to an integer item
  kInnerSign,            // a sign inside the digits of an integer-form value
  kTrailingCharacters,   // characters left over after the number or the word
  kQuotedValue,          // a quoted value given to a numeric item
  kBadRepeatCount,       // a repeat count that is not a 4-byte integer
  kNotFiniteForInteger,  // an infinity or a NaN given to an integer item
};

// The run-time message that reports a fault: 24, 39, 41, 59, 64 or 98.
// kNone has no message (0).
int message_number(InputFault fault);

}  // namespace recio

#endif  // SURGE_RECIO_INPUT_FAULT_H_
