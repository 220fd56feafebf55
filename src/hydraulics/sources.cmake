set(RILLWAY_HYDRAULICS_SOURCES
  src/hydraulics/section.cpp
  src/hydraulics/manning.cpp
  src/hydraulics/peak_search.cpp
  src/hydraulics/perimeter_bounds.cpp
  src/hydraulics/depth_solvers.cpp
  src/hydraulics/momentum.cpp
  src/hydraulics/gutter.cpp
  src/hydraulics/inlet.cpp)
set(RILLWAY_HYDRAULICS_TESTS
  section_test.cpp
  depth_solvers_test.cpp
  perimeter_bounds_test.cpp
  momentum_test.cpp
  gutter_test.cpp
  inlet_test.cpp)
# The fast paths must reproduce the reference arithmetic to the bit, so no expression may be
# fused into multiply-adds in one copy and not in another.
set_source_files_properties(${RILLWAY_HYDRAULICS_SOURCES} PROPERTIES
  COMPILE_OPTIONS "$<$<CXX_COMPILER_ID:GNU,Clang,AppleClang>:-ffp-contract=off>")
