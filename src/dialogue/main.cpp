// Program entry: the runtime's start-up, then the dialogue.
#include "dialogue/dialogue.h"
#include "recio/units.h"

int main() {
  recio::start_runtime();
  surge::run_dialogue();
}
