// The main routine: banner, then cases until the user declines another one.
#ifndef SURGE_DIALOGUE_DIALOGUE_H_
#define SURGE_DIALOGUE_DIALOGUE_H_

namespace surge {

// Runs the dialogue on the console units. Never returns: the process ends
// through the runtime's stop or a run-time error report.
[[noreturn]] void run_dialogue();

// Test only: forgets the answers and the side label of earlier runs.
void reset_dialogue_for_test();

}  // namespace surge

#endif  // SURGE_DIALOGUE_DIALOGUE_H_
