# Test of compact-manifest.cmake: comments and layout go, elements, attributes
# and texts stay; a comment that the build cannot remove whole is refused.
#
#   cmake -DCOMPACT_SCRIPT=<compact-manifest.cmake> -DWORK=<scratch folder> -P compact-manifest-test.cmake
cmake_minimum_required(VERSION 3.25)

set(failures "")

# Compacts `text`, with the script's further definitions after it (-DVERSION=...);
# sets result and output in the caller.
function(compact name text)
  file(REMOVE "${WORK}/${name}.out")
  file(WRITE "${WORK}/${name}.manifest" "${text}")
  execute_process(COMMAND ${CMAKE_COMMAND} -DINPUT=${WORK}/${name}.manifest -DOUTPUT=${WORK}/${name}.out
                          ${ARGN} -P ${COMPACT_SCRIPT}
                  RESULT_VARIABLE code OUTPUT_QUIET ERROR_QUIET)
  set(result "${code}" PARENT_SCOPE)
  set(output "" PARENT_SCOPE)
  if(EXISTS "${WORK}/${name}.out")
    file(READ "${WORK}/${name}.out" out)
    set(output "${out}" PARENT_SCOPE)
  endif()
endfunction()

string(CONCAT input
  "<?xml version=\"1.0\"?>\r\n<assembly a=\"1\">\n  <!-- why, over\n       two lines -->\n"
  "  <identity name=\"x\"\n            version=\"2.1.0.0\"/>\n  <description>Installer for it</description>\n"
  "  <os Id=\"{e2011457}\"/> <!-- Vista -->\n</assembly>\n")
compact(layout "${input}")
string(CONCAT expected "<?xml version=\"1.0\"?><assembly a=\"1\"><identity name=\"x\" version=\"2.1.0.0\"/>"
       "<description>Installer for it</description><os Id=\"{e2011457}\"/></assembly>")
if(NOT result EQUAL 0 OR NOT output STREQUAL expected)
  string(APPEND failures "layout and comments: got [${output}] (exit ${result}), expected [${expected}]\n")
endif()

# The version is the one given, as the version record's; without one the
# placeholder would ship, and the build stops.
compact(version "<identity version=\"@PROJECT_VERSION@\"/>" -DVERSION=2.2.0.0)
if(NOT result EQUAL 0 OR NOT output STREQUAL "<identity version=\"2.2.0.0\"/>")
  string(APPEND failures "the version was not put in: [${output}] (exit ${result})\n")
endif()
compact(noversion "<identity version=\"@PROJECT_VERSION@\"/>")
if(result EQUAL 0)
  string(APPEND failures "a manifest without its version was not refused: [${output}]\n")
endif()

# Such a comment would not be removed: the build stops instead of shipping it.
compact(arrow "<assembly><!-- a > b --><x/></assembly>")
if(result EQUAL 0 OR NOT output STREQUAL "")
  string(APPEND failures "a comment holding '>' was not refused: [${output}]\n")
endif()

if(NOT failures STREQUAL "")
  message(FATAL_ERROR "${failures}")
endif()
