# The editable dataset, on top of the access layer (included by this folder's CMakeLists.txt).
add_library(oracle_data STATIC ${CMAKE_CURRENT_LIST_DIR}/OracleData.cpp ${CMAKE_CURRENT_LIST_DIR}/OracleData.h)
kmr_target_defaults(oracle_data)
set_target_properties(oracle_data PROPERTIES POSITION_INDEPENDENT_CODE ON AUTOMOC ON)
target_include_directories(oracle_data PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(oracle_data PUBLIC oracle Qt6::Core)
