# The floor that bench/startup.sh measures Roradaza against: a bare Qt Widgets
# window. Needs nothing beyond Qt, so it is built with or without Google Benchmark.
find_package(Qt6 REQUIRED COMPONENTS Widgets)
add_executable(minimal_window ${CMAKE_CURRENT_LIST_DIR}/minimal_window.cpp)
target_link_libraries(minimal_window PRIVATE Qt6::Widgets)
