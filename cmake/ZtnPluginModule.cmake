# Build settings every plug-in module (a library loaded by path at run time)
# shares: no "lib" prefix, only its declared exports visible, the libraries
# linked into it kept private, and no unique symbols, which would pin the
# module in the process after its last Free.
function(ztn_plugin_module target output_dir)
  set_target_properties(${target} PROPERTIES
    PREFIX ""
    CXX_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON
    LIBRARY_OUTPUT_DIRECTORY ${output_dir})
  if(NOT WIN32 AND NOT APPLE)
    target_link_options(${target} PRIVATE -Wl,--exclude-libs,ALL -Wl,--no-undefined)
  endif()
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    target_compile_options(${target} PRIVATE -fno-gnu-unique)
  endif()
endfunction()
