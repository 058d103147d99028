# The hardening that the installer's PE header declares, as Windows' binary
# analysers check it: ASLR with the relocations it needs, DEP, no SEH handlers,
# Remote Desktop awareness, a GUI program for Windows 6.0 (Vista) or later, no
# section both writable and executable; and code compiled for no later Windows
# than the header names, whose functions would fail to load there. As the
# toolchain's objdump prints them.
#
#   cmake -DIMAGE=<exe> -DOBJDUMP=<objdump> -DDEFINITIONS=<its compile definitions,...> -P pe_header.cmake
#
# Fails naming every flag or field that is missing or wrong.
cmake_minimum_required(VERSION 3.25)
execute_process(COMMAND ${OBJDUMP} -p -h ${IMAGE} OUTPUT_VARIABLE dump COMMAND_ERROR_IS_FATAL ANY)
foreach(field Subsystem MajorOSystemVersion MinorOSystemVersion MajorSubsystemVersion MinorSubsystemVersion)
  string(REGEX MATCH "\n${field}\t+0*([0-9a-f]+)" _ "${dump}")
  set(${field} "${CMAKE_MATCH_1}")
endforeach()
set(os ${MajorOSystemVersion}.${MinorOSystemVersion})
set(subsystem ${MajorSubsystemVersion}.${MinorSubsystemVersion})
# What objdump prints where the header has it, and what is missing where not.
set(checks "\nMagic\t+010b\t" "PE32 format" "\tDYNAMIC_BASE\n" DYNAMIC_BASE "\tNX_COMPAT\n" NX_COMPAT
  "\tNO_SEH\n" NO_SEH "\tTERMINAL_SERVICE_AWARE\n" TERMINAL_SERVER_AWARE
  "\nEntry 5 0*[1-9a-f][0-9a-f]* 0*[1-9a-f]" "relocations (ASLR cannot move the image without them)"
  "\nSubsystem\t+00000002\t" "GUI subsystem (it is ${Subsystem})"
  "\nMajorSubsystemVersion\t+([6-9]|[1-9][0-9])\n" "subsystem version 6.0 or later (it is ${subsystem})"
  "\nMajorOSystemVersion\t+([6-9]|[1-9][0-9])\n" "operating system version 6.0 or later (it is ${os})")
set(missing "")
while(checks)
  list(POP_FRONT checks pattern text)
  if(NOT dump MATCHES "${pattern}")
    list(APPEND missing "${text}")
  endif()
endwhile()
# Sections: READONLY without IMAGE_SCN_MEM_WRITE, CODE with IMAGE_SCN_MEM_EXECUTE.
string(REGEX MATCHALL "\n +[0-9]+ [^ \n]+ +[0-9a-f]+ [^\n]+\n +[A-Z, ]+" sections "${dump}")
foreach(section IN LISTS sections)
  if(section MATCHES "CODE" AND NOT section MATCHES "READONLY" AND section MATCHES " [0-9]+ ([^ ]+)")
    list(APPEND missing "no section both writable and executable (${CMAKE_MATCH_1} is)")
  endif()
endforeach()
# The Windows headers declare what the system of _WIN32_WINNT and WINVER has;
# without _WIN32_WINNT, mingw-w64's give the newest they know.
math(EXPR declared "${MajorOSystemVersion} * 256 + ${MinorOSystemVersion}")
string(REGEX MATCHALL "(_WIN32_WINNT|WINVER)=0x[0-9a-fA-F]+" levels "${DEFINITIONS}")
if(NOT levels MATCHES "_WIN32_WINNT")
  list(APPEND levels "_WIN32_WINNT=0xA00 by default")
endif()
foreach(level IN LISTS levels)
  string(REGEX MATCH "0x[0-9a-fA-F]+" value "${level}")
  math(EXPR beyond "${value} - ${declared}")
  if(beyond GREATER 0)
    list(APPEND missing "operating system version as new as its API (${level})")
  endif()
endforeach()

if(NOT missing STREQUAL "")
  string(REPLACE ";" ", " missing "${missing}")
  # On a line of its own: CMake wraps the text of an error.
  message(STATUS "${IMAGE}: its header lacks ${missing}")
  message(FATAL_ERROR "The header lacks what Windows checks for: see above")
endif()
message(STATUS "${IMAGE}: DYNAMIC_BASE with relocations, NX_COMPAT, NO_SEH, TERMINAL_SERVER_AWARE, "
               "GUI subsystem ${subsystem} for Windows ${os} and its API, no section writable and executable")
