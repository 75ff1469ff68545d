# The analysis of a device's recording (analysis/): a static library of plain C++ with no dependencies,
# used by `qolt analyze` and unit-tested on its own.
file(GLOB QOLT_ANALYSIS_SOURCES CONFIGURE_DEPENDS "${CMAKE_CURRENT_LIST_DIR}/*.cpp")
add_library(qolt_analysis STATIC ${QOLT_ANALYSIS_SOURCES})
target_include_directories(qolt_analysis PUBLIC ${PROJECT_SOURCE_DIR})
qolt_strict_warnings(qolt_analysis)
