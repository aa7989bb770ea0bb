# Checks what the per-folder include roots cannot: in every .h and .cpp file
# under KIT (surgekit's sources), no include path climbs with "..", which would
# reach a folder its layer may not use; and below the commands (core, files,
# coefficients, studies, page) nothing writes to the standard error stream or
# uses the command-line parser: only the commands and main talk to the user.
# Touches STAMP when all is well.
# Run as: cmake -DKIT=src/kit -DSTAMP=file -P check_layers.cmake
cmake_minimum_required(VERSION 3.25)
set(lower_layers core files coefficients studies page)
set(climbing_include "^[ \t]*#[ \t]*include[ \t]*[\"<]([^\">]*/)?\\.\\./")
set(console_use "stderr|std::cerr|std::clog|perror|<CLI/|CLI::")
file(GLOB_RECURSE files RELATIVE ${KIT} ${KIT}/*.h ${KIT}/*.cpp)
list(SORT files)
set(climbing "")
set(console "")
foreach(file ${files})
  # A line that holds a ';' comes back in pieces: each piece is tested again.
  file(STRINGS ${KIT}/${file} lines REGEX "${climbing_include}")
  foreach(line ${lines})
    string(STRIP "${line}" line)
    if(line MATCHES "${climbing_include}")
      string(APPEND climbing "  ${file}: ${line}\n")
    endif()
  endforeach()
  string(REGEX MATCH "^[^/]+" layer ${file})
  if(NOT layer IN_LIST lower_layers)
    continue()
  endif()
  file(STRINGS ${KIT}/${file} lines REGEX "${console_use}")
  foreach(line ${lines})
    string(STRIP "${line}" line)
    if(line MATCHES "${console_use}" AND NOT line MATCHES "^//")
      string(APPEND console "  ${file}: ${line}\n")
    endif()
  endforeach()
endforeach()
set(faults "")
if(climbing)
  string(APPEND faults "An include path may not climb with '..' (name the file as kit/FOLDER/NAME.h):\n"
                       "${climbing}")
endif()
if(console)
  string(APPEND faults "Only the commands may write to standard error or parse options:\n"
                       "${console}")
endif()
if(faults)
  message(FATAL_ERROR "${faults}")
endif()
file(TOUCH ${STAMP})
