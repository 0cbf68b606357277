# Optional AddressSanitizer + UndefinedBehaviorSanitizer build of the whole
# tree (libraries, programs, tests and benchmarks), for scripts/sanitize-tests.
# Any report stops the program at once, so a test that trips one fails.
option(DIMLET_SANITIZE "Build everything with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)

if(DIMLET_SANITIZE)
  set(dimlet_sanitize_flags
    -fsanitize=address,undefined
    -fno-omit-frame-pointer
    -fno-sanitize-recover=all)
  add_compile_options(${dimlet_sanitize_flags})
  add_link_options(${dimlet_sanitize_flags})
  message(STATUS "Dimlet: building with ${dimlet_sanitize_flags}")
endif()
