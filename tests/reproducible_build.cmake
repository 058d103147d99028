# Two clean builds of the installer, in folders of different names and at
# different times, give the same PewsterlineSetup.exe byte for byte; with
# SOURCE_DATE_EPOCH set, the image carries that time stamp and differs in
# nothing but the time stamp and the checksum that follows it.
#
#   cmake -DSOURCE=<source folder> -DPAYLOAD=<payload folder> -DWORK=<scratch folder>
#         -P reproducible_build.cmake
#
# Each build is configured as the "release" preset configures (the installer
# alone, the same toolchain) and builds only the installer.
cmake_minimum_required(VERSION 3.25)

foreach(argument SOURCE PAYLOAD WORK)
  if(NOT DEFINED ${argument})
    message(FATAL_ERROR "usage: cmake -DSOURCE=<folder> -DPAYLOAD=<folder> -DWORK=<folder> -P reproducible_build.cmake")
  endif()
endforeach()

function(run)
  execute_process(COMMAND ${ARGN} WORKING_DIRECTORY "${SOURCE}" RESULT_VARIABLE code
                  OUTPUT_VARIABLE output ERROR_VARIABLE output)
  if(NOT code EQUAL 0)
    message(FATAL_ERROR "${ARGN} failed:\n${output}")
  endif()
endfunction()

# Configures `folder` (afresh unless KEEP) and builds the installer there, with
# SOURCE_DATE_EPOCH set to CONFIGURE_EPOCH while configuring and to BUILD_EPOCH
# while building (unset where not given): the one seen when configuring counts.
function(build_installer folder)
  cmake_parse_arguments(ARG "KEEP" "CONFIGURE_EPOCH;BUILD_EPOCH" "" ${ARGN})
  if(NOT ARG_KEEP)
    file(REMOVE_RECURSE "${folder}")
  endif()
  set(ENV{SOURCE_DATE_EPOCH} "${ARG_CONFIGURE_EPOCH}")
  run(${CMAKE_COMMAND} --preset release -B "${folder}" -DPEW_PAYLOAD_DIR=${PAYLOAD})
  set(ENV{SOURCE_DATE_EPOCH} "${ARG_BUILD_EPOCH}")
  run(${CMAKE_COMMAND} --build "${folder}" --target PewsterlineSetup -j 2)
  unset(ENV{SOURCE_DATE_EPOCH})
endfunction()

# The unsigned little-endian 32-bit number at `offset` of `file`.
function(read_u32 file offset out)
  file(READ "${file}" hex OFFSET ${offset} LIMIT 4 HEX)
  string(REGEX REPLACE "(..)(..)(..)(..)" "\\4\\3\\2\\1" hex "${hex}")
  math(EXPR value "0x${hex}")
  set(${out} ${value} PARENT_SCOPE)
endfunction()

set(first "${WORK}/first")
set(second "${WORK}/second-build-in-a-folder-with-a-longer-name")
set(epoch 1700000000)

build_installer("${first}")
build_installer("${second}" BUILD_EPOCH 1)
set(a "${first}/PewsterlineSetup.exe")
set(b "${second}/PewsterlineSetup.exe")
execute_process(COMMAND cmp -l "${a}" "${b}" OUTPUT_VARIABLE differences RESULT_VARIABLE code)
if(NOT code EQUAL 0)
  string(SUBSTRING "${differences}" 0 600 differences)
  message(FATAL_ERROR "Two clean builds of the same sources differ; offset (from 1) and the "
                      "two bytes in octal:\n${differences}")
endif()

read_u32("${a}" 60 header)
math(EXPR stampAt "${header} + 8")
math(EXPR checksumAt "${header} + 24 + 64")
read_u32("${a}" ${stampAt} stamp)
if(NOT stamp EQUAL 0)
  message(FATAL_ERROR "Without SOURCE_DATE_EPOCH the PE time stamp is ${stamp}, not 0")
endif()

# The first build again, configured with SOURCE_DATE_EPOCH: only the installer
# is linked again.
build_installer("${first}" KEEP CONFIGURE_EPOCH ${epoch} BUILD_EPOCH 1)
read_u32("${a}" ${stampAt} stamp)
if(NOT stamp EQUAL epoch)
  message(FATAL_ERROR "With SOURCE_DATE_EPOCH=${epoch} the PE time stamp is ${stamp}")
endif()
execute_process(COMMAND cmp -l "${a}" "${b}" OUTPUT_VARIABLE differences)
string(REGEX MATCHALL "[0-9]+ +[0-7]+ +[0-7]+" differences "${differences}")
foreach(difference IN LISTS differences)
  string(REGEX MATCH "^[0-9]+" offset "${difference}")
  math(EXPR offset "${offset} - 1")
  math(EXPR fromStamp "${offset} - ${stampAt}")
  math(EXPR fromChecksum "${offset} - ${checksumAt}")
  if(NOT (fromStamp GREATER_EQUAL 0 AND fromStamp LESS 4) AND
     NOT (fromChecksum GREATER_EQUAL 0 AND fromChecksum LESS 4))
    message(FATAL_ERROR "SOURCE_DATE_EPOCH changed more than the time stamp and the checksum: "
                        "byte ${offset} differs")
  endif()
endforeach()
message(STATUS "Two clean builds are byte for byte the same; SOURCE_DATE_EPOCH sets the time stamp")
