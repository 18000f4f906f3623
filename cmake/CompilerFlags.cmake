# Warnings for every target of the project, and the sanitizer switch.
add_compile_options(-Wall -Wextra -Wpedantic -Wshadow -Wno-missing-field-initializers)

if(QUILLMORE_SANITIZE)
  # Stop at the first report so that a sanitizer finding fails the test run.
  set(_san -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_compile_options(${_san})
  add_link_options(${_san})
  if(CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    # One shared runtime for every program and for the Python module, which
    # the interpreter loads with it preloaded: a program started from there
    # inherits the preload and would clash with a runtime linked in whole.
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libclang_rt.asan-x86_64.so
                    OUTPUT_VARIABLE _runtime OUTPUT_STRIP_TRAILING_WHITESPACE)
    get_filename_component(_runtime_dir ${_runtime} DIRECTORY)
    add_link_options(-shared-libasan -Wl,-rpath,${_runtime_dir})
  endif()
endif()

# The modules the libFuzzer targets explore: the readers of outside bytes,
# the snapshot writers and the option readers, with what they are made of.
set(QUILLMORE_FUZZED_MODULES base platform files command_options)
if(QUILLMORE_FUZZ)
  # The libFuzzer targets live in the sanitizer build: the modules they
  # explore carry the fuzzer's coverage counters (the tests' sanitizer
  # runtime defines them too), so the targets and the test programs share
  # one compilation of the libraries. Nothing else pays for the counters.
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang" OR NOT QUILLMORE_SANITIZE)
    message(FATAL_ERROR "QUILLMORE_FUZZ needs clang, its libFuzzer and QUILLMORE_SANITIZE: configure with the asan preset")
  endif()
endif()

# Adds a static library for one module from the sources in its folder; the
# include root is the project root, so headers are named "synthesis/x.h".
function(quillmore_module name)
  cmake_parse_arguments(M "" "" "SOURCES;DEPENDS" ${ARGN})
  add_library(${name} STATIC ${M_SOURCES})
  if(QUILLMORE_FUZZ AND name IN_LIST QUILLMORE_FUZZED_MODULES)
    target_compile_options(${name} PRIVATE -fsanitize=fuzzer-no-link)
  endif()
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  if(M_DEPENDS)
    target_link_libraries(${name} PUBLIC ${M_DEPENDS})
  endif()
endfunction()

# Compiles a target's own code for a quick build, where its speed does not
# matter (the tests' bodies, the Python module's glue): -O1 in a release
# build, -O0 under the sanitizers. The libraries it links keep the build's
# optimisation.
function(quillmore_quick_build target)
  if(QUILLMORE_SANITIZE)
    target_compile_options(${target} PRIVATE -O0)
  elseif(CMAKE_BUILD_TYPE STREQUAL "Release")
    target_compile_options(${target} PRIVATE -O1)
  endif()
endfunction()
