# Warnings for every target of the project, and the sanitizer switch.
add_compile_options(-Wall -Wextra -Wpedantic -Wshadow -Wno-missing-field-initializers)

if(QUILLMORE_SANITIZE)
  # Stop at the first report so that a sanitizer finding fails the test run.
  set(_san -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_compile_options(${_san})
  add_link_options(${_san})
endif()

# Adds a static library for one module from the sources in its folder; the
# include root is the project root, so headers are named "synthesis/x.h".
function(quillmore_module name)
  cmake_parse_arguments(M "" "" "SOURCES;DEPENDS" ${ARGN})
  add_library(${name} STATIC ${M_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  if(M_DEPENDS)
    target_link_libraries(${name} PUBLIC ${M_DEPENDS})
  endif()
endfunction()
