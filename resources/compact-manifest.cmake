# Writes the application manifest without its comments and layout, which are
# there for the people who read the source: the image would carry them for
# nothing. Run by the build (see CMakeLists.txt beside it):
#
#   cmake -DINPUT=<installer.manifest> -DOUTPUT=<compact manifest> [-DVERSION=<a.b.c.d>]
#         -P compact-manifest.cmake
#
# @PROJECT_VERSION@ in the manifest becomes VERSION, the project's version that
# the version record takes too: a new version changes both.
cmake_minimum_required(VERSION 3.25)

file(READ "${INPUT}" xml)
if(DEFINED VERSION)
  string(REPLACE "@PROJECT_VERSION@" "${VERSION}" xml "${xml}")
endif()
if(xml MATCHES "@PROJECT_VERSION@")
  message(FATAL_ERROR "${INPUT}: @PROJECT_VERSION@ stands in it, but no VERSION was given")
endif()
# CMake's expressions have no lazy match, so a comment is taken to end at its
# first '>': one that holds a '>' is not matched and would stay in the image.
# It is refused, so that it gets reworded instead of shipped unnoticed.
string(REGEX REPLACE "<!--[^>]*-->" "" xml "${xml}")
if(xml MATCHES "<!--|-->")
  message(FATAL_ERROR "${INPUT}: a comment holds '>', which the build cannot remove; reword it")
endif()
# The layout between elements and inside tags; no value of ours holds a run of blanks.
string(REGEX REPLACE ">[ \t\r\n]+<" "><" xml "${xml}")
string(REGEX REPLACE "[ \t\r\n]+" " " xml "${xml}")
string(STRIP "${xml}" xml)
file(WRITE "${OUTPUT}" "${xml}")
