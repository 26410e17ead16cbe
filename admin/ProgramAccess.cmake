# Program access and group membership: the right half of the administration window, as a library
# of its own. Included by the window's CMakeLists and by its tests; the first inclusion defines it.
include_guard(GLOBAL)
if(TARGET dbmodule AND TARGET dbaware AND TARGET common)
  add_library(admin_programs STATIC ${CMAKE_CURRENT_LIST_DIR}/ProgramAccess.cpp ${CMAKE_CURRENT_LIST_DIR}/ProgramAccess.h)
  kmr_target_defaults(admin_programs)
  set_target_properties(admin_programs PROPERTIES AUTOMOC ON)
  target_include_directories(admin_programs PUBLIC ${CMAKE_CURRENT_LIST_DIR})
  target_link_libraries(admin_programs PUBLIC dbmodule dbaware common Qt6::Widgets)
endif()
