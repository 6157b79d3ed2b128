# Processor-level variants live in files named by level (..._px.cpp, _a6, _w7,
# _t7). Each file is compiled with its level's instruction-set flags only; the
# px level is plain C++ on the x86-64 baseline.
#
#   vp_level_sources(<target> <level> <files...>)
function(vp_level_sources target level)
  if(level STREQUAL "px")
    set(flags "")
  elseif(level STREQUAL "a6")
    set(flags -mmmx -msse)
  elseif(level STREQUAL "w7")
    set(flags -msse2)
  elseif(level STREQUAL "t7")
    set(flags -msse3)
  else()
    message(FATAL_ERROR "unknown processor level '${level}'")
  endif()
  target_sources(${target} PRIVATE ${ARGN})
  if(flags)
    set_source_files_properties(${ARGN} TARGET_DIRECTORY ${target}
      PROPERTIES COMPILE_OPTIONS "${flags}")
  endif()
endfunction()
