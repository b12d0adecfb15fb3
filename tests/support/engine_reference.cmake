# The literal per-pixel loops of the pass data, shared by the engine tests and the benchmark
# (which may be built without the tests).
if(NOT TARGET velquorin_engine_reference)
  add_library(velquorin_engine_reference STATIC ${CMAKE_CURRENT_LIST_DIR}/engine_reference.cpp)
  target_include_directories(velquorin_engine_reference PUBLIC ${CMAKE_CURRENT_LIST_DIR})
  target_link_libraries(velquorin_engine_reference PUBLIC velquorin_engine)
endif()
