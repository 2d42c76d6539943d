target_sources(ombrix_core PRIVATE ${CMAKE_CURRENT_LIST_DIR}/LineRules.cpp ${CMAKE_CURRENT_LIST_DIR}/GroupPlan.cpp)
