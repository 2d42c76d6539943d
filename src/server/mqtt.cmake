# The broker adapter of ombrix-server, a library of its own so its tests link it alone.
find_package(PkgConfig REQUIRED)
pkg_check_modules(MOSQUITTO REQUIRED IMPORTED_TARGET libmosquitto)
add_library(ombrix_mqtt STATIC ${CMAKE_CURRENT_LIST_DIR}/MqttBridge.cpp)
target_include_directories(ombrix_mqtt PUBLIC ${CMAKE_CURRENT_LIST_DIR}/..)
target_link_libraries(ombrix_mqtt PUBLIC ombrix_core PkgConfig::MOSQUITTO)
