set(RILLWAY_NETWORK_SOURCES
  src/network/network.cpp
  src/network/routing.cpp
  src/network/loads.cpp
  src/network/solvers.cpp
  src/network/design_pass.cpp
  src/network/profile.cpp
  src/network/grade_line.cpp
  src/network/energy_loss.cpp
  src/network/energy_line.cpp
  src/network/analyze.cpp)
# The exactness test analyses the benchmark networks and compares the reference copies.
set(RILLWAY_NETWORK_TESTS
  routing_test.cpp
  design_pass_test.cpp
  grade_line_test.cpp
  network_analyze_test.cpp
  exactness_test.cpp
  energy_loss_test.cpp
  energy_line_test.cpp)
# As for the hydraulics: the fast and reference profiles must round alike.
set_source_files_properties(${RILLWAY_NETWORK_SOURCES} PROPERTIES
  COMPILE_OPTIONS "$<$<CXX_COMPILER_ID:GNU,Clang,AppleClang>:-ffp-contract=off>")
