# Reads payload/catalogue.txt (its format is described at its top). Used by the
# configure step, which only needs the group folders, and by embed-payload.cmake,
# which checks the input files against it and embeds them.
#
# pew_read_payload_catalogue(<catalogue file> <prefix>) sets in the caller:
#   <prefix>_GROUPS              the group names, in catalogue order
#   <prefix>_<group>_FOLDER      the group's folder, relative to the catalogue
#   <prefix>_<group>_POLICY      replace, keep or keep-set: what is done with its files already there
#   <prefix>_<group>_DESTINATION folder or help: the installation folder or its Help folder
#   <prefix>_<group>_COUNT       its number of entries
#   <prefix>_<group>_TOTAL       the sum of its sizes
#   <prefix>_<group>_NAME_<i>    name of entry i (1-based), without padding
#   <prefix>_<group>_SIZE_<i>    size of entry i in bytes
#   <prefix>_ERRORS              every problem found, one per line; empty when none
#
# Entries are kept in numbered variables rather than lists so that a name can
# hold any character a file name may hold without upsetting CMake's list syntax.

# The name table gives every name 32 characters.
set(PEW_PAYLOAD_NAME_WIDTH 32)
# The installation chooses a group's entries with one 64-bit value, a bit
# each, and keeps its choice for at most 8 groups (payload/payload.h).
set(PEW_PAYLOAD_MAX_ENTRIES 64)
set(PEW_PAYLOAD_MAX_GROUPS 8)
# Sizes and offsets are signed 32-bit integers in the image.
set(PEW_PAYLOAD_MAX_BYTES 2147483647)

function(pew_read_payload_catalogue catalogue prefix)
  set(errors "")
  set(groups "")
  set(group "")
  if(NOT EXISTS "${catalogue}")
    set(${prefix}_GROUPS "" PARENT_SCOPE)
    set(${prefix}_ERRORS "${catalogue}: the payload catalogue is missing" PARENT_SCOPE)
    return()
  endif()
  file(READ "${catalogue}" content)
  # Lines are split through a CMake list, in which ';' separates and brackets
  # group; neither has a place in a file name that the installer ships.
  if(content MATCHES "[][;]")
    set(${prefix}_GROUPS "" PARENT_SCOPE)
    set(${prefix}_ERRORS "${catalogue}: ';', '[' and ']' are not allowed in the catalogue" PARENT_SCOPE)
    return()
  endif()
  string(REPLACE "\n" ";" lines "${content}")

  set(lineNumber 0)
  foreach(line IN LISTS lines)
    math(EXPR lineNumber "${lineNumber} + 1")
    set(where "${catalogue}:${lineNumber}")
    string(REGEX REPLACE "\r$" "" line "${line}")
    if(line MATCHES "^[ \t]*(#.*)?$")
      continue()
    endif()

    if(line MATCHES "^group[ \t]+([^ \t]+)[ \t]+([^ \t]+)[ \t]+([^ \t]+)[ \t]+([^ \t]+)[ \t]*$")
      set(group "${CMAKE_MATCH_1}")
      set(folder "${CMAKE_MATCH_2}")
      set(policy "${CMAKE_MATCH_3}")
      set(destination "${CMAKE_MATCH_4}")
      if(NOT policy MATCHES "^(replace|keep|keep-set)$")
        string(APPEND errors "${where}: policy '${policy}' of group ${group} is not one of replace, keep, keep-set\n")
      endif()
      if(NOT destination MATCHES "^(folder|help)$")
        string(APPEND errors "${where}: destination '${destination}' of group ${group} is not one of folder, help\n")
      endif()
      if(NOT group MATCHES "^[A-Za-z_][A-Za-z0-9_]*$")
        string(APPEND errors "${where}: group name '${group}' is not an identifier\n")
      endif()
      if(NOT folder MATCHES "^[A-Za-z0-9_][A-Za-z0-9_.-]*$")
        string(APPEND errors "${where}: folder '${folder}' must be a plain folder name beside the catalogue\n")
      endif()
      if(group IN_LIST groups)
        # Its entries are still read (into the first one) to report their own problems.
        string(APPEND errors "${where}: group ${group} is listed twice\n")
        continue()
      endif()
      list(APPEND groups "${group}")
      set(${group}_folder "${folder}")
      set(${group}_policy "${policy}")
      set(${group}_destination "${destination}")
      set(${group}_count 0)
      set(${group}_total 0)
      set(${group}_keys "")
      continue()
    endif()

    if(NOT line MATCHES "^([0-9]+) (.*)$")
      string(APPEND errors "${where}: expected 'group <name> <folder> <policy> <destination>' or '<size> <file name>', found '${line}'\n")
      continue()
    endif()
    set(size "${CMAKE_MATCH_1}")
    set(name "${CMAKE_MATCH_2}")
    if(group STREQUAL "")
      string(APPEND errors "${where}: entry '${name}' comes before any group line\n")
      continue()
    endif()

    string(LENGTH "${size}" digits)
    if(digits GREATER 10 OR size GREATER PEW_PAYLOAD_MAX_BYTES)
      string(APPEND errors "${where}: size ${size} of '${name}' does not fit in 32 bits\n")
      set(size 0)
    endif()
    string(LENGTH "${name}" nameLength)
    if(nameLength EQUAL 0)
      string(APPEND errors "${where}: an entry has no file name\n")
    elseif(nameLength GREATER PEW_PAYLOAD_NAME_WIDTH)
      string(APPEND errors "${where}: file name '${name}' is longer than ${PEW_PAYLOAD_NAME_WIDTH} characters\n")
    endif()
    if(name MATCHES " $")
      # The writer trims the name field, so the blank would be lost on disk.
      string(APPEND errors "${where}: file name '${name}' ends with a blank\n")
    endif()
    if(NOT name MATCHES "^[ -~]*$" OR name MATCHES "[\\/:*?\"<>|]")
      string(APPEND errors "${where}: file name '${name}' holds a character that Windows file names cannot hold\n")
    endif()
    # Windows compares names without regard to case: two such entries would
    # overwrite each other.
    string(TOLOWER "${name}" key)
    if(key IN_LIST ${group}_keys)
      string(APPEND errors "${where}: file name '${name}' is listed twice in group ${group}\n")
    endif()
    list(APPEND ${group}_keys "${key}")

    math(EXPR ${group}_count "${${group}_count} + 1")
    set(${group}_name_${${group}_count} "${name}")
    set(${group}_size_${${group}_count} "${size}")
    math(EXPR ${group}_total "${${group}_total} + ${size}")
    if(${group}_total GREATER PEW_PAYLOAD_MAX_BYTES)
      string(APPEND errors "${where}: group ${group} grows beyond ${PEW_PAYLOAD_MAX_BYTES} bytes\n")
    endif()
  endforeach()

  list(LENGTH groups groupCount)
  if(groupCount EQUAL 0)
    string(APPEND errors "${catalogue}: no group is listed\n")
  elseif(groupCount GREATER PEW_PAYLOAD_MAX_GROUPS)
    string(APPEND errors "${catalogue}: more than ${PEW_PAYLOAD_MAX_GROUPS} groups are listed\n")
  endif()
  foreach(group IN LISTS groups)
    if(${group}_count EQUAL 0)
      string(APPEND errors "${catalogue}: group ${group} has no entries\n")
    elseif(${group}_count GREATER PEW_PAYLOAD_MAX_ENTRIES)
      string(APPEND errors "${catalogue}: group ${group} has more than ${PEW_PAYLOAD_MAX_ENTRIES} entries\n")
    endif()
    set(${prefix}_${group}_FOLDER "${${group}_folder}" PARENT_SCOPE)
    set(${prefix}_${group}_POLICY "${${group}_policy}" PARENT_SCOPE)
    set(${prefix}_${group}_DESTINATION "${${group}_destination}" PARENT_SCOPE)
    set(${prefix}_${group}_COUNT "${${group}_count}" PARENT_SCOPE)
    set(${prefix}_${group}_TOTAL "${${group}_total}" PARENT_SCOPE)
    if(${group}_count GREATER 0)
      foreach(i RANGE 1 ${${group}_count})
        set(${prefix}_${group}_NAME_${i} "${${group}_name_${i}}" PARENT_SCOPE)
        set(${prefix}_${group}_SIZE_${i} "${${group}_size_${i}}" PARENT_SCOPE)
      endforeach()
    endif()
  endforeach()
  set(${prefix}_GROUPS "${groups}" PARENT_SCOPE)
  set(${prefix}_ERRORS "${errors}" PARENT_SCOPE)
endfunction()
