# Debian's hardening flags, as dpkg-buildflags gives them with every hardening
# feature on: fortified C library calls, a stack protector, format-string
# checks, relocations made read-only and bound at start-up. Programs are
# position-independent. The build type keeps its own optimisation and debug
# flags; fortification needs optimisation, so a Debug build goes without it.
option(DIMLET_HARDENING "Build with Debian's hardening flags (dpkg-buildflags)" ON)

# They are flags for Linux programs: mingw's linker knows no -z relro.
if(DIMLET_HARDENING AND NOT DIMLET_SANITIZE AND NOT WIN32)
  find_program(DIMLET_DPKG_BUILDFLAGS dpkg-buildflags)
  if(DIMLET_DPKG_BUILDFLAGS)
    set(dimlet_hardening_flags "")
    foreach(kind CPPFLAGS CXXFLAGS LDFLAGS)
      execute_process(
        COMMAND ${CMAKE_COMMAND} -E env DEB_BUILD_MAINT_OPTIONS=hardening=+all
                ${DIMLET_DPKG_BUILDFLAGS} --get ${kind}
        OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE
        RESULT_VARIABLE result)
      if(NOT result EQUAL 0)
        message(FATAL_ERROR "dpkg-buildflags --get ${kind} failed")
      endif()
      separate_arguments(flags UNIX_COMMAND "${flags}")
      # Optimisation, debug information and file paths belong to the build type.
      list(FILTER flags EXCLUDE REGEX "^-(g|O.?|ffile-prefix-map=.*|fdebug-prefix-map=.*)$")
      foreach(flag IN LISTS flags)
        if(kind STREQUAL LDFLAGS)
          add_link_options(${flag})
        elseif(flag MATCHES "^-D_FORTIFY_SOURCE")
          add_compile_options($<$<NOT:$<CONFIG:Debug>>:${flag}>)
        else()
          add_compile_options(${flag})
        endif()
        list(APPEND dimlet_hardening_flags ${flag})
      endforeach()
    endforeach()
    set(CMAKE_POSITION_INDEPENDENT_CODE ON)
    include(CheckPIESupported)
    check_pie_supported()
    message(STATUS "Dimlet: hardening flags ${dimlet_hardening_flags}, position-independent programs")
  else()
    message(STATUS "Dimlet: dpkg-buildflags not found; building without Debian's hardening flags")
  endif()
endif()
