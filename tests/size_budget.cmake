# The installer's own cost: its size beyond the payload files it carries, held
# to a budget. People download the installer over slow lines; what the image
# adds to the files it installs is code, tables and resources of our own.
#
#   cmake -DINSTALLER=<PewsterlineSetup.exe> -DCATALOGUE=<payload/catalogue.txt>
#         -DBUDGET=<bytes> -P size_budget.cmake
#
# Prints the figures; fails, naming them, when the overhead exceeds the budget.
cmake_minimum_required(VERSION 3.25)

foreach(argument INSTALLER CATALOGUE BUDGET)
  if(NOT DEFINED ${argument})
    message(FATAL_ERROR "usage: cmake -DINSTALLER=<exe> -DCATALOGUE=<catalogue.txt> -DBUDGET=<bytes> -P size_budget.cmake")
  endif()
endforeach()
if(NOT EXISTS "${INSTALLER}")
  message(FATAL_ERROR "${INSTALLER}: the installer has not been built")
endif()

include("${CMAKE_CURRENT_LIST_DIR}/../payload/catalogue.cmake")
pew_read_payload_catalogue("${CATALOGUE}" catalogue)
if(NOT catalogue_ERRORS STREQUAL "")
  message(FATAL_ERROR "The payload catalogue cannot be read:\n${catalogue_ERRORS}")
endif()

# The build has checked every payload file against these sizes.
set(payload 0)
set(files 0)
foreach(group IN LISTS catalogue_GROUPS)
  math(EXPR payload "${payload} + ${catalogue_${group}_TOTAL}")
  math(EXPR files "${files} + ${catalogue_${group}_COUNT}")
endforeach()

file(SIZE "${INSTALLER}" size)
math(EXPR overhead "${size} - ${payload}")
set(figures "installer ${size} bytes - payload ${payload} bytes (${files} files) = overhead ${overhead} bytes")
if(overhead GREATER BUDGET)
  math(EXPR excess "${overhead} - ${BUDGET}")
  # On a line of its own, unwrapped, so that the figures read (and match) as one.
  message(NOTICE "Size budget exceeded by ${excess} bytes: ${figures}, budget ${BUDGET} bytes")
  message(FATAL_ERROR "The installer is over its size budget: see above.")
endif()
math(EXPR room "${BUDGET} - ${overhead}")
message(STATUS "Size budget kept: ${figures}, budget ${BUDGET} bytes, ${room} bytes to spare")
