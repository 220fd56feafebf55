set(RILLWAY_PARSE_SOURCES
  src/parse/text.cpp
  src/parse/number.cpp
  src/parse/rwn.cpp)
set(RILLWAY_PARSE_TESTS
  rwn_number_test.cpp
  rwn_test.cpp)
