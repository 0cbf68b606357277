# What a layer's files may include, and what other targets see of it.
#
#   dimlet_layer(<target> PUBLIC_HEADERS a.h b.h ... [SEAM_HEADERS c.h ...])
#
# Two folders of forwarding headers in the build folder, one per header, each
# as "<layer>/<name>.h", stand in for the source tree on the include path:
# - <build>/include/<target>: the public headers; other targets get it through
#   target_link_libraries, so "device/serial_link.h" compiles outside device/
#   and "device/line_transport.h" does not;
# - <build>/include-inside/<target>: every header of the layer's folder, for
#   its own files alone;
# - <build>/include-seams/<target>: the seams a test plugs its own parts into
#   (a line on virtual time), for test code alone: dimlet_use_seams().
# The project's root is on no layer's include path: a file of a layer reaches
# its own headers and the public headers of the layers it links, nothing
# else, so sim/ cannot include device/ nor settings/ anything above it.
# (tests/layers holds the probes that show it.)
function(dimlet_layer target)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "" "PUBLIC_HEADERS;SEAM_HEADERS")
  get_filename_component(layer ${CMAKE_CURRENT_SOURCE_DIR} NAME)
  foreach(header ${arg_PUBLIC_HEADERS} ${arg_SEAM_HEADERS})
    if(NOT EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${header})
      message(FATAL_ERROR "${target}: public header ${header} does not exist")
    endif()
  endforeach()
  file(GLOB own_headers CONFIGURE_DEPENDS RELATIVE ${CMAKE_CURRENT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
  set(exported ${CMAKE_BINARY_DIR}/include/${target})
  set(inside ${CMAKE_BINARY_DIR}/include-inside/${target})
  dimlet_forward_headers(${exported}/${layer} "${arg_PUBLIC_HEADERS}")
  dimlet_forward_headers(${inside}/${layer} "${own_headers}")
  set(seams ${CMAKE_BINARY_DIR}/include-seams/${target})
  dimlet_forward_headers(${seams}/${layer} "${arg_SEAM_HEADERS}")
  set_property(TARGET ${target} PROPERTY DIMLET_SEAM_INCLUDE ${seams})
  target_include_directories(${target}
    PUBLIC $<BUILD_INTERFACE:${exported}>
    PRIVATE ${inside})
  set_property(TARGET ${target} PROPERTY DIMLET_INSIDE_INCLUDE ${inside})
endfunction()

# Lets the test code of <target> include the seam headers of <layer>.
function(dimlet_use_seams target layer)
  target_include_directories(${target} PRIVATE $<TARGET_PROPERTY:${layer},DIMLET_SEAM_INCLUDE>)
endfunction()

# Writes into <folder> one header per name in <headers> that includes the
# current source folder's header of that name, and removes any other (a
# header no longer public, or gone, must not linger from an earlier run).
function(dimlet_forward_headers folder headers)
  get_filename_component(layer ${CMAKE_CURRENT_SOURCE_DIR} NAME)
  file(GLOB lingering ${folder}/*)
  foreach(path ${lingering})
    get_filename_component(header ${path} NAME)
    if(NOT header IN_LIST headers)
      file(REMOVE ${path})
    endif()
  endforeach()
  foreach(header ${headers})
    file(CONFIGURE OUTPUT ${folder}/${header}
      CONTENT "// Forwards to a header of the ${layer} layer.\n#include \"${CMAKE_CURRENT_SOURCE_DIR}/${header}\"\n")
  endforeach()
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
