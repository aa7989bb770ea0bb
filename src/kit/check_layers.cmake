# Fails when one of FILES writes to the standard error stream or uses the
# command-line parser: only surgekit's commands and its main talk to the user.
# Run as: cmake -DLIST=file-of-paths -DSTAMP=file -P check_layers.cmake
file(READ ${LIST} FILES)
set(faults "")
foreach(file ${FILES})
  file(STRINGS ${file} lines REGEX "stderr|std::cerr|std::clog|perror|<CLI/|CLI::")
  foreach(line ${lines})
    string(STRIP "${line}" line)
    if(NOT line MATCHES "^//")
      string(APPEND faults "${file}: ${line}\n")
    endif()
  endforeach()
endforeach()
if(faults)
  message(FATAL_ERROR "Only the commands may write to standard error or parse options:\n${faults}")
endif()
file(TOUCH ${STAMP})
