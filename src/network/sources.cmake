set(RILLWAY_NETWORK_SOURCES
  src/network/network.cpp)
set(RILLWAY_NETWORK_TESTS)
