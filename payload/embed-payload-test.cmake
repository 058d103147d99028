# Test of embed-payload.cmake: the build embeds input folders that match their
# catalogue and refuses, naming the file, those that do not.
#
#   cmake -DEMBED_SCRIPT=<embed-payload.cmake> -DWORK=<scratch folder> -P embed-payload-test.cmake
cmake_minimum_required(VERSION 3.25)

set(failures "")

# A fresh input tree: a catalogue of two groups and the files that match it.
function(make_inputs root)
  file(REMOVE_RECURSE "${root}")
  file(WRITE "${root}/catalogue.txt"
       "# test catalogue\n"
       "group FirstGroup one replace folder\n"
       "3 a.txt\n"
       "5 Appendix I.htm\n"
       "0 empty.db\n"
       "\n"
       "group SecondGroup two keep-set help\n"
       "4 O'Neil.gif\n")
  file(WRITE "${root}/one/a.txt" "abc")
  file(WRITE "${root}/one/Appendix I.htm" "<html")
  file(WRITE "${root}/one/empty.db" "")
  file(WRITE "${root}/two/O'Neil.gif" "GIF8")
endfunction()

# Runs the embedding on `root` (further arguments go to the script); sets result,
# errors and output in the caller.
function(embed root)
  set(out "${root}/generated.cpp")
  execute_process(COMMAND ${CMAKE_COMMAND} -DCATALOGUE=${root}/catalogue.txt -DOUTPUT=${out} ${ARGN}
                          -P ${EMBED_SCRIPT}
                  RESULT_VARIABLE code OUTPUT_QUIET ERROR_VARIABLE err)
  set(result "${code}" PARENT_SCOPE)
  set(errors "${err}" PARENT_SCOPE)
  set(output "" PARENT_SCOPE)
  if(EXISTS "${out}")
    file(READ "${out}" text)
    set(output "${text}" PARENT_SCOPE)
  endif()
endfunction()

function(fail what)
  set(failures "${failures}${what}\n" PARENT_SCOPE)
endfunction()

# Inputs that match are embedded in catalogue order, with blank-padded names.
set(root "${WORK}/matching")
make_inputs("${root}")
embed("${root}")
if(NOT result EQUAL 0)
  fail("matching inputs were refused: ${errors}")
else()
  string(FIND "${output}" "one/a.txt" first)
  string(FIND "${output}" "one/Appendix I.htm" second)
  string(FIND "${output}" "one/empty.db" third)
  if(first EQUAL -1 OR second LESS first OR third LESS second)
    fail("the files of FirstGroup are not embedded in catalogue order:\n${output}")
  endif()
  if(NOT output MATCHES "FirstGroupSizes\\[3\\] = {\n    3,\n    5,\n    0,\n}")
    fail("the size table of FirstGroup is wrong:\n${output}")
  endif()
  string(REPEAT ",' '" 18 padding)
  string(FIND "${output}" "{'A','p','p','e','n','d','i','x',' ','I','.','h','t','m'${padding}}" at)
  if(at EQUAL -1)
    fail("the name 'Appendix I.htm' is not blank-padded to 32 characters:\n${output}")
  endif()
  if(NOT output MATCHES "{'O','\\\\'','N','e','i','l'")
    fail("the quote in O'Neil.gif is not escaped:\n${output}")
  endif()
  if(NOT output MATCHES "const PayloadGroup SecondGroup = {1, [^\n]*PayloadPolicy::kKeepExistingSet, PayloadDestination::kHelpFolder}")
    fail("SecondGroup is not defined with its one entry and the catalogue's policy:\n${output}")
  endif()
endif()

# A release's own files lie in a folder of their own (INPUTS): they are checked
# and embedded from there, not from beside the catalogue.
set(root "${WORK}/elsewhere")
make_inputs("${root}")
file(MAKE_DIRECTORY "${root}/release")
file(RENAME "${root}/one" "${root}/release/one")
file(RENAME "${root}/two" "${root}/release/two")
embed("${root}" -DINPUTS=${root}/release)
if(NOT result EQUAL 0 OR NOT output MATCHES "release/one/a\\.txt")
  fail("inputs in another folder were not embedded from there: ${errors}\n${output}")
endif()
file(REMOVE "${root}/release/two/O'Neil.gif")
embed("${root}" -DINPUTS=${root}/release)
if(result EQUAL 0 OR NOT errors MATCHES "release/two/O'Neil\\.gif: listed in the catalogue")
  fail("a file missing from another input folder was not named: ${errors}")
endif()

# Each kind of mismatch stops the build with a message naming the file, and
# removes an earlier output so that it cannot be compiled instead.
# Cases: name | how the tree is spoilt | path or catalogue line | what the message must say
set(cases
  "missing file|REMOVE|one/a.txt|one/a.txt: listed in the catalogue with 3 bytes, but missing"
  "file too long|LONGER|one/a.txt|one/a.txt: is 4 bytes, but the catalogue lists 3"
  "file too short|SHORTER|two/O'Neil.gif|two/O'Neil.gif: is 3 bytes, but the catalogue lists 4"
  "unlisted file|EXTRA|two/extra.gif|two/extra.gif: not listed in the catalogue of group SecondGroup"
  "folder for a file|FOLDER|one/empty.db|one/empty.db: listed in the catalogue as a file, but is a folder"
  "missing folder|NOFOLDER|two|two: the folder of group SecondGroup is missing"
  "name too long|LINE|3 a234567890123456789012345678901234.txt|is longer than 32 characters"
  "same name in other case|LINE|4 o'neil.GIF|'o'neil.GIF' is listed twice in group SecondGroup"
  "name with a trailing blank|LINE|3 b.txt |'b.txt ' ends with a blank"
  "name with a backslash|LINE|3 sub\\b.txt|holds a character that Windows file names cannot hold"
  "size beyond 32 bits|LINE|2147483648 big.txt|does not fit in 32 bits"
  "unknown policy|LINE|group ThirdGroup three sometimes folder|policy 'sometimes' of group ThirdGroup is not one of replace, keep, keep-set"
  "unknown destination|LINE|group ThirdGroup three keep desktop|destination 'desktop' of group ThirdGroup is not one of folder, help"
  "no destination|LINE|group ThirdGroup three keep|expected 'group <name> <folder> <policy> <destination>'")
set(n 0)
foreach(case IN LISTS cases)
  string(REPLACE "|" ";" fields "${case}")
  list(GET fields 0 name)
  list(GET fields 1 action)
  list(GET fields 2 target)
  list(GET fields 3 expected)
  math(EXPR n "${n} + 1")
  set(root "${WORK}/case${n}")
  make_inputs("${root}")
  file(WRITE "${root}/generated.cpp" "stale")
  if(action STREQUAL "REMOVE")
    file(REMOVE "${root}/${target}")
  elseif(action STREQUAL "LONGER")
    file(APPEND "${root}/${target}" "d")
  elseif(action STREQUAL "SHORTER")
    file(WRITE "${root}/${target}" "GIF")
  elseif(action STREQUAL "EXTRA")
    file(WRITE "${root}/${target}" "GIF8")
  elseif(action STREQUAL "FOLDER")
    file(REMOVE "${root}/${target}")
    file(MAKE_DIRECTORY "${root}/${target}")
  elseif(action STREQUAL "NOFOLDER")
    file(REMOVE_RECURSE "${root}/${target}")
  elseif(action STREQUAL "LINE")
    file(APPEND "${root}/catalogue.txt" "${target}\n")
  endif()
  embed("${root}")
  if(result EQUAL 0)
    fail("${name}: the embedding did not refuse the inputs")
  else()
    string(FIND "${errors}" "${expected}" at)
    if(at EQUAL -1)
      fail("${name}: the message does not say '${expected}':\n${errors}")
    endif()
    if(EXISTS "${root}/generated.cpp")
      fail("${name}: the earlier output was left in place")
    endif()
  endif()
endforeach()

if(NOT failures STREQUAL "")
  message(FATAL_ERROR "${failures}")
endif()
message(STATUS "embed-payload: all cases passed")
