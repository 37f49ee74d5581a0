# Windows resources of each .exe: the version information (product name and
# the project's version), the program's icon and the application manifest.
# The icon is made from src/window/icon.png with ImageMagick:
#   convert src/window/icon.png -define icon:auto-resize=64,48,32,24,16 src/window/win32/binconv.ico
set(BINCONV_WINDOWS_DIR ${CMAKE_CURRENT_LIST_DIR}/windows)

# binconv_windows_resources(TARGET DESCRIPTION)
function(binconv_windows_resources target description)
  set(BINCONV_EXE_NAME ${target})
  set(BINCONV_EXE_DESCRIPTION ${description})
  set(BINCONV_ICON ${PROJECT_SOURCE_DIR}/src/window/win32/binconv.ico)
  set(BINCONV_MANIFEST ${BINCONV_WINDOWS_DIR}/binconv.manifest)
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}.rc)
  configure_file(${BINCONV_WINDOWS_DIR}/resources.rc.in ${rc} @ONLY)
  target_sources(${target} PRIVATE ${rc})
  set_property(SOURCE ${rc} APPEND PROPERTY OBJECT_DEPENDS ${BINCONV_ICON} ${BINCONV_MANIFEST})
endfunction()
