# SPDX-License-Identifier: GPL-3.0-or-later
# The floor that bench/startup.sh measures Roradaza against: a bare Qt Widgets
# window. Needs nothing beyond Qt, so it is built with or without Google Benchmark.
find_package(Qt6 REQUIRED COMPONENTS Widgets)
add_executable(minimal_window ${CMAKE_CURRENT_LIST_DIR}/minimal_window.cpp)
target_link_libraries(minimal_window PRIVATE Qt6::Widgets)

# The watcher that tells bench/startup.sh when a window is mapped, without
# polling. Optional: without xcb's headers the script polls with xdotool.
find_package(PkgConfig QUIET)
if(PkgConfig_FOUND)
    pkg_check_modules(XCB QUIET IMPORTED_TARGET xcb)
endif()
if(XCB_FOUND)
    add_executable(map_watch ${CMAKE_CURRENT_LIST_DIR}/map_watch.cpp)
    target_link_libraries(map_watch PRIVATE PkgConfig::XCB)
endif()
