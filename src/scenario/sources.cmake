set(RILLWAY_SCENARIO_SOURCES
  src/scenario/base.cpp
  src/scenario/runner.cpp)
set(RILLWAY_SCENARIO_TESTS
  scenario_test.cpp)
