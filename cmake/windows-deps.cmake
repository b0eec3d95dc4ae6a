# The header-only libraries of the command line (CLI11, nlohmann-json) and
# GoogleTest's sources come from the build machine's Debian packages. Only
# their own folders are put on the include path, never /usr/include itself,
# whose C library headers must not mix with MinGW's.
set(PALVANE_DEBIAN_HEADERS ${CMAKE_BINARY_DIR}/debian-headers)
file(MAKE_DIRECTORY ${PALVANE_DEBIAN_HEADERS})
foreach(dir nlohmann CLI)
  if(NOT EXISTS /usr/include/${dir})
    message(FATAL_ERROR "/usr/include/${dir} is missing: install scripts/debian-packages.txt")
  endif()
  file(CREATE_LINK /usr/include/${dir} ${PALVANE_DEBIAN_HEADERS}/${dir} SYMBOLIC)
endforeach()
add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED GLOBAL)
target_include_directories(nlohmann_json::nlohmann_json INTERFACE ${PALVANE_DEBIAN_HEADERS})
add_library(CLI11::CLI11 INTERFACE IMPORTED GLOBAL)
target_include_directories(CLI11::CLI11 INTERFACE ${PALVANE_DEBIAN_HEADERS})
set(nlohmann_json_FOUND TRUE)
set(CLI11_FOUND TRUE)
