# Windows resources of each .exe: the version information (product name and
# the project's version), the program's icon and the application manifest.
# The icon is made from src/window/qt/icon.png with ImageMagick:
#   convert src/window/qt/icon.png -define icon:auto-resize=64,48,32,24,16 src/window/win32/binconv.ico
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

# binconv_windows_package(): the target "windows-zip" writes
# binconv-<version>-windows-x64.zip in the build folder: both programs, the
# default tables beside them, the two read-me files and the examples they
# work through, in examples\.
function(binconv_windows_package)
  set(name binconv-${PROJECT_VERSION}-windows-x64)
  file(GLOB_RECURSE examples CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/examples/*)
  set(stage ${CMAKE_BINARY_DIR}/package/${name})
  set(zip ${CMAKE_BINARY_DIR}/${name}.zip)
  add_custom_command(
    OUTPUT ${zip}
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${CMAKE_BINARY_DIR}/package
    COMMAND ${CMAKE_COMMAND} -E make_directory ${stage}
    COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:binconv> $<TARGET_FILE:binconv-cli>
            ${PROJECT_SOURCE_DIR}/tables/Zezovar.ini ${PROJECT_SOURCE_DIR}/tables/Zezovar_ex.ini
            ${PROJECT_SOURCE_DIR}/packaging/windows/README-ja.txt
            ${PROJECT_SOURCE_DIR}/packaging/windows/README-en.txt ${stage}
    COMMAND ${CMAKE_COMMAND} -E copy_directory ${PROJECT_SOURCE_DIR}/examples ${stage}/examples
    COMMAND ${CMAKE_COMMAND} -E rm -f ${zip}
    COMMAND ${CMAKE_COMMAND} -E chdir ${CMAKE_BINARY_DIR}/package
            ${CMAKE_COMMAND} -E tar cf ${zip} --format=zip ${name}
    DEPENDS binconv binconv-cli ${PROJECT_SOURCE_DIR}/tables/Zezovar.ini
            ${PROJECT_SOURCE_DIR}/tables/Zezovar_ex.ini
            ${PROJECT_SOURCE_DIR}/packaging/windows/README-ja.txt
            ${PROJECT_SOURCE_DIR}/packaging/windows/README-en.txt ${examples}
    COMMENT "Writing ${name}.zip"
    VERBATIM)
  add_custom_target(windows-zip DEPENDS ${zip})
endfunction()
