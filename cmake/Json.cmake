# JSON through nlohmann-json, header-only (Debian: nlohmann-json3-dev). Its
# headers are copied into the build tree, so the MinGW cross build reaches
# them without the host's whole /usr/include on its include path. On another
# system, point TARVEL_NLOHMANN_DIR at the folder that holds nlohmann/.
find_path(TARVEL_NLOHMANN_DIR nlohmann/json.hpp PATHS /usr/include /usr/local/include NO_CMAKE_FIND_ROOT_PATH)
if(NOT TARVEL_NLOHMANN_DIR)
  message(FATAL_ERROR "nlohmann/json.hpp not found: install nlohmann-json3-dev or set TARVEL_NLOHMANN_DIR")
endif()
file(COPY ${TARVEL_NLOHMANN_DIR}/nlohmann DESTINATION ${CMAKE_BINARY_DIR}/third_party/include)
add_library(tarvel_json INTERFACE)
target_include_directories(tarvel_json SYSTEM INTERFACE ${CMAKE_BINARY_DIR}/third_party/include)
