set(RILLWAY_HYDRAULICS_SOURCES
  src/hydraulics/section.cpp
  src/hydraulics/manning.cpp
  src/hydraulics/depth_solvers.cpp)
set(RILLWAY_HYDRAULICS_TESTS
  section_test.cpp
  depth_solvers_test.cpp)
