# check_layers.cmake on planted trees: each row plants one file in an
# otherwise empty kit folder and expects the check to pass, or to refuse with
# a line naming the file and what it holds.
# Run as: cmake -DCHECK=check_layers.cmake -DWORK=scratch-folder -P check_layers_test.cmake
cmake_minimum_required(VERSION 3.25)

# Row: the file planted, its text, and "pass" or the fault line expected
# (after "  FILE: "). Fields are separated by "|"; the texts hold no ";",
# which a CMake list would split at.
set(rows
  "page/clean.cpp|#include \"kit/studies/curves.h\"\n// no stderr here: a comment\n|pass"
  "page/wrong.cpp|#include \"../studies/curves.h\"\n|#include \"../studies/curves.h\""
  "commands/climb.cpp|#include \"kit/core/../files/csv.h\"\n|#include \"kit/core/../files/csv.h\""
  "app/main.cpp|#include <kit/commands/../../x.h>\n|#include <kit/commands/../../x.h>"
  "commands/talk.cpp|#include <CLI/CLI.hpp>\nint f() { return std::fputs(\"x\", stderr) }\n|pass"
  "app/talk.cpp|int f() { return std::fprintf(stderr, \"x\") }\n|pass"
  "core/limits.h|inline int warn() { return std::fputs(\"x\", stderr) }\n|inline int warn() { return std::fputs(\"x\", stderr) }"
  "files/data_folder.h|#include <CLI/CLI.hpp>\n|#include <CLI/CLI.hpp>"
  "studies/deeper/one.cpp|void f() { std::cerr << 1 }\n|void f() { std::cerr << 1 }"
  "page/version.h|// \"a..b\" and ../x in a comment, #include \"a..b.h\"\n#include \"a..b.h\"\n|pass"
)

set(failed 0)
foreach(row IN LISTS rows)
  string(REPLACE "|" ";" fields "${row}")
  list(GET fields 0 planted)
  list(GET fields 1 text)
  list(GET fields 2 expected)
  set(kit ${WORK}/kit)
  file(REMOVE_RECURSE ${WORK})
  foreach(folder app commands page studies coefficients files core)
    file(MAKE_DIRECTORY ${kit}/${folder})
  endforeach()
  file(WRITE ${kit}/${planted} "${text}")
  execute_process(COMMAND ${CMAKE_COMMAND} -DKIT=${kit} -DSTAMP=${WORK}/stamp -P ${CHECK}
                  RESULT_VARIABLE status ERROR_VARIABLE err OUTPUT_QUIET)
  if(expected STREQUAL "pass")
    if(NOT status EQUAL 0 OR NOT EXISTS ${WORK}/stamp)
      message(SEND_ERROR "${planted}: refused, but should pass:\n${err}")
      set(failed 1)
    endif()
  else()
    string(FIND "${err}" "  ${planted}: ${expected}\n" at)
    if(status EQUAL 0 OR EXISTS ${WORK}/stamp OR at EQUAL -1)
      message(SEND_ERROR "${planted}: expected the fault '${expected}', got status ${status}:\n${err}")
      set(failed 1)
    endif()
  endif()
endforeach()
file(REMOVE_RECURSE ${WORK})
list(LENGTH rows count)
if(NOT failed)
  message(STATUS "${count} planted files: the check passed and refused each as expected")
endif()
