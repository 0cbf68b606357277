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

# Windows 10's API (waitable timers, the console's UTF-8), Unicode by default.
add_compile_definitions(_WIN32_WINNT=0x0A00 WINVER=0x0A00 UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX)
