# What the Windows build takes from this Debian machine instead of packages
# for Windows: GoogleTest built from Debian's source package by the same
# compiler, nlohmann-json's headers alone (the host's include folder must not
# come before mingw's), and the compiler's runtime DLLs beside every program,
# so that a program starts on a machine with nothing else installed.

set(DIMLET_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest's sources (Debian: googletest)")
set(DIMLET_JSON_INCLUDE /usr/include/nlohmann CACHE PATH "nlohmann-json's header folder (Debian: nlohmann-json3-dev)")

if(DIMLET_BUILD_TESTS)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
  # GoogleTest's own warnings are not ours to fix.
  add_subdirectory(${DIMLET_GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
endif()

file(COPY ${DIMLET_JSON_INCLUDE} DESTINATION ${CMAKE_BINARY_DIR}/third_party)
add_library(nlohmann_json INTERFACE)
target_include_directories(nlohmann_json SYSTEM INTERFACE ${CMAKE_BINARY_DIR}/third_party)
add_library(nlohmann_json::nlohmann_json ALIAS nlohmann_json)

# The compiler's runtime is linked as DLLs, one copy shared by every program
# and (in the window's half) by Qt's DLLs; they go beside the programs.
execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libstdc++-6.dll
  OUTPUT_VARIABLE dimlet_libstdcxx OUTPUT_STRIP_TRAILING_WHITESPACE)
execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libgcc_s_seh-1.dll
  OUTPUT_VARIABLE dimlet_libgcc OUTPUT_STRIP_TRAILING_WHITESPACE)
find_file(DIMLET_WINPTHREAD_DLL libwinpthread-1.dll
  PATHS /usr/${CMAKE_CXX_COMPILER_TARGET} /usr/x86_64-w64-mingw32 PATH_SUFFIXES lib bin NO_CMAKE_FIND_ROOT_PATH)
set(DIMLET_RUNTIME_DLLS ${dimlet_libstdcxx} ${dimlet_libgcc} ${DIMLET_WINPTHREAD_DLL})
foreach(dll ${DIMLET_RUNTIME_DLLS})
  if(NOT EXISTS ${dll})
    message(FATAL_ERROR "The mingw runtime DLL ${dll} is missing")
  endif()
  file(COPY ${dll} DESTINATION ${CMAKE_BINARY_DIR}/bin)
endforeach()
# One folder for every program and test program, beside the runtime.
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
install(FILES ${DIMLET_RUNTIME_DLLS} DESTINATION ${CMAKE_INSTALL_BINDIR})

enable_language(RC)

# Windows 10's API (waitable timers, the console's UTF-8), Unicode by default.
add_compile_definitions(_WIN32_WINNT=0x0A00 WINVER=0x0A00 UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX)

# Qt for Windows: Debian has none for mingw-w64, so a Qt cross-built from
# Debian's own qt6-base source is unpacked from its archive into the build
# folder (never into the source tree). Its moc, rcc and uic are Debian's
# (qt6-base-dev-tools), found through QT_HOST_PATH.
set(DIMLET_QT_MINGW_ARCHIVE ${PROJECT_SOURCE_DIR}/../shared/toolchains/qt6.4.2-mingw64.tar.xz
  CACHE FILEPATH "Qt 6 for mingw-w64, as an archive holding the folder qt6.4.2-mingw64")
if(DIMLET_BUILD_APP)
  set(DIMLET_QT_MINGW ${CMAKE_BINARY_DIR}/qt6.4.2-mingw64)
  if(NOT EXISTS ${DIMLET_QT_MINGW}/lib/cmake/Qt6/Qt6Config.cmake)
    if(NOT EXISTS ${DIMLET_QT_MINGW_ARCHIVE})
      message(FATAL_ERROR "The window needs Qt for Windows: ${DIMLET_QT_MINGW_ARCHIVE} is missing. "
        "Set DIMLET_QT_MINGW_ARCHIVE to the archive, or build without the window (-DDIMLET_BUILD_APP=OFF).")
    endif()
    message(STATUS "Unpacking ${DIMLET_QT_MINGW_ARCHIVE} into ${CMAKE_BINARY_DIR}")
    file(ARCHIVE_EXTRACT INPUT ${DIMLET_QT_MINGW_ARCHIVE} DESTINATION ${CMAKE_BINARY_DIR})
  endif()
  # The cross toolchain finds packages only below its find roots.
  list(APPEND CMAKE_FIND_ROOT_PATH ${DIMLET_QT_MINGW})
  list(APPEND CMAKE_PREFIX_PATH ${DIMLET_QT_MINGW})
  set(QT_HOST_PATH /usr CACHE PATH "Where Qt's host tools (moc, rcc, uic) are")
  set(QT_HOST_PATH_CMAKE_DIR /usr/lib/x86_64-linux-gnu/cmake CACHE PATH "The host tools' CMake files")
  # The DLLs and plugins the window loads, beside the programs as a Windows
  # machine needs them; the rest of Qt stays in its folder.
  set(DIMLET_QT_DLLS ${DIMLET_QT_MINGW}/bin/Qt6Core.dll ${DIMLET_QT_MINGW}/bin/Qt6Gui.dll
    ${DIMLET_QT_MINGW}/bin/Qt6Widgets.dll)
  set(DIMLET_QT_PLUGINS platforms/qwindows.dll styles/qwindowsvistastyle.dll)
endif()
if(DIMLET_BUILD_APP)
  file(COPY ${DIMLET_QT_DLLS} ${DIMLET_QT_MINGW}/bin/Qt6Test.dll DESTINATION ${CMAKE_BINARY_DIR}/bin)
  foreach(plugin ${DIMLET_QT_PLUGINS})
    get_filename_component(folder ${plugin} DIRECTORY)
    file(COPY ${DIMLET_QT_MINGW}/plugins/${plugin} DESTINATION ${CMAKE_BINARY_DIR}/bin/${folder})
  endforeach()
endif()

# A program as Windows users expect it: the icon in the .exe (and so on the
# taskbar and in Explorer), the version block from project(VERSION) with the
# licence's copyright line, and the manifest (packaging/windows). GUI makes
# it a window program (the WIN32 subsystem: no console window opens); the
# internal name is the target's unless INTERNAL_NAME gives another.
#   dimlet_windows_program(<target> <description> [GUI] [INTERNAL_NAME <name>])
function(dimlet_windows_program target description)
  cmake_parse_arguments(PARSE_ARGV 2 arg "GUI" "INTERNAL_NAME" "")
  set(dimlet_rc_icon ${PROJECT_SOURCE_DIR}/packaging/windows/dimlet.ico)
  set(dimlet_rc_manifest ${PROJECT_SOURCE_DIR}/packaging/windows/program.manifest)
  string(REPLACE "." "," dimlet_rc_version ${PROJECT_VERSION})
  string(REPLACE "." ", " dimlet_rc_version_text ${PROJECT_VERSION})
  set(dimlet_rc_description ${description})
  set(dimlet_rc_internal_name ${target})
  if(arg_INTERNAL_NAME)
    set(dimlet_rc_internal_name ${arg_INTERNAL_NAME})
  endif()
  set(dimlet_rc_file_name ${target}.exe)
  file(STRINGS ${PROJECT_SOURCE_DIR}/LICENSE copyright REGEX "^Copyright " LIMIT_COUNT 1)
  file(STRINGS ${PROJECT_SOURCE_DIR}/LICENSE licence LIMIT_COUNT 1)
  set(dimlet_rc_copyright "${copyright}. ${licence}")
  configure_file(${PROJECT_SOURCE_DIR}/packaging/windows/program.rc.in ${CMAKE_CURRENT_BINARY_DIR}/${target}.rc @ONLY)
  target_sources(${target} PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/${target}.rc)
  set_property(SOURCE ${CMAKE_CURRENT_BINARY_DIR}/${target}.rc APPEND PROPERTY OBJECT_DEPENDS
    ${dimlet_rc_manifest} ${dimlet_rc_icon})
  if(arg_GUI)
    set_property(TARGET ${target} PROPERTY WIN32_EXECUTABLE ON)
  endif()
endfunction()
