# Checks the payload input folders against the catalogue and writes the C++
# source that embeds them. Run by the build (see CMakeLists.txt beside it):
#
#   cmake -DCATALOGUE=<payload/catalogue.txt> [-DINPUTS=<folder>] -DOUTPUT=<generated .cpp>
#         -P embed-payload.cmake
#
# INPUTS is the folder that holds the group folders (the build's PEW_PAYLOAD_DIR);
# without it, the folder of the catalogue.
#
# The build stops here, naming the file, when a listed file is missing or is a
# folder, when its size differs from the catalogue's, or when a group folder
# holds anything that is not listed. Nothing is written then, and an earlier
# output is removed, so that no stale catalogue can be compiled in its place.
#
# The generated source holds each group's size, name and CRC-32 tables as C++
# arrays, and its bytes as one assembler .incbin per file, back to back in a read-only
# section of the group's own: the assembler copies the files straight into the
# object, which is much faster to build than a source of byte arrays.
cmake_minimum_required(VERSION 3.25)

if(NOT DEFINED CATALOGUE OR NOT DEFINED OUTPUT)
  message(FATAL_ERROR "usage: cmake -DCATALOGUE=<catalogue.txt> -DOUTPUT=<file.cpp> -P embed-payload.cmake")
endif()

include("${CMAKE_CURRENT_LIST_DIR}/catalogue.cmake")
pew_read_payload_catalogue("${CATALOGUE}" catalogue)
get_filename_component(inputRoot "${CATALOGUE}" DIRECTORY)
if(DEFINED INPUTS)
  set(inputRoot "${INPUTS}")
endif()

# One problem a line, each naming its file, unwrapped so that a path stays whole.
function(pew_refuse errors)
  file(REMOVE "${OUTPUT}")
  message(NOTICE "${errors}")
  message(FATAL_ERROR "The payload does not match its catalogue ${CATALOGUE}: see above.")
endfunction()

if(NOT catalogue_ERRORS STREQUAL "")
  pew_refuse("${catalogue_ERRORS}")
endif()
set(errors "")

# Every listed file is present with exactly its listed size, and nothing else
# lies in the group's folder.
foreach(group IN LISTS catalogue_GROUPS)
  set(folder "${inputRoot}/${catalogue_${group}_FOLDER}")
  if(NOT IS_DIRECTORY "${folder}")
    string(APPEND errors "${folder}: the folder of group ${group} is missing\n")
    continue()
  endif()
  set(listed "")
  foreach(i RANGE 1 ${catalogue_${group}_COUNT})
    set(name "${catalogue_${group}_NAME_${i}}")
    set(expected "${catalogue_${group}_SIZE_${i}}")
    set(file "${folder}/${name}")
    list(APPEND listed "${name}")
    if(NOT EXISTS "${file}")
      string(APPEND errors "${file}: listed in the catalogue with ${expected} bytes, but missing\n")
    elseif(IS_DIRECTORY "${file}")
      string(APPEND errors "${file}: listed in the catalogue as a file, but is a folder\n")
    else()
      file(SIZE "${file}" actual)
      if(NOT actual EQUAL expected)
        string(APPEND errors "${file}: is ${actual} bytes, but the catalogue lists ${expected}\n")
      endif()
    endif()
  endforeach()
  file(GLOB present LIST_DIRECTORIES true "${folder}/*")
  foreach(file IN LISTS present)
    get_filename_component(name "${file}" NAME)
    if(NOT name IN_LIST listed)
      string(APPEND errors "${file}: not listed in the catalogue of group ${group}\n")
    endif()
  endforeach()
endforeach()

if(NOT errors STREQUAL "")
  pew_refuse("${errors}")
endif()

# A text as the body of a C string literal.
function(pew_c_string_body text out)
  string(REPLACE "\\" "\\\\" text "${text}")
  string(REPLACE "\"" "\\\"" text "${text}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

# A name as an initialiser of char[width]: its characters, then blanks, no terminator.
function(pew_c_name_field name width out)
  string(LENGTH "${name}" length)
  set(field "")
  math(EXPR last "${width} - 1")
  foreach(i RANGE 0 ${last})
    if(i LESS length)
      string(SUBSTRING "${name}" ${i} 1 c)
      if(c STREQUAL "'" OR c STREQUAL "\\")
        set(c "\\${c}")
      endif()
    else()
      set(c " ")
    endif()
    if(i GREATER 0)
      string(APPEND field ",")
    endif()
    string(APPEND field "'${c}'")
  endforeach()
  set(${out} "{${field}}" PARENT_SCOPE)
endfunction()

# The CRC-32 of a file (zip's and gzip's: polynomial 0xEDB88320), as a C++
# literal. CMake has no CRC of its own, but a gzip stream ends with the CRC-32
# of what it holds, least significant byte first: the file is compressed into
# a stream of its own (libarchive's raw format), and the CRC read from its end.
function(pew_file_crc32 file out)
  set(stream "${OUTPUT}.crc.gz")
  file(ARCHIVE_CREATE OUTPUT "${stream}" PATHS "${file}" FORMAT raw COMPRESSION GZip COMPRESSION_LEVEL 1)
  file(SIZE "${stream}" size)
  math(EXPR trailer "${size} - 8")
  file(READ "${stream}" bytes OFFSET ${trailer} LIMIT 4 HEX)
  file(REMOVE "${stream}")
  string(REGEX REPLACE "^(..)(..)(..)(..)$" "0x\\4\\3\\2\\1u" crc "${bytes}")
  set(${out} "${crc}" PARENT_SCOPE)
endfunction()

# The catalogue's policy words as PayloadPolicy (payload/payload.h).
set(pew_policy_replace kReplace)
set(pew_policy_keep kKeepExisting)
set(pew_policy_keep-set kKeepExistingSet)
set(pew_destination_folder kInstallationFolder)
set(pew_destination_help kHelpFolder)

set(list "")
set(source "// Generated by payload/embed-payload.cmake from ${CATALOGUE}.\n")
string(APPEND source "// Not to be edited: change the catalogue or the input files instead.\n")
string(APPEND source "#include \"payload/payload.h\"\n")

foreach(group IN LISTS catalogue_GROUPS)
  set(count "${catalogue_${group}_COUNT}")
  set(label "pew_payload_${group}_blob")
  set(folder "${inputRoot}/${catalogue_${group}_FOLDER}")

  string(APPEND source "\n// ${group}: ${count} files, ${catalogue_${group}_TOTAL} bytes, from ${folder}.\n")
  # The section name's $ suffix makes the linker merge it into .rdata; "dr"
  # marks it as read-only data. The assembler output returns to .text so that
  # the compiler's own output after it starts from a known section.
  string(APPEND source "asm(\".section .rdata$pew_payload_${group},\\\"dr\\\"\\n\"\n")
  string(APPEND source "    \"${label}:\\n\"\n")
  set(sizes "")
  set(names "")
  set(crcs "")
  foreach(i RANGE 1 ${count})
    set(name "${catalogue_${group}_NAME_${i}}")
    # The path is quoted twice: once for the assembler, once for C++.
    pew_c_string_body("${folder}/${name}" assemblerPath)
    pew_c_string_body(".incbin \"${assemblerPath}\"" directive)
    string(APPEND source "    \"${directive}\\n\"\n")
    string(APPEND sizes "    ${catalogue_${group}_SIZE_${i}},\n")
    pew_file_crc32("${folder}/${name}" crc)
    string(APPEND crcs "    ${crc},\n")
    pew_c_name_field("${name}" ${PEW_PAYLOAD_NAME_WIDTH} field)
    string(APPEND names "    ${field},\n")
  endforeach()
  string(APPEND source "    \".text\\n\");\n")

  string(APPEND source "extern const std::uint8_t pewPayload${group}Blob[] asm(\"${label}\");\n")
  string(APPEND source "static const std::int32_t pewPayload${group}Sizes[${count}] = {\n${sizes}};\n")
  string(APPEND source "static const char pewPayload${group}Names[${count}][${PEW_PAYLOAD_NAME_WIDTH}] = {\n${names}};\n")
  string(APPEND source "static const std::uint32_t pewPayload${group}Crcs[${count}] = {\n${crcs}};\n")
  set(policy ${pew_policy_${catalogue_${group}_POLICY}})
  set(destination ${pew_destination_${catalogue_${group}_DESTINATION}})
  string(APPEND source "extern const PayloadGroup ${group} = {${count}, pewPayload${group}Sizes, pewPayload${group}Names, pewPayload${group}Blob, pewPayload${group}Crcs, PayloadPolicy::${policy}, PayloadDestination::${destination}};\n")
  string(APPEND list "    &${group},\n")
endforeach()
list(LENGTH catalogue_GROUPS groupCount)
string(APPEND source "\nstatic const PayloadGroup* const pewPayloadGroupList[${groupCount}] = {\n${list}};\n")
string(APPEND source "extern const PayloadGroups kPayloadGroups = {pewPayloadGroupList, ${groupCount}};\n")

file(WRITE "${OUTPUT}" "${source}")
