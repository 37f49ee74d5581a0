# Fails when a file under src/ includes a header of a layer above its own, or
# of a layer beside it: runtime -> chartable -> codec | patch -> script -> scan
# -> messages -> cli | window/logic,
# and window/logic -> window/qt | window/win32 (the two toolkits never meet).
# Usage: cmake -DSRC=<project>/src -P tools/check-layers.cmake
set(rank_runtime 0)
set(rank_chartable 1)
set(rank_codec 2)
set(rank_patch 2)
set(rank_script 3)
set(rank_scan 4)
set(rank_messages 5)
set(rank_cli 6)
set(rank_window/logic 6)
set(rank_window/qt 7)
set(rank_window/win32 7)
set(layers runtime chartable codec patch script scan messages cli window/logic window/qt
    window/win32)

# The layer of an include path such as "window/qt/form1.h" or "runtime/file.h".
function(layer_of include_path out)
  if(include_path MATCHES "^window/([a-z0-9_]+)/")
    set(${out} "window/${CMAKE_MATCH_1}" PARENT_SCOPE)
  else()
    string(REGEX REPLACE "/.*" "" first "${include_path}")
    set(${out} "${first}" PARENT_SCOPE)
  endif()
endfunction()

set(faults "")
foreach(layer IN LISTS layers)
  file(GLOB_RECURSE sources "${SRC}/${layer}/*.h" "${SRC}/${layer}/*.cpp")
  foreach(source IN LISTS sources)
    file(STRINGS "${source}" includes REGEX "^#include \"[a-z_]+/")
    foreach(line IN LISTS includes)
      string(REGEX REPLACE "^#include \"([^\"]+)\".*" "\\1" included "${line}")
      layer_of("${included}" used)
      if(NOT DEFINED rank_${used})
        continue()
      endif()
      if(NOT used STREQUAL layer AND NOT rank_${used} LESS rank_${layer})
        file(RELATIVE_PATH shown "${SRC}" "${source}")
        string(APPEND faults "  ${shown}: ${line}\n")
      endif()
    endforeach()
  endforeach()
endforeach()
if(faults)
  message(FATAL_ERROR "Includes that reach up or across the layers:\n${faults}")
endif()
message(STATUS "Every include keeps to the layers below its own.")

# Paths are UTF-16 on Windows end to end: a path built from a narrow string
# would take it in the ANSI code page, and path::string() would give one back
# (or throw). Names go through PathFromUtf8 / PathToUtf8 instead. A path
# built from the system's own form (a wide string, or bytes the system gave
# on POSIX) says so with a "// native" comment on its line.
set(narrow "")
file(GLOB_RECURSE sources "${SRC}/*.h" "${SRC}/*.cpp")
foreach(source IN LISTS sources)
  file(STRINGS "${source}" lines)
  set(number 0)
  foreach(line IN LISTS lines)
    math(EXPR number "${number} + 1")
    if(line MATCHES "^ *//" OR line MATCHES "// native")
      continue()
    endif()
    set(bad FALSE)
    if(line MATCHES "\\.(generic_)?string\\(\\)")
      set(bad TRUE)
    endif()
    # path(ARG) with an argument that is not empty, UTF-8 (u8string) or wide.
    if(line MATCHES "(filesystem|fs)::path\\(([^)u]|u[^8])" AND
       NOT line MATCHES "(filesystem|fs)::path\\((std::u8string|std::wstring|L\")")
      set(bad TRUE)
    endif()
    if(bad)
      file(RELATIVE_PATH shown "${SRC}" "${source}")
      string(STRIP "${line}" line)
      string(APPEND narrow "  ${shown}:${number}: ${line}\n")
    endif()
  endforeach()
endforeach()
if(narrow)
  message(FATAL_ERROR "Paths built from or turned into narrow strings "
                      "(use PathFromUtf8 / PathToUtf8):\n${narrow}")
endif()
message(STATUS "No path is built from or turned into a narrow string.")
