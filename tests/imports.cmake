# The DLLs that the installer imports, against the list it may import: those
# that every window of the process needs from its first moment. ole32 and
# shell32 are loaded by the shortcut code when the first shortcut is made
# (shortcuts/create_shortcut.cpp); imported, they and the DLLs they bring were
# loaded and initialised before the first window, which the user waits for.
#
#   cmake -DINSTALLER=<exe> -DOBJDUMP=<objdump> -DALLOWED=<dll,...> -P imports.cmake
#
# Fails naming every DLL imported beyond the list; names are compared without
# regard to case, as Windows does.
cmake_minimum_required(VERSION 3.25)
foreach(argument INSTALLER OBJDUMP ALLOWED)
  if(NOT DEFINED ${argument})
    message(FATAL_ERROR "usage: cmake -DINSTALLER=<exe> -DOBJDUMP=<objdump> -DALLOWED=<dll,...> -P imports.cmake")
  endif()
endforeach()

execute_process(COMMAND ${OBJDUMP} -p ${INSTALLER} OUTPUT_VARIABLE headers RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "${OBJDUMP} cannot read ${INSTALLER}")
endif()
string(REGEX MATCHALL "DLL Name: [^\n]+" lines "${headers}")
if(lines STREQUAL "")
  message(FATAL_ERROR "${INSTALLER}: no import found; is it a PE image?")
endif()
string(TOLOWER "${ALLOWED}" allowed)
string(REPLACE "," ";" allowed "${allowed}")
set(imported "")
set(unexpected "")
foreach(line IN LISTS lines)
  string(REGEX REPLACE "^DLL Name: *" "" dll "${line}")
  string(STRIP "${dll}" dll)
  string(TOLOWER "${dll}" key)
  list(APPEND imported "${dll}")
  if(NOT key IN_LIST allowed)
    list(APPEND unexpected "${dll}")
  endif()
endforeach()
if(NOT unexpected STREQUAL "")
  string(REPLACE ";" ", " unexpected "${unexpected}")
  string(REPLACE "," ", " ALLOWED "${ALLOWED}")
  message(FATAL_ERROR "The installer imports ${unexpected} beyond ${ALLOWED}")
endif()
string(REPLACE ";" ", " imported "${imported}")
message(STATUS "The installer imports ${imported}")
