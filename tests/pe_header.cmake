# The hardening that the installer's PE header declares, as Windows' binary
# analysers check it: ASLR with the relocations it needs, DEP, no SEH handlers,
# Remote Desktop awareness, a GUI program for Windows 6.0 (Vista) or later, and
# no section that is both writable and executable. Read from the file's bytes,
# field by field at the offsets of the PE32 format.
#
#   cmake -DIMAGE=<exe> -P pe_header.cmake
#
# Fails naming every flag or field that is missing or wrong.
cmake_minimum_required(VERSION 3.25)
if(NOT DEFINED IMAGE)
  message(FATAL_ERROR "usage: cmake -DIMAGE=<exe> -P pe_header.cmake")
endif()

# The little-endian number of `size` bytes at `offset`.
function(read_number offset size out)
  math(EXPR offset "${offset}")
  file(READ "${IMAGE}" hex OFFSET ${offset} LIMIT ${size} HEX)
  string(LENGTH "${hex}" digits)
  math(EXPR expected "${size} * 2")
  if(NOT digits EQUAL expected)
    message(FATAL_ERROR "${IMAGE}: ends before offset ${offset} + ${size}; is it a PE image?")
  endif()
  set(reversed "")
  foreach(at RANGE 0 ${digits} 2)
    if(at LESS digits)
      string(SUBSTRING "${hex}" ${at} 2 byte)
      string(PREPEND reversed "${byte}")
    endif()
  endforeach()
  math(EXPR value "0x${reversed}")
  set(${out} ${value} PARENT_SCOPE)
endfunction()

read_number(60 4 header)  # e_lfanew
file(READ "${IMAGE}" signature OFFSET ${header} LIMIT 4 HEX)
if(NOT signature STREQUAL "50450000")
  message(FATAL_ERROR "${IMAGE}: no PE signature")
endif()
math(EXPR coff "${header} + 4")
math(EXPR optional "${coff} + 20")
read_number(${coff}+2 2 sections)
read_number(${coff}+16 2 optional_size)
read_number(${optional} 2 magic)
if(NOT magic EQUAL 267)  # 0x10B
  message(FATAL_ERROR "${IMAGE}: not a PE32 image (optional header magic ${magic})")
endif()
read_number(${optional}+40 2 os_major)
read_number(${optional}+42 2 os_minor)
read_number(${optional}+48 2 subsystem_major)
read_number(${optional}+50 2 subsystem_minor)
read_number(${optional}+68 2 subsystem)
read_number(${optional}+70 2 characteristics)
read_number(${optional}+136 4 relocations_rva)  # data directory 5: base relocations
read_number(${optional}+140 4 relocations_size)

set(missing "")
foreach(flag "DYNAMIC_BASE=64" "NX_COMPAT=256" "NO_SEH=1024" "TERMINAL_SERVER_AWARE=32768")
  string(REPLACE "=" ";" name_and_bit "${flag}")
  list(GET name_and_bit 0 name)
  list(GET name_and_bit 1 bit)
  math(EXPR set "${characteristics} & ${bit}")
  if(set EQUAL 0)
    list(APPEND missing "${name}")
  endif()
endforeach()
if(relocations_rva EQUAL 0 OR relocations_size EQUAL 0)
  list(APPEND missing "relocations (ASLR cannot move the image without them)")
endif()
if(NOT subsystem EQUAL 2)
  list(APPEND missing "GUI subsystem (it is ${subsystem})")
endif()
if(subsystem_major LESS 6)
  list(APPEND missing "subsystem version 6.0 or later (it is ${subsystem_major}.${subsystem_minor})")
endif()
if(os_major LESS 6)
  list(APPEND missing "operating system version 6.0 or later (it is ${os_major}.${os_minor})")
endif()
math(EXPR table "${optional} + ${optional_size}")
math(EXPR last "${sections} - 1")
foreach(index RANGE 0 ${last})
  math(EXPR entry "${table} + 40 * ${index}")
  file(READ "${IMAGE}" name OFFSET ${entry} LIMIT 8)
  read_number(${entry}+36 4 flags)
  # IMAGE_SCN_MEM_WRITE (0x80000000) and IMAGE_SCN_MEM_EXECUTE (0x20000000)
  math(EXPR both "${flags} & 0xA0000000")
  if(both EQUAL 2684354560)
    list(APPEND missing "no section both writable and executable (${name} is)")
  endif()
endforeach()

if(NOT missing STREQUAL "")
  string(REPLACE ";" ", " missing "${missing}")
  # On a line of its own: CMake wraps the text of an error.
  message(STATUS "${IMAGE}: its header lacks ${missing}")
  message(FATAL_ERROR "The header lacks what Windows checks for: see above")
endif()
message(STATUS "${IMAGE}: DYNAMIC_BASE with relocations, NX_COMPAT, NO_SEH, TERMINAL_SERVER_AWARE, "
               "GUI subsystem ${subsystem_major}.${subsystem_minor} for Windows ${os_major}.${os_minor}, "
               "no section writable and executable")
