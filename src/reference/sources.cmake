# The reference copies the exactness tests and benchmarks compare the library against; never
# linked into the module.
set(RILLWAY_REFERENCE_SOURCES
  src/reference/hydraulics.cpp
  src/reference/backwater.cpp
  src/reference/analysis.cpp)
set_source_files_properties(${RILLWAY_REFERENCE_SOURCES} PROPERTIES
  COMPILE_OPTIONS "$<$<CXX_COMPILER_ID:GNU,Clang,AppleClang>:-ffp-contract=off>")
