# A layer's library shows other targets only the headers it names as public.
#
#   dimlet_layer(<target> PUBLIC_HEADERS a.h b.h ...)
#
# The layer's own sources reach every header of the tree as "<layer>/<name>.h"
# (the source root is a private include folder). Other targets get a folder of
# forwarding headers, one per public header, so "device/posix_error.h" does not
# compile outside device/ while "device/serial_link.h" does.
function(dimlet_layer target)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "" "PUBLIC_HEADERS")
  get_filename_component(layer ${CMAKE_CURRENT_SOURCE_DIR} NAME)
  set(exported ${CMAKE_BINARY_DIR}/include/${target})
  # A header that is no longer public must not linger from an earlier run.
  file(GLOB lingering ${exported}/${layer}/*)
  foreach(path ${lingering})
    get_filename_component(header ${path} NAME)
    if(NOT header IN_LIST arg_PUBLIC_HEADERS)
      file(REMOVE ${path})
    endif()
  endforeach()
  foreach(header ${arg_PUBLIC_HEADERS})
    set(real ${CMAKE_CURRENT_SOURCE_DIR}/${header})
    if(NOT EXISTS ${real})
      message(FATAL_ERROR "${target}: public header ${header} does not exist")
    endif()
    file(CONFIGURE OUTPUT ${exported}/${layer}/${header}
      CONTENT "// Forwards to the public header of the ${layer} layer.\n#include \"${real}\"\n")
  endforeach()
  target_include_directories(${target}
    PUBLIC $<BUILD_INTERFACE:${exported}>
    PRIVATE ${PROJECT_SOURCE_DIR})
endfunction()

# Keeps in <list> (paths of the current folder's sources) only the files of
# the system being built for: each system's half of a seam lives in its own
# file, and shared files never ask which system they are on.
#   dimlet_platform_sources(<list> LINUX a.cpp ... WINDOWS b.cpp ...)
function(dimlet_platform_sources list)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "" "LINUX;WINDOWS")
  if(WIN32)
    set(other ${arg_LINUX})
  else()
    set(other ${arg_WINDOWS})
  endif()
  set(sources ${${list}})
  foreach(file ${other})
    list(REMOVE_ITEM sources ${CMAKE_CURRENT_SOURCE_DIR}/${file})
  endforeach()
  set(${list} ${sources} PARENT_SCOPE)
endfunction()
